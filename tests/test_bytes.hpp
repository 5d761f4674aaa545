#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "bleepforge/catalogue.hpp"
#include "bleepforge/hardware.hpp"
#include "bleepforge/synth.hpp"

namespace bleepforge::testing_support {

// Two renders the same to the bit, signs of zero and NaNs' payloads included.
inline bool same_bits(const SampleBuffer& a, const SampleBuffer& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) {
            return false;
        }
    }
    return true;
}

// Bytes written out as numbers, as a file format's tables give them.
inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

// A 32-byte text field of a console file: the text, then NULs.
inline std::string padded(std::string_view text) {
    std::string field(text);
    field.resize(32, '\0');
    return field;
}

// A frame's writes as the frames export spells them, each followed by a space: "4000=BF 4002=FD ".
inline std::string text_of(const FrameWrites& writes) {
    std::string text;
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const RegisterWrite& w : writes) {
        for (const unsigned shift : {12U, 8U, 4U, 0U}) {
            text += digits[(w.address >> shift) & 0xFU];
        }
        text += '=';
        text += digits[w.value >> 4U];
        text += digits[w.value & 0xFU];
        text += ' ';
    }
    return text;
}

// A patch whose envelope holds exactly 1 for sustain_s (no attack, no decay, full sustain), so
// the samples are the generator's own values.
inline SfxPatch flat_patch(ChipType chip, double freq_hz, double sustain_s = 1.0) {
    SfxPatch p = make_patch(SfxPreset::blip, chip);
    p.base_freq = freq_hz;
    p.attack = 0.0;
    p.decay = 0.0;
    p.sustain_time = sustain_s;
    p.sustain_level = 1.0;
    return p;
}

// A held tone for a console's hardware, sustained at full level past any render.
inline SfxPatch steady_tone(double freq_hz, ChipType chip = ChipType::nes) {
    SfxPatch p = flat_patch(chip, freq_hz, 2.0);
    p.hardware = true;
    return p;
}

}  // namespace bleepforge::testing_support
