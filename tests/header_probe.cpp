// Includes an exported header as a C++ game would and prints what it sees.
#include <cstdio>
#include <iterator>

#include "chiptune_sfx.h"

int main() {
    std::printf("%d %d\n", chiptune_sfx_sample_rate, chiptune_sfx_num_samples);
    for (const int16_t value : chiptune_sfx_pcm) {
        std::printf("%d\n", static_cast<int>(value));
    }
    return static_cast<int>(std::size(chiptune_sfx_pcm)) == chiptune_sfx_num_samples ? 0 : 1;
}
