#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "command.hpp"
#include "listen.hpp"

namespace bleepforge::tool {
namespace {

Voice voice_of(SfxPreset preset, std::int32_t rate) {
    return start_sound(make_sound(preset, ChipType::nes), rate);
}

// What the audio thread would get, in blocks of uneven sizes, until the player ends or limit.
std::vector<float> drain(Player& player, std::size_t limit) {
    std::vector<float> got;
    const std::size_t sizes[] = {1, 255, 256, 1000, 7};
    for (std::size_t k = 0; got.size() < limit; ++k) {
        std::vector<float> block(sizes[k % std::size(sizes)], 9.0f);
        const std::size_t n = player.fill(block);
        got.insert(got.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < block.size()) {
            break;
        }
    }
    return got;
}

TEST(Player, PlaysOfferedVoicesInTurnWithAGapAndThenEnds) {
    constexpr std::int32_t rate = 8000;
    const SampleBuffer coin = render_sound(make_sound(SfxPreset::coin, ChipType::nes), rate);
    const SampleBuffer hit = render_sound(make_sound(SfxPreset::hit, ChipType::nes), rate);
    Player player(100);
    player.offer(voice_of(SfxPreset::coin, rate), Player::Start::after);
    // The second is offered only once the first has started, as the play command does.
    std::vector<float> got = drain(player, 10);
    EXPECT_EQ(player.started(), 1U);
    EXPECT_TRUE(player.offer_taken());
    player.offer(voice_of(SfxPreset::hit, rate), Player::Start::after);
    player.set_ending(true);
    const std::vector<float> rest = drain(player, 1'000'000);
    got.insert(got.end(), rest.begin(), rest.end());

    std::vector<float> expected(coin.begin(), coin.end());
    expected.insert(expected.end(), 100, 0.0f);
    expected.insert(expected.end(), hit.begin(), hit.end());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(got, expected);  // bit for bit, and it ends right after the last sample
    EXPECT_EQ(player.started(), 2U);
}

TEST(Player, StartsAVoiceAtOnceCuttingTheOneSoundingAndIsSilentWhenIdle) {
    constexpr std::int32_t rate = 8000;
    const SampleBuffer laser = render_sound(make_sound(SfxPreset::laser, ChipType::nes), rate);
    const SampleBuffer jump = render_sound(make_sound(SfxPreset::jump, ChipType::nes), rate);
    Player player(0);
    std::vector<float> block(300, 9.0f);
    ASSERT_EQ(player.fill(block), block.size());  // nothing offered, no ending: silence
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](float s) { return s == 0.0f; }));

    player.offer(voice_of(SfxPreset::laser, rate), Player::Start::now);
    ASSERT_EQ(player.fill(block), block.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), laser.begin()));
    player.offer(voice_of(SfxPreset::jump, rate), Player::Start::now);
    std::vector<float> whole(jump.size() + 50, 9.0f);
    ASSERT_EQ(player.fill(whole), whole.size());
    EXPECT_TRUE(std::equal(jump.begin(), jump.end(), whole.begin()));
    EXPECT_TRUE(std::all_of(whole.begin() + static_cast<std::ptrdiff_t>(jump.size()), whole.end(),
                            [](float s) { return s == 0.0f; }));
    EXPECT_EQ(player.started(), 2U);
}

TEST(Tool, TellsLengthsAsAPersonReadsThem) {
    EXPECT_EQ(seconds_text(11025, 44100), "0.25 s");
    EXPECT_EQ(seconds_text(22050, 44100), "0.5 s");
    EXPECT_EQ(seconds_text(88200, 44100), "2 s");
    EXPECT_EQ(seconds_text(0, 8000), "0 s");
    EXPECT_EQ(seconds_text(1, 8000), "0 s");  // below a millisecond
    EXPECT_EQ(word_list(preset_words), "laser, jump, explosion, coin, powerup, hit, blip or game_over");
}

}  // namespace
}  // namespace bleepforge::tool
