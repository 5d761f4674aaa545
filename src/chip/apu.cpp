#include "apu.hpp"

#include <utility>

namespace bleepforge::nes {

std::vector<RegisterWrite> start_writes() {
    std::vector<RegisterWrite> writes;
    for (std::uint16_t address = 0x4000; address <= 0x4013; ++address) {
        writes.push_back({address, 0x00});
    }
    writes.insert(writes.end(), {{0x4015, 0x00},
                                 {0x4015, 0x0F},
                                 {0x4017, 0x40},
                                 // our INIT
                                 {0x4015, 0x0F},
                                 {0x4001, 0x08},
                                 {0x4005, 0x08},
                                 {0x4000, 0x30},
                                 {0x4004, 0x30},
                                 {0x400C, 0x30},
                                 {0x4008, 0x80},
                                 {0x4011, 0x00}});
    return writes;
}

void clock_envelope(Envelope& e, std::uint8_t period, bool loop) {
    if (e.start) {
        e.start = false;
        e.decay = 15;
        e.divider = period;
    } else if (e.divider == 0) {
        e.divider = period;
        if (e.decay > 0) {
            --e.decay;
        } else if (loop) {
            e.decay = 15;
        }
    } else {
        --e.divider;
    }
}

std::uint16_t sweep_target(const Pulse& p) {
    const int change = p.period >> p.sweep_shift;
    int target = p.period + change;
    if (p.sweep_negate) {
        target = p.period - change - (p.ones_complement ? 1 : 0);
    }
    return static_cast<std::uint16_t>(std::max(target, 0));
}

bool sweep_mutes(const Pulse& p) {
    return p.period < pulse_min_period || sweep_target(p) > sweep_max_target;
}

void clock_sweep(Pulse& p) {
    if (p.sweep_divider == 0 && p.sweep_on && p.sweep_shift != 0 && !sweep_mutes(p)) {
        p.period = sweep_target(p);
    }
    if (p.sweep_divider == 0 || p.sweep_reload) {
        p.sweep_divider = p.sweep_period;
        p.sweep_reload = false;
    } else {
        --p.sweep_divider;
    }
}

void clock_linear_counter(Triangle& t) {
    if (t.reload_flag) {
        t.linear = t.reload_value;
    } else if (t.linear > 0) {
        --t.linear;
    }
    if (!t.control) {
        t.reload_flag = false;
    }
}

std::uint16_t step_noise_by(std::uint16_t shift, bool short_mode, std::uint64_t clocks) {
    const unsigned at_once = noise_steps_at_once[short_mode ? 1 : 0];
    for (; clocks >= at_once; clocks -= at_once) {
        shift = step_noise(shift, short_mode, at_once);
    }
    return clocks > 0 ? step_noise(shift, short_mode, static_cast<unsigned>(clocks)) : shift;
}

namespace {

// Bits 5, 4 and 3-0 of $4000, $4004 and $400C: the length counter's halt (the envelope's loop), the
// constant volume and the volume (the envelope's period).
template <class Channel>
void write_volume(Channel& c, std::uint8_t value) {
    c.halt = (value & 0x20U) != 0;
    c.constant = (value & 0x10U) != 0;
    c.volume = static_cast<std::uint8_t>(value & 0x0FU);
}

// Bits 7-3 of $4003, $4007, $400B and $400F load the length counter of an enabled channel.
template <class Channel>
void load_length(Channel& c, std::uint8_t value) {
    if (c.enabled) {
        c.length = length_loads[value >> 3U];
    }
}

// The 11-bit period's low byte ($4002, $4006, $400A) and its high three bits ($4003, $4007, $400B).
[[nodiscard]] std::uint16_t with_low_period(std::uint16_t period, std::uint8_t value) {
    return static_cast<std::uint16_t>((period & 0x700U) | value);
}
[[nodiscard]] std::uint16_t with_high_period(std::uint16_t period, std::uint8_t value) {
    return static_cast<std::uint16_t>((period & 0xFFU) | ((value & 0x07U) << 8U));
}

}  // namespace

Apu::Apu() {
    pulse_[0].ones_complement = true;
}

void Apu::write(std::uint16_t address, std::uint8_t value) {
    if (address >= 0x4000 && address <= 0x4007) {
        write_pulse(pulse_[(address - 0x4000) / 4], address & 3U, value);
    } else if (address >= 0x4008 && address <= 0x400B) {
        write_triangle(address & 3U, value);
    } else if (address >= 0x400C && address <= 0x400F) {
        write_noise(address & 3U, value);
    } else if (address == 0x4011) {
        dmc_ = static_cast<std::uint8_t>(value & 0x7FU);
    } else if (address == 0x4015) {
        write_status(value);
    }
    refresh_levels();
}

void Apu::write_pulse(Pulse& p, unsigned reg, std::uint8_t value) {
    switch (reg) {
    case 0:
        p.duty = static_cast<std::uint8_t>(value >> 6U);
        write_volume(p, value);
        break;
    case 1:
        p.sweep_on = (value & 0x80U) != 0;
        p.sweep_period = static_cast<std::uint8_t>((value >> 4U) & 7U);
        p.sweep_negate = (value & 0x08U) != 0;
        p.sweep_shift = static_cast<std::uint8_t>(value & 0x07U);
        p.sweep_reload = true;
        break;
    case 2:
        p.period = with_low_period(p.period, value);
        break;
    default:
        p.period = with_high_period(p.period, value);
        load_length(p, value);
        p.step = 0;  // the phase restarts; the timer's divider does not
        p.envelope.start = true;
        break;
    }
}

void Apu::write_triangle(unsigned reg, std::uint8_t value) {
    Triangle& t = triangle_;
    switch (reg) {
    case 0:
        t.control = (value & 0x80U) != 0;
        t.reload_value = static_cast<std::uint8_t>(value & 0x7FU);
        break;
    case 2:
        t.period = with_low_period(t.period, value);
        break;
    case 3:
        t.period = with_high_period(t.period, value);
        load_length(t, value);
        t.reload_flag = true;
        break;
    default:
        break;  // $4009 is unused
    }
}

void Apu::write_noise(unsigned reg, std::uint8_t value) {
    Noise& n = noise_;
    switch (reg) {
    case 0:
        write_volume(n, value);
        break;
    case 2:
        // The register is not reset; a new period counts from the next reload.
        n.short_mode = (value & 0x80U) != 0;
        n.period_index = static_cast<std::uint8_t>(value & 0x0FU);
        break;
    case 3:
        load_length(n, value);
        n.envelope.start = true;
        break;
    default:
        break;  // $400D is unused
    }
}

void Apu::write_status(std::uint8_t value) {
    pulse_[0].enabled = (value & 0x01U) != 0;
    pulse_[1].enabled = (value & 0x02U) != 0;
    triangle_.enabled = (value & 0x04U) != 0;
    noise_.enabled = (value & 0x08U) != 0;
    for (Pulse& p : pulse_) {
        p.length = p.enabled ? p.length : std::uint8_t{0};
    }
    triangle_.length = triangle_.enabled ? triangle_.length : std::uint8_t{0};
    noise_.length = noise_.enabled ? noise_.length : std::uint8_t{0};
}

void Apu::clock_frame_counter() {
    for (Pulse& p : pulse_) {
        clock_envelope(p.envelope, p.volume, p.halt);
    }
    clock_envelope(noise_.envelope, noise_.volume, noise_.halt);
    clock_linear_counter(triangle_);
    if (sequence_step_ == 1 || sequence_step_ == 3) {
        for (Pulse& p : pulse_) {
            clock_length(p.length, p.halt);
            clock_sweep(p);
        }
        clock_length(triangle_.length, triangle_.control);
        clock_length(noise_.length, noise_.halt);
    }
    if (++sequence_step_ == 4) {
        sequence_step_ = 0;
        sequence_start_ += frame_counter_length;
    }
    refresh_levels();
}

void Apu::refresh_levels() {
    for (Pulse& p : pulse_) {
        p.level = p.length > 0 && !sweep_mutes(p) ? envelope_volume(p.envelope, p.volume, p.constant)
                                                  : std::uint8_t{0};
    }
    noise_.level = noise_.length > 0 ? envelope_volume(noise_.envelope, noise_.volume, noise_.constant)
                                     : std::uint8_t{0};
}

void Apu::take_outputs_as_told() {
    told_pulse_[0] = pulse_output(0);
    told_pulse_[1] = pulse_output(1);
    told_triangle_ = triangle_output(triangle_);
    told_noise_ = noise_output();
    told_dmc_ = dmc_;
}

FramePlayer::FramePlayer(std::vector<FrameWrites> frames) : frames_(std::move(frames)) {
    for (const RegisterWrite& w : start_writes()) {
        apu_.write(w.address, w.value);
    }
    apu_.take_outputs_as_told();
}

}  // namespace bleepforge::nes
