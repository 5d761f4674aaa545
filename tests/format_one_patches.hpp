#pragma once

#include <vector>

#include "bleepforge/synth.hpp"
#include "test_random.hpp"

namespace bleepforge::testing_support {

struct TimedPatch {
    SfxPatch patch;
    double duration_s;
};

// 200 patches of the original fourteen members only, drawn across their ranges, and their lengths:
// the sounds whose floats stages_test.cpp holds to the ones recorded before the stages came.
inline std::vector<TimedPatch> format_one_patches() {
    SplitMix rng{1919};
    std::vector<TimedPatch> patches;
    for (int k = 0; k < 200; ++k) {
        // Drawn one after the other: the order of a call's arguments is each compiler's own.
        const auto chip = static_cast<ChipType>(rng.next() % 4);
        const auto preset = static_cast<SfxPreset>(rng.next() % 8);
        SfxPatch p = make_patch(preset, chip);
        p.base_freq = rng.uniform(20, 20000);
        p.freq_slide = rng.uniform(-20000, 20000);
        p.duty = rng.unit();
        p.attack = rng.uniform(0, 0.05);
        p.decay = rng.uniform(0, 0.1);
        p.sustain_time = rng.uniform(0, 0.1);
        p.release = rng.uniform(0, 0.1);
        p.sustain_level = rng.unit();
        p.filter_cutoff = rng.uniform(0, 1.2);
        p.noise = rng.unit();
        p.fm_ratio = rng.uniform(0, 16);
        p.fm_index = rng.uniform(0, 20);
        p.vibrato_depth = rng.uniform(-100, 1000);
        p.vibrato_rate = rng.uniform(0, 100);
        const double duration_s = rng.uniform(0.01, 0.2);
        patches.push_back({p, duration_s});
    }
    return patches;
}

}  // namespace bleepforge::testing_support
