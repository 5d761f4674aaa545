// The frames as VGM files and as GBDK's sound-effect stream, laid out by hand from the formats, and
// both read back (as VGM importers and the stream's player read them) into the frames they came from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bleepforge/console_export.hpp"
#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"

namespace bleepforge {
namespace {

std::uint32_t u32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return v;
}

// A VGM's writes, a frame ending at each wait; the waits' lengths beside them.
struct ReadVgm {
    std::vector<FrameWrites> frames;
    std::vector<unsigned> waits;
};

std::optional<ReadVgm> read_vgm(const std::string& bytes) {
    if (bytes.size() < 0x100 || bytes.compare(0, 4, "Vgm ") != 0) {
        return std::nullopt;
    }
    ReadVgm read;
    FrameWrites frame;
    for (std::size_t at = 0x34 + u32(bytes, 0x34); at < bytes.size();) {
        const auto command = static_cast<unsigned char>(bytes[at]);
        if (command == 0x66) {
            return at + 1 == bytes.size() ? std::optional(read) : std::nullopt;
        }
        if (at + 3 > bytes.size()) {
            return std::nullopt;
        }
        const auto a = static_cast<unsigned char>(bytes[at + 1]);
        const auto d = static_cast<unsigned char>(bytes[at + 2]);
        if (command == 0x61) {
            read.frames.push_back(frame);
            read.waits.push_back(static_cast<unsigned>(a) | static_cast<unsigned>(d) << 8U);
            frame.clear();
        } else if (command == 0xB3 || command == 0xB4) {
            frame.push_back({static_cast<std::uint16_t>((command == 0xB3 ? 0xFF10 : 0x4000) + a), d});
        } else {
            return std::nullopt;
        }
        at += 3;
    }
    return std::nullopt;
}

// The bytes of `const uint8_t NAME[] = {...};` in the C source.
std::vector<std::uint8_t> array_bytes(const std::string& source, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    std::size_t at = source.find("const uint8_t " + name + "[] = {");
    const std::size_t end = source.find("};", at);
    while ((at = source.find("0x", at)) < end) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(source.substr(at + 2, 2), nullptr, 16)));
        at += 4;
    }
    return bytes;
}

// The rows as sfx_play_isr plays them, one call a frame: a row's commands write registers from
// $FF10 + 5 x type at the mask's bits, then it skips DDDD calls; the end row stops it.
std::optional<std::vector<FrameWrites>> play_rows(const std::vector<std::uint8_t>& data) {
    std::vector<FrameWrites> frames;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::uint8_t count = data[at++];
        FrameWrites& frame = frames.emplace_back();
        for (unsigned c = 0; c < (count & 0x0FU); ++c) {
            const std::uint8_t command = data.at(at++);
            const unsigned type = command & 0x07U;
            if (type == 7) {
                frames.pop_back();
                return at == data.size() ? std::optional(frames) : std::nullopt;
            }
            for (unsigned bit = 0; bit < 5; ++bit) {
                if ((command & (0x80U >> bit)) != 0) {
                    frame.push_back({static_cast<std::uint16_t>(0xFF10 + 5 * type + bit), data.at(at++)});
                }
            }
        }
        frames.resize(frames.size() + (count >> 4U));
    }
    return std::nullopt;
}

Frames gameboy_sound(SfxPreset preset, double duration_s = 0.5) {
    SfxPatch p = make_patch(preset, ChipType::gameboy);
    p.hardware = true;
    return hardware_frames(p, duration_s);
}

TEST(Vgm, LaysOutTheHeaderWritesAndFrameLengths) {
    const Frames f = gameboy_sound(SfxPreset::explosion);
    const ConsoleFile vgm = vgm_file(f);
    ASSERT_EQ(vgm.problem, "");
    EXPECT_EQ(u32(vgm.bytes, 0x04), vgm.bytes.size() - 4);
    EXPECT_EQ(u32(vgm.bytes, 0x08), 0x161U);
    EXPECT_EQ(u32(vgm.bytes, 0x34), 0xCCU);
    EXPECT_EQ(u32(vgm.bytes, 0x80), 4194304U);
    EXPECT_EQ(u32(vgm.bytes, 0x84), 0U);
    // 30 frames of 70224 cycles: round(30 x 44100 x 70224 / 4194304) = 22151 samples in all.
    EXPECT_EQ(u32(vgm.bytes, 0x18), 22151U);
    EXPECT_EQ(vgm.bytes.substr(0x100, 6), std::string("\xB3\x16\x80\xB3\x14\x77", 6));  // NR52, NR50
    const auto read = read_vgm(vgm.bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->frames, f.frames);
    unsigned total = 0;
    for (std::size_t k = 0; k < read->waits.size(); ++k) {
        EXPECT_TRUE(read->waits[k] == 738 || read->waits[k] == 739) << k;
        total += read->waits[k];
    }
    EXPECT_EQ(total, 22151U);
    EXPECT_EQ(read->waits[0], 738U);  // 738.35
    EXPECT_EQ(read->waits[1], 739U);  // round(1476.71) - 738

    // An NES sound: B4 writes, the APU's clock, 733 or 734 samples a frame.
    SfxPatch nes = make_patch(SfxPreset::coin, ChipType::nes);
    nes.hardware = true;
    const Frames nes_frames = hardware_frames(nes, 0.5);
    const ConsoleFile nes_vgm = vgm_file(nes_frames);
    EXPECT_EQ(u32(nes_vgm.bytes, 0x80), 0U);
    EXPECT_EQ(u32(nes_vgm.bytes, 0x84), 1789772U);
    EXPECT_EQ(nes_vgm.bytes.substr(0x100, 3), std::string("\xB4\x15\x01", 3));
    const auto nes_read = read_vgm(nes_vgm.bytes);
    ASSERT_TRUE(nes_read);
    EXPECT_EQ(nes_read->frames, nes_frames.frames);
    EXPECT_EQ(u32(nes_vgm.bytes, 0x18), 22748U);  // round(31 x 44100 x 29780.5 / 1789773)

    Frames stray = f;
    stray.frames[3].push_back({0x4000, 0x30});
    EXPECT_EQ(vgm_file(stray).problem, "frame 3 writes 4000, which is no sound register of the console");
}

TEST(GbdkStream, WritesRowsThePlayerReplaysAsTheFrames) {
    // A frame that writes NR52, NR50, NR51 and pulse 1 is four commands: $24 (NR52), $C4 (NR50,
    // NR51), $F8 (NR10-NR14); the frames writing nothing after a row are calls it skips.
    Frames f{HardwareModel::gameboy,
             {{{0xFF26, 0x80}, {0xFF24, 0x77}, {0xFF25, 0xFF}, {0xFF10, 0x00}, {0xFF11, 0x80},
               {0xFF12, 0xF0}, {0xFF13, 0xD6}, {0xFF14, 0x86}},
              {},
              {},
              {{0xFF21, 0xF1}, {0xFF22, 0x13}, {0xFF23, 0x80}},
              {{0xFF12, 0x08}, {0xFF14, 0x86}}}};
    const NamedFrames one[] = {{"zap", &f}};
    const GbdkFiles files = gbdk_files(one, "zap.h");
    ASSERT_EQ(files.problem, "");
    EXPECT_NE(files.source.find("#include <stdint.h>\n\n#include \"zap.h\"\n"), std::string::npos);
    EXPECT_NE(files.source.find("const uint8_t zap[] = {\n"
                                "    0x23,0x24,0x80,0xc4,0x77,0xff,0xf8,0x00,0x80,0xf0,0xd6,0x86,\n"
                                "    0x01,0x3b,0xf1,0x13,0x80,\n"
                                "    0x01,0x28,0x08,0x86,\n"
                                "    0x01,0x07};\n"),
              std::string::npos)
        << files.source;
    EXPECT_NE(files.header.find("#define MUTE_MASK_zap 0x09\nextern const uint8_t zap[];\n"), std::string::npos);
    EXPECT_EQ(files.header.substr(0, 50), "#ifndef BLEEPFORGE_ZAP_H\n#define BLEEPFORGE_ZAP_H\n");

    // Every preset made hardware, and random sounds, in one source: each replays as its frames,
    // however many empty frames a row skips.
    std::vector<Frames> sounds;
    std::vector<std::string> names;
    for (std::size_t preset = 0; preset < preset_words.size(); ++preset) {
        sounds.push_back(gameboy_sound(static_cast<SfxPreset>(preset), 1.5));
        names.emplace_back(preset_words[preset]);
    }
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        SfxPatch p = random_sound(static_cast<SfxPreset>(seed % 8), ChipType::gameboy, seed).patch;
        p.hardware = true;
        sounds.push_back(hardware_frames(p, 1.0));
        names.push_back("random_" + std::to_string(seed));
    }
    std::vector<NamedFrames> named;
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        named.push_back({names[i], &sounds[i]});
    }
    const GbdkFiles all = gbdk_files(named, "sounds.h");
    ASSERT_EQ(all.problem, "");
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        const auto played = play_rows(array_bytes(all.source, names[i]));
        ASSERT_TRUE(played) << names[i];
        EXPECT_EQ(*played, sounds[i].frames) << names[i];
    }
}

TEST(GbdkStream, KeepsToTheFrameRateForAPlayerOnA256HzTimer) {
    // Frame k begins at call round(k x 256 / 59.7275): 4 or 5 calls a frame, 4.286 on average.
    const Frames f = gameboy_sound(SfxPreset::explosion);
    const NamedFrames one[] = {{"boom", &f}};
    const GbdkFiles files = gbdk_files(one, "boom.h", 256.0);
    ASSERT_EQ(files.problem, "");
    EXPECT_NE(files.source.find("called 256.0000 times a second.\n"), std::string::npos);
    const auto calls = play_rows(array_bytes(files.source, "boom"));
    ASSERT_TRUE(calls);
    std::vector<FrameWrites> expected(129);  // round(30 x 4.2861) = 129 calls
    for (std::size_t k = 0; k < f.frames.size(); ++k) {
        expected[static_cast<std::size_t>(std::floor(static_cast<double>(k) * 256.0 / dmg_frame_hz + 0.5))] =
            f.frames[k];
    }
    EXPECT_EQ(*calls, expected);
    EXPECT_EQ(array_bytes(files.source, "boom")[0] >> 4U, 3);  // frame 0: calls 0 to 3
    EXPECT_EQ(gbdk_files(one, "boom.h", 50.0).problem, "the player's calls a second must be from 59.7275 to 1024");
}

TEST(GbdkStream, RefusesWhatThePlayerCannotWrite) {
    Frames nes{HardwareModel::nes, {{{0x4015, 0x01}}}};
    const NamedFrames nes_sound[] = {{"zap", &nes}};
    EXPECT_EQ(gbdk_files(nes_sound, "zap.h").problem, "\"zap\" is a sound for the nes; the stream is the gameboy's");
    Frames wave{HardwareModel::gameboy, {{{0xFF26, 0x80}}, {{0xFF30, 0x12}}}};
    const NamedFrames wave_sound[] = {{"zap", &wave}};
    EXPECT_EQ(gbdk_files(wave_sound, "zap.h").problem,
              "\"zap\", frame 1: the write to FF30 has no command in the stream");
    // Sixteen writes of one register are sixteen commands: one more than a row holds.
    Frames busy{HardwareModel::gameboy, {FrameWrites(16, {0xFF12, 0x08})}};
    const NamedFrames busy_sound[] = {{"zap", &busy}};
    EXPECT_EQ(gbdk_files(busy_sound, "zap.h").problem, "\"zap\", frame 0: the writes need more than 15 commands");
}

TEST(FramesText, NamesTheGameboyAndReadsItBack) {
    const Frames f = gameboy_sound(SfxPreset::coin);
    const NamedFrames one[] = {{"coin", &f}};
    const std::string text = frames_text(one);
    EXPECT_EQ(text.substr(0, 43), "# gameboy (DMG), 59.7275 frames a second\n0 ");
    const auto read = read_frames_text(text);
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)[0], f);
    const NamedFrames famistudio[] = {{"coin", &f}};
    EXPECT_EQ(famistudio_text(famistudio, "sounds").problem,
              "\"coin\" is a sound for the gameboy; the engines play the nes's");
}

TEST(ConsoleFiles, TakeEachConsolesSoundsWhereItsPlayersDo) {
    const Frames gameboy = gameboy_sound(SfxPreset::coin);
    SfxPatch nes_patch = make_patch(SfxPreset::coin, ChipType::nes);
    nes_patch.hardware = true;
    const Frames nes = hardware_frames(nes_patch, 0.5);
    const NamedFrames mixed[] = {{"a", &gameboy}, {"b", &nes}};
    const NamedFrames two[] = {{"a", &gameboy}, {"b", &gameboy}};
    const NamedFrames one[] = {{"coin", &gameboy}};
    const ConsoleExportNames names{"game.bleepbank", "game", "sounds", "game.h"};
    const ConsoleFiles refused_mix = console_files(mixed, ConsoleExport::frames, names);
    EXPECT_TRUE(refused_mix.request_refused);
    EXPECT_EQ(refused_mix.problem, "game.bleepbank holds sounds for the nes and the gameboy: a console's players "
                                   "take its own, so put each console's sounds in a bank of their own");
    EXPECT_EQ(console_files(two, ConsoleExport::vgm, names).problem,
              "game.bleepbank is a bank: a vgm file holds one sound, so export each sound file on its own (or the "
              "bank --to frames, nsf or gbs)");
    EXPECT_EQ(console_files(two, ConsoleExport::nsf, names).problem,
              "\"a\" is a gameboy sound: --to nsf is for the nes's (the gameboy's are frames, vgm, gbs and gbdk)");
    const ConsoleFiles c = console_files(one, ConsoleExport::gbdk, {"coin.bleep", "coin", "coin", "coin.h"});
    EXPECT_EQ(c.problem, "");
    EXPECT_NE(c.bytes.find("#include \"coin.h\""), std::string::npos);
    EXPECT_NE(c.header.find("extern const uint8_t coin[];"), std::string::npos);
    EXPECT_EQ(console_files(one, ConsoleExport::vgm, names).bytes, vgm_file(gameboy).bytes);
}

}  // namespace
}  // namespace bleepforge
