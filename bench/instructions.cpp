// One render for an instruction count under valgrind --tool=callgrind: counts, unlike seconds, are
// the same from run to run whatever else the machine does. bench/instructions.sh runs it beside
// another commit's library. Usage: instructions design|stages|layered
#include <cstdio>
#include <cstring>

#include "bleepforge/bleepforge.hpp"
#include "bleepforge/sound.hpp"

namespace {

using namespace bleepforge;

// Every stage of format 2 at once on the nes voice, as bench/render_bench.cpp's slowest case.
SfxPatch every_stage() {
    SfxPatch p = make_patch(SfxPreset::coin, ChipType::nes);
    p.freq_slide_accel = 2000.0;
    p.jump1_semitones = 7.0;
    p.jump1_time = 0.05;
    p.jump2_semitones = 5.0;
    p.jump2_time = 0.1;
    p.repeat_rate = 8.0;
    p.vibrato_depth = 10.0;
    p.duty_sweep = -0.5;
    p.punch = 0.4;
    p.filter_cutoff = 0.6;
    p.filter_sweep = 0.5;
    p.highpass_cutoff = 30.0;
    p.highpass_sweep = 200.0;
    p.tremolo_depth = 0.3;
    p.phaser_offset = 0.002;
    p.phaser_sweep = 0.004;
    p.downsample_rate = 11025.0;
    p.bitcrush_bits = 8.0;
    p.gain = 0.8;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    const char* what = argc > 1 ? argv[1] : "design";
    SampleBuffer samples;
    if (std::strcmp(what, "stages") == 0) {
        samples = render_sfx(every_stage(), 0.5, 44100);
    } else if (std::strcmp(what, "layered") == 0) {
        Sound mix;
        for (const SfxPreset preset : {SfxPreset::explosion, SfxPreset::hit, SfxPreset::powerup}) {
            mix.layers.push_back({make_sound(preset, ChipType::nes), 0.05, 0.33});
        }
        samples = render_sound(mix, 44100);
    } else {
        // The original voice's own: powerup on the FM voice, with vibrato, and explosion, with the filter.
        samples = render_sfx(make_patch(SfxPreset::powerup, ChipType::ym2612), 0.5, 44100);
        const SampleBuffer more = render_sfx(make_patch(SfxPreset::explosion, ChipType::nes), 0.5, 44100);
        samples.insert(samples.end(), more.begin(), more.end());
    }
    float sum = 0.0f;
    for (const float s : samples) {
        sum += s;
    }
    std::printf("%zu samples, sum %.6f\n", samples.size(), static_cast<double>(sum));
    return 0;
}
