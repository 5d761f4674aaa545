// The Game Boy model held to libgme playing the GBS of the same frames: frame by frame and channel by
// channel, the pitch heard and the level, for hand-made notes and for random sound effects.
//
// What differs between the two, and how the comparison takes it:
// - libgme plays frame k one frame late (its first PLAY call is one period after INIT): the renders
//   are aligned by the constant offset (0 to 3 frames) that fits best, and it must be 1.
// - libgme's output has a 120 Hz high-pass and not the DMG's capacitor (about 28 Hz): each render gets
//   the other's, libgme's samples our capacitor, ours a first-order 120 Hz high-pass.
// - Each channel is compared alone (libgme's other voices muted; the model given only that channel's
//   writes and the global ones): two channels sounding together add in a phase that the two renders do
//   not share (libgme makes its writes later in the frame), and where their harmonics meet, the level
//   of their sum depends on it.
// - libgme's channels are bipolar, plus or minus the volume, without the DAC's offset:
//   a note's start or end, or a new volume, moves the console's DC level and leaves a tail through the
//   high-passes that libgme does not have. So the levels are held with the model's bipolar output
//   (GbDac::bipolar), and the console's output within the tolerance plus the difference between its
//   two outputs, frame by frame: the compensation measured, not assumed.
// - Levels are compared within 1 dB on frames within 12 dB of the loudest frame of the channel's render,
//   within 2 dB from 12 to 30 dB below it; a frame below 50 dB under it is silent, and the other render's
//   must be below 40 dB under its own. Frames that sound between 30 and 50 dB below are not compared.
// - The two outputs' bands differ: ours is flat to 0.3 of the rate and 6 dB down at 0.4 (17.6 kHz),
//   libgme's reaches further. A tone hardly cares, but a noise at a high clock spreads its power over
//   every band, and a 524 kHz noise would measure 0.7 dB louder in libgme relative to one at 22 kHz. So
//   both renders are low-passed at 11 kHz (a windowed sinc, 80 dB down from 14 kHz) before they are
//   measured.
// - The noise's level over a frame depends on where in its sequence the LFSR is when it clocks fewer
//   than 100 times in the window (a clock longer than 560 cycles): those frames' levels are not
//   compared, only their silence.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bleepforge/gameboy.hpp"
#include "bleepforge/gbs.hpp"
#include "bleepforge/sound.hpp"
#include "dmg.hpp"
#include "gb_cases.hpp"
#include "gb_mix.hpp"
#include "gme_compare.hpp"
#include "output.hpp"
#include "test_scale.hpp"

namespace bleepforge {
namespace {

using testing_support::best_offset;
using testing_support::compare_frames;
using testing_support::FrameFacts;
using testing_support::gb_byte;
using testing_support::GbCase;
using testing_support::levels;
using testing_support::max_offset;
using testing_support::Measured;
using testing_support::Window;
using testing_support::Worst;

constexpr std::int32_t rate = testing_support::gme_rate;
constexpr double pitch_db = -20.0;
constexpr double libgme_bass_hz = 120.0;  // its Blip_Buffer's bass setting

// The cases: the hand-made ones, then the sounds themselves.
std::vector<GbCase> cases() {
    std::vector<GbCase> all = testing_support::gb_hand_cases();
    // Every preset's patch of every chip made hardware on the gameboy, and 100 random hardware sounds
    // of every family (12 where the build is unoptimised).
    // Unoptimised builds take a quarter of the presets' patches, each family and each chip's once.
    const std::size_t stride = testing_support::every_case ? 1 : chip_words.size();
    for (std::size_t preset = 0; preset < preset_words.size(); ++preset) {
        for (std::size_t chip = 0; chip < chip_words.size(); ++chip) {
            if ((preset + chip) % stride != 0) {
                continue;
            }
            Sound sound = make_sound(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            sound.patch.chip = ChipType::gameboy;
            sound.patch.hardware = true;
            all.push_back({std::string(preset_words[preset]) + " of " + std::string(chip_words[chip]),
                           hardware_frames(sound.patch, sound.duration_s).frames});
        }
    }
    for (std::uint64_t seed = 0; seed < testing_support::random_cases(100, 12); ++seed) {
        const auto family = static_cast<SfxPreset>(seed % preset_words.size());
        const Sound sound = random_sound(family, ChipType::gameboy, seed, true);
        all.push_back(
            {"random " + std::string(preset_words[seed % preset_words.size()]) + " " + std::to_string(seed),
             hardware_frames(sound.patch, sound.duration_s).frames});
    }
    return all;
}

// The DMG's capacitor at the output rate, as the model has it but always connected.
class Capacitor {
public:
    Capacitor() : charge_(dmg::charge_factor(rate)) {}
    double step(double x) {
        const double y = x - c_;
        c_ = x - y * charge_;
        return y;
    }

private:
    double charge_;
    double c_ = 0.0;
};

// x through a low-pass at 11 kHz: a 127-tap Blackman-windowed sinc, unity at DC.
std::vector<double> band_limited(const std::vector<double>& x) {
    constexpr int half = 63;
    constexpr double cutoff = 11000.0 / rate;
    std::vector<double> taps;
    double sum = 0.0;
    for (int n = -half; n <= half; ++n) {
        const double sinc = n == 0 ? 2.0 * cutoff : std::sin(2.0 * chip::pi * cutoff * n) / (chip::pi * n);
        const double p = chip::pi * (n + half) / half;
        taps.push_back(sinc * (0.42 - 0.5 * std::cos(p) + 0.08 * std::cos(2.0 * p)));
        sum += taps.back();
    }
    // Zeros either side, so that every output sample sums all the taps.
    std::vector<double> padded(x.size() + 2 * half, 0.0);
    std::copy(x.begin(), x.end(), padded.begin() + half);
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double* at = padded.data() + i;
        double acc = 0.0;
        for (std::size_t j = 0; j < taps.size(); ++j) {
            acc += taps[j] * at[j];
        }
        y[i] = acc / sum;
    }
    return y;
}

// libgme's render of the GBS with one voice alone, its left channel, through the DMG's capacitor.
std::vector<double> libgme_render(const std::string& gbs, std::size_t count, int voice) {
    std::vector<double> left = testing_support::libgme_left(gbs, count, voice);
    Capacitor capacitor;
    for (double& x : left) {
        x = capacitor.step(x);
    }
    return band_limited(left);
}

// The model's render, with libgme's 120 Hz high-pass.
std::vector<double> model_render(const std::vector<FrameWrites>& frames, std::size_t count, GbDac dac) {
    const std::vector<float> samples = *render_gb(frames, rate, count, dac);
    chip::HighPass bass(libgme_bass_hz, rate, 0.0);
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = bass.step(static_cast<double>(samples[i]));
    }
    return band_limited(out);
}

// The part of frame k that is compared: from 15 % to 95 % of it, past the writes and libgme's own
// latency.
Window window(std::size_t k) {
    const double start = static_cast<double>(dmg::frame_start(k)) * rate / dmg_clock_hz;
    const double length = dmg_frame_cycles * rate / dmg_clock_hz;
    return {static_cast<std::size_t>(start + 0.15 * length), static_cast<std::size_t>(start + 0.95 * length)};
}
constexpr dmg::Cycle window_first_cycle = 10534;  // 15 % and 95 % of 70224
constexpr dmg::Cycle window_last_cycle = 66713;

// The writes of one channel alone: its own registers (and CH3's wave RAM) and the global ones.
struct Channel {
    const char* name;
    int index;  // the model's and libgme's voice
    std::uint16_t first;
    std::uint16_t last;
};
constexpr Channel channels[] = {{"CH1", 0, 0xFF10, 0xFF14},
                                {"CH2", 1, 0xFF16, 0xFF19},
                                {"CH3", 2, 0xFF1A, 0xFF1E},
                                {"CH4", 3, 0xFF20, 0xFF23}};

bool belongs(const RegisterWrite& w, const Channel& c) {
    return (w.address >= c.first && w.address <= c.last) || (c.index == 2 && w.address >= 0xFF30);
}

std::vector<FrameWrites> alone(const std::vector<FrameWrites>& frames, const Channel& c) {
    std::vector<FrameWrites> out;
    for (const FrameWrites& frame : frames) {
        FrameWrites kept;
        for (const RegisterWrite& w : frame) {
            if (belongs(w, c) || (w.address >= 0xFF24 && w.address <= 0xFF26)) {
                kept.push_back(w);
            }
        }
        out.push_back(std::move(kept));
    }
    return out;
}

bool writes(const std::vector<FrameWrites>& frames, const Channel& c) {
    return std::any_of(frames.begin(), frames.end(), [&](const FrameWrites& f) {
        return std::any_of(f.begin(), f.end(), [&](const RegisterWrite& w) { return belongs(w, c); });
    });
}

// What the unit's state over frame k's window (at its start, middle and end) says about a channel
// alone. Its pitch: where one tone sounds through the window at one period and one volume, 0 below
// 160 Hz (fewer than 2 periods in it). Its period, over whole periods of which its level is measured so that
// a low note's level does not depend on its phase. Whether its level can be held to libgme's at all: not
// where the channel starts, stops or changes its period within the window (the sweep, a length), nor for a
// slow noise, nor in the frame after it stops, whose tail through the high-passes starts from a charge that
// depends on the phase the wave stopped at, which the two renders do not share.
std::vector<FrameFacts> frame_facts(const std::vector<FrameWrites>& frames, int channel, std::size_t count) {
    dmg::FramePlayer player(frames);
    struct Quiet {
        void channel(dmg::Cycle, int, std::uint8_t) {}
        void panning(dmg::Cycle, std::uint8_t, std::uint8_t) {}
    } sink;
    struct Point {
        double cycles = 0.0;  // the tone's period in clock cycles, 0 when none
        bool sounds = false;
        bool in_step = true;  // the renders' states agree: not a slow noise
        bool operator==(const Point&) const = default;
    };
    std::uint8_t volume[3] = {0, 0, 0};  // at the window's three points
    auto at = [&](dmg::Cycle cycle, int point) {  // the state through the given cycle
        while (player.next_event() <= cycle) {
            player.step(sink);
        }
        const dmg::Apu& apu = player.apu();
        Point p;
        volume[point] = channel < 2 ? apu.pulse(channel).envelope.volume : apu.noise().envelope.volume;
        if (channel < 2) {
            const dmg::Pulse& pulse = apu.pulse(channel);
            if (pulse.on && pulse.envelope.volume > 0) {
                p = {8.0 * static_cast<double>(dmg::pulse_step_cycles(pulse.period)), true, true};
            }
        } else if (channel == 3) {
            const dmg::Noise& noise = apu.noise();
            if (noise.on && noise.envelope.volume > 0 && (noise.nr43 >> 4U) < dmg::noise_silent_shift) {
                p = {0.0, true, dmg::noise_clock_cycles(noise.nr43) <= 560};
            }
        }
        return p;
    };
    std::vector<FrameFacts> out;
    bool sounded_before = false;
    for (std::size_t k = 0; k < count; ++k) {
        const dmg::Cycle start = dmg::frame_start(k);
        const Point first = at(start + window_first_cycle, 0);
        const Point middle = at(start + 35112, 1);
        const Point last = at(start + window_last_cycle, 2);
        FrameFacts facts;
        facts.period = middle.cycles * rate / dmg_clock_hz;
        facts.sounds = middle.sounds;
        const bool steady = first == middle && middle == last;
        const bool tail = sounded_before && !middle.sounds;
        facts.comparable = steady && middle.in_step && !tail &&
                           facts.period <= static_cast<double>(window(k).to - window(k).from);
        sounded_before = last.sounds;
        // A pitch where the tone's level is steady too: not while an envelope steps within the window.
        if (steady && volume[0] == volume[1] && volume[1] == volume[2] && middle.cycles > 0.0 &&
            dmg_clock_hz / middle.cycles >= 160.0) {
            facts.pitch_hz = dmg_clock_hz / middle.cycles;
        }
        out.push_back(facts);
    }
    return out;
}

TEST(Libgme, PlaysTheGbsAsTheModelRendersTheFrames) {
    Worst worsts[2];  // the hand-made cases, then the sounds
    const std::size_t hand_made = testing_support::gb_hand_cases().size();
    std::vector<int> offsets;
    const std::vector<GbCase> all = cases();
    for (std::size_t case_index = 0; case_index < all.size(); ++case_index) {
        const GbCase& c = all[case_index];
        Worst& worst = worsts[case_index < hand_made ? 0 : 1];
        SCOPED_TRACE(c.name);
        const Frames song{HardwareModel::gameboy, c.frames};
        const ConsoleFile gbs = gbs_file(std::span(&song, 1), c.name.substr(0, gbs_title_max));
        ASSERT_EQ(gbs.problem, "");
        const std::size_t frames = c.frames.size() + 6;
        const std::size_t count = window(frames + max_offset).to + 1;
        std::vector<const Channel*> used;
        std::vector<Measured> measured;
        for (const Channel& channel : channels) {
            if (!writes(c.frames, channel)) {
                continue;
            }
            const std::vector<FrameWrites> solo = alone(c.frames, channel);
            Measured m;
            m.facts = frame_facts(solo, channel.index, frames);
            m.gme = libgme_render(gbs.bytes, count, channel.index);
            m.pitched = model_render(solo, count, GbDac::bipolar);
            m.as_libgme_levels = levels(m.pitched, m.facts, 0, window);
            m.console_levels = levels(model_render(solo, count, GbDac::console), m.facts, 0, window);
            ASSERT_EQ(m.gme.size(), count);
            used.push_back(&channel);
            measured.push_back(std::move(m));
        }
        std::vector<std::vector<double>> gme_levels;
        const int offset = best_offset(measured, frames, window, gme_levels);
        offsets.push_back(offset);
        // The pitch where the tone is within 20 dB of the loudest: a quieter note right after a loud one
        // sounds over the loud one's tail through the high-passes, which depends on the phase at the
        // change, which the renders do not share.
        for (std::size_t i = 0; i < measured.size(); ++i) {
            SCOPED_TRACE(used[i]->name);
            compare_frames(measured[i], gme_levels[i], frames, offset, window, pitch_db, worst);
        }
    }
    for (const int o : offsets) {
        EXPECT_EQ(o, 1);  // libgme's one frame, in every case
    }
    EXPECT_GE(worsts[0].pitch_frames + worsts[1].pitch_frames, 500U);
    EXPECT_GE(worsts[0].level_frames + worsts[1].level_frames, 1500U);
    std::printf("%zu cases; libgme one frame late in every case: %s\n", all.size(),
                std::all_of(offsets.begin(), offsets.end(), [](int o) { return o == 1; }) ? "yes" : "no");
    for (int group = 0; group < 2; ++group) {
        const Worst& worst = worsts[group];
        std::printf("%s, %zu channel frames\n", group == 0 ? "hand-made writes" : "sounds made hardware", worst.frames);
        testing_support::print_worst(worst, "bipolar", "the console's DAC");
    }
}

}  // namespace
}  // namespace bleepforge
