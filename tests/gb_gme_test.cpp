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

#include <gme/gme.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bleepforge/gameboy.hpp"
#include "bleepforge/gbs.hpp"
#include "bleepforge/sound.hpp"
#include "dmg.hpp"
#include "gb_cases.hpp"
#include "gb_mix.hpp"
#include "output.hpp"
#include "test_scale.hpp"

namespace bleepforge {
namespace {

using testing_support::gb_byte;
using testing_support::GbCase;

constexpr std::int32_t rate = 44100;
constexpr double loud_db = -12.0;
constexpr double quiet_db = -30.0;
constexpr double silent_db = -50.0;
constexpr double pitch_tolerance = 0.005;
constexpr double pitch_db = -20.0;
constexpr int max_offset = 3;
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
    Music_Emu* emu = nullptr;
    EXPECT_EQ(gme_open_data(gbs.data(), static_cast<long>(gbs.size()), &emu, rate), nullptr);
    if (emu == nullptr) {
        return {};
    }
    gme_ignore_silence(emu, 1);
    for (int v = 0; v < gme_voice_count(emu); ++v) {
        gme_mute_voice(emu, v, v == voice ? 0 : 1);
    }
    EXPECT_EQ(gme_start_track(emu, 0), nullptr);
    std::vector<short> stereo(2 * count);
    EXPECT_EQ(gme_play(emu, static_cast<int>(stereo.size()), stereo.data()), nullptr);
    EXPECT_EQ(gme_warning(emu), nullptr);
    gme_delete(emu);
    Capacitor capacitor;
    std::vector<double> left(count);
    for (std::size_t i = 0; i < count; ++i) {
        left[i] = capacitor.step(stereo[2 * i] / 32768.0);
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
struct Window {
    std::size_t from;
    std::size_t to;
};
Window window(std::size_t k) {
    const double start = static_cast<double>(dmg::frame_start(k)) * rate / dmg_clock_hz;
    const double length = dmg_frame_cycles * rate / dmg_clock_hz;
    return {static_cast<std::size_t>(start + 0.15 * length), static_cast<std::size_t>(start + 0.95 * length)};
}
constexpr dmg::Cycle window_first_cycle = 10534;  // 15 % and 95 % of 70224
constexpr dmg::Cycle window_last_cycle = 66713;

double rms(const std::vector<double>& x, Window w) {
    double sum = 0.0;
    for (std::size_t i = w.from; i < w.to; ++i) {
        sum += x[i] * x[i];
    }
    return std::sqrt(sum / static_cast<double>(w.to - w.from));
}

// The pitch over the window near an expected one: the lag of the autocorrelation's peak within 3 %
// of the largest whole number of expected periods that fits in half the window, refined by a
// parabola through the peak and its neighbours, divided by that number. 0 where the peak's
// normalised correlation is below 0.9: no steady pitch there.
double pitch_hz(const std::vector<double>& x, Window w, double expected_hz) {
    const double period = rate / expected_hz;
    const std::size_t n = w.to - w.from;
    const double periods = std::floor(static_cast<double>(n) / 2.0 / period);
    if (periods < 1.0) {
        return 0.0;
    }
    auto correlation = [&](std::size_t lag) {
        double xy = 0.0;
        double xx = 0.0;
        double yy = 0.0;
        for (std::size_t i = w.from; i + lag < w.to; ++i) {
            xy += x[i] * x[i + lag];
            xx += x[i] * x[i];
            yy += x[i + lag] * x[i + lag];
        }
        return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
    };
    const auto low = static_cast<std::size_t>(std::floor(periods * period * 0.97));
    const auto high = static_cast<std::size_t>(std::ceil(periods * period * 1.03));
    std::size_t best = low;
    double peak = correlation(low);
    for (std::size_t lag = low + 1; lag <= high; ++lag) {
        const double c = correlation(lag);
        if (c > peak) {
            best = lag;
            peak = c;
        }
    }
    if (peak < 0.9 || best == low || best == high) {
        return 0.0;
    }
    const double before = correlation(best - 1);
    const double after = correlation(best + 1);
    const double shift = 0.5 * (before - after) / (before - 2.0 * peak + after);
    return rate * periods / (static_cast<double>(best) + shift);
}

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
// 160 Hz (fewer than 2 periods in it). Its period, over whole periods of which its level is measured so that a low note's
// level does not depend on its phase. Whether its level can be held to libgme's at all: not where the
// channel starts, stops or changes its period within the window (the sweep, a length), nor for a slow
// noise, nor in the frame after it stops, whose tail through the high-passes starts from a charge that
// depends on the phase the wave stopped at, which the two renders do not share.
struct FrameFacts {
    double pitch_hz = 0.0;
    double period = 0.0;  // samples
    bool sounds = false;
    bool comparable = true;
};
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

// Each frame's level in dB relative to the loudest frame whose level can be compared.
std::vector<double> levels(const std::vector<double>& x, const std::vector<FrameFacts>& facts,
                           std::size_t offset) {
    std::vector<double> out;
    double loudest = 0.0;
    for (std::size_t k = 0; k < facts.size(); ++k) {
        Window w = window(k + offset);
        const double period = facts[k].period;
        if (period > 0.0 && period <= static_cast<double>(w.to - w.from)) {
            w.to = w.from +
                   static_cast<std::size_t>(std::floor(static_cast<double>(w.to - w.from) / period) * period);
        }
        out.push_back(rms(x, w));
        loudest = facts[k].comparable && facts[k].sounds ? std::max(loudest, out.back()) : loudest;
    }
    // A channel that never sounds (a pulse triggered only at volume 0) is silent throughout.
    for (double& level : out) {
        level = loudest > 0.0 ? 20.0 * std::log10(std::max(level, 1e-15) / loudest) : -300.0;
    }
    return out;
}

// One channel of one case, both renders measured.
struct Measured {
    std::vector<FrameFacts> facts;
    std::vector<double> gme;  // libgme's samples
    std::vector<double> bipolar;
    std::vector<double> bipolar_levels;
    std::vector<double> console_levels;
};

struct Worst {
    double pitch = 0.0;               // relative, ours against libgme
    double level_db[2] = {0.0, 0.0};  // bipolar: within loud_db of the loudest, and below
    double console_excess_db = 0.0;   // the console's output, beyond the two outputs' own difference
    double console_raw_db = 0.0;      // the same without that allowance
    double outputs_db = 0.0;          // the largest difference between the model's two outputs
    std::size_t pitch_frames = 0;
    std::size_t level_frames = 0;
    std::size_t silent_frames = 0;
    std::size_t frames = 0;
};

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
            m.bipolar = model_render(solo, count, GbDac::bipolar);
            m.bipolar_levels = levels(m.bipolar, m.facts, 0);
            m.console_levels = levels(model_render(solo, count, GbDac::console), m.facts, 0);
            ASSERT_EQ(m.gme.size(), count);
            used.push_back(&channel);
            measured.push_back(std::move(m));
        }

        // The offset: the one where the levels of the frames that sound differ least.
        int offset = 0;
        double best = 1e300;
        std::vector<std::vector<double>> gme_levels(measured.size());
        for (int o = 0; o <= max_offset; ++o) {
            double sum = 0.0;
            std::vector<std::vector<double>> shifted;
            for (const Measured& m : measured) {
                shifted.push_back(levels(m.gme, m.facts, static_cast<std::size_t>(o)));
                for (std::size_t k = 0; k < frames; ++k) {
                    sum += std::abs(std::max(m.bipolar_levels[k], quiet_db) - std::max(shifted.back()[k], quiet_db));
                }
            }
            if (sum < best) {
                best = sum;
                offset = o;
                gme_levels = std::move(shifted);
            }
        }
        offsets.push_back(offset);

        for (std::size_t i = 0; i < measured.size(); ++i) {
            SCOPED_TRACE(used[i]->name);
            const Measured& m = measured[i];
            for (std::size_t k = 0; k < frames; ++k) {
                const std::size_t g = k + static_cast<std::size_t>(offset);
                const double ours = m.bipolar_levels[k];
                const double theirs = gme_levels[i][k];
                ++worst.frames;
                if (std::getenv("GB_DEBUG") && c.name == std::getenv("GB_DEBUG")) {
                    std::printf("DBG %s %zu comp=%d sounds=%d ours=%.2f gme=%.2f console=%.2f\n", used[i]->name, k,
                                m.facts[k].comparable, m.facts[k].sounds, ours, theirs, m.console_levels[k]);
                }
                if (!m.facts[k].comparable) {
                    // neither the level nor the silence
                } else if (ours < silent_db || theirs < silent_db) {
                    EXPECT_LT(ours, silent_db + 10.0) << "frame " << k << ": libgme " << theirs;
                    EXPECT_LT(theirs, silent_db + 10.0) << "frame " << k << ": ours " << ours;
                    worst.silent_frames += ours < silent_db && theirs < silent_db ? 1 : 0;
                } else if (ours >= quiet_db) {
                    const double tolerance = ours >= loud_db ? 1.0 : 2.0;
                    const double d = std::abs(ours - theirs);
                    EXPECT_LE(d, tolerance) << "frame " << k << ": " << ours << " dB, libgme " << theirs;
                    worst.level_db[ours >= loud_db ? 0 : 1] = std::max(worst.level_db[ours >= loud_db ? 0 : 1], d);
                    ++worst.level_frames;
                    // The console's output: off from libgme by at most what separates the two outputs.
                    const double allowance = std::abs(m.console_levels[k] - ours);
                    const double raw = std::abs(m.console_levels[k] - theirs);
                    EXPECT_LE(raw, allowance + tolerance) << "frame " << k;
                    worst.console_excess_db = std::max(worst.console_excess_db, raw - allowance);
                    worst.console_raw_db = std::max(worst.console_raw_db, raw);
                    worst.outputs_db = std::max(worst.outputs_db, allowance);
                }
                // The pitch where the tone is within 20 dB of the loudest: a quieter note right after a
                // loud one sounds over the loud one's tail through the high-passes, which depends on the
                // phase at the change, which the renders do not share.
                if (m.facts[k].pitch_hz > 0.0 && ours >= pitch_db) {
                    const double f_ours = pitch_hz(m.bipolar, window(k), m.facts[k].pitch_hz);
                    const double f_gme = pitch_hz(m.gme, window(g), m.facts[k].pitch_hz);
                    if (f_ours > 0.0 && f_gme > 0.0) {
                        ++worst.pitch_frames;
                        EXPECT_LE(std::abs(f_ours / m.facts[k].pitch_hz - 1.0), pitch_tolerance)
                            << "frame " << k << ": " << f_ours << " Hz for " << m.facts[k].pitch_hz;
                        const double against_libgme = std::abs(f_ours / f_gme - 1.0);
                        EXPECT_LE(against_libgme, pitch_tolerance)
                            << "frame " << k << ": " << f_ours << " Hz, libgme " << f_gme;
                        worst.pitch = std::max(worst.pitch, against_libgme);
                    } else {
                        EXPECT_EQ(f_ours > 0.0, f_gme > 0.0)
                            << "frame " << k << ": " << f_ours << " Hz, libgme " << f_gme;
                    }
                }
            }
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
        std::printf("  pitch: worst %.4f %% over %zu frames\n", 100.0 * worst.pitch, worst.pitch_frames);
        std::printf(
            "  level, bipolar: worst %.3f dB within 12 dB of the loudest, %.3f dB from 12 to 30 dB below, over %zu "
            "frames; %zu frames silent in both\n",
            worst.level_db[0], worst.level_db[1], worst.level_frames, worst.silent_frames);
        std::printf(
            "  level, the console's DAC: worst %.3f dB from libgme, %.3f dB beyond the two outputs' difference "
            "(at most %.3f dB)\n",
            worst.console_raw_db, worst.console_excess_db, worst.outputs_db);
    }
}

}  // namespace
}  // namespace bleepforge
