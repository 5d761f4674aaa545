#pragma once

// What the NES and the Game Boy models' comparisons with libgme share: libgme's render of one voice,
// each frame's level and pitch, the offset that aligns the two renders, and the frame-by-frame checks
// with their tolerances. Each console's test says what its frames hold and how its renders differ.

#include <gme/gme.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bleepforge::testing_support {

constexpr std::int32_t gme_rate = 44100;
constexpr double loud_db = -12.0;    // within this of the loudest frame, levels agree within 1 dB
constexpr double quiet_db = -30.0;   // down to this, within 2 dB
constexpr double silent_db = -50.0;  // below this a frame is silent; the other render's must be below -40
constexpr double pitch_tolerance = 0.005;
constexpr int max_offset = 3;

// The part of a frame that is compared, in samples.
struct Window {
    std::size_t from;
    std::size_t to;
};
using WindowOf = Window (*)(std::size_t frame);

// libgme's render of a file's first song with one voice alone: its left channel, as -1 to 1.
inline std::vector<double> libgme_left(const std::string& file, std::size_t count, int voice) {
    Music_Emu* emu = nullptr;
    EXPECT_EQ(gme_open_data(file.data(), static_cast<long>(file.size()), &emu, gme_rate), nullptr);
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
    std::vector<double> left(count);
    for (std::size_t i = 0; i < count; ++i) {
        left[i] = stereo[2 * i] / 32768.0;
    }
    return left;
}

inline double rms(const std::vector<double>& x, Window w) {
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
inline double pitch_hz(const std::vector<double>& x, Window w, double expected_hz) {
    const double period = gme_rate / expected_hz;
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
    return gme_rate * periods / (static_cast<double>(best) + shift);
}

// What the model's state says of one channel over a frame's window.
struct FrameFacts {
    double pitch_hz = 0.0;  // 0 where no one steady tone sounds
    double period = 0.0;    // samples; its level is measured over whole periods
    bool sounds = false;
    bool comparable = true;  // whether its level can be held to libgme's at all
};

// Each frame's level in dB relative to the loudest frame whose level can be compared. A channel
// that never sounds (a pulse triggered only at volume 0) is silent throughout.
inline std::vector<double> levels(const std::vector<double>& x, const std::vector<FrameFacts>& facts,
                                  std::size_t offset, WindowOf window) {
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
    for (double& level : out) {
        level = loudest > 0.0 ? 20.0 * std::log10(std::max(level, 1e-15) / loudest) : -300.0;
    }
    return out;
}

// One channel of one case, both renders measured. The model renders twice: as libgme outputs (its
// levels are held to libgme's) and as the console does (held within the difference between the two).
struct Measured {
    std::vector<FrameFacts> facts;
    std::vector<double> gme;      // libgme's samples
    std::vector<double> pitched;  // the model's samples whose pitch is measured
    std::vector<double> as_libgme_levels;
    std::vector<double> console_levels;
};

struct Worst {
    double pitch = 0.0;               // relative, ours against libgme
    double level_db[2] = {0.0, 0.0};  // as libgme outputs: within loud_db of the loudest, and below
    double console_excess_db = 0.0;   // the console's output, beyond the model's two outputs' difference
    double console_raw_db = 0.0;      // the same without that allowance
    double outputs_db = 0.0;          // the largest difference between the model's two outputs
    std::size_t pitch_frames = 0;
    std::size_t level_frames = 0;
    std::size_t silent_frames = 0;
    std::size_t frames = 0;
};

// The offset, 0 to max_offset frames, at which libgme's levels of the frames that sound differ least
// from ours; libgme's levels at it go to gme_levels.
inline int best_offset(const std::vector<Measured>& measured, std::size_t frames, WindowOf window,
                       std::vector<std::vector<double>>& gme_levels) {
    int offset = 0;
    double best = 1e300;
    for (int o = 0; o <= max_offset; ++o) {
        double sum = 0.0;
        std::vector<std::vector<double>> shifted;
        for (const Measured& m : measured) {
            shifted.push_back(levels(m.gme, m.facts, static_cast<std::size_t>(o), window));
            for (std::size_t k = 0; k < frames; ++k) {
                sum += std::abs(std::max(m.as_libgme_levels[k], quiet_db) -
                                std::max(shifted.back()[k], quiet_db));
            }
        }
        if (sum < best) {
            best = sum;
            offset = o;
            gme_levels = std::move(shifted);
        }
    }
    return offset;
}

// One channel's frames held to libgme's at the offset: the same silent frames, levels within the
// tolerances, and where a steady tone sounds at least pitch_floor_db below the loudest frame, the
// same pitch, within pitch_tolerance of the expected one.
inline void compare_frames(const Measured& m, const std::vector<double>& gme_levels, std::size_t frames,
                           int offset, WindowOf window, double pitch_floor_db, Worst& worst) {
    for (std::size_t k = 0; k < frames; ++k) {
        const std::size_t g = k + static_cast<std::size_t>(offset);
        const double ours = m.as_libgme_levels[k];
        const double theirs = gme_levels[k];
        ++worst.frames;
        if (!m.facts[k].comparable) {
            // neither the level nor the silence
        } else if (ours < silent_db || theirs < silent_db) {
            EXPECT_LT(ours, silent_db + 10.0) << "frame " << k << ": libgme " << theirs;
            EXPECT_LT(theirs, silent_db + 10.0) << "frame " << k << ": ours " << ours;
            worst.silent_frames += ours < silent_db && theirs < silent_db ? 1 : 0;
        } else if (ours >= quiet_db) {
            const bool loud = ours >= loud_db;
            const double tolerance = loud ? 1.0 : 2.0;
            const double d = std::abs(ours - theirs);
            EXPECT_LE(d, tolerance) << "frame " << k << ": " << ours << " dB, libgme " << theirs;
            worst.level_db[loud ? 0 : 1] = std::max(worst.level_db[loud ? 0 : 1], d);
            ++worst.level_frames;
            // The console's output: off from libgme by at most what separates the model's two outputs.
            const double allowance = std::abs(m.console_levels[k] - ours);
            const double raw = std::abs(m.console_levels[k] - theirs);
            EXPECT_LE(raw, allowance + tolerance) << "frame " << k;
            worst.console_excess_db = std::max(worst.console_excess_db, raw - allowance);
            worst.console_raw_db = std::max(worst.console_raw_db, raw);
            worst.outputs_db = std::max(worst.outputs_db, allowance);
        }
        if (m.facts[k].pitch_hz > 0.0 && ours >= pitch_floor_db) {
            const double f_ours = pitch_hz(m.pitched, window(k), m.facts[k].pitch_hz);
            const double f_gme = pitch_hz(m.gme, window(g), m.facts[k].pitch_hz);
            // A pitch steady over the window in both: not where a tone starts or stops in it.
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

// The figures of one group of cases, as the closing lines of a comparison print them.
inline void print_worst(const Worst& worst, const char* as_libgme, const char* console) {
    std::printf("  pitch: worst %.4f %% over %zu frames\n", 100.0 * worst.pitch, worst.pitch_frames);
    std::printf(
        "  level, %s: worst %.3f dB within 12 dB of the loudest, %.3f dB from 12 to 30 dB below, over %zu "
        "frames; %zu frames silent in both\n",
        as_libgme, worst.level_db[0], worst.level_db[1], worst.level_frames, worst.silent_frames);
    std::printf(
        "  level, %s: worst %.3f dB from libgme, %.3f dB beyond the model's two outputs' difference (at most "
        "%.3f dB)\n",
        console, worst.console_raw_db, worst.console_excess_db, worst.outputs_db);
}

}  // namespace bleepforge::testing_support
