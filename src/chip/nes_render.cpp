#include <algorithm>
#include <array>
#include <utility>

#include "apu.hpp"
#include "bleepforge/nes.hpp"
#include "mixer.hpp"
#include "output.hpp"

namespace bleepforge {
namespace {

using nes::Cycle;

// From the mix's 0-1 to samples; see NesRender.
constexpr double output_gain = 1.5;

// The sink of the unit's output changes: each group's level from the mixer's tables, and each change
// of the sum as a band-limited step.
class Mixdown {
public:
    Mixdown(const nes::Apu& apu, std::int32_t rate_hz, NesMixer mixer)
        : mixer_(mixer),
          pulse_levels_(pulse_table(mixer)),
          tnd_levels_(tnd_table(mixer, apu.dmc())),
          dmc_(apu.dmc()),
          pulse_level_(pulse_levels_[std::size_t{apu.pulse_output(0)} + apu.pulse_output(1)]),
          tnd_level_(tnd_levels_[index(nes::triangle_output(apu.triangle()), apu.noise_output())]),
          steps_(nes::cpu_hz, rate_hz, nes::low_pass_hz, level()) {}

    // The mixed level as told so far.
    [[nodiscard]] double level() const {
        return static_cast<double>(pulse_level_) + static_cast<double>(tnd_level_);
    }

    void pulses(Cycle c, std::uint8_t pulse1, std::uint8_t pulse2) {
        const float level = pulse_levels_[std::size_t{pulse1} + pulse2];
        if (level != pulse_level_) {
            steps_.add(c, level - pulse_level_);
            pulse_level_ = level;
        }
    }
    void tnd(Cycle c, std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc) {
        if (dmc != dmc_) {
            tnd_levels_ = tnd_table(mixer_, dmc);
            dmc_ = dmc;
        }
        const float level = tnd_levels_[index(triangle, noise)];
        if (level != tnd_level_) {
            steps_.add(c, level - tnd_level_);
            tnd_level_ = level;
        }
    }
    [[nodiscard]] chip::StepBuffer& steps() { return steps_; }
    [[nodiscard]] const chip::StepBuffer& steps() const { return steps_; }

private:
    // The triangle's 16 outputs and its resting mean, by the noise's 16.
    static constexpr std::size_t tnd_entries = std::size_t{17} * 16;
    static std::size_t index(std::uint8_t triangle, std::uint8_t noise) {
        return std::size_t{triangle} * 16 + noise;
    }
    static std::array<float, 31> pulse_table(NesMixer mixer) {
        std::array<float, 31> table{};
        for (int n = 0; n < 31; ++n) {
            table[static_cast<std::size_t>(n)] = static_cast<float>(
                mixer == NesMixer::console ? nes::pulse_mix(n, 0) : nes::linear_pulse_level(n, 0));
        }
        return table;
    }
    // Rebuilt only when $4011 changes the DMC's level, which lowers the triangle and the noise.
    static std::array<float, tnd_entries> tnd_table(NesMixer mixer, std::uint8_t dmc) {
        std::array<float, tnd_entries> table{};
        for (std::uint8_t t = 0; t <= nes::triangle_mean; ++t) {
            for (std::uint8_t n = 0; n < 16; ++n) {
                table[index(t, n)] =
                    static_cast<float>(mixer == NesMixer::console ? nes::tnd_level(t, n, dmc)
                                                                  : nes::linear_tnd_level(t, n, dmc));
            }
        }
        return table;
    }

    NesMixer mixer_;
    std::array<float, 31> pulse_levels_;
    std::array<float, tnd_entries> tnd_levels_;
    std::uint8_t dmc_;
    float pulse_level_;  // each group's level as told so far
    float tnd_level_;
    chip::StepBuffer steps_;
};

}  // namespace

struct NesRender::State {
    State(std::vector<FrameWrites> frames, std::int32_t rate_hz, std::uint64_t sample_count, NesMixer mixer)
        : player(std::move(frames)),
          mix(player.apu(), rate_hz, mixer),
          high_pass_1(nes::high_pass_1_hz, rate_hz, mix.level()),
          high_pass_2(nes::high_pass_2_hz, rate_hz, 0.0),
          left(sample_count) {
        chip::settle_before_start(player, mix, [this] { return next_sample(); });
    }

    float next_sample() {
        const double y = high_pass_2.step(high_pass_1.step(mix.steps().read()));
        return static_cast<float>(std::clamp(output_gain * y, -1.0, 1.0));
    }

    nes::FramePlayer player;
    Mixdown mix;
    chip::HighPass high_pass_1;
    chip::HighPass high_pass_2;
    std::uint64_t left;
};

std::optional<NesRender> NesRender::start(std::vector<FrameWrites> frames, std::int32_t rate_hz,
                                          std::uint64_t sample_count, NesMixer mixer) {
    if (rate_hz < nes_min_rate_hz || rate_hz > nes_max_rate_hz) {
        return std::nullopt;
    }
    return NesRender(std::make_unique<State>(std::move(frames), rate_hz, sample_count, mixer));
}

NesRender::NesRender(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
NesRender::NesRender(const NesRender& other)
    : state_(other.state_ ? std::make_unique<State>(*other.state_) : nullptr) {}
NesRender::NesRender(NesRender&& other) noexcept = default;
NesRender& NesRender::operator=(const NesRender& other) {
    if (this != &other) {
        state_ = other.state_ ? std::make_unique<State>(*other.state_) : nullptr;
    }
    return *this;
}
NesRender& NesRender::operator=(NesRender&& other) noexcept = default;
NesRender::~NesRender() = default;

std::uint64_t NesRender::samples_left() const {
    return state_ ? state_->left : 0;
}

std::size_t NesRender::render(std::span<float> out) {
    if (!state_) {
        return 0;
    }
    State& s = *state_;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), s.left));
    chip::pull(s.player, s.mix, out.first(count), [&s] { return s.next_sample(); });
    s.left -= count;
    return count;
}

std::optional<std::vector<float>> render_nes(std::vector<FrameWrites> frames, std::int32_t rate_hz,
                                             std::uint64_t sample_count, NesMixer mixer) {
    std::optional<NesRender> render = NesRender::start(std::move(frames), rate_hz, sample_count, mixer);
    if (!render) {
        return std::nullopt;
    }
    std::vector<float> samples(static_cast<std::size_t>(sample_count));
    (void)render->render(samples);
    return samples;
}

}  // namespace bleepforge
