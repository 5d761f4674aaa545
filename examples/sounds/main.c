/* Plays nothing: shows what a game sees of a bank of sounds rendered at build time into one
   header, game.h, with an enum of the sounds and a table to index. */
#include <stdio.h>

#include "game.h"

int main(void) {
    static const char* const names[game_count] = {"zap", "pickup", "blip"};
    int id;
    int i;
    for (id = 0; id < game_count; ++id) {
        const struct game_sound* sound = &game_sounds[id];
        printf("%s: %d Hz, %d samples, first:", names[id], game_sample_rate, sound->num_samples);
        for (i = 0; i < 8; ++i) {
            printf(" %d", sound->pcm[i]);
        }
        printf("\n");
    }
    return 0;
}
