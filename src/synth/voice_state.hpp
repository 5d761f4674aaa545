#pragma once

// What a Voice holds: the render's fixed choices and each stage's unit. Only the renderer and its
// tests read it.

#include <cstdint>
#include <vector>

#include <optional>
#include <variant>

#include "bleepforge/gameboy.hpp"
#include "bleepforge/nes.hpp"
#include "bleepforge/synth.hpp"
#include "units.hpp"

namespace bleepforge {

struct Voice::State {
    // Fixed for the whole render.
    SfxPatch patch{};
    double rate_hz = 0.0;
    std::uint64_t sample_count = 0;  // samples in the whole render
    Generator generator = Generator::silent;
    bool stages = false;  // stages_in_use(patch): the stages' loop, else the original voice's

    // What changes from sample to sample.
    std::uint64_t next_sample = 0;    // the index of the next sample render_voice writes
    double phase = 0.0;               // radians, of the carrier
    double mod_phase = 0.0;           // radians, of the FM modulator
    voice::PitchStages tone;          // the repeat, the pitch, the vibrato and the duty
    voice::SignalStages signal;       // the noise layer, the filters, the level, the effects and the clip
    std::vector<double> phaser_ring;  // the phaser's last samples, signal.ring_length long

    // A sound made for the hardware: its frames played by the console's model, in place of the above.
    std::variant<std::monostate, NesRender, GbRender> hardware;

    // A mix of layers, each a voice of its own from its first sample on (empty: one voice).
    std::vector<Voice> layers;
    std::vector<std::uint64_t> layer_starts;  // the sample each layer begins at
    std::vector<double> layer_gains;          // each layer's share of the mix
};

}  // namespace bleepforge
