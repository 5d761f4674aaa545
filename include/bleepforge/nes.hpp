#pragma once

// A model of the NTSC NES's sound unit (the 2A03's APU) rendering frames: the register writes of each
// video frame, as a sound made for the hardware is reduced to them and as an NSF replays them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge {

// The output rates the model renders at, in samples a second.
inline constexpr std::int32_t nes_min_rate_hz = 8000;
inline constexpr std::int32_t nes_max_rate_hz = 192000;

// How the channels are mixed: as the console does (the NESdev wiki's "APU Mixer" formulas), or by the
// same page's linear approximation, as some players mix (libgme's NSF player among them), to compare
// with them.
enum class NesMixer : std::uint8_t { console, linear };

// A render of frames in progress. Frame k's writes are made in their order, all at CPU cycle
// floor(k * 29780.5) (the start of video frame k), after the frame counter's clock of that cycle if
// there is one; after the last frame the unit runs on with no more writes. The unit starts as an NSF
// player and our NSF player's INIT leave it: every channel enabled in $4015 with its length counter at
// 0 (silent until its length register is written), volumes $30, sweeps $08, triangle $80, DMC level 0,
// frame counter in 4-step mode from cycle 0. Only the channels' registers, $4011 and $4015 change
// anything: $4017 does not (the frame counter stays in the 4-step mode NSF players set), and the DMC
// plays no samples, its output being the level last written to $4011 (a console with the DMC idle).
//
// Sample n is the console's output at time n / rate: the non-linear mix of the channels (0 to 1),
// band-limited to 0.40 of the rate (a windowed-sinc step, so what the channels make above the output
// band does not fold back into it) with the console's 14 kHz low-pass, then its 90 Hz and 440 Hz
// high-passes, times 1.5 and held in [-1, 1]. The gain lets the four tone channels together at full
// volume (0.632 of the mix) swing at most 0.95 even where the high-passes pass a whole step; the
// high-passes take the mix's DC away. The output starts at rest on the starting state's level, so the
// first sample does not click.
//
// A value: a copy goes on from the same point independently. A moved-from render has no samples.
class NesRender {
public:
    struct State;  // complete only inside the model

    // A render of sample_count samples at rate_hz; nothing when rate_hz lies outside
    // nes_min_rate_hz ... nes_max_rate_hz.
    [[nodiscard]] static std::optional<NesRender> start(std::vector<FrameWrites> frames, std::int32_t rate_hz,
                                                        std::uint64_t sample_count,
                                                        NesMixer mixer = NesMixer::console);

    NesRender(const NesRender& other);
    NesRender(NesRender&& other) noexcept;
    NesRender& operator=(const NesRender& other);
    NesRender& operator=(NesRender&& other) noexcept;
    ~NesRender();

    // Writes the next min(out.size(), samples_left()) samples into out and returns how many: 0 once
    // the render is done. However a render is split into calls, the samples are the same, bit for bit.
    // Allocates nothing, takes no lock, never throws and never prints.
    std::size_t render(std::span<float> out);
    [[nodiscard]] std::uint64_t samples_left() const;

private:
    explicit NesRender(std::unique_ptr<State> state) noexcept;
    std::unique_ptr<State> state_;
};

// The whole render in one buffer; nothing when rate_hz is outside the model's range.
[[nodiscard]] std::optional<std::vector<float>> render_nes(std::vector<FrameWrites> frames,
                                                           std::int32_t rate_hz, std::uint64_t sample_count,
                                                           NesMixer mixer = NesMixer::console);

}  // namespace bleepforge
