#include "bleepforge/catalogue.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace bleepforge {
namespace {

TEST(ParsePreset, MatchesKeysAnywhereInAnyCaseWithEarlierKeysWinning) {
    const struct {
        std::string word;
        SfxPreset expected;
    } cases[] = {
        {"laser", SfxPreset::laser},
        {"LASER", SfxPreset::laser},
        {"Laser", SfxPreset::laser},
        {"shoot", SfxPreset::laser},
        {"jump", SfxPreset::jump},
        {"explosive", SfxPreset::explosion},
        {"expert", SfxPreset::explosion},
        {"BOOM", SfxPreset::explosion},
        {"coin", SfxPreset::coin},
        {"pickup", SfxPreset::coin},
        {"powerup", SfxPreset::powerup},
        {"whitenoise", SfxPreset::hit},
        {"hurt", SfxPreset::hit},
        {"blip", SfxPreset::blip},
        // Precedence: the key earlier in the table wins, wherever it stands in the word.
        {"jump_laser", SfxPreset::laser},
        {"powerjump", SfxPreset::jump},
        {"coin_explosion", SfxPreset::explosion},
        {"hitcoin", SfxPreset::coin},
        {"blip_hit", SfxPreset::hit},
        // Fall-backs, bytes outside ASCII included.
        {"game_over", SfxPreset::game_over},
        {"gameover", SfxPreset::game_over},
        {"xyz", SfxPreset::game_over},
        {"", SfxPreset::game_over},
        {"\xC3\x89"
         "EXP\xFF",
         SfxPreset::explosion},
        {"\xFF\xFE", SfxPreset::game_over},
        {std::string("la\0ser", 6), SfxPreset::game_over},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_preset(c.word), c.expected) << '"' << c.word << '"';
    }
}

TEST(ParseChip, MatchesKeysAnywhereInAnyCaseWithEarlierKeysWinning) {
    const struct {
        std::string word;
        ChipType expected;
    } cases[] = {
        {"sid", ChipType::sid},        {"SID", ChipType::sid},       {"inside", ChipType::sid},
        {"6581", ChipType::sid},       {"gb", ChipType::gameboy},    {"GameBoy", ChipType::gameboy},
        {"ym2612", ChipType::ym2612},  {"YM2612", ChipType::ym2612}, {"fm", ChipType::ym2612},
        {"genesis", ChipType::ym2612}, {"gb_sid", ChipType::sid},    {"gb_fm", ChipType::gameboy},
        {"nes", ChipType::nes},        {"2a03", ChipType::nes},      {"c64", ChipType::nes},
        {"8580", ChipType::nes},       {"megadrive", ChipType::nes}, {"game boy", ChipType::nes},
        {"", ChipType::nes},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_chip(c.word), c.expected) << '"' << c.word << '"';
    }
}

// Every ordered pair of keys in one word, in both orders: the key earlier in the table decides,
// wherever it stands. The tables in the order the program has always given them.
TEST(ParseWords, LetTheEarlierKeyWinForEveryPairOfKeys) {
    const std::pair<const char*, SfxPreset> preset_table[] = {
        {"laser", SfxPreset::laser},   {"shoot", SfxPreset::laser},    {"jump", SfxPreset::jump},
        {"exp", SfxPreset::explosion}, {"boom", SfxPreset::explosion}, {"coin", SfxPreset::coin},
        {"pickup", SfxPreset::coin},   {"power", SfxPreset::powerup},  {"hit", SfxPreset::hit},
        {"hurt", SfxPreset::hit},      {"blip", SfxPreset::blip},
    };
    const std::pair<const char*, ChipType> chip_table[] = {
        {"sid", ChipType::sid},         {"6581", ChipType::sid},  {"gb", ChipType::gameboy},
        {"gameboy", ChipType::gameboy}, {"ym", ChipType::ym2612}, {"fm", ChipType::ym2612},
        {"genesis", ChipType::ym2612},
    };
    for (std::size_t i = 0; i < std::size(preset_table); ++i) {
        for (std::size_t j = 0; j < std::size(preset_table); ++j) {
            const std::string word = std::string(preset_table[i].first) + "_" + preset_table[j].first;
            EXPECT_EQ(parse_preset(word), preset_table[std::min(i, j)].second) << word;
        }
    }
    for (std::size_t i = 0; i < std::size(chip_table); ++i) {
        for (std::size_t j = 0; j < std::size(chip_table); ++j) {
            const std::string word = std::string(chip_table[i].first) + "_" + chip_table[j].first;
            // "gameboy" holds no "gb": paired with "gb" the two keys give the same chip anyway.
            EXPECT_EQ(parse_chip(word), chip_table[std::min(i, j)].second) << word;
        }
    }
}

TEST(ParseWords, LeaveTheCallersWordUnchanged) {
    const std::string word = "LASER";
    (void)parse_preset(word);
    (void)parse_chip(word);
    EXPECT_EQ(word, "LASER");
}

TEST(DisplayNames, GiveEveryTitleAndTheFallBacksOutsideTheEnumerations) {
    const char* const presets[] = {"Laser / Blaster", "Jump / Spring",      "Explosion / Boom",
                                   "Coin / Pickup",   "Powerup / Level Up", "Hit / Damage",
                                   "Blip / Select",   "Game Over / Defeat"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(preset_display_name(static_cast<SfxPreset>(i)), presets[i]);
    }
    const char* const chips[] = {"Nintendo 2A03 (NES)", "MOS Technology 6581 (C64 SID)",
                                 "Game Boy DMG-01 APU", "Yamaha YM2612 (Sega Genesis OPN2)"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chip_display_name(static_cast<ChipType>(i)), chips[i]);
    }
    for (const int outside : {8, -1, 1 << 30}) {
        EXPECT_EQ(preset_display_name(static_cast<SfxPreset>(outside)), "Custom Preset");
    }
    for (const int outside : {4, -1, -(1 << 30)}) {
        EXPECT_EQ(chip_display_name(static_cast<ChipType>(outside)), "Unknown Sound Chip");
    }
}

// The preset table, cross-checked through figures derived from it by hand: the envelope lengths
// (attack + decay + sustain + release) and which presets slide, filter or wobble.
TEST(MakePatch, FollowsThePresetTable) {
    const struct {
        SfxPreset preset;
        double base_freq, freq_slide, duty, envelope_s, sustain_level;
        bool filtered, vibrato;
    } rows[] = {
        {SfxPreset::laser, 880, -1600, 0.25, 0.205, 0, false, false},
        {SfxPreset::jump, 180, 800, 0.5, 0.325, 0.3, false, false},
        {SfxPreset::explosion, 100, -150, 0.5, 0.705, 0.2, true, false},
        {SfxPreset::coin, 987.77, 800, 0.5, 0.442, 0.4, false, false},
        {SfxPreset::powerup, 261.63, 950, 0.25, 0.605, 0.5, false, true},
        {SfxPreset::hit, 220, -600, 0.125, 0.175, 0.1, false, false},
        {SfxPreset::blip, 523.25, 0, 0.5, 0.065, 0, false, false},
        {SfxPreset::game_over, 392, -350, 0.125, 1.055, 0.3, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.preset));
        const SfxPatch p = make_patch(row.preset, ChipType::sid);
        EXPECT_EQ(p.chip, ChipType::sid);
        EXPECT_EQ(p.base_freq, row.base_freq);
        EXPECT_EQ(p.freq_slide, row.freq_slide);
        EXPECT_EQ(p.duty, row.duty);
        EXPECT_NEAR(p.attack + p.decay + p.sustain_time + p.release, row.envelope_s, 1e-12);
        EXPECT_EQ(p.attack, row.preset == SfxPreset::coin ? 0.002 : 0.005);
        EXPECT_EQ(p.sustain_level, row.sustain_level);
        EXPECT_EQ(p.filter_cutoff < 0.98, row.filtered);
        EXPECT_EQ(p.noise > 0.25, row.filtered);
        EXPECT_EQ(p.vibrato_depth > 0, row.vibrato);
        EXPECT_EQ(p.fm_ratio, 2.0);
        EXPECT_EQ(p.fm_index, 0.0);
    }
    const SfxPatch explosion = make_patch(SfxPreset::explosion, ChipType::nes);
    EXPECT_EQ(explosion.filter_cutoff, 0.45);
    EXPECT_EQ(explosion.noise, 0.3);
    const SfxPatch powerup = make_patch(SfxPreset::powerup, ChipType::nes);
    EXPECT_EQ(powerup.vibrato_depth, 15.0);
    EXPECT_EQ(powerup.vibrato_rate, 12.0);
    const SfxPatch game_over = make_patch(SfxPreset::game_over, ChipType::nes);
    EXPECT_EQ(game_over.vibrato_depth, 8.0);
    EXPECT_EQ(game_over.vibrato_rate, 5.0);
}

bool same_apart_from_chip_and_fm(const SfxPatch& a, const SfxPatch& b) {
    return a.base_freq == b.base_freq && a.freq_slide == b.freq_slide && a.duty == b.duty &&
           a.attack == b.attack && a.decay == b.decay && a.sustain_time == b.sustain_time &&
           a.release == b.release && a.sustain_level == b.sustain_level &&
           a.filter_cutoff == b.filter_cutoff && a.noise == b.noise && a.vibrato_depth == b.vibrato_depth &&
           a.vibrato_rate == b.vibrato_rate;
}

TEST(MakePatch, OnlyTheYm2612ChipChangesAValue) {
    for (int i = 0; i < 8; ++i) {
        const auto preset = static_cast<SfxPreset>(i);
        const SfxPatch nes = make_patch(preset, ChipType::nes);
        const SfxPatch fm = make_patch(preset, ChipType::ym2612);
        EXPECT_TRUE(same_apart_from_chip_and_fm(nes, fm));
        EXPECT_EQ(fm.fm_ratio, 3.0);
        EXPECT_EQ(fm.fm_index, 2.5);
        for (const ChipType other : {ChipType::sid, ChipType::gameboy, static_cast<ChipType>(42)}) {
            const SfxPatch p = make_patch(preset, other);
            EXPECT_EQ(p.chip, other);
            EXPECT_TRUE(same_apart_from_chip_and_fm(nes, p));
            EXPECT_EQ(p.fm_ratio, 2.0);
        }
    }
}

TEST(MakePatch, GivesAPresetOutsideTheTableTheDefaultsAndConcertPitch) {
    const SfxPatch p = make_patch(static_cast<SfxPreset>(8), ChipType::ym2612);
    EXPECT_EQ(p.base_freq, 440.0);
    EXPECT_EQ(p.freq_slide, 0.0);
    EXPECT_EQ(p.duty, 0.5);
    EXPECT_EQ(p.attack, 0.005);
    EXPECT_EQ(p.decay, 0.1);
    EXPECT_EQ(p.sustain_time, 0.1);
    EXPECT_EQ(p.release, 0.05);
    EXPECT_EQ(p.sustain_level, 0.6);
    EXPECT_EQ(p.filter_cutoff, 1.0);
    EXPECT_EQ(p.noise, 0.0);
    EXPECT_EQ(p.vibrato_depth, 0.0);
    EXPECT_EQ(p.vibrato_rate, 6.0);
    EXPECT_EQ(p.fm_ratio, 3.0);
    EXPECT_EQ(p.fm_index, 2.5);
}

}  // namespace
}  // namespace bleepforge
