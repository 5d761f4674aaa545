#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "test_bytes.hpp"
#include "test_patches.hpp"
#include "test_scale.hpp"

namespace bleepforge {
namespace {

using testing_support::same_bits;

using testing_support::SplitMix;

// The voice rendered in pieces of the given size (0: sizes drawn from 1 to 600), concatenated.
// Each piece goes into a span one larger than asked for where the voice is near its end, so a call
// that writes past what is left would show.
std::vector<float> render_in_pieces(Voice voice, std::size_t size, SplitMix& rng) {
    std::vector<float> all;
    std::vector<float> piece;
    for (;;) {
        const std::size_t n = size != 0 ? size : 1 + static_cast<std::size_t>(rng.next() % 600);
        piece.assign(n + 1, 2.0f);
        const std::size_t left = samples_left(voice);
        const std::size_t written = render_voice(voice, std::span<float>(piece).first(n));
        if (written != std::min(n, left) || piece[n] != 2.0f || samples_left(voice) != left - written) {
            ADD_FAILURE() << "a piece of " << n << " wrote " << written << " of " << left << " left";
            return all;
        }
        if (written == 0) {
            return all;
        }
        all.insert(all.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(written));
    }
}

constexpr std::size_t piece_sizes[] = {1, 2, 3, 7, 255, 256, 4096, 0};

TEST(Voice, RendersEveryPresetOnEveryChipInAnyPiecesToTheWholeBuffersBits) {
    SplitMix rng{18};
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = 0; chip < 4; ++chip) {
            const SfxPatch patch = make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            const SampleBuffer whole = render_sfx(patch, 0.5, 44100);
            for (const std::size_t size : piece_sizes) {
                EXPECT_TRUE(same_bits(render_in_pieces(start_voice(patch, 0.5, 44100), size, rng), whole))
                    << "preset " << preset << " chip " << chip << " pieces of " << size;
            }
        }
    }
}

TEST(Voice, RendersRandomPatchesInAnyPiecesToTheWholeBuffersBits) {
    SplitMix rng{1818};
    for (std::uint64_t n = 0; n < testing_support::random_cases(150, 40); ++n) {
        const SfxPatch patch = testing_support::random_patch(rng);
        const auto rate = static_cast<std::int32_t>(rng.uniform(8000.0, 96000.0));
        const double duration_s = rng.uniform(0.0, 0.1);
        const SampleBuffer whole = render_sfx(patch, duration_s, rate);
        for (const std::size_t size : piece_sizes) {
            ASSERT_TRUE(same_bits(render_in_pieces(start_voice(patch, duration_s, rate), size, rng), whole))
                << "patch " << n << " pieces of " << size;
        }
    }
}

TEST(Voice, IsAValueThatACopyForksAndThatEndsWhenItsSamplesAreWritten) {
    const Sound sound = make_sound(SfxPreset::powerup, ChipType::ym2612);
    const SampleBuffer whole = render_sound(sound, 22050);
    Voice voice = start_sound(sound, 22050);
    EXPECT_EQ(samples_left(voice), whole.size());
    std::vector<float> head(1000);
    ASSERT_EQ(render_voice(voice, head), 1000U);

    // The copy and the original go on alike, whichever runs first.
    Voice fork = voice;
    std::vector<float> a(whole.size());
    std::vector<float> b(whole.size());
    ASSERT_EQ(render_voice(fork, b), whole.size() - 1000);
    ASSERT_EQ(render_voice(voice, a), whole.size() - 1000);
    EXPECT_TRUE(same_bits(a, b));
    a.resize(whole.size() - 1000);
    head.insert(head.end(), a.begin(), a.end());
    EXPECT_TRUE(same_bits(head, whole));

    // Done: nothing more is written, into any span.
    EXPECT_EQ(samples_left(voice), 0U);
    std::vector<float> more(10, 2.0f);
    EXPECT_EQ(render_voice(voice, more), 0U);
    EXPECT_EQ(more, std::vector<float>(10, 2.0f));
    EXPECT_EQ(render_voice(voice, std::span<float>()), 0U);

    // The counts of render_sfx: an empty voice wherever it gives an empty buffer.
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double duration_s : {0.0, -1.0, 0.00001, nan}) {
        EXPECT_EQ(samples_left(start_voice(sound.patch, duration_s, 44100)), 0U) << duration_s;
    }
    EXPECT_EQ(samples_left(start_voice(sound.patch, 0.5, 0)), 0U);
    EXPECT_EQ(samples_left(start_voice(sound.patch, 0.7, 44100)), 30869U);  // 30869.999999999996
    // A count no buffer holds still renders in pieces; samples_left saturates where size_t is small.
    Voice endless = start_voice(sound.patch, 1e300, 44100);
    EXPECT_EQ(static_cast<std::uint64_t>(samples_left(endless)),
              std::min<std::uint64_t>(std::numeric_limits<std::uint64_t>::max(),
                                      std::numeric_limits<std::size_t>::max()));
    EXPECT_EQ(render_voice(endless, more), more.size());
}

}  // namespace
}  // namespace bleepforge
