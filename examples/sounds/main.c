/* Plays nothing: shows what a game sees of two sound files rendered at build time. */
#include <stdio.h>

#include "pickup.h"
#include "zap.h"

static void show(const char* name, int rate, int count, const int16_t* pcm) {
    int i;
    printf("%s: %d Hz, %d samples, first:", name, rate, count);
    for (i = 0; i < 8; ++i) {
        printf(" %d", pcm[i]);
    }
    printf("\n");
}

int main(void) {
    show("zap", zap_sample_rate, zap_num_samples, zap_pcm);
    show("pickup", pickup_sample_rate, pickup_num_samples, pickup_pcm);
    return 0;
}
