#pragma once

// The Game Boy's (DMG's) sound unit as Pan Docs describes it (pages "Audio", "Audio Registers", "Audio
// Details"): integer state stepped at the 4194304 Hz master clock. Between two control events (the
// writes of a frame, a DIV-APU tick) only the channels' timers move, so the unit runs from one event to
// the next in one call and tells a sink each change of a channel's output, at its cycle, without a loop
// over the cycles in between.
//
// A sink has two members, each called only when what it reports changes:
//   void channel(Cycle c, int index, std::uint8_t output);   index 0-3 is CH1-CH4, output as below
//   void panning(Cycle c, std::uint8_t nr50, std::uint8_t nr51);
// A channel's output is its DAC's input and state, not yet an analog level: while the channel is on,
// output_high (its digital value is the volume) or 0 (its digital value is 0), or'ed with the volume
// 0-15 (for CH3, the wave's sample after NR32's shift, always with output_high); output_silent while
// its DAC is on and the channel is off (digital 0); output_dac_off while its DAC is off.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge::dmg {

using Cycle = std::uint64_t;  // master clock cycles (4194304 Hz) since frame 0's writes
inline constexpr Cycle never = ~Cycle{0};

inline constexpr std::uint8_t output_high = 0x10;
inline constexpr std::uint8_t output_silent = 32;
inline constexpr std::uint8_t output_dac_off = 33;
inline constexpr int output_codes = 34;

// Frame k's writes are made at cycle k * 70224, the start of video frame k (154 lines of 456 dots).
inline constexpr auto frame_cycles = static_cast<Cycle>(dmg_frame_cycles);
static_assert(static_cast<double>(frame_cycles) == dmg_frame_cycles);
[[nodiscard]] constexpr Cycle frame_start(std::uint64_t k) {
    return k * frame_cycles;
}

// "Audio Details", DIV-APU: a tick on each fall of DIV's bit 4, 512 Hz; lengths every 2nd tick (256 Hz),
// CH1's sweep every 4th (128 Hz), envelopes every 8th (64 Hz). Pan Docs gives the rates, not the phase,
// which on the console depends on DIV's count when the GBS player's INIT powers the unit. Ours: tick
// n (n = 1, 2, ...) at cycle 8192 n - 4088; lengths on even n, the sweep on n divisible by 4, envelopes
// on n = 6 mod 8. That is where libgme 0.6.3's steps fall for our GBS, measured (an envelope's step, a
// length's end, a sweep's step), so that a render and libgme's play of the same frames step alike.
inline constexpr Cycle div_apu_cycles = 8192;
inline constexpr Cycle div_apu_lead = 4088;
[[nodiscard]] constexpr Cycle div_apu_tick(std::uint64_t n) {
    return n * div_apu_cycles - div_apu_lead;
}
[[nodiscard]] constexpr bool clocks_lengths(std::uint64_t n) {
    return n % 2 == 0;
}
[[nodiscard]] constexpr bool clocks_sweep(std::uint64_t n) {
    return n % 4 == 0;
}
[[nodiscard]] constexpr bool clocks_envelopes(std::uint64_t n) {
    return n % 8 == 6;
}

// "Audio Registers", NR13 and NR33: the period dividers count up from the period value x and reload it
// when they overflow past 2047, the pulses' once every 4 cycles (1048576 Hz), the wave's every 2.
inline constexpr std::uint16_t period_overflow = 2048;
inline constexpr Cycle pulse_divider_cycles = 4;
inline constexpr Cycle wave_divider_cycles = 2;
[[nodiscard]] constexpr Cycle pulse_step_cycles(std::uint16_t x) {
    return pulse_divider_cycles * (period_overflow - x);
}
[[nodiscard]] constexpr Cycle wave_step_cycles(std::uint16_t x) {
    return wave_divider_cycles * (period_overflow - x);
}
// "Audio Registers", NR11: each duty's digital value (1: the volume) over the 8 duty steps, read from
// the waveforms there, which are drawn in analog polarity (the DAC inverts).
inline constexpr std::uint8_t duty_waves[4][8] = {
    {0, 0, 0, 0, 0, 0, 0, 1},  // 12.5 %
    {1, 0, 0, 0, 0, 0, 0, 1},  // 25 %
    {1, 0, 0, 0, 0, 1, 1, 1},  // 50 %
    {0, 1, 1, 1, 1, 1, 1, 0},  // 75 %
};
// "Audio Registers", NR43: the LFSR clocks 262144 / (r 2^s) times a second, r = 0 counting as 0.5: in
// cycles, divisor[r] << s; s = 14 and 15 give no clocks.
inline constexpr std::uint8_t noise_divisors[8] = {8, 16, 32, 48, 64, 80, 96, 112};
inline constexpr std::uint8_t noise_silent_shift = 14;
[[nodiscard]] constexpr Cycle noise_clock_cycles(std::uint8_t nr43) {
    return Cycle{noise_divisors[nr43 & 7U]} << (nr43 >> 4U);
}
// "Audio": a length timer turns its channel off after 64 ticks (CH3: 256) less NRx1's initial value.
inline constexpr std::uint16_t pulse_length = 64;
inline constexpr std::uint16_t wave_length = 256;
// "Audio Registers", NR10: a sweep target above $7FF turns CH1 off.
inline constexpr std::uint16_t sweep_max_period = 0x7FF;
// "Audio Registers", NR32: the right shift of the wave's samples for output levels 0-3 (0 mutes).
inline constexpr std::uint8_t wave_shifts[4] = {4, 0, 1, 2};

// What a GBS player writes before INIT (libgme's and gbsplay's power-up values; on the
// DMG only the NRx1 length timers and wave RAM keep them through the power cycle) and what our player's
// INIT writes (NR52 off and on, so that every register starts clear, then NR50 $77, NR51 $FF, NR10 $00):
// the unit starts from there, so a render and the GBS of the same frames start alike.
[[nodiscard]] std::vector<RegisterWrite> start_writes();
// The writes of our INIT alone.
[[nodiscard]] std::vector<RegisterWrite> init_writes();

// "Audio Registers", NR12: the volume, and its envelope as latched by a trigger.
struct Envelope {
    std::uint8_t volume = 0;  // 0-15
    std::uint8_t pace = 0;    // 64 Hz ticks a step; 0: no envelope
    std::uint8_t timer = 0;   // ticks to the next step
    bool up = false;
};
// A trigger: the volume, direction and pace from NRx2, the timer restarted.
[[nodiscard]] Envelope start_envelope(std::uint8_t nrx2);
// One 64 Hz tick: every pace ticks the volume moves by 1, and stops at 0 or 15.
void clock_envelope(Envelope& e);

// "Audio", Length timer: ticks left until the channel turns off; 0 once expired.
struct Length {
    std::uint16_t left = 0;
    bool enabled = false;  // NRx4 bit 6
};
// One 256 Hz tick; true when it turns the channel off.
[[nodiscard]] bool clock_length(Length& l);

struct Pulse {
    bool sweeps = false;  // CH1
    bool dac = false;     // NRx2 & $F8
    bool on = false;
    std::uint8_t duty = 0;     // NRx1 bits 7-6
    std::uint8_t nrx2 = 0;     // as written; the envelope latches it at a trigger
    std::uint16_t period = 0;  // x, 11 bits
    Length length;
    Envelope envelope;
    std::uint8_t step = 0;     // the duty step, 0-7: only a power cycle resets it
    Cycle next_clock = never;  // the divider's next overflow, while on
    std::uint8_t nr10 = 0;     // CH1's sweep
    std::uint16_t shadow = 0;
    std::uint8_t sweep_timer = 0;
    bool sweep_enabled = false;
};
// "Audio Details", CH1: the shadow period plus or minus itself shifted right by the step.
[[nodiscard]] std::uint16_t sweep_target(const Pulse& p);
// One 128 Hz tick of CH1's sweep.
void clock_sweep(Pulse& p);

struct Wave {
    bool dac = false;  // NR30 bit 7
    bool on = false;
    std::uint8_t level = 0;  // NR32 bits 6-5
    std::uint16_t period = 0;
    Length length;
    std::uint8_t position = 0;  // the sample index, 0-31
    std::uint8_t buffer = 0;    // the sample last read, which the channel outputs
    Cycle next_clock = never;
    std::array<std::uint8_t, 16> ram{};  // 32 samples, high nibble first
};

struct Noise {
    bool dac = false;
    bool on = false;
    std::uint8_t nrx2 = 0;
    std::uint8_t nr43 = 0;
    Length length;
    Envelope envelope;
    std::uint16_t lfsr = 0;  // 15 bits
    Cycle next_clock = never;
};
// "Audio Details", Noise channel: one clock of the LFSR. Bit 15 := bits 0 and 1 equal (XNOR), copied to
// bit 7 as well in the 7-bit mode, then the whole register shifts right; the output is then bit 0.
[[nodiscard]] constexpr std::uint16_t step_lfsr(std::uint16_t lfsr, bool short_mode) {
    const unsigned x = lfsr;
    const unsigned feedback = ~(x ^ (x >> 1U)) & 1U;
    unsigned y = x | (feedback << 15U);
    if (short_mode) {
        y = (y & ~0x80U) | (feedback << 7U);
    }
    return static_cast<std::uint16_t>(y >> 1U);
}
// n clocks at once. Clock i reads bits i and i + 1 of the register as it was while neither has yet
// been replaced by a feedback bit: for i up to 13, in the 7-bit mode (where bit 6 takes each feedback
// too) up to 5.
inline constexpr unsigned lfsr_steps_at_once[2] = {14, 6};
[[nodiscard]] constexpr std::uint16_t step_lfsr(std::uint16_t lfsr, bool short_mode, unsigned n) {
    const unsigned x = lfsr;
    const unsigned feedback = ~(x ^ (x >> 1U)) & ((1U << n) - 1U);
    unsigned y = (x >> n) | (feedback << (15U - n));
    if (short_mode) {
        const unsigned low = ((1U << n) - 1U) << (7U - n);
        y = (y & ~low) | (feedback << (7U - n));
    }
    return static_cast<std::uint16_t>(y & 0x7FFFU);
}
// Any number of clocks.
[[nodiscard]] std::uint16_t step_lfsr_by(std::uint16_t lfsr, bool short_mode, std::uint64_t clocks);

// For each duty and step, how many divider overflows until the digital value differs from this step's.
inline constexpr auto clocks_to_change = [] {
    std::array<std::array<std::uint8_t, 8>, 4> table{};
    for (int d = 0; d < 4; ++d) {
        for (int s = 0; s < 8; ++s) {
            int j = 1;
            while (duty_waves[d][(s + j) & 7] == duty_waves[d][s]) {
                ++j;
            }
            table[static_cast<std::size_t>(d)][static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(j);
        }
    }
    return table;
}();

// Clocks of a timer due before end, from next on, one every period cycles.
[[nodiscard]] constexpr Cycle clocks_before(Cycle next, Cycle period, Cycle end) {
    return next < end ? (end - 1 - next) / period + 1 : 0;
}

// The whole unit. Writes and DIV-APU ticks act at the start of their cycle, before the timers' clocks
// of that cycle. Writes to NR10-NR51 while NR52 has it off are ignored but for the NRx1 length timers,
// which the DMG loads even then; powering it off clears every register but wave RAM and the length
// timers, and resets the duty steps and CH3's sample. VIN (NR50 bits 7 and 3) carries nothing: no
// cartridge sound. Zombie mode (an NRx2 write changing a playing channel's volume) and the DMG's wave
// RAM corruption by a CH3 retrigger are not modelled: a new NRx2 is heard from the next trigger on.
class Apu {
public:
    Apu();

    [[nodiscard]] Cycle now() const { return now_; }
    // One register write at now(); addresses outside $FF10-$FF3F change nothing.
    void write(std::uint16_t address, std::uint8_t value);
    // The next DIV-APU tick, and that tick (at now() == next_tick()).
    [[nodiscard]] Cycle next_tick() const { return div_apu_tick(tick_); }
    void clock_div_apu();
    // The timers from now() to end (exclusive), each output change told to the sink; then now() = end.
    template <class Sink>
    void run(Cycle end, Sink& sink);
    // Tells the sink what the writes and ticks at now() changed.
    template <class Sink>
    void report(Sink& sink);
    // Takes the present outputs as already told, so a sink can start from them.
    void take_outputs_as_told();

    [[nodiscard]] bool powered() const { return powered_; }
    [[nodiscard]] std::uint8_t nr50() const { return nr50_; }
    [[nodiscard]] std::uint8_t nr51() const { return nr51_; }
    [[nodiscard]] const Pulse& pulse(int i) const { return pulse_[i]; }
    [[nodiscard]] const Wave& wave() const { return wave_; }
    [[nodiscard]] const Noise& noise() const { return noise_; }
    [[nodiscard]] std::uint8_t output(int channel) const;

private:
    void write_pulse(Pulse& p, unsigned reg, std::uint8_t value);
    void trigger_pulse(Pulse& p) const;
    void write_wave(unsigned reg, std::uint8_t value);
    void write_noise(unsigned reg, std::uint8_t value);
    void power_off();
    template <class Sink>
    void run_pulse(int i, Cycle end, Sink& sink);
    template <class Sink>
    void run_wave(Cycle end, Sink& sink);
    template <class Sink>
    void run_noise(Cycle end, Sink& sink);

    Cycle now_ = 0;
    std::uint64_t tick_ = 1;  // the next DIV-APU tick's number
    bool powered_ = false;
    std::uint8_t nr50_ = 0;
    std::uint8_t nr51_ = 0;
    Pulse pulse_[2];
    Wave wave_;
    Noise noise_;
    std::array<std::uint8_t, 4> told_{};  // the outputs the sink was last told
    std::uint8_t told_nr50_ = 0;
    std::uint8_t told_nr51_ = 0;
};

[[nodiscard]] constexpr std::uint8_t pulse_output(const Pulse& p) {
    if (!p.on) {
        return p.dac ? output_silent : output_dac_off;
    }
    return static_cast<std::uint8_t>((duty_waves[p.duty][p.step] != 0 ? output_high : 0) | p.envelope.volume);
}
[[nodiscard]] constexpr std::uint8_t wave_output(const Wave& w) {
    if (!w.on) {
        return w.dac ? output_silent : output_dac_off;
    }
    return static_cast<std::uint8_t>(output_high | (w.buffer >> wave_shifts[w.level]));
}
[[nodiscard]] constexpr std::uint8_t noise_output(const Noise& n) {
    if (!n.on) {
        return n.dac ? output_silent : output_dac_off;
    }
    return static_cast<std::uint8_t>(((n.lfsr & 1U) != 0 ? output_high : 0) | n.envelope.volume);
}
[[nodiscard]] constexpr std::uint8_t wave_sample(const std::array<std::uint8_t, 16>& ram, unsigned i) {
    const unsigned byte = ram[(i >> 1U) & 15U];
    return static_cast<std::uint8_t>((i & 1U) != 0 ? byte & 15U : byte >> 4U);
}

template <class Sink>
void Apu::run(Cycle end, Sink& sink) {
    run_pulse(0, end, sink);
    run_pulse(1, end, sink);
    run_wave(end, sink);
    run_noise(end, sink);
    now_ = end;
}

template <class Sink>
void Apu::report(Sink& sink) {
    if (nr50_ != told_nr50_ || nr51_ != told_nr51_) {
        told_nr50_ = nr50_;
        told_nr51_ = nr51_;
        sink.panning(now_, nr50_, nr51_);
    }
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t out = output(i);
        if (out != told_[static_cast<std::size_t>(i)]) {
            told_[static_cast<std::size_t>(i)] = out;
            sink.channel(now_, i, out);
        }
    }
}

// A pulse changes its digital value only where the duty's bit changes: the next such overflow is
// clocks_to_change away, so a tone costs two changes a period, whatever its pitch. The period is the
// one of the interval: a new one, written at an event, counts from the next overflow on.
template <class Sink>
void Apu::run_pulse(int i, Cycle end, Sink& sink) {
    Pulse& p = pulse_[i];
    if (!p.on) {
        return;
    }
    const Cycle period = pulse_step_cycles(p.period);
    if (p.envelope.volume != 0) {
        for (;;) {
            const std::uint8_t j = clocks_to_change[p.duty][p.step];
            const Cycle t = p.next_clock + (j - 1U) * period;
            if (t >= end) {
                break;
            }
            p.step = static_cast<std::uint8_t>((p.step + j) & 7U);
            p.next_clock = t + period;
            told_[static_cast<std::size_t>(i)] = pulse_output(p);
            sink.channel(t, i, told_[static_cast<std::size_t>(i)]);
        }
    }
    const Cycle k = clocks_before(p.next_clock, period, end);
    p.step = static_cast<std::uint8_t>((p.step + k) & 7U);
    p.next_clock += k * period;
}

template <class Sink>
void Apu::run_wave(Cycle end, Sink& sink) {
    Wave& w = wave_;
    if (!w.on) {
        return;
    }
    const Cycle period = wave_step_cycles(w.period);
    for (; w.next_clock < end; w.next_clock += period) {
        w.position = static_cast<std::uint8_t>((w.position + 1U) & 31U);
        w.buffer = wave_sample(w.ram, w.position);
        const std::uint8_t out = wave_output(w);
        if (out != told_[2]) {
            told_[2] = out;
            sink.channel(w.next_clock, 2, out);
        }
    }
}

template <class Sink>
void Apu::run_noise(Cycle end, Sink& sink) {
    Noise& n = noise_;
    if (!n.on) {
        return;
    }
    const Cycle period = noise_clock_cycles(n.nr43);
    const bool steps = (n.nr43 >> 4U) < noise_silent_shift;
    const bool short_mode = (n.nr43 & 0x08U) != 0;
    if (steps && n.envelope.volume != 0) {
        // After i clocks (i up to at_once) bit 0 of the register is bit i of the register before them,
        // so a run of clocks is read off its bits: bit i - 1 of lfsr ^ (lfsr >> 1) says that clock i
        // changes the output.
        Cycle c = n.next_clock;
        std::uint16_t lfsr = n.lfsr;
        const std::uint8_t volume = n.envelope.volume;
        const unsigned at_once = lfsr_steps_at_once[short_mode ? 1 : 0];
        const Cycle run = at_once * period;
        for (; c + run - period < end; c += run) {
            const unsigned bits = lfsr;
            for (unsigned changes = (bits ^ (bits >> 1U)) & ((1U << at_once) - 1U); changes != 0;
                 changes &= changes - 1U) {
                const auto k = static_cast<unsigned>(std::countr_zero(changes)) + 1U;
                sink.channel(c + (k - 1U) * period, 3,
                             static_cast<std::uint8_t>(((bits >> k) & 1U) != 0 ? output_high | volume : volume));
            }
            lfsr = step_lfsr(lfsr, short_mode, at_once);
        }
        for (; c < end; c += period) {
            const std::uint16_t before = lfsr;
            lfsr = step_lfsr(lfsr, short_mode);
            if (((unsigned{lfsr} ^ before) & 1U) != 0) {
                sink.channel(c, 3, static_cast<std::uint8_t>((lfsr & 1U) != 0 ? output_high | volume : volume));
            }
        }
        n.lfsr = lfsr;
        n.next_clock = c;
        told_[3] = noise_output(n);
        return;
    }
    // Nothing heard changes: the register moves on regardless.
    const Cycle k = clocks_before(n.next_clock, period, end);
    if (steps) {
        n.lfsr = step_lfsr_by(n.lfsr, short_mode, k);
    }
    n.next_clock += k * period;
}

// The unit playing frames: frame k's writes, in their order, at frame_start(k); after the last frame
// the unit runs on without writes.
class FramePlayer {
public:
    explicit FramePlayer(std::vector<FrameWrites> frames);

    [[nodiscard]] const Apu& apu() const { return apu_; }
    [[nodiscard]] Cycle now() const { return apu_.now(); }
    // The next control event: a frame's start or a DIV-APU tick, never at the same cycle (the frames
    // start at multiples of 16, the ticks 8 cycles past one).
    [[nodiscard]] Cycle next_event() const { return std::min(frame_start(next_frame_), apu_.next_tick()); }
    // Runs to the next control event and through it.
    template <class Sink>
    void step(Sink& sink) {
        const Cycle next = next_event();
        apu_.run(next, sink);
        if (apu_.next_tick() == next) {
            apu_.clock_div_apu();
        } else {
            if (next_frame_ < frames_.size()) {
                for (const RegisterWrite& w : frames_[static_cast<std::size_t>(next_frame_)]) {
                    apu_.write(w.address, w.value);
                }
            }
            ++next_frame_;
        }
        apu_.report(sink);
    }

private:
    Apu apu_;
    std::vector<FrameWrites> frames_;
    std::uint64_t next_frame_ = 0;
};

}  // namespace bleepforge::dmg
