// A patch made for the hardware as the Game Boy's frames, derived by hand from the mappings and the
// DMG's period formula, and the rules every sound's frames keep.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "test_bytes.hpp"

namespace bleepforge {
namespace {

using testing_support::text_of;

SfxPatch steady_dmg_tone(double freq_hz) {
    SfxPatch p = testing_support::steady_tone(freq_hz, ChipType::gameboy);
    p.punch = 0.0;
    p.release = 0.0;
    p.duty = 0.5;
    p.noise_below_hz = 0.0;
    return p;
}

std::size_t writes_to(const Frames& f, std::uint16_t address) {
    std::size_t count = 0;
    for (const FrameWrites& frame : f.frames) {
        for (const RegisterWrite& w : frame) {
            count += w.address == address;
        }
    }
    return count;
}

TEST(GameboyFrames, PlayA440HzPulseAsTheDmgWould) {
    // 2048 - 131072 / 440 = 1750.1: x = 1750 = $6D6, 439.84 Hz; duty 50 % is $80 in NR11; volume 15
    // held is $F0; the trigger is NR14's bit 7. ceil(0.5 * 59.7275) = 30 frames.
    const Frames f = hardware_frames(steady_dmg_tone(440.0), 0.5);
    EXPECT_EQ(f.model, HardwareModel::gameboy);
    ASSERT_EQ(f.frames.size(), 30U);
    EXPECT_EQ(text_of(f.frames[0]), "FF26=80 FF24=77 FF25=FF FF10=00 FF11=80 FF12=F0 FF13=D6 FF14=86 ");
    for (std::size_t n = 1; n + 1 < f.frames.size(); ++n) {
        EXPECT_TRUE(f.frames[n].empty()) << n;
    }
    // Silenced with the DAC left on: volume 0 going up at pace 0, and a trigger.
    EXPECT_EQ(text_of(f.frames.back()), "FF12=08 FF14=86 ");

    // Below 64 Hz the period is held at 1 (64.03 Hz); 20 kHz is 2048 - 6.55 = 2041, $7F9.
    EXPECT_EQ(text_of(hardware_frames(steady_dmg_tone(30.0), 0.1).frames[0]).substr(48), "FF13=01 FF14=80 ");
    EXPECT_EQ(text_of(hardware_frames(steady_dmg_tone(20000.0), 0.1).frames[0]).substr(48),
              "FF13=F9 FF14=87 ");
    EXPECT_EQ(hardware_frames(steady_dmg_tone(440.0), 1.0 / dmg_frame_hz).frames.size(), 1U);
    EXPECT_EQ(hardware_frames(steady_dmg_tone(440.0), 1.0001 / dmg_frame_hz).frames.size(), 2U);
    EXPECT_TRUE(hardware_frames(steady_dmg_tone(440.0), 0.0).frames.empty());
}

TEST(GameboyFrames, MapDutyAndTheNoiseWidth) {
    for (const auto& [duty, code] : std::vector<std::pair<double, int>>{
             {0.1, 0x00}, {0.2, 0x40}, {0.4, 0x80}, {0.7, 0xC0}}) {
        SfxPatch p = steady_dmg_tone(440.0);
        p.duty = duty;
        EXPECT_EQ(hardware_frames(p, 0.1).frames[0][4].value, code) << duty;
    }
    // The noise clock 262144 / (3 * 2^1) = 43691 Hz ($13), with the 7-bit sequence ($1B) above 0.75.
    SfxPatch p = steady_dmg_tone(440.0);
    p.noise = 0.5;
    EXPECT_EQ(text_of(hardware_frames(p, 0.1).frames[0]).substr(64), "FF20=00 FF21=F0 FF22=13 FF23=80 ");
    p.noise = 0.9;
    EXPECT_EQ(text_of(hardware_frames(p, 0.1).frames[0]).substr(64), "FF20=00 FF21=F0 FF22=1B FF23=80 ");
    // Without noise the noise channel is never written.
    EXPECT_EQ(writes_to(hardware_frames(steady_dmg_tone(440.0), 0.5), 0xFF23), 0U);
}

TEST(GameboyFrames, CarryAFallingNoiseLevelOnTheEnvelope) {
    // A decay of 15 steps in 15/64 s falls one volume step each 64 Hz envelope tick: the noise takes
    // the envelope's own steps (15 going down at pace 1) from one trigger, where the pulse, which a
    // trigger does not disturb, is retriggered at each new volume.
    SfxPatch p = steady_dmg_tone(440.0);
    p.noise = 0.5;
    p.decay = 15.0 / 64.0;
    p.sustain_level = 0.0;
    const Frames f = hardware_frames(p, 0.5);
    EXPECT_EQ(text_of(f.frames[0]).substr(64), "FF20=00 FF21=F1 FF22=13 FF23=80 ");
    EXPECT_EQ(writes_to(f, 0xFF23), 2U);  // the start, and the silence at the end
    EXPECT_EQ(text_of(f.frames.back()).substr(text_of(f.frames.back()).size() - 16), "FF21=08 FF23=80 ");
    EXPECT_GE(writes_to(f, 0xFF14), 14U);
    // Frame 1 is 1/59.7275 s in: 15 * (1 - 64 / 59.7275 / 15) = 13.93, volume 14.
    EXPECT_EQ(text_of(f.frames[1]), "FF12=E0 FF14=86 ");
}

TEST(GameboyFrames, LeaveASilentPulseAlone) {
    // Once the pulse is triggered at volume 0 its falling pitch is not heard, so it is not written.
    SfxPatch p = steady_dmg_tone(880.0);
    p.sustain_time = 0.1;
    p.freq_slide = -500.0;
    const Frames f = hardware_frames(p, 0.5);
    std::size_t last_pitch = 0;
    for (std::size_t n = 0; n < f.frames.size(); ++n) {
        for (const RegisterWrite& w : f.frames[n]) {
            last_pitch = w.address == 0xFF13 ? n : last_pitch;
        }
    }
    EXPECT_EQ(last_pitch, 6U);  // frame 6 begins after 0.1 s and silences it
    EXPECT_EQ(text_of(f.frames[6]).substr(0, 8), "FF12=08 ");
}

TEST(GameboyFrames, KeepTheRulesPlayersAndConvertersRelyOn) {
    // Over the presets made hardware and random hardware sounds: the unit is switched on first; a
    // frame that writes any of a channel's registers writes its NRx4 too (the sound-effect converters
    // drop a channel's writes without it); writes keep to the registers' order within a channel; and
    // every channel's last trigger leaves it silent with its DAC on.
    std::vector<SfxPatch> patches;
    for (std::size_t preset = 0; preset < preset_words.size(); ++preset) {
        patches.push_back(make_patch(static_cast<SfxPreset>(preset), ChipType::gameboy));
    }
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        patches.push_back(random_sound(static_cast<SfxPreset>(seed % 8), ChipType::gameboy, seed, true).patch);
    }
    for (SfxPatch& p : patches) {
        p.hardware = true;
        const Frames f = hardware_frames(p, 0.6);
        ASSERT_GE(f.frames.size(), 1U);
        EXPECT_EQ(text_of(f.frames[0]).substr(0, 24), "FF26=80 FF24=77 FF25=FF ");
        std::uint8_t volume_at_trigger[2] = {0, 0};
        std::uint8_t held[2] = {0, 0};
        for (const FrameWrites& frame : f.frames) {
            bool wrote[2] = {false, false};
            bool triggered_register[2] = {false, false};
            std::uint16_t previous = 0;
            for (const RegisterWrite& w : frame) {
                const int channel = w.address >= 0xFF10 && w.address <= 0xFF14   ? 0
                                    : w.address >= 0xFF20 && w.address <= 0xFF23 ? 1
                                                                                  : -1;
                if (channel < 0) {
                    continue;
                }
                const auto c = static_cast<std::size_t>(channel);
                EXPECT_GT(w.address, previous);
                previous = w.address;
                const bool is_nrx4 = w.address == 0xFF14 || w.address == 0xFF23;
                wrote[c] = wrote[c] || !is_nrx4;
                triggered_register[c] = triggered_register[c] || is_nrx4;
                if (w.address == 0xFF12 || w.address == 0xFF21) {
                    held[c] = w.value;
                }
                if (is_nrx4 && (w.value & 0x80U) != 0) {
                    volume_at_trigger[c] = held[c];
                }
            }
            for (std::size_t c = 0; c < 2; ++c) {
                EXPECT_TRUE(!wrote[c] || triggered_register[c]);
            }
        }
        EXPECT_EQ(volume_at_trigger[0], 0x08);
        if (writes_to(f, 0xFF23) > 0) {
            EXPECT_EQ(volume_at_trigger[1], 0x08);
        }
    }
}

}  // namespace
}  // namespace bleepforge
