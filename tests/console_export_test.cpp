// The frames as text and as the FamiTone2/FamiStudio stream, derived by hand from the stream's codes
// and timing, and both read back into the frames they came from.
#include "bleepforge/console_export.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bleepforge/synth.hpp"
#include "test_bytes.hpp"
#include "test_random.hpp"

namespace bleepforge {
namespace {

using testing_support::steady_tone;

// The writes the engines make themselves, which the stream leaves out.
FrameWrites without_engine_writes(const FrameWrites& writes) {
    FrameWrites kept;
    for (const RegisterWrite& w : writes) {
        if (w.address != 0x4015 && w.address != 0x4001 && w.address != 0x400F) {
            kept.push_back(w);
        }
    }
    return kept;
}

std::vector<std::uint8_t> stream_bytes(const std::string& text, const std::string& name) {
    // The ".byte $..,$.." lines after "@name:", up to the next label.
    std::vector<std::uint8_t> bytes;
    const std::size_t start = text.find("\n@" + name + ":\n");
    if (start == std::string::npos) {
        return bytes;
    }
    std::size_t at = start + name.size() + 4;
    while (text.compare(at, 10, "    .byte ") == 0) {
        const std::size_t end = text.find('\n', at);
        for (std::size_t j = at + 10; j < end; j += 4) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(j + 1, 2), nullptr, 16)));
        }
        at = end + 1;
    }
    return bytes;
}

TEST(FramesText, IsOneLinePerFrameAndReadsBack) {
    const Frames zap = hardware_frames(steady_tone(440.0), 0.05);  // 4 frames
    const NamedFrames one[] = {{"zap", &zap}};
    EXPECT_EQ(frames_text(one),
              "# nes (2A03, NTSC), 60.0988 frames a second\n"
              "0 4015=01 4001=08 4000=BF 4002=FD 4003=00\n"
              "1\n"
              "2\n"
              "3 4000=B0\n");
    const Frames coin = hardware_frames(make_patch(SfxPreset::coin, ChipType::nes), 0.2);
    const NamedFrames two[] = {{"zap", &zap}, {"coin", &coin}};
    const std::string text = frames_text(two);
    EXPECT_NE(text.find("\n# sound coin\n0 4015="), std::string::npos);
    const auto read = read_frames_text(text);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 2U);
    EXPECT_EQ((*read)[0].frames, zap.frames);
    EXPECT_EQ((*read)[1].frames, coin.frames);
    for (const char* bad :
         {"0 4015=1\n", "1 4000=B0\n", "0 40000=B0\n", "x\n", "# sound a\n0\n# sound b\n1\n"}) {
        EXPECT_FALSE(read_frames_text(bad)) << bad;
    }
}

TEST(FamiStudioStream, CodesEachFramesChangesAndHowLongTheyHold) {
    // Frame 0: $80 $BF (duty 50 %, volume 15), $81 $FD, $82 $00; frames 1 to 29 change nothing, so
    // the group holds 30 frames ($1E); frame 30 silences ($80 $B0) and the end follows at once, which
    // lets that last frame play.
    const Frames zap = hardware_frames(steady_tone(440.0), 0.5);
    ASSERT_EQ(zap.frames.size(), 31U);
    const NamedFrames one[] = {{"zap", &zap}};
    const ConsoleFile data = famistudio_text(one, "sounds");
    ASSERT_TRUE(data.problem.empty()) << data.problem;
    const std::vector<std::uint8_t> stream = stream_bytes(data.bytes, "zap");
    EXPECT_EQ(stream,
              (std::vector<std::uint8_t>{0x80, 0xBF, 0x81, 0xFD, 0x82, 0x00, 0x1E, 0x80, 0xB0, 0x00}));
    EXPECT_NE(data.bytes.find("sounds_zap = 0\n.export sounds\nsounds:\n    .word @ntsc\n    .word @ntsc\n"),
              std::string::npos);
    // Decoded as the engine plays it: the same frames, less the writes the engine makes itself.
    const auto decoded = decode_famistudio_stream(stream);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), zap.frames.size());
    for (std::size_t k = 0; k < zap.frames.size(); ++k) {
        EXPECT_EQ((*decoded)[k], without_engine_writes(zap.frames[k])) << k;
    }
    // The timing rules by hand: A $01 B $01 C $00 is three frames; n $00 holds n + 1 frames.
    EXPECT_EQ(decode_famistudio_stream(std::vector<std::uint8_t>{0x80, 1, 0x01, 0x80, 2, 0x01, 0x80, 3, 0x00})
                  ->size(),
              3U);
    EXPECT_EQ(decode_famistudio_stream(std::vector<std::uint8_t>{0x80, 1, 0x05, 0x00})->size(), 6U);
    EXPECT_FALSE(decode_famistudio_stream(std::vector<std::uint8_t>{0x8B, 1, 0x00}));
    EXPECT_FALSE(decode_famistudio_stream(std::vector<std::uint8_t>{0x80, 1}));
}

TEST(FamiStudioStream, RoundTripsRandomHardwareSoundsAndSplitsLongWaits) {
    testing_support::SplitMix rng{28};
    for (int n = 0; n < 60; ++n) {
        SfxPatch p = make_patch(static_cast<SfxPreset>(rng.next() % 8), ChipType::nes);
        p.hardware = true;
        p.vibrato_depth = rng.uniform(0, 20);
        p.noise = rng.unit();
        p.freq_slide = rng.uniform(-3000, 3000);
        const Frames frames = hardware_frames(p, rng.uniform(0.05, 3.0));
        const NamedFrames one[] = {{"fx", &frames}};
        const ConsoleFile data = famistudio_text(one, "sfx");
        if (!data.problem.empty()) {
            EXPECT_NE(data.problem.find("256 at most"), std::string::npos) << data.problem;
            continue;
        }
        const auto decoded = decode_famistudio_stream(stream_bytes(data.bytes, "fx"));
        ASSERT_TRUE(decoded) << n;
        ASSERT_EQ(decoded->size(), frames.frames.size()) << n;
        for (std::size_t k = 0; k < frames.frames.size(); ++k) {
            ASSERT_EQ((*decoded)[k], without_engine_writes(frames.frames[k])) << n << " frame " << k;
        }
    }
    // A steady tone of 5 s (301 frames) holds its first group 300 frames: $7F $7F $2E.
    SfxPatch held = steady_tone(440.0);
    held.sustain_time = 10.0;
    const Frames long_one = hardware_frames(held, 5.0);
    const NamedFrames one[] = {{"hold", &long_one}};
    const std::vector<std::uint8_t> stream = stream_bytes(famistudio_text(one, "s").bytes, "hold");
    EXPECT_EQ(std::vector<std::uint8_t>(stream.begin() + 6, stream.end()),
              (std::vector<std::uint8_t>{0x7F, 0x7F, 0x2E, 0x80, 0xB0, 0x00}));
}

TEST(FamiStudioStream, RefusesWhatTheEnginesCannotPlay) {
    Frames sweeping;
    sweeping.frames = {{{0x4001, 0x81}}};
    const NamedFrames one[] = {{"up", &sweeping}};
    EXPECT_EQ(famistudio_text(one, "s").problem,
              "\"up\": frame 0: the write 4001=81 has no slot in the engines' sound-effect stream");
    // 130 frames that each change the period: 2 bytes a frame and a wait is more than 256 bytes.
    SfxPatch busy = steady_tone(200.0);
    busy.vibrato_depth = 50.0;
    busy.vibrato_rate = 7.0;
    const Frames long_one = hardware_frames(busy, 130.0 / nes_frame_hz);
    const NamedFrames two[] = {{"busy", &long_one}};
    EXPECT_NE(famistudio_text(two, "s").problem.find("\"busy\" makes a stream of"), std::string::npos);
    std::vector<NamedFrames> many(129, NamedFrames{"x", &sweeping});
    EXPECT_EQ(famistudio_text(many, "s").problem, "129 sounds: the engines' list holds at most 128");
}

}  // namespace
}  // namespace bleepforge
