#include <algorithm>
#include <array>
#include <cassert>
#include <utility>

#include "bleepforge/gameboy.hpp"
#include "dmg.hpp"
#include "gb_mix.hpp"
#include "output.hpp"

namespace bleepforge {
namespace {

using dmg::Cycle;

inline constexpr auto clock_hz = static_cast<std::uint64_t>(dmg_clock_hz);
// From the analog mix to samples; see GbRender.
constexpr double output_gain = 0.95 / 8.0;
// "Audio Details", Mixer: the DMG's high-pass capacitor keeps this share of its charge each cycle.
constexpr double charge_factor_per_cycle = 0.999958;

// ln(1 - u) = -(u + u^2 / 2 + u^3 / 3 + ...): for u = 4.2e-5 the fifth term is below 2^-53 of the sum.
double log_near_one(double k) {
    const double u = 1.0 - k;
    double power = u;
    double sum = 0.0;
    for (int n = 1; n <= 6; ++n) {
        sum += power / n;
        power *= u;
    }
    return -sum;
}

}  // namespace

namespace dmg {

double charge_factor(std::int32_t rate_hz) {
    return chip::exp_negative(-log_near_one(charge_factor_per_cycle) * dmg_clock_hz / rate_hz);
}

double analog_level(int channel, std::uint8_t output, GbDac dac) {
    if (output == output_dac_off) {
        return 0.0;
    }
    if (output == output_silent) {
        return dac == GbDac::console ? 1.0 : 0.0;
    }
    const auto volume = static_cast<int>(output & 15U);
    const int digital = (output & output_high) != 0 ? volume : 0;
    const double level = 1.0 - digital / 7.5;
    // Bipolar: less the midpoint of the channel's two values; the wave's samples are centred already.
    return dac == GbDac::console || channel == 2 ? level : level - (1.0 - volume / 15.0);
}

double panning_weight(int channel, std::uint8_t nr50, std::uint8_t nr51) {
    const unsigned left = (unsigned{nr51} >> (4U + static_cast<unsigned>(channel))) & 1U;
    const unsigned right = (unsigned{nr51} >> static_cast<unsigned>(channel)) & 1U;
    const unsigned volumes = nr50;
    return (left * (((volumes >> 4U) & 7U) + 1U) + right * ((volumes & 7U) + 1U)) / 16.0;
}

}  // namespace dmg

namespace {

// The sink of the unit's output changes: each channel's level from a table by its output (rebuilt when
// NR50 or NR51 changes), each change of the sum as a band-limited step, and where every DAC turns off or
// one turns on again, the sample from which the capacitor is disconnected or connected.
class Mixdown {
public:
    Mixdown(const dmg::Apu& apu, std::int32_t rate_hz, GbDac dac)
        : dac_(dac), rate_hz_(static_cast<std::uint64_t>(rate_hz)), steps_(clock_hz, rate_hz, 0.0, 0.0) {
        fill_tables(apu.nr50(), apu.nr51());
        for (int i = 0; i < 4; ++i) {
            outputs_[index(i)] = apu.output(i);
            levels_[index(i)] = tables_[index(i)][outputs_[index(i)]];
            dacs_on_ += outputs_[index(i)] != dmg::output_dac_off ? 1 : 0;
        }
        connected_ = dacs_on_ > 0;
    }

    void channel(Cycle c, int i, std::uint8_t output) {
        const std::size_t ch = index(i);
        const int dacs_before = dacs_on_;
        dacs_on_ += (output != dmg::output_dac_off ? 1 : 0) - (outputs_[ch] != dmg::output_dac_off ? 1 : 0);
        outputs_[ch] = output;
        const float level = tables_[ch][output];
        if (level != levels_[ch]) {
            steps_.add(c, level - levels_[ch]);
            levels_[ch] = level;
        }
        if ((dacs_before > 0) != (dacs_on_ > 0)) {
            // From the first sample at or after the change: ceil(c rate / clock).
            assert(gates_count_ < gates_.size());
            const auto sample = static_cast<std::int64_t>((c * rate_hz_ + clock_hz - 1) / clock_hz);
            gates_[(gates_first_ + gates_count_) % gates_.size()] = {sample, dacs_on_ > 0};
            ++gates_count_;
        }
    }
    void panning(Cycle c, std::uint8_t nr50, std::uint8_t nr51) {
        fill_tables(nr50, nr51);
        float delta = 0.0f;
        for (std::size_t ch = 0; ch < 4; ++ch) {
            const float level = tables_[ch][outputs_[ch]];
            delta += level - levels_[ch];
            levels_[ch] = level;
        }
        if (delta != 0.0f) {
            steps_.add(c, delta);
        }
    }
    // Whether the capacitor is connected for sample n, the samples being asked for in order.
    bool connected(std::int64_t n) {
        while (gates_count_ > 0 && gates_[gates_first_].sample <= n) {
            connected_ = gates_[gates_first_].connected;
            gates_first_ = (gates_first_ + 1) % gates_.size();
            --gates_count_;
        }
        return connected_;
    }
    [[nodiscard]] chip::StepBuffer& steps() { return steps_; }
    [[nodiscard]] const chip::StepBuffer& steps() const { return steps_; }

private:
    static std::size_t index(int i) { return static_cast<std::size_t>(i); }
    void fill_tables(std::uint8_t nr50, std::uint8_t nr51) {
        for (int i = 0; i < 4; ++i) {
            const double weight = dmg::panning_weight(i, nr50, nr51);
            for (int code = 0; code < dmg::output_codes; ++code) {
                tables_[index(i)][static_cast<std::size_t>(code)] =
                    static_cast<float>(weight * dmg::analog_level(i, static_cast<std::uint8_t>(code), dac_));
            }
        }
    }

    struct Gate {
        std::int64_t sample;
        bool connected;
    };

    GbDac dac_;
    std::uint64_t rate_hz_;
    std::array<std::array<float, dmg::output_codes>, 4> tables_{};
    std::array<std::uint8_t, 4> outputs_{};
    std::array<float, 4> levels_{};  // each channel's level as told so far
    int dacs_on_ = 0;
    // The DACs change only with writes, once a frame at most, and the unit runs at most one control
    // interval (8192 cycles) ahead of the samples read: one change at a time is pending, four fit.
    std::array<Gate, 4> gates_{};
    std::size_t gates_first_ = 0;
    std::size_t gates_count_ = 0;
    bool connected_ = false;
    chip::StepBuffer steps_;
};

}  // namespace

struct GbRender::State {
    State(std::vector<FrameWrites> frames, std::int32_t rate_hz, std::uint64_t sample_count, GbDac dac)
        : player(std::move(frames)), mix(player.apu(), rate_hz, dac), charge(dmg::charge_factor(rate_hz)),
          left(sample_count) {
        chip::settle_before_start(player, mix, [this] { return next_sample(); });
    }

    // "Audio Details", Mixer: y = x - c, then c = x - y k; nothing while every DAC is off.
    float next_sample() {
        const std::int64_t n = mix.steps().next_sample();
        const double x = mix.steps().read();
        double y = 0.0;
        if (mix.connected(n)) {
            y = x - capacitor;
            capacitor = x - y * charge;
        }
        return static_cast<float>(std::clamp(output_gain * y, -1.0, 1.0));
    }

    dmg::FramePlayer player;
    Mixdown mix;
    double charge;
    double capacitor = 0.0;
    std::uint64_t left;
};

std::optional<GbRender> GbRender::start(std::vector<FrameWrites> frames, std::int32_t rate_hz,
                                        std::uint64_t sample_count, GbDac dac) {
    if (rate_hz < gb_min_rate_hz || rate_hz > gb_max_rate_hz) {
        return std::nullopt;
    }
    return GbRender(std::make_unique<State>(std::move(frames), rate_hz, sample_count, dac));
}

GbRender::GbRender(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
GbRender::GbRender(const GbRender& other) : state_(other.state_ ? std::make_unique<State>(*other.state_) : nullptr) {}
GbRender::GbRender(GbRender&& other) noexcept = default;
GbRender& GbRender::operator=(const GbRender& other) {
    if (this != &other) {
        state_ = other.state_ ? std::make_unique<State>(*other.state_) : nullptr;
    }
    return *this;
}
GbRender& GbRender::operator=(GbRender&& other) noexcept = default;
GbRender::~GbRender() = default;

std::uint64_t GbRender::samples_left() const {
    return state_ ? state_->left : 0;
}

std::size_t GbRender::render(std::span<float> out) {
    if (!state_) {
        return 0;
    }
    State& s = *state_;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), s.left));
    chip::pull(s.player, s.mix, out.first(count), [&s] { return s.next_sample(); });
    s.left -= count;
    return count;
}

std::optional<std::vector<float>> render_gb(std::vector<FrameWrites> frames, std::int32_t rate_hz,
                                            std::uint64_t sample_count, GbDac dac) {
    std::optional<GbRender> render = GbRender::start(std::move(frames), rate_hz, sample_count, dac);
    if (!render) {
        return std::nullopt;
    }
    std::vector<float> samples(static_cast<std::size_t>(sample_count));
    (void)render->render(samples);
    return samples;
}

}  // namespace bleepforge
