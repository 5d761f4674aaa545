// GBS files: the header and the data byte for byte, the frames read back, what is refused, and the
// replay player's bytes held to its source as sdasgb, sdldgb and makebin make it.

#include "bleepforge/gbs.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bleepforge/catalogue.hpp"
#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "gb_player.hpp"
#include "test_bytes.hpp"
#include "test_files.hpp"
#include "test_random.hpp"

namespace bleepforge {
namespace {

using testing_support::bytes;
using testing_support::padded;
using testing_support::read_file;
using testing_support::TempPath;

ConsoleFile one_gbs_song(std::vector<FrameWrites> frames, std::string_view title = {}) {
    const Frames song{HardwareModel::gameboy, std::move(frames)};
    return gbs_file(std::span(&song, 1), title);
}

const std::string player(gb_player::code.begin(), gb_player::code.end());

TEST(Gbs, WritesTheWorkedExampleByteForByte) {
    // Magic and version 1, 1 song starting with song 1, load and INIT at $0400, PLAY at $0424, the stack
    // at $FFFE, TMA and TAC 0 (PLAY at the vertical blank), the title NUL-padded, author and copyright
    // empty.
    const ConsoleFile gbs = one_gbs_song({{{0xFF26, 0x80}, {0xFF12, 0xF0}}, {}}, "zap");
    ASSERT_EQ(gbs.problem, "");
    const std::string header = bytes({0x47, 0x42, 0x53, 0x01, 0x01, 0x01, 0x00, 0x04, 0x00, 0x04, 0x24, 0x04,
                                      0xFE, 0xFF, 0x00, 0x00}) +
                               padded("zap") + padded("") + padded("");
    ASSERT_EQ(header.size(), 0x70U);
    EXPECT_EQ(gbs.bytes.substr(0, 0x70), header);
    // Then the player at $0400-$043E; the table at $043F: the stream's address, $0441; the stream: two
    // writes ($26 $80, $12 $F0), the end of frame 0, frame 1 without writes, and the end.
    EXPECT_EQ(gbs.bytes.substr(0x70, player.size()), player);
    EXPECT_EQ(gbs.bytes.substr(0x70 + player.size()),
              bytes({0x41, 0x04, 0x26, 0x80, 0x12, 0xF0, 0x80, 0x80, 0xFF}));

    // A title of the field's full 32 characters has no NUL after it.
    const ConsoleFile full = one_gbs_song({}, std::string(32, 'T'));
    ASSERT_EQ(full.problem, "");
    EXPECT_EQ(full.bytes.substr(0x10, 33), std::string(32, 'T') + '\0');
}

TEST(Gbs, ABanksStreamsFollowOneAnotherInItsOrder) {
    const std::vector<Frames> songs = {{HardwareModel::gameboy, {{{0xFF21, 0xF1}, {0xFF23, 0x80}}}},
                                       {HardwareModel::gameboy, {}},
                                       {HardwareModel::gameboy, {{}, {{0xFF3F, 0x5A}}}}};
    const ConsoleFile gbs = gbs_file(songs, "bank");
    ASSERT_EQ(gbs.problem, "");
    EXPECT_EQ(gbs.bytes[4], 3);
    EXPECT_EQ(gbs.bytes[5], 1);
    // The table at $043F (6 bytes); song 1 at $0445 (6 bytes), song 2 at $044B (only the end), song 3
    // at $044C.
    EXPECT_EQ(gbs.bytes.substr(0x70 + player.size()),
              bytes({0x45, 0x04, 0x4B, 0x04, 0x4C, 0x04, 0x21, 0xF1, 0x23, 0x80, 0x80, 0xFF, 0xFF, 0x80, 0x3F, 0x5A,
                     0x80, 0xFF}));
    const GbsSongs read = read_gbs(gbs.bytes);
    ASSERT_EQ(read.problem, "");
    EXPECT_EQ(read.songs, songs);
    EXPECT_EQ(read.title, "bank");
}

// Random frames within what a GBS may hold: every register the player may write, wave RAM included.
std::vector<Frames> random_gbs_songs(std::uint64_t seed) {
    testing_support::SplitMix random{seed};
    std::vector<std::uint16_t> addresses;
    for (std::uint16_t a = 0xFF10; a <= 0xFF3F; ++a) {
        if ((a <= 0xFF26 && a != 0xFF15 && a != 0xFF1F) || a >= 0xFF30) {
            addresses.push_back(a);
        }
    }
    std::vector<Frames> songs(1 + random.next() % 5, Frames{HardwareModel::gameboy, {}});
    for (Frames& song : songs) {
        song.frames.resize(random.next() % 200);
        for (FrameWrites& frame : song.frames) {
            frame.resize(random.next() % 4 == 0 ? random.next() % 128 : random.next() % 6);
            for (RegisterWrite& w : frame) {
                w.address = addresses[random.next() % addresses.size()];
                w.value = static_cast<std::uint8_t>(random.next());
            }
        }
    }
    return songs;
}

void expect_round_trip(const std::vector<Frames>& songs, const std::string& title, const std::string& what) {
    const ConsoleFile gbs = gbs_file(songs, title);
    ASSERT_EQ(gbs.problem, "") << what;
    const GbsSongs read = read_gbs(gbs.bytes);
    ASSERT_EQ(read.problem, "") << what;
    EXPECT_EQ(read.songs, songs) << what;
    EXPECT_EQ(read.title, title) << what;
    EXPECT_EQ(gbs_file(read.songs, read.title).bytes, gbs.bytes) << what;
}

TEST(Gbs, FramesComeBackExactly) {
    // The presets made for the hardware and random hardware sounds, one song each and all in one bank.
    std::vector<Frames> bank;
    for (std::size_t preset = 0; preset < preset_words.size(); ++preset) {
        Sound sound = make_sound(static_cast<SfxPreset>(preset), ChipType::gameboy);
        sound.patch.hardware = true;
        bank.push_back(hardware_frames(sound.patch, sound.duration_s));
        ASSERT_EQ(bank.back().model, HardwareModel::gameboy);
        expect_round_trip({bank.back()}, std::string(preset_words[preset]), std::string(preset_words[preset]));
    }
    for (std::uint64_t seed = 1; seed <= 24; ++seed) {
        const Sound sound = random_sound(static_cast<SfxPreset>(seed % 8), ChipType::gameboy, seed, true);
        ASSERT_TRUE(sound.patch.hardware) << seed;
        bank.push_back(hardware_frames(sound.patch, sound.duration_s));
        expect_round_trip({bank.back()}, "random " + std::to_string(seed), "random " + std::to_string(seed));
    }
    expect_round_trip(bank, "every sound", "the bank");
    // Random frames: every register, full frames, empty songs.
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        expect_round_trip(random_gbs_songs(seed), seed % 2 == 0 ? "" : "Song " + std::to_string(seed),
                          "seed " + std::to_string(seed));
    }
}

TEST(Gbs, RefusesWhatAGbsCannotHoldAndSaysWhy) {
    const FrameWrites note = {{0xFF26, 0x80}, {0xFF12, 0xF0}};
    const std::string outside = ", and a GBS's sound writes go to $FF10-$FF26 (but $FF15 and $FF1F) and $FF30-$FF3F only";
    const struct {
        std::vector<FrameWrites> frames;
        std::string title;
        std::string problem;  // empty: accepted
    } cases[] = {
        {{note}, std::string(32, 'x'), ""},
        {{note}, std::string(33, 'x'), "the title has 33 characters, and a GBS holds 32 at most"},
        {{note}, "caf\xC3\xA9", "the title holds a character that is not printable ASCII, which a GBS's title is"},
        {{note}, "tab\there", "the title holds a character that is not printable ASCII, which a GBS's title is"},
        {{note}, std::string("n\0l", 3), "the title holds a character that is not printable ASCII, which a GBS's title is"},
        {{note}, "\x7F", "the title holds a character that is not printable ASCII, which a GBS's title is"},
        {{note}, " ~", ""},
        {{FrameWrites(127, {0xFF12, 1})}, "", ""},
        {{{}, FrameWrites(128, {0xFF12, 1})}, "", "song 1, frame 1 has 128 writes, and the player makes 127 a frame at most"},
        // Each end of both ranges is written; beside them, and the two unused registers, are refused.
        {{{{0xFF10, 0}, {0xFF26, 0}, {0xFF30, 0}, {0xFF3F, 0}, {0xFF14, 0}, {0xFF16, 0}, {0xFF1E, 0}, {0xFF20, 0}}},
         "",
         ""},
        {{{{0xFF0F, 0x00}}}, "", "song 1, frame 0 writes $FF0F" + outside},
        {{{}, {}, {{0xFF12, 0}, {0xFF15, 0x00}}}, "", "song 1, frame 2 writes $FF15" + outside},
        {{{{0xFF1F, 0x00}}}, "", "song 1, frame 0 writes $FF1F" + outside},
        {{{{0xFF27, 0x00}}}, "", "song 1, frame 0 writes $FF27" + outside},
        {{{{0xFF2F, 0x00}}}, "", "song 1, frame 0 writes $FF2F" + outside},
        {{{{0xFF40, 0x00}}}, "", "song 1, frame 0 writes $FF40" + outside},
        {{{{0xFF80, 0x00}}}, "", "song 1, frame 0 writes $FF80" + outside},
        {{{{0x4015, 0x0F}}}, "", "song 1, frame 0 writes $4015" + outside},
        // The data's ceiling: the player (63 bytes), the table (2) and the stream, 31678 empty frames and
        // the end: 31744 bytes, $0400-$7FFF.
        {std::vector<FrameWrites>(31678), "", ""},
        {std::vector<FrameWrites>(31679), "",
         "the songs need 31745 bytes with the player, and a GBS without bank switching holds 31744 ($0400-$7FFF)"},
    };
    for (const auto& c : cases) {
        const ConsoleFile gbs = one_gbs_song(c.frames, c.title);
        EXPECT_EQ(gbs.problem, c.problem) << c.title << " " << c.frames.size();
        EXPECT_EQ(gbs.bytes.empty(), !c.problem.empty());
        if (c.problem.empty()) {
            EXPECT_LE(gbs.bytes.size(), 0x70U + 31744U);
        }
    }
    const Frames empty{HardwareModel::gameboy, {}};
    EXPECT_EQ(gbs_file({}, "").problem, "a GBS holds 1 to 255 songs, not 0");
    EXPECT_EQ(gbs_file(std::vector<Frames>(256, empty), "").problem, "a GBS holds 1 to 255 songs, not 256");
    EXPECT_EQ(gbs_file(std::vector<Frames>(255, empty), "").problem, "");
    // The error names the song: the second of a bank here, and the NES's frames wherever they are.
    const std::vector<Frames> mixed = {{HardwareModel::gameboy, {note}}, {HardwareModel::nes, {{{0x4015, 0x0F}}}}};
    EXPECT_EQ(gbs_file(mixed, "").problem, "song 2 is not made for the Game Boy");
    EXPECT_EQ(gbs_file(std::vector<Frames>{{HardwareModel::nes, {}}}, "").problem, "song 1 is not made for the Game Boy");
    const std::vector<Frames> stray = {{HardwareModel::gameboy, {note}}, {HardwareModel::gameboy, {{}, {{0xFF00, 0}}}}};
    EXPECT_EQ(gbs_file(stray, "").problem, "song 2, frame 1 writes $FF00" + outside);
    // The ceiling counts every song's table entry and stream.
    const std::vector<Frames> two = {{HardwareModel::gameboy, std::vector<FrameWrites>(31675)}, empty};
    EXPECT_EQ(gbs_file(two, "").problem, "");
    const std::vector<Frames> over = {{HardwareModel::gameboy, std::vector<FrameWrites>(31676)}, empty};
    EXPECT_EQ(gbs_file(over, "").problem,
              "the songs need 31745 bytes with the player, and a GBS without bank switching holds 31744 ($0400-$7FFF)");
}

TEST(Gbs, ReadsOnlyItsOwnFilesWhole) {
    const std::string good = one_gbs_song({{{0xFF26, 0x80}}, {{0xFF12, 0xF0}}}, "ok").bytes;
    ASSERT_EQ(read_gbs(good).problem, "");
    auto changed = [&](std::size_t at, int value) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(value);
        return bytes;
    };
    const std::string other = "a GBS with another player than Bleepforge's; only the frames of its own can be read";
    const std::string table = "the GBS's table of songs does not match its count of songs";
    const std::size_t stream = 0x70 + player.size() + 2;
    const struct {
        std::string bytes;
        std::string problem;
    } cases[] = {
        {"", "not a GBS version 1 file"},
        {good.substr(0, 0x70 + player.size() - 1), "not a GBS version 1 file"},
        {changed(3, 2), "not a GBS version 1 file"},
        {changed(0, 'N'), "not a GBS version 1 file"},
        {changed(0x06, 0x01), other},  // load
        {changed(0x09, 0x05), other},  // INIT
        {changed(0x0A, 0x25), other},  // PLAY
        {changed(0x0D, 0xDF), other},  // stack
        {changed(0x0E, 0x01), other},  // TMA
        {changed(0x0F, 0x04), other},  // TAC: the timer
        {changed(0x70 + 0x30, 0x00), other},
        {changed(4, 0), table},
        {changed(5, 2), table},
        {good.substr(0, good.size() - 1), "song 1's stream runs past the end of the file"},
        {changed(stream, 0x15), "song 1's stream holds a byte the player does not read"},
        {changed(stream, 0x40), "song 1's stream holds a byte the player does not read"},
        {changed(stream, 0x90), "song 1's stream holds a byte the player does not read"},
        {good.substr(0, stream + 1), "song 1's stream holds a byte the player does not read"},
        {changed(stream + 5, 0xFF), "song 1's last frame has no end"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_gbs(c.bytes).problem, c.problem) << c.bytes.size();
    }
}

TEST(Gbs, ReadsItsStreamsOnlyWhereItsOwnFilesHaveThem) {
    // Each of these read as frames before, though no file gbs_file writes has them: the songs' count or
    // table changed, bytes after the streams, a title or author it does not write.
    const std::vector<Frames> two = {{HardwareModel::gameboy, {{{0xFF12, 0xF0}}}}, {HardwareModel::gameboy, {}}};
    const std::string bank = gbs_file(two, "ab").bytes;
    const std::string one = one_gbs_song({{{0xFF26, 0x80}}, {{0xFF12, 0xF0}}}, "ok").bytes;
    ASSERT_EQ(read_gbs(bank).problem, "");
    auto changed = [](std::string bytes, std::size_t at, int value) {
        bytes[at] = static_cast<char>(value);
        return bytes;
    };
    std::string swapped = bank;
    std::swap_ranges(swapped.begin() + 0x70 + 63, swapped.begin() + 0x70 + 65, swapped.begin() + 0x70 + 65);
    const std::string table = "the GBS's table of songs does not match its count of songs";
    const std::string texts = "the GBS's title is not printable ASCII, or it has an author or copyright, which "
                              "Bleepforge's leave empty";
    const struct {
        std::string bytes;
        std::string problem;
    } cases[] = {
        {changed(bank, 4, 1), table},
        {changed(one, 4, 2), table},
        {swapped, table},
        {changed(bank, 0x70 + 63, 0x44), table},
        {changed(one, 0x70 + 64, 0x03), table},
        {changed(one, 0x70 + 64, 0x70), table},
        {one + '\xFF', "the GBS holds bytes after its last song's stream"},
        {one + std::string(16, '\0'), "the GBS holds bytes after its last song's stream"},
        {changed(one, 0x11, 0x09), texts},
        {changed(one, 0x13, 'x'), texts},
        {changed(one, 0x30, 'A'), texts},
        {changed(one, 0x6F, 'C'), texts},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_gbs(c.bytes).problem, c.problem) << c.bytes.size();
    }
    // A title of all 32 characters reads whole.
    const std::string full(32, '~');
    EXPECT_EQ(read_gbs(one_gbs_song({}, full).bytes).title, full);
}

// sdasgb, sdldgb and makebin from SDCC, found at configure time; empty where they are missing.
TEST(GbPlayer, TheEmbeddedBytesAreTheAssembledSource) {
    const std::string sdasgb = BLEEPFORGE_SDASGB;
    const std::string sdldgb = BLEEPFORGE_SDLDGB;
    const std::string makebin = BLEEPFORGE_MAKEBIN;
    if (sdasgb.empty() || sdldgb.empty() || makebin.empty()) {
        GTEST_SKIP() << "sdasgb, sdldgb and makebin (Debian's sdcc) are not installed: the GBS player's bytes are "
                        "not held to its source here";
    }
    const TempPath work("player");
    std::filesystem::create_directories(work.str());
    const std::string object = work.str() + "/player.rel";
    const std::string hex = work.str() + "/player.ihx";
    const std::string map = work.str() + "/player.map";
    const std::string binary = work.str() + "/player.bin";
    // The code is at $0400 and on: makebin skips the 1024 bytes before it and stops at its last byte.
    const std::string assemble = "\"" + sdasgb + "\" -o \"" + object + "\" \"" + BLEEPFORGE_GB_PLAYER_SOURCE + "\"";
    const std::string link = "\"" + sdldgb + "\" -n -m -i \"" + hex + "\" \"" + object + "\"";
    const std::string make = "\"" + makebin + "\" -p -o 1024 \"" + hex + "\" \"" + binary + "\"";
    ASSERT_EQ(std::system(assemble.c_str()), 0) << assemble;
    ASSERT_EQ(std::system(link.c_str()), 0) << link;
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    EXPECT_EQ(read_file(binary), player);
    // The addresses the header and the writer use, from sdldgb's map ("00000424  play").
    const std::string symbols = read_file(map);
    EXPECT_NE(symbols.find("00000400  init"), std::string::npos) << symbols;
    EXPECT_NE(symbols.find("00000424  play"), std::string::npos) << symbols;
    EXPECT_NE(symbols.find("0000043F  table"), std::string::npos) << symbols;
    EXPECT_EQ(gb_player::init_address, 0x0400);
    EXPECT_EQ(gb_player::play_address, 0x0424);
    EXPECT_EQ(gb_player::table_address, 0x043F);
}

}  // namespace
}  // namespace bleepforge
