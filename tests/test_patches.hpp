#pragma once

#include "bleepforge/sound.hpp"
#include "test_random.hpp"

namespace bleepforge::testing_support {

// A preset on one of the four chips or on one beyond them, every patch member drawn from its
// documented range and a tenth beyond both ends (so the renderer's own clamps are reached), times
// kept under a tenth of a second so envelopes end inside short renders.
inline SfxPatch random_patch(SplitMix& rng) {
    const auto preset = static_cast<SfxPreset>(rng.next() % 8);  // drawn in order, whatever the compiler
    const auto chip = static_cast<ChipType>(rng.next() % 5);
    SfxPatch p = make_patch(preset, chip);
    for (const SoundField& field : sound_fields()) {
        if (field.member == nullptr) {
            continue;
        }
        const double high = field.unit == "s" ? 0.1 : field.max;
        const double margin = 0.1 * (high - field.min);
        p.*field.member = rng.uniform(field.min - margin, high + margin);
    }
    return p;
}

}  // namespace bleepforge::testing_support
