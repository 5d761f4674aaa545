/* Plays nothing: shows what a game sees of a header generated at build time. */
#include <stdio.h>

#include "pickup_sound.h"

int main(void) {
    int i;
    printf("%d Hz, %d samples, first:", chiptune_sfx_sample_rate, chiptune_sfx_num_samples);
    for (i = 0; i < 8; ++i) {
        printf(" %d", chiptune_sfx_pcm[i]);
    }
    printf("\n");
    return 0;
}
