// Random sounds of a family and small mutations. Both draw only the raw bits of one standard
// engine, std::mt19937_64, whose sequence the C++ standard fixes, and use only arithmetic that
// IEEE 754 rounds the same everywhere (no library distributions, no exp or log), so a seed gives
// the same file on every platform and compiler.
#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "bleepforge/sound.hpp"
#include "members.hpp"

namespace bleepforge {
namespace {

class Draws {
public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}
    // Uniform in [0, 1), from the top 53 bits.
    double unit() { return static_cast<double>(engine_() >> 11U) * 0x1p-53; }
    // Uniform in [-1, 1).
    double signed_unit() { return 2.0 * unit() - 1.0; }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }

private:
    std::mt19937_64 engine_;
};

struct Span {
    double low, high;
};

// A family's ranges, drawn uniformly, designed around its preset's patch: a laser falls fast
// from a high pitch and is short, a jump rises from a low one, an explosion is low, filtered and
// noisy, a coin is high and rising with a snappy attack, a powerup rises with vibrato, a hit falls
// and may crackle, a blip is short and steady, a game over falls slowly with vibrato.
struct Family {
    Span base_freq, freq_slide, attack, decay, sustain_time, release, sustain_level, filter_cutoff, noise,
        vibrato_depth, vibrato_rate;
    std::array<double, 3> duties;
};

// clang-format off
constexpr std::array<Family, 8> families{{
    //  base_freq      freq_slide        attack          decay         sustain       release        level        cutoff       noise        vib_depth  vib_rate   duties
    {{600, 1800}, {-4000, -800},  {0, 0.01},      {0.08, 0.25}, {0, 0.04},    {0.01, 0.05},  {0, 0.3},    {1, 1},      {0, 0},      {0, 0},    {6, 6},    {0.125, 0.25, 0.5}},  // laser
    {{120, 360},  {400, 1600},    {0.002, 0.01},  {0.12, 0.3},  {0.02, 0.08}, {0.03, 0.08},  {0.2, 0.45}, {1, 1},      {0, 0},      {0, 0},    {6, 6},    {0.25, 0.5, 0.5}},    // jump
    {{50, 160},   {-400, -60},    {0.001, 0.01},  {0.3, 0.6},   {0.05, 0.15}, {0.1, 0.3},    {0.1, 0.3},  {0.3, 0.7},  {0.26, 0.6}, {0, 0},    {6, 6},    {0.5, 0.5, 0.5}},     // explosion
    {{700, 1600}, {300, 1500},    {0.001, 0.004}, {0.15, 0.35}, {0.04, 0.1},  {0.04, 0.12},  {0.3, 0.5},  {1, 1},      {0, 0},      {0, 0},    {6, 6},    {0.25, 0.5, 0.5}},    // coin
    {{180, 420},  {600, 1500},    {0.003, 0.01},  {0.25, 0.45}, {0.08, 0.2},  {0.06, 0.15},  {0.4, 0.6},  {1, 1},      {0, 0},      {8, 25},   {8, 16},   {0.125, 0.25, 0.5}},  // powerup
    {{120, 350},  {-1000, -300},  {0.001, 0.006}, {0.06, 0.16}, {0.01, 0.04}, {0.02, 0.06},  {0.05, 0.2}, {1, 1},      {0, 0.4},    {0, 0},    {6, 6},    {0.125, 0.25, 0.125}}, // hit
    {{400, 1300}, {0, 0},         {0.001, 0.006}, {0.03, 0.09}, {0, 0.03},    {0.005, 0.02}, {0, 0.3},    {1, 1},      {0, 0},      {0, 0},    {6, 6},    {0.25, 0.5, 0.5}},    // blip
    {{250, 450},  {-500, -200},   {0.003, 0.01},  {0.4, 0.7},   {0.1, 0.3},   {0.15, 0.3},   {0.2, 0.4},  {1, 1},      {0, 0},      {4, 12},   {3, 7},    {0.125, 0.25, 0.125}}, // game_over
}};
// clang-format on

constexpr std::array<double, 5> fm_ratios{0.5, 1.0, 2.0, 3.0, 4.0};
constexpr Span fm_index_span{0.5, 5.0};

// Decimal places kept per field, in the fields' order, so a varied file reads like a hand-written
// one: pitch to the hundredth of a hertz, slides to the hertz, times to the millisecond.
constexpr std::array<double, 15> field_scale{100, 1,   1000, 1000, 1000, 1000, 1000, 100,
                                             100, 100, 100,  100,  10,   10,   100};

// round() and a division by a power of ten are exact operations: the double nearest the decimal.
double quantize(double value, double scale) {
    return std::round(value * scale) / scale + 0.0;
}

double draw(Draws& draws, Span span, double scale) {
    const double value = span.low + (span.high - span.low) * draws.unit();
    return std::clamp(quantize(value, scale), span.low, span.high);
}

double envelope_s(const SfxPatch& p) {
    return p.attack + p.decay + p.sustain_time + p.release;
}

// Indices into sound_fields(), in the patch's order.
enum Field : std::size_t {
    base_freq,
    freq_slide,
    duty,
    attack,
    decay,
    sustain_time,
    release,
    sustain_level,
    filter_cutoff,
    noise,
    fm_ratio,
    fm_index,
    vibrato_depth,
    vibrato_rate,
    duration
};

}  // namespace

Sound random_sound(SfxPreset family, ChipType chip, std::uint64_t seed) {
    const auto index = static_cast<std::size_t>(family);
    const Family& f = families[index < families.size() ? index : families.size() - 1];
    Sound sound = make_sound(index < families.size() ? family : SfxPreset::game_over, chip);
    SfxPatch& p = sound.patch;
    // Each family its own stream: the same seed in two families gives unrelated sounds.
    Draws draws(seed ^ (0x9E3779B97F4A7C15ULL * (index + 1)));
    p.base_freq = draw(draws, f.base_freq, field_scale[base_freq]);
    p.freq_slide = draw(draws, f.freq_slide, field_scale[freq_slide]);
    p.duty = f.duties[draws.below(f.duties.size())];
    p.attack = draw(draws, f.attack, field_scale[attack]);
    p.decay = draw(draws, f.decay, field_scale[decay]);
    p.sustain_time = draw(draws, f.sustain_time, field_scale[sustain_time]);
    p.release = draw(draws, f.release, field_scale[release]);
    p.sustain_level = draw(draws, f.sustain_level, field_scale[sustain_level]);
    p.filter_cutoff = draw(draws, f.filter_cutoff, field_scale[filter_cutoff]);
    p.noise = draw(draws, f.noise, field_scale[noise]);
    p.vibrato_depth = draw(draws, f.vibrato_depth, field_scale[vibrato_depth]);
    p.vibrato_rate = draw(draws, f.vibrato_rate, field_scale[vibrato_rate]);
    const double ratio = fm_ratios[draws.below(fm_ratios.size())];
    const double fm_depth = draw(draws, fm_index_span, field_scale[fm_index]);
    if (chip == ChipType::ym2612) {
        p.fm_ratio = ratio;
        p.fm_index = fm_depth;
    }
    // Long enough for the whole envelope, in twentieths of a second.
    const double length_s = envelope_s(p);
    double twentieths = std::ceil(length_s * 20.0);
    if (twentieths / 20.0 < length_s) {
        twentieths += 1.0;  // the product rounded down onto a whole number
    }
    sound.duration_s = std::clamp(twentieths / 20.0, 0.1, 60.0);
    return sound;
}

Sound mutate_sound(const Sound& sound, double amount, std::uint64_t seed) {
    const double a = amount > 0.0 ? std::min(amount, 1.0) : 0.0;  // NaN too gives 0
    Sound out = sound;
    const SfxPatch& before = sound.patch;
    const bool filter_on = before.filter_cutoff < 0.98;
    const bool vibrato_on = before.vibrato_depth > 0.0;
    const bool fm_on = before.chip == ChipType::ym2612;
    const std::span<const SoundField> fields = sound_fields();
    Draws draws(seed);
    // One draw per patch field, in order, whether the field moves or not.
    for (std::size_t i = 0; i < duration; ++i) {
        const double u = a * draws.signed_unit();
        const double x = before.*fields[i].member;
        double moved = x;
        double low = fields[i].min;
        double high = fields[i].max;
        switch (static_cast<Field>(i)) {
        case base_freq:
            moved = x * (1.0 + 0.3 * u);
            break;
        case freq_slide:
            moved = x + u * (0.3 * std::fabs(x) + 200.0);
            break;
        case duty:
        case sustain_level:
            moved = x + 0.2 * u;
            break;
        case attack:
        case decay:
        case sustain_time:
        case release:
            moved = x + u * (0.3 * x + 0.01);
            break;
        case filter_cutoff:
            moved = filter_on ? x + 0.2 * u : x;
            high = 0.97;  // stays on
            break;
        case noise:
            moved = x > 0.0 ? x + 0.2 * u : x;
            break;
        case fm_ratio:
        case fm_index:
            moved = fm_on ? x + u * (0.3 * x + 0.5) : x;
            break;
        case vibrato_depth:
            moved = vibrato_on ? x * (1.0 + 0.5 * u) : x;
            low = 0.1;  // stays on
            break;
        case vibrato_rate:
            moved = vibrato_on ? x + u * (0.3 * x + 1.0) : x;
            break;
        case duration:
            break;
        }
        if (moved != x) {
            out.patch.*fields[i].member = std::clamp(quantize(moved, field_scale[i]), low, high);
        }
    }
    return out;
}

}  // namespace bleepforge
