#include "bleepforge/catalogue.hpp"

#include <array>
#include <span>

namespace bleepforge {
namespace {

template <typename Result>
struct Key {
    std::string_view key;
    Result result;
};

// Order matters: the first key found inside the word decides.
// clang-format off
constexpr std::array<Key<SfxPreset>, 11> preset_keys{{
    {"laser",  SfxPreset::laser},
    {"shoot",  SfxPreset::laser},
    {"jump",   SfxPreset::jump},
    {"exp",    SfxPreset::explosion},
    {"boom",   SfxPreset::explosion},
    {"coin",   SfxPreset::coin},
    {"pickup", SfxPreset::coin},
    {"power",  SfxPreset::powerup},
    {"hit",    SfxPreset::hit},
    {"hurt",   SfxPreset::hit},
    {"blip",   SfxPreset::blip},
}};

constexpr std::array<Key<ChipType>, 7> chip_keys{{
    {"sid",     ChipType::sid},
    {"6581",    ChipType::sid},
    {"gb",      ChipType::gameboy},
    {"gameboy", ChipType::gameboy},
    {"ym",      ChipType::ym2612},
    {"fm",      ChipType::ym2612},
    {"genesis", ChipType::ym2612},
}};

constexpr std::array<std::string_view, 8> preset_titles{
    "Laser / Blaster",
    "Jump / Spring",
    "Explosion / Boom",
    "Coin / Pickup",
    "Powerup / Level Up",
    "Hit / Damage",
    "Blip / Select",
    "Game Over / Defeat",
};

constexpr std::array<std::string_view, 4> chip_titles{
    "Nintendo 2A03 (NES)",
    "MOS Technology 6581 (C64 SID)",
    "Game Boy DMG-01 APU",
    "Yamaha YM2612 (Sega Genesis OPN2)",
};
// clang-format on

template <typename Result>
Result match_word(std::string_view word, std::span<const Key<Result>> keys, Result fallback) {
    const std::string folded = fold_ascii_case(word);
    for (const Key<Result>& k : keys) {
        if (folded.find(k.key) != std::string::npos) {
            return k.result;
        }
    }
    return fallback;
}

template <std::size_t N>
std::string title_of(std::int32_t value, const std::array<std::string_view, N>& titles,
                     std::string_view fallback) {
    if (value < 0 || static_cast<std::size_t>(value) >= N) {
        return std::string(fallback);
    }
    return std::string(titles[static_cast<std::size_t>(value)]);
}

// Every field but the chip, which make_patch sets. The defaults, and one row per preset in
// enumeration order with the defaults repeated where a preset keeps them.
// clang-format off
constexpr SfxPatch default_patch =
    //              base    slide    duty   attack decay sustain release level cutoff noise fm_r fm_i vib_d vib_r
    {ChipType::nes, 440.0,  0.0,     0.5,   0.005, 0.1,  0.1,    0.05,   0.6,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0};

constexpr std::array<SfxPatch, 8> preset_table{{
    {ChipType::nes, 880.0,  -1600.0, 0.25,  0.005, 0.18, 0.0,    0.02,   0.0,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0},  // laser
    {ChipType::nes, 180.0,  800.0,   0.5,   0.005, 0.22, 0.05,   0.05,   0.3,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0},  // jump
    {ChipType::nes, 100.0,  -150.0,  0.5,   0.005, 0.45, 0.1,    0.15,   0.2,  0.45,  0.3,  2.0, 0.0, 0.0,  6.0},  // explosion
    {ChipType::nes, 987.77, 800.0,   0.5,   0.002, 0.28, 0.08,   0.08,   0.4,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0},  // coin
    {ChipType::nes, 261.63, 950.0,   0.25,  0.005, 0.35, 0.15,   0.1,    0.5,  1.0,   0.0,  2.0, 0.0, 15.0, 12.0},  // powerup
    {ChipType::nes, 220.0,  -600.0,  0.125, 0.005, 0.12, 0.02,   0.03,   0.1,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0},  // hit
    {ChipType::nes, 523.25, 0.0,     0.5,   0.005, 0.05, 0.0,    0.01,   0.0,  1.0,   0.0,  2.0, 0.0, 0.0,  6.0},  // blip
    {ChipType::nes, 392.0,  -350.0,  0.125, 0.005, 0.6,  0.2,    0.25,   0.3,  1.0,   0.0,  2.0, 0.0, 8.0,  5.0},  // game_over
}};
// clang-format on

}  // namespace

std::string fold_ascii_case(std::string_view word) {
    std::string folded(word);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

SfxPreset parse_preset(std::string_view word) {
    return match_word<SfxPreset>(word, preset_keys, SfxPreset::game_over);
}

ChipType parse_chip(std::string_view word) {
    return match_word<ChipType>(word, chip_keys, ChipType::nes);
}

std::string preset_display_name(SfxPreset preset) {
    return title_of(static_cast<std::int32_t>(preset), preset_titles, "Custom Preset");
}

std::string chip_display_name(ChipType chip) {
    return title_of(static_cast<std::int32_t>(chip), chip_titles, "Unknown Sound Chip");
}

SfxPatch make_patch(SfxPreset preset, ChipType chip) {
    const auto index = static_cast<std::int32_t>(preset);
    // A preset outside the table keeps the defaults, with a 440 Hz pitch so no field is left unset.
    SfxPatch patch = index >= 0 && static_cast<std::size_t>(index) < preset_table.size()
                         ? preset_table[static_cast<std::size_t>(index)]
                         : default_patch;
    patch.chip = chip;  // stored unchecked: the renderer silences an unknown chip
    if (chip == ChipType::ym2612) {
        patch.fm_ratio = 3.0;
        patch.fm_index = 2.5;
    }
    return patch;
}

}  // namespace bleepforge
