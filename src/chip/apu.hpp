#pragma once

// The NTSC 2A03's sound unit as the NESdev wiki describes it (pages "APU", "APU Pulse", "APU Envelope",
// "APU Sweep", "APU Triangle", "APU Noise", "APU Length Counter", "APU Frame Counter", "APU DMC"): integer
// state stepped at the CPU clock. Between two control events (a register write, a frame-counter clock)
// only the timers move, so the unit runs from one event to the next in one call and tells a sink each
// change of a channel's output, at its CPU cycle, without a loop over the cycles in between.
//
// A sink has two members, each called only when what it reports changes:
//   void pulses(Cycle c, std::uint8_t pulse1, std::uint8_t pulse2);     both 0-15
//   void tnd(Cycle c, std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc);
// triangle is the sequencer's 0-15, or triangle_mean while it runs above every output band (t < 2);
// noise is 0-15; dmc is the $4011 level, 0-127.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge::nes {

using Cycle = std::uint64_t;  // CPU cycles since power-up
inline constexpr Cycle never = ~Cycle{0};

// "APU Pulse": each duty's output over its 8 steps, as heard from the sequencer's restart by $4003.
inline constexpr std::uint8_t duty_steps[4][8] = {
    {0, 1, 0, 0, 0, 0, 0, 0},  // 12.5 %
    {0, 1, 1, 0, 0, 0, 0, 0},  // 25 %
    {0, 1, 1, 1, 1, 0, 0, 0},  // 50 %
    {1, 0, 0, 1, 1, 1, 1, 1},  // 75 %: 25 % inverted
};
// clang-format off
// "APU Length Counter": the counts that bits 7-3 of $4003, $4007, $400B and $400F select.
inline constexpr std::uint8_t length_loads[32] = {
    10, 254, 20,  2, 40,  4, 80,  6, 160,  8, 60, 10, 14, 12, 26, 14,  // index $00-$0F
    12,  16, 24, 18, 48, 20, 96, 22, 192, 24, 72, 26, 16, 28, 32, 30,  // index $10-$1F
};
// "APU Triangle": the 32-step sequence.
inline constexpr std::uint8_t triangle_steps[32] = {
    15, 14, 13, 12, 11, 10,  9,  8,  7,  6,  5,  4,  3,  2,  1,  0,
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
};
// clang-format on
// The triangle's output while its timer period is 0 or 1: a wave at 27.9 or 55.9 kHz, above the
// console's 14 kHz low-pass and above every output rate's band, so what is heard is its mean.
inline constexpr std::uint8_t triangle_mean = 16;
inline constexpr std::uint16_t triangle_min_audible_period = 2;
// clang-format off
// "APU Noise": NTSC CPU cycles between shift-register clocks, by the period index of $400E.
inline constexpr std::uint16_t noise_periods[16] = {
      4,   8,  16,  32,   64,   96,  128,  160,  // index 0-7
    202, 254, 380, 508,  762, 1016, 2034, 4068,  // index 8-F
};
// clang-format on
// "APU Frame Counter", 4-step mode: quarter-frame clocks at these CPU cycles of each 29830-cycle
// sequence; the second and the fourth are half-frame clocks too. The sequence starts at power-up.
inline constexpr Cycle frame_counter_steps[4] = {7457, 14913, 22371, 29829};
inline constexpr Cycle frame_counter_length = 29830;
// "APU Pulse" and "APU Sweep": a timer below 8, or a sweep target above $7FF, silences a pulse.
inline constexpr std::uint16_t pulse_min_period = 8;
inline constexpr std::uint16_t sweep_max_target = 0x7FF;

// Frame k's writes are made at CPU cycle floor(k * 29780.5), the start of NTSC video frame k: in
// integers, floor(k * 59561 / 2).
inline constexpr auto frame_cycles_twice = static_cast<Cycle>(2 * nes_frame_cycles);
static_assert(static_cast<double>(frame_cycles_twice) == 2 * nes_frame_cycles);
[[nodiscard]] constexpr Cycle frame_start(std::uint64_t k) {
    return k * frame_cycles_twice / 2;
}

// What an NSF player ("NSF": clear $4000-$4013, $4015 = $00 then $0F, $4017 = $40) and our player's
// INIT (the channels enabled and silent, sweeps off with $08, DMC level 0) write before the first
// frame; the unit starts from there, so a render and the NSF of the same frames start alike.
[[nodiscard]] std::vector<RegisterWrite> start_writes();

// "APU Envelope": start flag, divider and decay level.
struct Envelope {
    bool start = false;
    std::uint8_t divider = 0;
    std::uint8_t decay = 0;
};
// One quarter-frame clock; period is V (0-15), loop the L bit.
void clock_envelope(Envelope& e, std::uint8_t period, bool loop);
// V with constant volume, else the decay level.
[[nodiscard]] constexpr std::uint8_t envelope_volume(const Envelope& e, std::uint8_t v, bool constant) {
    return constant ? v : e.decay;
}
// One half-frame clock of a length counter: down by one unless halted or at 0.
constexpr void clock_length(std::uint8_t& length, bool halt) {
    if (!halt && length > 0) {
        --length;
    }
}

struct Pulse {
    bool ones_complement = false;  // pulse 1 negates its sweep's change as -c - 1, pulse 2 as -c
    bool enabled = false;          // its $4015 bit
    std::uint8_t duty = 0;
    bool halt = false;  // length-counter halt and envelope loop
    bool constant = false;
    std::uint8_t volume = 0;  // V: the volume, or the envelope's period
    bool sweep_on = false;
    std::uint8_t sweep_period = 0;  // P: the divider counts P + 1 half frames
    bool sweep_negate = false;
    std::uint8_t sweep_shift = 0;
    bool sweep_reload = false;
    std::uint8_t sweep_divider = 0;
    std::uint16_t period = 0;  // t, 11 bits: one step lasts t + 1 APU cycles
    std::uint8_t length = 0;
    std::uint8_t step = 0;  // 0-7, counted from the last restart
    Envelope envelope;
    Cycle next_clock = 0;    // the CPU cycle of the sequencer's next clock
    std::uint8_t level = 0;  // the output while the duty says 1: 0 while muted or silent
};
// "APU Sweep": t plus or minus t >> S, held at 0 and above.
[[nodiscard]] std::uint16_t sweep_target(const Pulse& p);
[[nodiscard]] bool sweep_mutes(const Pulse& p);
void clock_sweep(Pulse& p);

struct Triangle {
    bool enabled = false;
    bool control = false;  // length-counter halt and linear-counter control
    std::uint8_t reload_value = 0;
    bool reload_flag = false;
    std::uint8_t linear = 0;
    std::uint16_t period = 0;  // t: one step lasts t + 1 CPU cycles
    std::uint8_t length = 0;
    std::uint8_t step = 0;  // 0-31
    Cycle next_clock = 0;
};
void clock_linear_counter(Triangle& t);
[[nodiscard]] constexpr bool triangle_runs(const Triangle& t) {
    return t.length > 0 && t.linear > 0;
}
[[nodiscard]] constexpr std::uint8_t triangle_output(const Triangle& t) {
    return triangle_runs(t) && t.period < triangle_min_audible_period ? triangle_mean
                                                                      : triangle_steps[t.step];
}

struct Noise {
    bool enabled = false;
    bool halt = false;
    bool constant = false;
    std::uint8_t volume = 0;
    bool short_mode = false;  // M: feedback from bit 6, the 93- or 31-step sequence
    std::uint8_t period_index = 0;
    std::uint8_t length = 0;
    std::uint16_t shift = 1;  // the 15-bit register, 1 at power-up
    Envelope envelope;
    Cycle next_clock = 0;
    std::uint8_t level = 0;  // the output while bit 0 is 0
};
// "APU Noise": one clock of the shift register: feedback = bit 0 XOR bit 1 (bit 6 in short mode),
// shifted in at bit 14.
[[nodiscard]] constexpr std::uint16_t step_noise(std::uint16_t shift, bool short_mode) {
    const unsigned s = shift;
    const unsigned feedback = (s ^ (s >> (short_mode ? 6U : 1U))) & 1U;
    return static_cast<std::uint16_t>((s >> 1U) | (feedback << 14U));
}
// n clocks at once. The feedback of clock i reads bits i and i + 1 (i + 6) of the register as it was,
// while those have not yet been shifted in: for i up to 13 (8 in short mode).
inline constexpr unsigned noise_steps_at_once[2] = {14, 9};
[[nodiscard]] constexpr std::uint16_t step_noise(std::uint16_t shift, bool short_mode, unsigned n) {
    const unsigned s = shift;
    const unsigned feedback = (s ^ (s >> (short_mode ? 6U : 1U))) & ((1U << n) - 1U);
    return static_cast<std::uint16_t>((s >> n) | (feedback << (15U - n)));
}
// Any number of clocks.
[[nodiscard]] std::uint16_t step_noise_by(std::uint16_t shift, bool short_mode, std::uint64_t clocks);

// For each duty and step, how many sequencer clocks until the output differs from this step's.
inline constexpr auto clocks_to_change = [] {
    std::array<std::array<std::uint8_t, 8>, 4> table{};
    for (int d = 0; d < 4; ++d) {
        for (int s = 0; s < 8; ++s) {
            int j = 1;
            while (duty_steps[d][(s + j) & 7] == duty_steps[d][s]) {
                ++j;
            }
            table[static_cast<std::size_t>(d)][static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(j);
        }
    }
    return table;
}();

// The whole unit: the channels, the frame counter in 4-step mode and the DMC's output level. Writes
// and frame-counter clocks act at the start of their cycle, before the timers' clocks of that cycle.
// $4017 writes are ignored (the unit stays in 4-step mode, as NSF players set it) and the DMC plays no
// samples: its output is the level last written to $4011.
class Apu {
public:
    Apu();

    [[nodiscard]] Cycle now() const { return now_; }
    // One register write at now(); addresses outside $4000-$4017 are ignored.
    void write(std::uint16_t address, std::uint8_t value);
    // The frame counter's next quarter-frame clock, and that clock (at now() == next_frame_clock()).
    [[nodiscard]] Cycle next_frame_clock() const {
        return sequence_start_ + frame_counter_steps[sequence_step_];
    }
    void clock_frame_counter();
    // The timers from now() to end (exclusive), each output change told to the sink; then now() = end.
    template <class Sink>
    void run(Cycle end, Sink& sink);
    // Tells the sink what the writes and clocks at now() changed.
    template <class Sink>
    void report(Sink& sink);
    // Takes the present outputs as already told, so a sink can start from them.
    void take_outputs_as_told();

    [[nodiscard]] const Pulse& pulse(int i) const { return pulse_[i]; }
    [[nodiscard]] const Triangle& triangle() const { return triangle_; }
    [[nodiscard]] const Noise& noise() const { return noise_; }
    [[nodiscard]] std::uint8_t dmc() const { return dmc_; }
    [[nodiscard]] std::uint8_t pulse_output(int i) const {
        const Pulse& p = pulse_[i];
        return duty_steps[p.duty][p.step] != 0 ? p.level : std::uint8_t{0};
    }
    [[nodiscard]] std::uint8_t noise_output() const {
        return (unsigned{noise_.shift} & 1U) == 0 ? noise_.level : std::uint8_t{0};
    }

private:
    void write_pulse(Pulse& p, unsigned reg, std::uint8_t value);
    void write_triangle(unsigned reg, std::uint8_t value);
    void write_noise(unsigned reg, std::uint8_t value);
    void write_status(std::uint8_t value);
    void refresh_levels();
    template <class Sink>
    void run_pulses(Cycle end, Sink& sink);
    template <class Sink>
    void run_triangle_and_noise(Cycle end, Sink& sink);
    template <class Sink>
    void run_noise_alone(Cycle end, Sink& sink);
    template <class Sink>
    void run_triangle_with_noise(Cycle end, Sink& sink);

    Cycle now_ = 0;
    Cycle sequence_start_ = 0;
    int sequence_step_ = 0;
    Pulse pulse_[2];
    Triangle triangle_;
    Noise noise_;
    std::uint8_t dmc_ = 0;
    std::uint8_t told_pulse_[2] = {0, 0};  // the outputs the sink was last told
    std::uint8_t told_triangle_ = 0;
    std::uint8_t told_noise_ = 0;
    std::uint8_t told_dmc_ = 0;
};

// Clocks of a timer due before end, from next on, one every period cycles.
[[nodiscard]] constexpr Cycle clocks_before(Cycle next, Cycle period, Cycle end) {
    return next < end ? (end - 1 - next) / period + 1 : 0;
}

template <class Sink>
void Apu::run(Cycle end, Sink& sink) {
    run_pulses(end, sink);
    run_triangle_and_noise(end, sink);
    now_ = end;
}

template <class Sink>
void Apu::report(Sink& sink) {
    const std::uint8_t p1 = pulse_output(0);
    const std::uint8_t p2 = pulse_output(1);
    if (p1 != told_pulse_[0] || p2 != told_pulse_[1]) {
        told_pulse_[0] = p1;
        told_pulse_[1] = p2;
        sink.pulses(now_, p1, p2);
    }
    const std::uint8_t tri = triangle_output(triangle_);
    const std::uint8_t noise = noise_output();
    if (tri != told_triangle_ || noise != told_noise_ || dmc_ != told_dmc_) {
        told_triangle_ = tri;
        told_noise_ = noise;
        told_dmc_ = dmc_;
        sink.tnd(now_, tri, noise, dmc_);
    }
}

// The pulses change their output only where the duty's bit changes: the next such clock is
// clocks_to_change away, so a tone costs two steps a period, whatever its pitch.
template <class Sink>
void Apu::run_pulses(Cycle end, Sink& sink) {
    Pulse& a = pulse_[0];
    Pulse& b = pulse_[1];
    const Cycle period_a = 2 * (Cycle{a.period} + 1);
    const Cycle period_b = 2 * (Cycle{b.period} + 1);
    if (a.level != 0 || b.level != 0) {
        for (;;) {
            const std::uint8_t ja = clocks_to_change[a.duty][a.step];
            const std::uint8_t jb = clocks_to_change[b.duty][b.step];
            const Cycle ta = a.level != 0 ? a.next_clock + (ja - 1U) * period_a : never;
            const Cycle tb = b.level != 0 ? b.next_clock + (jb - 1U) * period_b : never;
            const Cycle t = std::min(ta, tb);
            if (t >= end) {
                break;
            }
            if (ta == t) {
                a.step = static_cast<std::uint8_t>((a.step + ja) & 7U);
                a.next_clock = t + period_a;
            }
            if (tb == t) {
                b.step = static_cast<std::uint8_t>((b.step + jb) & 7U);
                b.next_clock = t + period_b;
            }
            told_pulse_[0] = pulse_output(0);
            told_pulse_[1] = pulse_output(1);
            sink.pulses(t, told_pulse_[0], told_pulse_[1]);
        }
    }
    const Cycle ka = clocks_before(a.next_clock, period_a, end);
    a.step = static_cast<std::uint8_t>((a.step + ka) & 7U);
    a.next_clock += ka * period_a;
    const Cycle kb = clocks_before(b.next_clock, period_b, end);
    b.step = static_cast<std::uint8_t>((b.step + kb) & 7U);
    b.next_clock += kb * period_b;
}

template <class Sink>
void Apu::run_triangle_and_noise(Cycle end, Sink& sink) {
    Triangle& tri = triangle_;
    Noise& noise = noise_;
    const bool tri_moves = triangle_runs(tri) && tri.period >= triangle_min_audible_period;
    if (tri_moves) {
        run_triangle_with_noise(end, sink);
    } else if (noise.level != 0) {
        run_noise_alone(end, sink);
    }
    // What is left changes nothing that is heard: the timers and the register move on regardless.
    const Cycle tri_period = Cycle{tri.period} + 1;
    const Cycle k_tri = clocks_before(tri.next_clock, tri_period, end);
    if (triangle_runs(tri)) {
        tri.step = static_cast<std::uint8_t>((tri.step + k_tri) & 31U);
    }
    tri.next_clock += k_tri * tri_period;
    const Cycle noise_period = noise_periods[noise.period_index];
    const Cycle k_noise = clocks_before(noise.next_clock, noise_period, end);
    noise.shift = step_noise_by(noise.shift, noise.short_mode, k_noise);
    noise.next_clock += k_noise * noise_period;
}

// The busiest case, noise alone. After i clocks (i up to 14) bit 0 of the register is bit i of the
// register before them, so a run of clocks is read off its bits: bit i - 1 of shift ^ (shift >> 1)
// says that clock i changes the output.
template <class Sink>
void Apu::run_noise_alone(Cycle end, Sink& sink) {
    Noise& noise = noise_;
    const Cycle noise_period = noise_periods[noise.period_index];
    Cycle c = noise.next_clock;
    std::uint16_t shift = noise.shift;
    const std::uint8_t level = noise.level;
    const std::uint8_t triangle = told_triangle_;
    const std::uint8_t dmc = dmc_;
    const unsigned at_once = noise_steps_at_once[noise.short_mode ? 1 : 0];
    const Cycle run = at_once * noise_period;
    for (; c + run - noise_period < end; c += run) {
        const unsigned bits = shift;
        for (unsigned changes = (bits ^ (bits >> 1U)) & ((1U << at_once) - 1U); changes != 0;
             changes &= changes - 1U) {
            const auto i = static_cast<unsigned>(std::countr_zero(changes)) + 1U;
            sink.tnd(c + (i - 1U) * noise_period, triangle, ((bits >> i) & 1U) == 0 ? level : 0, dmc);
        }
        shift = step_noise(shift, noise.short_mode, at_once);
    }
    for (; c < end; c += noise_period) {
        const std::uint16_t before = shift;
        shift = step_noise(shift, noise.short_mode);
        if (((unsigned{shift} ^ before) & 1U) != 0) {
            sink.tnd(c, triangle, (unsigned{shift} & 1U) == 0 ? level : 0, dmc);
        }
    }
    told_noise_ = (unsigned{shift} & 1U) == 0 ? level : 0;
    noise.shift = shift;
    noise.next_clock = c;
}

template <class Sink>
void Apu::run_triangle_with_noise(Cycle end, Sink& sink) {
    Triangle& tri = triangle_;
    Noise& noise = noise_;
    const Cycle tri_period = Cycle{tri.period} + 1;
    const Cycle noise_period = noise_periods[noise.period_index];
    const bool noise_sounds = noise.level != 0;
    for (;;) {
        const Cycle tn = noise_sounds ? noise.next_clock : never;
        const Cycle t = std::min(tri.next_clock, tn);
        if (t >= end) {
            break;
        }
        if (tri.next_clock == t) {
            tri.step = static_cast<std::uint8_t>((tri.step + 1U) & 31U);
            tri.next_clock = t + tri_period;
        }
        if (tn == t) {
            noise.shift = step_noise(noise.shift, noise.short_mode);
            noise.next_clock = t + noise_period;
        }
        const std::uint8_t tri_out = triangle_steps[tri.step];
        const std::uint8_t noise_out = noise_output();
        if (tri_out != told_triangle_ || noise_out != told_noise_) {
            told_triangle_ = tri_out;
            told_noise_ = noise_out;
            sink.tnd(t, tri_out, noise_out, dmc_);
        }
    }
}

// The unit playing frames: frame k's writes, in their order, at frame_start(k), after the frame
// counter's clock of that cycle if there is one; after the last frame the unit runs on without writes.
class FramePlayer {
public:
    explicit FramePlayer(std::vector<FrameWrites> frames);

    [[nodiscard]] const Apu& apu() const { return apu_; }
    [[nodiscard]] Cycle now() const { return apu_.now(); }
    // The next control event: a frame's start or a frame-counter clock.
    [[nodiscard]] Cycle next_event() const {
        return std::min(frame_start(next_frame_), apu_.next_frame_clock());
    }
    // Runs to the next control event and through it.
    template <class Sink>
    void step(Sink& sink) {
        const Cycle frame_at = frame_start(next_frame_);
        const Cycle next = next_event();
        apu_.run(next, sink);
        if (apu_.next_frame_clock() == next) {
            apu_.clock_frame_counter();
        }
        if (frame_at == next) {
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

}  // namespace bleepforge::nes
