// NSF files: the header and the data byte for byte, the frames read back, what is refused, and the
// player's bytes held to its source as ca65 and ld65 assemble it.

#include "bleepforge/nsf.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "nes_player.hpp"
#include "test_bytes.hpp"
#include "test_files.hpp"
#include "test_random.hpp"

namespace bleepforge {
namespace {

using testing_support::bytes;
using testing_support::padded;
using testing_support::read_file;
using testing_support::TempPath;

ConsoleFile one_nsf_song(std::vector<FrameWrites> frames, std::string_view title = {}) {
    const Frames song{HardwareModel::nes, std::move(frames)};
    return nsf_file(std::span(&song, 1), title);
}

TEST(Nsf, WritesTheWorkedExampleByteForByte) {
    // The header from the format's table: magic and version 1, 1 song starting with song 1, load and
    // INIT at $8000, PLAY at $8041, the title and two unknown texts, the NTSC period 16639 (FF 40), no
    // bank switching, the PAL period 19997 (1D 4E), NTSC, no expansion sound, the NSF2 fields 0.
    const ConsoleFile nsf = one_nsf_song({{{0x4015, 0x0F}, {0x4000, 0xBF}}, {}}, "zap");
    ASSERT_EQ(nsf.problem, "");
    const std::string header =
        bytes({0x4E, 0x45, 0x53, 0x4D, 0x1A, 0x01, 0x01, 0x01, 0x00, 0x80, 0x00, 0x80, 0x41, 0x80}) +
        padded("zap") + padded("<?>") + padded("<?>") + bytes({0xFF, 0x40}) + std::string(8, '\0') +
        bytes({0x1D, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    ASSERT_EQ(header.size(), 128U);
    EXPECT_EQ(nsf.bytes.substr(0, 128), header);
    // Then the player, at $8000-$8060; the tables' addresses at $8061: the low bytes at $8065, the high
    // bytes at $8066; the stream at $8067: two writes ($15 $0F, $00 $BF), the end of frame 0, frame 1
    // without writes, and the end.
    const std::string player(nes_player::code.begin(), nes_player::code.end());
    EXPECT_EQ(nsf.bytes.substr(128, player.size()), player);
    EXPECT_EQ(nsf.bytes.substr(128 + player.size()),
              bytes({0x65, 0x80, 0x66, 0x80, 0x67, 0x80, 0x15, 0x0F, 0x00, 0xBF, 0x80, 0x80, 0xFF}));
}

TEST(Nsf, ASecondSongsStreamFollowsTheFirst) {
    const std::vector<Frames> songs = {{HardwareModel::nes, {{{0x4001, 0x08}}}}, {HardwareModel::nes, {}}};
    const ConsoleFile nsf = nsf_file(songs, "bank");
    ASSERT_EQ(nsf.problem, "");
    EXPECT_EQ(nsf.bytes[6], 2);
    // Lows at $8065, highs at $8067; song 1 at $8069 (4 bytes), song 2 at $806D (only the end).
    EXPECT_EQ(nsf.bytes.substr(128 + 97),
              bytes({0x65, 0x80, 0x67, 0x80, 0x69, 0x6D, 0x80, 0x80, 0x01, 0x08, 0x80, 0xFF, 0xFF}));
}

// Random frames within what an NSF may hold.
std::vector<Frames> random_nsf_songs(std::uint64_t seed) {
    testing_support::SplitMix random{seed};
    const std::uint16_t addresses[] = {0x4000, 0x4001, 0x4002, 0x4003, 0x4004, 0x4005, 0x4006,
                                       0x4007, 0x4008, 0x4009, 0x400A, 0x400B, 0x400C, 0x400D,
                                       0x400E, 0x400F, 0x4011, 0x4012, 0x4013, 0x4015};
    std::vector<Frames> songs(1 + random.next() % 5);
    for (Frames& song : songs) {
        song.frames.resize(random.next() % 200);
        for (FrameWrites& frame : song.frames) {
            frame.resize(random.next() % 4 == 0 ? random.next() % 128 : random.next() % 6);
            for (RegisterWrite& w : frame) {
                w.address = addresses[random.next() % std::size(addresses)];
                w.value = static_cast<std::uint8_t>(random.next());
                w.value = w.address == 0x4015 ? static_cast<std::uint8_t>(w.value & 0xEF) : w.value;
            }
        }
    }
    return songs;
}

TEST(Nsf, FramesComeBackExactly) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const std::vector<Frames> songs = random_nsf_songs(seed);
        const std::string title = seed % 2 == 0 ? "" : "Song " + std::to_string(seed);
        const ConsoleFile nsf = nsf_file(songs, title);
        ASSERT_EQ(nsf.problem, "") << seed;
        const NsfSongs read = read_nsf(nsf.bytes);
        ASSERT_EQ(read.problem, "") << seed;
        EXPECT_EQ(read.songs, songs) << seed;
        EXPECT_EQ(read.title, title) << seed;
        EXPECT_EQ(nsf_file(read.songs, read.title).bytes, nsf.bytes) << seed;
    }
}

TEST(Nsf, RefusesWhatAnNsfCannotHoldAndSaysWhy) {
    const FrameWrites note = {{0x4015, 0x0F}, {0x4000, 0xBF}};
    const struct {
        std::vector<FrameWrites> frames;
        std::string title;
        std::string problem;  // empty: accepted
    } cases[] = {
        {{note}, std::string(31, 'x'), ""},
        {{note}, std::string(32, 'x'), "the title has 32 characters, and an NSF holds 31 at most"},
        {{note},
         "caf\xC3\xA9",
         "the title holds a character that is not printable ASCII, which an NSF's title is"},
        {{note},
         "tab\there",
         "the title holds a character that is not printable ASCII, which an NSF's title is"},
        {{note}, " ~", ""},
        {{FrameWrites(127, {0x4002, 1})}, "", ""},
        {{{}, FrameWrites(128, {0x4002, 1})},
         "",
         "song 1, frame 1 has 128 writes, and the player makes 127 a frame at most"},
        {{{{0x4017, 0x40}}},
         "",
         "song 1, frame 0 writes $4017, and an NSF's sound writes go to $4000-$4013 and $4015 only"},
        {{{{0x4014, 0x02}}},
         "",
         "song 1, frame 0 writes $4014, and an NSF's sound writes go to $4000-$4013 and $4015 only"},
        {{{{0x3FFF, 0x00}}},
         "",
         "song 1, frame 0 writes $3FFF, and an NSF's sound writes go to $4000-$4013 and $4015 only"},
        {{{{0x4016, 0x00}}},
         "",
         "song 1, frame 0 writes $4016, and an NSF's sound writes go to $4000-$4013 and $4015 only"},
        {{{{0x4010, 0x8F}}},
         "",
         "song 1, frame 0 sets bit 7 of $4010, the DMC's interrupt, which an NSF must leave clear"},
        {{{{0x4010, 0x4F}}}, "", ""},
        {{{{0x4015, 0x1F}}},
         "",
         "song 1, frame 0 sets bit 4 of $4015, DMC sample playback, which the model does not play"},
        // The data's ceiling: the player (97 bytes), the tables' addresses (4), one song's two table
        // bytes and its stream: 32658 empty frames and the end make 32762 bytes, $8000-$FFF9.
        {std::vector<FrameWrites>(32658), "", ""},
        {std::vector<FrameWrites>(32659), "",
         "the songs need 32763 bytes with the player, and an NSF without bank switching holds 32762 "
         "($8000-$FFF9)"},
    };
    for (const auto& c : cases) {
        const ConsoleFile nsf = one_nsf_song(c.frames, c.title);
        EXPECT_EQ(nsf.problem, c.problem) << c.title << " " << c.frames.size();
        EXPECT_EQ(nsf.bytes.empty(), !c.problem.empty());
        if (c.problem.empty()) {
            EXPECT_LE(nsf.bytes.size(), 128U + 32762U);
        }
    }
    EXPECT_EQ(nsf_file({}, "").problem, "an NSF holds 1 to 255 songs, not 0");
    EXPECT_EQ(nsf_file(std::vector<Frames>(256), "").problem, "an NSF holds 1 to 255 songs, not 256");
    EXPECT_EQ(nsf_file(std::vector<Frames>(255), "").problem, "");
}

TEST(Nsf, ReadsOnlyItsOwnFilesWhole) {
    const std::string good = one_nsf_song({{{0x4015, 0x0F}}, {{0x4000, 0x30}}}).bytes;
    ASSERT_EQ(read_nsf(good).problem, "");
    auto changed = [&](std::size_t at, int value) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(value);
        return bytes;
    };
    const std::size_t stream = 128 + 97 + 6;
    const struct {
        std::string bytes;
        std::string problem;
    } cases[] = {
        {"", "not an NSF version 1 file"},
        {good.substr(0, 200), "not an NSF version 1 file"},
        {changed(5, 2), "not an NSF version 1 file"},
        {changed(0x0C, 0x42),
         "an NSF with another player than Bleepforge's; only the frames of its own can be read"},
        {changed(128 + 20, 0xEA),
         "an NSF with another player than Bleepforge's; only the frames of its own can be read"},
        {changed(0x70, 1),
         "an NSF with another player than Bleepforge's; only the frames of its own can be read"},
        {changed(6, 2), "the NSF's tables of songs do not match its count of songs"},
        {changed(6, 0), "the NSF's tables of songs do not match its count of songs"},
        {changed(128 + 97 + 2, 0x70), "the NSF's tables of songs do not match its count of songs"},
        {good.substr(0, good.size() - 1), "song 1's stream runs past the end of the file"},
        {changed(stream, 0x90), "song 1's stream holds a byte the player does not read"},
        {changed(stream + 2, 0xFF), "song 1's last frame has no end"},
    };
    for (const auto& c : cases) {
        const NsfSongs read = read_nsf(c.bytes);
        EXPECT_EQ(read.problem, c.problem) << c.bytes.size();
    }
}

// ca65 and ld65 from cc65, found at configure time; empty where they are missing.
TEST(NesPlayer, TheEmbeddedBytesAreTheAssembledSource) {
    const std::string ca65 = BLEEPFORGE_CA65;
    const std::string ld65 = BLEEPFORGE_LD65;
    if (ca65.empty() || ld65.empty()) {
        GTEST_SKIP() << "ca65 and ld65 (Debian's cc65) are not installed: the player's bytes are not held to "
                        "its source here";
    }
    const TempPath work("player");
    std::filesystem::create_directories(work.str());
    const std::string object = work.str() + "/player.o";
    const std::string binary = work.str() + "/player.bin";
    const std::string labels = work.str() + "/player.lbl";
    const std::string assemble =
        "\"" + ca65 + "\" -g -o \"" + object + "\" \"" + BLEEPFORGE_PLAYER_SOURCE + "\"";
    const std::string link = "\"" + ld65 + "\" -C \"" + BLEEPFORGE_PLAYER_CONFIG + "\" -Ln \"" + labels +
                             "\" -o \"" + binary + "\" \"" + object + "\"";
    ASSERT_EQ(std::system(assemble.c_str()), 0) << assemble;
    ASSERT_EQ(std::system(link.c_str()), 0) << link;
    EXPECT_EQ(read_file(binary), std::string(nes_player::code.begin(), nes_player::code.end()));
    // The addresses the header and the writer use, from ld65's label file ("al 008041 .play").
    const std::string map = read_file(labels);
    EXPECT_NE(map.find("al 008000 .init"), std::string::npos) << map;
    EXPECT_NE(map.find("al 008041 .play"), std::string::npos) << map;
    EXPECT_NE(map.find("al 008061 .tables"), std::string::npos) << map;
    EXPECT_EQ(nes_player::init_address, 0x8000);
    EXPECT_EQ(nes_player::play_address, 0x8041);
    EXPECT_EQ(nes_player::tables_address, 0x8061);
}

}  // namespace
}  // namespace bleepforge
