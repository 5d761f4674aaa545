// A patch made for the hardware as the NES's frames, derived by hand from the mappings and the
// 2A03's period formulas.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bleepforge/synth.hpp"
#include "test_bytes.hpp"

namespace bleepforge {
namespace {

using testing_support::steady_tone;
using testing_support::text_of;

TEST(HardwareFrames, PlayA440HzPulseAsTheNesWould) {
    // 1789773 / (16 * 440) - 1 = 253.23: t = 253 = $0FD, 440.40 Hz. Duty 0.5 is $80, volume 15 $0F.
    const Frames f = hardware_frames(steady_tone(440.0), 0.5);
    ASSERT_EQ(f.frames.size(), 31U);  // ceil(0.5 * 60.0988)
    EXPECT_EQ(text_of(f.frames[0]), "4015=01 4001=08 4000=BF 4002=FD 4003=00 ");
    for (std::size_t n = 1; n + 1 < f.frames.size(); ++n) {
        EXPECT_TRUE(f.frames[n].empty()) << n;
    }
    EXPECT_EQ(text_of(f.frames.back()), "4000=B0 ");  // silenced on the last frame
    // On the triangle (a slide below -1000 Hz/s) the period counts 32 steps: after the first frame's
    // slide the pitch is 440 - 1001 / 60.0988 = 423.34 Hz, 1789773 / (32 * 423.34) - 1 = 131.1.
    SfxPatch falling = steady_tone(440.0);
    falling.freq_slide = -1001.0;
    const Frames triangle = hardware_frames(falling, 0.1);
    EXPECT_EQ(text_of(triangle.frames[0]), "4015=04 4008=FF 400A=83 400B=00 ");
    EXPECT_EQ(text_of(triangle.frames.back()).substr(0, 8), "4008=80 ");
}

TEST(HardwareFrames, MapDutyVolumeAndPeriodLimits) {
    struct Case {
        double duty;
        std::uint8_t code;
    };
    for (const Case c : {Case{0.0, 0x00},
                         {0.18, 0x00},
                         {0.2, 0x40},
                         {0.37, 0x40},
                         {0.4, 0x80},
                         {0.62, 0x80},
                         {0.63, 0xC0},
                         {0.95, 0xC0}}) {
        SfxPatch p = steady_tone(440.0);
        p.duty = c.duty;
        EXPECT_EQ(hardware_frames(p, 0.1).frames[0][2].value & 0xC0U, c.code) << c.duty;
    }
    // Each of the 16 volumes from its level: round(15 L).
    for (int v = 0; v <= 15; ++v) {
        SfxPatch p = steady_tone(440.0);
        p.sustain_level = v / 15.0;
        EXPECT_EQ(hardware_frames(p, 0.1).frames[0][2].value & 0x0FU, v) << v;
    }
    // Gain, punch and tremolo scale the level; a gain of 2 still gives at most 15.
    SfxPatch loud = steady_tone(440.0);
    loud.sustain_level = 0.4;
    loud.gain = 2.0;
    EXPECT_EQ(hardware_frames(loud, 0.1).frames[0][2].value & 0x0FU, 12);
    loud.gain = 4.0;
    EXPECT_EQ(hardware_frames(loud, 0.1).frames[0][2].value & 0x0FU, 15);
    // Periods held where the channel plays: 20000 Hz gives t = 8 (not 4.6), 20 Hz t = 2047.
    EXPECT_EQ(text_of(hardware_frames(steady_tone(20000.0), 0.1).frames[0]).substr(24), "4002=08 4003=00 ");
    EXPECT_EQ(text_of(hardware_frames(steady_tone(20.0), 0.1).frames[0]).substr(24, 16), "4002=FF 4003=07 ");
}

TEST(HardwareFrames, WriteThePeriodsHighByteOnlyWhenItChanges) {
    // From t = 250 upward past 255: $4003 goes from $00 to $01 once, $4002 changes every frame.
    SfxPatch p = steady_tone(nes_cpu_hz / (16.0 * 251.0));
    p.freq_slide = -300.0;  // about 5 Hz, some 3 periods, a frame
    const Frames f = hardware_frames(p, 0.2);
    std::size_t high_writes = 0;
    std::size_t low_writes = 0;
    for (const FrameWrites& frame : f.frames) {
        for (const RegisterWrite& w : frame) {
            high_writes += w.address == 0x4003;
            low_writes += w.address == 0x4002;
        }
    }
    EXPECT_EQ(high_writes, 2U);  // the first frame's, and the one from $00 to $01
    EXPECT_GT(low_writes, 10U);
}

TEST(HardwareFrames, PutNoiseOnTheNoiseChannelWhereTheVoiceMixesIt) {
    // Noise above 0.25 on every frame; period index 3; mode 1 above 0.75.
    SfxPatch p = steady_tone(440.0);
    p.noise = 0.5;
    EXPECT_EQ(text_of(hardware_frames(p, 0.1).frames[0]),
              "4015=09 4001=08 4000=BF 4002=FD 4003=00 400C=3F 400E=03 400F=00 ");
    p.noise = 0.8;
    EXPECT_EQ(text_of(hardware_frames(p, 0.1).frames[0]).substr(48), "400E=83 400F=00 ");
    // Below 0.25 only while the pitch is under 120 Hz: the noise channel enabled, silent at first.
    SfxPatch falling = steady_tone(200.0);
    falling.freq_slide = -1000.0;  // under 120 Hz after 0.08 s
    const Frames f = hardware_frames(falling, 0.2);
    // 200 - 1000 / 60.0988 = 183.36 Hz: 1789773 / (16 * 183.36) - 1 = 609.1, t = $261.
    EXPECT_EQ(text_of(f.frames[0]), "4015=09 4001=08 4000=BF 4002=61 4003=02 400C=30 400E=03 400F=00 ");
    std::size_t loud_from = 0;
    for (std::size_t n = 0; n < f.frames.size() && loud_from == 0; ++n) {
        for (const RegisterWrite& w : f.frames[n]) {
            if (w.address == 0x400C && w.value == 0x3F) {
                loud_from = n;
            }
        }
    }
    EXPECT_EQ(loud_from, 4U);  // 200 - 1000 (n + 1) / 60.0988 < 120 from n + 1 = 4.81
}

TEST(HardwareFrames, AreEmptyWithoutAModelOrAFrame) {
    SfxPatch sid = steady_tone(440.0);
    sid.chip = ChipType::sid;
    EXPECT_TRUE(hardware_frames(sid, 0.5).frames.empty());
    EXPECT_TRUE(hardware_frames(steady_tone(440.0), 0.0).frames.empty());
    EXPECT_EQ(hardware_frames(steady_tone(440.0), 1.0 / nes_frame_hz).frames.size(), 1U);
    EXPECT_EQ(hardware_frames(steady_tone(440.0), 1.0001 / nes_frame_hz).frames.size(), 2U);
}

}  // namespace
}  // namespace bleepforge
