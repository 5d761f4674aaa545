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

// Drawn in the span and rounded as the member's row says.
double draw_member(Draws& draws, Span span, double SfxPatch::*member) {
    return draw(draws, span, sound_members::rounding_scale(sound_members::field_of(member)));
}

// Whether mutate_sound may move a member of this patch.
bool may_move(MoveWhen when, const SfxPatch& p) {
    switch (when) {
    case MoveWhen::always:
        return true;
    case MoveWhen::filter_switch:
        return filter_is_on(p);
    case MoveWhen::noise_on:
        return p.noise > 0.0;
    case MoveWhen::fm_voice:
        return uses_fm(generator_of(p));
    case MoveWhen::vibrato_switch:
    case MoveWhen::vibrato_on:
        return vibrato_is_on(p);
    }
    return false;
}

struct Bounds {
    double low, high;
};

// A member's range, narrowed for a switch so that its feature stays on: the cutoff one rounding
// step below the bypass, the vibrato depth one step above zero.
Bounds mutation_bounds(const SoundField& field) {
    const double scale = sound_members::rounding_scale(field);
    switch (field.when) {
    case MoveWhen::filter_switch:
        return {field.min, (std::ceil(filter_bypass_cutoff * scale) - 1.0) / scale};
    case MoveWhen::vibrato_switch:
        return {1.0 / scale, field.max};
    default:
        return {field.min, field.max};
    }
}

}  // namespace

Sound random_sound(SfxPreset family, ChipType chip, std::uint64_t seed) {
    const auto index = static_cast<std::size_t>(family);
    const Family& f = families[index < families.size() ? index : families.size() - 1];
    Sound sound = make_sound(index < families.size() ? family : SfxPreset::game_over, chip);
    SfxPatch& p = sound.patch;
    // Each family its own stream: the same seed in two families gives unrelated sounds.
    Draws draws(seed ^ (0x9E3779B97F4A7C15ULL * (index + 1)));
    p.base_freq = draw_member(draws, f.base_freq, &SfxPatch::base_freq);
    p.freq_slide = draw_member(draws, f.freq_slide, &SfxPatch::freq_slide);
    p.duty = f.duties[draws.below(f.duties.size())];
    p.attack = draw_member(draws, f.attack, &SfxPatch::attack);
    p.decay = draw_member(draws, f.decay, &SfxPatch::decay);
    p.sustain_time = draw_member(draws, f.sustain_time, &SfxPatch::sustain_time);
    p.release = draw_member(draws, f.release, &SfxPatch::release);
    p.sustain_level = draw_member(draws, f.sustain_level, &SfxPatch::sustain_level);
    p.filter_cutoff = draw_member(draws, f.filter_cutoff, &SfxPatch::filter_cutoff);
    p.noise = draw_member(draws, f.noise, &SfxPatch::noise);
    p.vibrato_depth = draw_member(draws, f.vibrato_depth, &SfxPatch::vibrato_depth);
    p.vibrato_rate = draw_member(draws, f.vibrato_rate, &SfxPatch::vibrato_rate);
    const double ratio = fm_ratios[draws.below(fm_ratios.size())];
    const double fm_depth = draw_member(draws, fm_index_span, &SfxPatch::fm_index);
    if (uses_fm(generator_of(p))) {
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
    Draws draws(seed);
    // One draw per patch member, in the table's order, whether the member moves or not.
    for (const SoundField& field : sound_fields()) {
        if (field.member == nullptr) {
            continue;
        }
        const double u = a * draws.signed_unit();
        const double x = sound.patch.*field.member;
        if (!may_move(field.when, sound.patch)) {
            continue;
        }
        double moved = x;
        switch (field.move) {
        case Move::none:
            break;
        case Move::scale:
            moved = x * (1.0 + field.move_relative * u);
            break;
        case Move::spread:
            moved = x + u * (field.move_relative * std::fabs(x) + field.move_absolute);
            break;
        }
        if (moved != x) {
            const Bounds bounds = mutation_bounds(field);
            out.patch.*field.member =
                std::clamp(quantize(moved, sound_members::rounding_scale(field)), bounds.low, bounds.high);
        }
    }
    return out;
}

}  // namespace bleepforge
