/* Includes an exported header as a game would and prints what it sees. */
#include <stdio.h>

#include "chiptune_sfx.h"

int main(void) {
    int i;
    printf("%d %d\n", chiptune_sfx_sample_rate, chiptune_sfx_num_samples);
    for (i = 0; i < chiptune_sfx_num_samples; ++i) {
        printf("%d\n", (int)chiptune_sfx_pcm[i]);
    }
    return (int)(sizeof chiptune_sfx_pcm / sizeof chiptune_sfx_pcm[0]) == chiptune_sfx_num_samples ? 0 : 1;
}
