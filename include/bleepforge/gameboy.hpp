#pragma once

// A model of the Game Boy's (DMG's) sound unit rendering frames: the register writes of each video
// frame, as a sound made for the hardware is reduced to them and as a GBS replays them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge {

// The output rates the model renders at, in samples a second.
inline constexpr std::int32_t gb_min_rate_hz = 8000;
inline constexpr std::int32_t gb_max_rate_hz = 192000;

// How a channel's digital value becomes a level: through the console's DAC (Pan Docs "Audio Details":
// digital 0-15 to analog 1 - d / 7.5, a channel that is off but whose DAC is on at analog 1, a DAC that
// is off at 0), or bipolar, as some players mix (libgme's GBS player among them), to compare with them:
// a channel that is on at the DAC's level less its midpoint 1 - volume / 15, so plus or minus
// volume / 15, and 0 while it is off.
enum class GbDac : std::uint8_t { console, bipolar };

// A render of frames in progress. Frame k's writes are made in their order, all at cycle k * 70224 of the
// 4194304 Hz clock (the start of video frame k, the vertical blank that calls a GBS's PLAY; the player
// spreads them 56 cycles apart, less than one output sample for each); after the last frame the unit
// runs on with no more writes. The unit starts as a GBS player and our GBS's INIT leave it: powered, every
// register clear but NR50 = $77 and NR51 = $FF, every DAC off; the DIV-APU's ticks fall where dmg.hpp
// says.
//
// Sample n is the console's output at time n / rate: the analog levels of the channels that NR51 sends
// to each side, each side scaled by its NR50 volume ((v + 1) / 8), the mean of the two sides (the
// console's speaker is mono), band-limited to 0.40 of the rate (a windowed-sinc step, so what the
// channels make above the output band does not fold back into it), then through the DMG's high-pass
// capacitor ("Audio Details": charge factor 0.999958 a cycle, 0.999958^(4194304 / rate) a sample; while
// every DAC is off the output is 0 and the capacitor holds its charge), times 0.11875 and held in
// [-1, 1]. The gain takes the four channels' whole analog swing, -4 to 4, which the high-pass passes
// whole in a step, to 0.95: nothing is ever held; one channel at volume 15 swings +-0.119, as loud as
// the NES model's pulse.
//
// A value: a copy goes on from the same point independently. A moved-from render has no samples.
class GbRender {
public:
    struct State;  // complete only inside the model

    // A render of sample_count samples at rate_hz; nothing when rate_hz lies outside
    // gb_min_rate_hz ... gb_max_rate_hz.
    [[nodiscard]] static std::optional<GbRender> start(std::vector<FrameWrites> frames,
                                                            std::int32_t rate_hz, std::uint64_t sample_count,
                                                            GbDac dac = GbDac::console);

    GbRender(const GbRender& other);
    GbRender(GbRender&& other) noexcept;
    GbRender& operator=(const GbRender& other);
    GbRender& operator=(GbRender&& other) noexcept;
    ~GbRender();

    // Writes the next min(out.size(), samples_left()) samples into out and returns how many: 0 once
    // the render is done. However a render is split into calls, the samples are the same, bit for bit.
    // Allocates nothing, takes no lock, never throws and never prints.
    std::size_t render(std::span<float> out);
    [[nodiscard]] std::uint64_t samples_left() const;

private:
    explicit GbRender(std::unique_ptr<State> state) noexcept;
    std::unique_ptr<State> state_;
};

// The whole render in one buffer; nothing when rate_hz is outside the model's range.
[[nodiscard]] std::optional<std::vector<float>> render_gb(std::vector<FrameWrites> frames,
                                                               std::int32_t rate_hz, std::uint64_t sample_count,
                                                               GbDac dac = GbDac::console);

}  // namespace bleepforge
