#include "dmg.hpp"

#include <utility>

namespace bleepforge::dmg {
namespace {

// The values libgme 0.6.3 and gbsplay write to $FF10-$FF3F before INIT, in address
// order (gbsplay's iodumper logs them so), $FF27-$FF2F zero.
constexpr std::uint8_t power_up_values[] = {
    0x80, 0xBF, 0x00, 0x00, 0xBF, 0x00, 0x3F, 0x00, 0x00, 0xBF, 0x7F, 0xFF, 0x9F, 0x00, 0xBF, 0x00,  // $FF10
    0xFF, 0x00, 0x00, 0xBF, 0x77, 0xF3, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // $FF20
    0xAC, 0xDD, 0xDA, 0x48, 0x36, 0x02, 0xCF, 0x16, 0x2C, 0x04, 0xE5, 0x2C, 0xAC, 0xDD, 0xDA, 0x48,  // $FF30
};

constexpr std::uint16_t nr52 = 0xFF26;

}  // namespace

std::vector<RegisterWrite> init_writes() {
    return {{nr52, 0x00}, {nr52, 0x80}, {0xFF24, 0x77}, {0xFF25, 0xFF}, {0xFF10, 0x00}};
}

std::vector<RegisterWrite> start_writes() {
    std::vector<RegisterWrite> writes;
    for (std::size_t i = 0; i < std::size(power_up_values); ++i) {
        writes.push_back({static_cast<std::uint16_t>(0xFF10 + i), power_up_values[i]});
    }
    const std::vector<RegisterWrite> init = init_writes();
    writes.insert(writes.end(), init.begin(), init.end());
    return writes;
}

Envelope start_envelope(std::uint8_t nrx2) {
    Envelope e;
    e.volume = static_cast<std::uint8_t>(nrx2 >> 4U);
    e.up = (nrx2 & 0x08U) != 0;
    e.pace = static_cast<std::uint8_t>(nrx2 & 0x07U);
    e.timer = e.pace;
    return e;
}

void clock_envelope(Envelope& e) {
    if (e.pace == 0 || --e.timer != 0) {
        return;
    }
    e.timer = e.pace;
    if (e.up && e.volume < 15) {
        ++e.volume;
    } else if (!e.up && e.volume > 0) {
        --e.volume;
    }
}

bool clock_length(Length& l) {
    if (!l.enabled || l.left == 0) {
        return false;
    }
    return --l.left == 0;
}

std::uint16_t sweep_target(const Pulse& p) {
    const unsigned change = unsigned{p.shadow} >> (p.nr10 & 7U);
    return static_cast<std::uint16_t>((p.nr10 & 0x08U) != 0 ? p.shadow - change : p.shadow + change);
}

void clock_sweep(Pulse& p) {
    const unsigned pace = (p.nr10 >> 4U) & 7U;
    if (p.sweep_timer > 1) {
        --p.sweep_timer;
        return;
    }
    p.sweep_timer = static_cast<std::uint8_t>(pace != 0 ? pace : 8);  // the timer counts pace 0 as 8
    if (!p.sweep_enabled || pace == 0 || !p.on) {
        return;
    }
    const std::uint16_t target = sweep_target(p);
    if (target > sweep_max_period) {
        p.on = false;
        p.next_clock = never;
        return;
    }
    if ((p.nr10 & 7U) != 0) {
        p.shadow = target;
        p.period = target;
        if (sweep_target(p) > sweep_max_period) {  // checked again at once, not written
            p.on = false;
            p.next_clock = never;
        }
    }
}

std::uint16_t step_lfsr_by(std::uint16_t lfsr, bool short_mode, std::uint64_t clocks) {
    const unsigned at_once = lfsr_steps_at_once[short_mode ? 1 : 0];
    for (; clocks >= at_once; clocks -= at_once) {
        lfsr = step_lfsr(lfsr, short_mode, at_once);
    }
    return clocks > 0 ? step_lfsr(lfsr, short_mode, static_cast<unsigned>(clocks)) : lfsr;
}

Apu::Apu() {
    pulse_[0].sweeps = true;
    for (int i = 0; i < 4; ++i) {
        told_[static_cast<std::size_t>(i)] = output(i);
    }
}

std::uint8_t Apu::output(int channel) const {
    switch (channel) {
    case 0:
    case 1:
        return pulse_output(pulse_[channel]);
    case 2:
        return wave_output(wave_);
    default:
        return noise_output(noise_);
    }
}

void Apu::write(std::uint16_t address, std::uint8_t value) {
    if (address >= 0xFF30 && address <= 0xFF3F) {
        // "Audio Registers", wave RAM: on the DMG, a write while CH3 plays is lost (but on the very
        // cycle CH3 reads, which frames' writes do not aim at).
        if (!wave_.on) {
            wave_.ram[address - 0xFF30U] = value;
        }
        return;
    }
    if (address == nr52) {
        const bool on = (value & 0x80U) != 0;
        if (powered_ && !on) {
            power_off();
        }
        powered_ = on;
        return;
    }
    if (address < 0xFF10 || address > 0xFF25) {
        return;
    }
    const unsigned offset = address - 0xFF10U;
    if (!powered_) {
        // "Audio Registers", NR52: on the DMG the length timers still load.
        switch (address) {
        case 0xFF11:
        case 0xFF16:
            pulse_[offset / 5].length.left = static_cast<std::uint16_t>(pulse_length - (value & 0x3FU));
            break;
        case 0xFF1B:
            wave_.length.left = static_cast<std::uint16_t>(wave_length - value);
            break;
        case 0xFF20:
            noise_.length.left = static_cast<std::uint16_t>(pulse_length - (value & 0x3FU));
            break;
        default:
            break;
        }
        return;
    }
    if (offset < 10) {
        write_pulse(pulse_[offset / 5], offset % 5, value);
    } else if (offset < 15) {
        write_wave(offset - 10, value);
    } else if (offset >= 16 && offset < 20) {
        write_noise(offset - 15, value);
    } else if (address == 0xFF24) {
        nr50_ = value;
    } else if (address == 0xFF25) {
        nr51_ = value;
    }
}

void Apu::write_pulse(Pulse& p, unsigned reg, std::uint8_t value) {
    switch (reg) {
    case 0:
        if (p.sweeps) {
            p.nr10 = static_cast<std::uint8_t>(value & 0x7FU);
        }
        break;
    case 1:
        p.duty = static_cast<std::uint8_t>(value >> 6U);
        p.length.left = static_cast<std::uint16_t>(pulse_length - (value & 0x3FU));
        break;
    case 2:
        p.nrx2 = value;
        p.dac = (value & 0xF8U) != 0;
        if (!p.dac) {
            p.on = false;
            p.next_clock = never;
        }
        break;
    case 3:
        p.period = static_cast<std::uint16_t>((p.period & 0x700U) | value);
        break;
    default:
        p.period = static_cast<std::uint16_t>((p.period & 0xFFU) | ((value & 7U) << 8U));
        p.length.enabled = (value & 0x40U) != 0;
        if ((value & 0x80U) != 0) {
            trigger_pulse(p);
        }
        break;
    }
}

// "Audio Details", Triggering. The divider restarts from the period value: its
// 4-cycle prescaler keeps its phase (the "low 2 bits"), and as every write here lands on one of its
// clocks, the first step after a trigger lasts exactly 4 (2048 - x) cycles. The duty step stays.
void Apu::trigger_pulse(Pulse& p) const {
    if (!p.dac) {
        return;
    }
    p.on = true;
    if (p.length.left == 0) {
        p.length.left = pulse_length;
    }
    p.next_clock = now_ + pulse_step_cycles(p.period);
    p.envelope = start_envelope(p.nrx2);
    if (p.sweeps) {
        const unsigned pace = (p.nr10 >> 4U) & 7U;
        const unsigned step = p.nr10 & 7U;
        p.shadow = p.period;
        p.sweep_timer = static_cast<std::uint8_t>(pace != 0 ? pace : 8);
        p.sweep_enabled = pace != 0 || step != 0;
        if (step != 0 && sweep_target(p) > sweep_max_period) {  // even at pace 0
            p.on = false;
            p.next_clock = never;
        }
    }
}

void Apu::write_wave(unsigned reg, std::uint8_t value) {
    Wave& w = wave_;
    switch (reg) {
    case 0:
        w.dac = (value & 0x80U) != 0;
        if (!w.dac) {
            w.on = false;
            w.next_clock = never;
        }
        break;
    case 1:
        w.length.left = static_cast<std::uint16_t>(wave_length - value);
        break;
    case 2:
        w.level = static_cast<std::uint8_t>((value >> 5U) & 3U);
        break;
    case 3:
        w.period = static_cast<std::uint16_t>((w.period & 0x700U) | value);
        break;
    default:
        w.period = static_cast<std::uint16_t>((w.period & 0xFFU) | ((value & 7U) << 8U));
        w.length.enabled = (value & 0x40U) != 0;
        // "Audio Registers", NR34: the sample index restarts, but the channel goes on outputting the
        // sample last read until it reads the next, sample 1.
        if ((value & 0x80U) != 0 && w.dac) {
            w.on = true;
            if (w.length.left == 0) {
                w.length.left = wave_length;
            }
            w.position = 0;
            w.next_clock = now_ + wave_step_cycles(w.period);
        }
        break;
    }
}

void Apu::write_noise(unsigned reg, std::uint8_t value) {
    Noise& n = noise_;
    switch (reg) {
    case 1:
        n.length.left = static_cast<std::uint16_t>(pulse_length - (value & 0x3FU));
        break;
    case 2:
        n.nrx2 = value;
        n.dac = (value & 0xF8U) != 0;
        if (!n.dac) {
            n.on = false;
            n.next_clock = never;
        }
        break;
    case 3:
        // Pan Docs says nothing of when a new NR43 is heard. Here its period counts from the last
        // clock: the next comes at that clock plus the new period, or at once where that has passed.
        // (Taking it only from the next clock, as a pulse takes its period, would leave a change from
        // shift 15 to shift 0 silent for up to 0.9 s.)
        if (n.on) {
            const Cycle last = n.next_clock - noise_clock_cycles(n.nr43);
            n.next_clock = std::max(now_, last + noise_clock_cycles(value));
        }
        n.nr43 = value;
        break;
    default:
        n.length.enabled = (value & 0x40U) != 0;
        if ((value & 0x80U) != 0 && n.dac) {
            n.on = true;
            if (n.length.left == 0) {
                n.length.left = pulse_length;
            }
            n.envelope = start_envelope(n.nrx2);
            n.lfsr = 0;  // "Audio Details", Noise channel: set to 0 by a trigger
            n.next_clock = now_ + noise_clock_cycles(n.nr43);
        }
        break;
    }
}

void Apu::power_off() {
    for (Pulse& p : pulse_) {
        const bool sweeps = p.sweeps;
        const std::uint16_t left = p.length.left;
        p = Pulse{};
        p.sweeps = sweeps;
        p.length.left = left;
    }
    const std::uint16_t wave_left = wave_.length.left;
    const std::array<std::uint8_t, 16> ram = wave_.ram;
    wave_ = Wave{};
    wave_.length.left = wave_left;
    wave_.ram = ram;
    const std::uint16_t noise_left = noise_.length.left;
    noise_ = Noise{};
    noise_.length.left = noise_left;
    nr50_ = 0;
    nr51_ = 0;
}

void Apu::clock_div_apu() {
    const std::uint64_t n = tick_++;
    if (clocks_lengths(n)) {
        for (Pulse& p : pulse_) {
            if (clock_length(p.length)) {
                p.on = false;
                p.next_clock = never;
            }
        }
        if (clock_length(wave_.length)) {
            wave_.on = false;
            wave_.next_clock = never;
        }
        if (clock_length(noise_.length)) {
            noise_.on = false;
            noise_.next_clock = never;
        }
    }
    if (clocks_sweep(n)) {
        clock_sweep(pulse_[0]);
    }
    if (clocks_envelopes(n)) {
        clock_envelope(pulse_[0].envelope);
        clock_envelope(pulse_[1].envelope);
        clock_envelope(noise_.envelope);
    }
}

void Apu::take_outputs_as_told() {
    for (int i = 0; i < 4; ++i) {
        told_[static_cast<std::size_t>(i)] = output(i);
    }
    told_nr50_ = nr50_;
    told_nr51_ = nr51_;
}

FramePlayer::FramePlayer(std::vector<FrameWrites> frames) : frames_(std::move(frames)) {
    for (const RegisterWrite& w : start_writes()) {
        apu_.write(w.address, w.value);
    }
    apu_.take_outputs_as_told();
}

}  // namespace bleepforge::dmg
