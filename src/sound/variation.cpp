// Random sounds of a family and small mutations. Both draw only the raw bits of one standard
// engine, std::mt19937_64, whose sequence the C++ standard fixes, and use only arithmetic that
// IEEE 754 rounds the same everywhere (no library distributions, no exp or log), so a seed gives
// the same file on every platform and compiler. Each member draws from its own engine, seeded from
// the seed and the member's name, so a member added later moves no other member's values.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string_view>

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

// FNV-1a, 64 bits: a name's part of its stream's seed.
constexpr std::uint64_t name_hash(std::string_view name) {
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

// Every member's own stream of draws, keyed by its name in the table.
class MemberDraws {
public:
    explicit MemberDraws(std::uint64_t seed) : seed_(seed) {}
    Draws& of(std::string_view name) {
        auto found = streams_.find(name);
        if (found == streams_.end()) {
            found = streams_.emplace(name, Draws(seed_ ^ name_hash(name))).first;
        }
        return found->second;
    }
    Draws& of(double SfxPatch::*member) { return of(sound_members::field_of(member).name); }

private:
    std::uint64_t seed_;
    std::map<std::string_view, Draws> streams_;  // the names are the table's own
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

// Drawn from the member's stream in the span and rounded as the member's row says.
double draw_member(MemberDraws& draws, Span span, double SfxPatch::*member) {
    return draw(draws.of(member), span, sound_members::rounding_scale(sound_members::field_of(member)));
}

// Whether mutate_sound may move a member of this sound: one that can change it, and whose feature is
// in use where the member is a stage's.
bool may_move(const SoundField& field, const Sound& sound) {
    if (!inactive_reason(field, sound).empty()) {
        return false;
    }
    const SfxPatch& p = sound.patch;
    switch (field.when) {
    case MoveWhen::always:
        return true;
    case MoveWhen::in_use:
    case MoveWhen::nonzero_switch:
        return p.*field.member != field.neutral;
    case MoveWhen::filter_switch:
        return p.filter_cutoff < filter_bypass_cutoff;
    case MoveWhen::crush_switch:
        return bitcrush_is_on(p);
    }
    return false;
}

// A moved member held in its range, and a switch held where its stage stays on: the cutoff one
// rounding step below the bypass, the bits below 16, a nonzero switch one step away from 0 on the
// side it was (or at its range's low end where 0 is below it, as for the sample-and-hold).
double held_in_range(const SoundField& field, double before, double moved) {
    const double scale = sound_members::rounding_scale(field);
    double low = field.min;
    double high = field.max;
    if (field.when == MoveWhen::filter_switch) {
        high = (std::ceil(filter_bypass_cutoff * scale) - 1.0) / scale;
    } else if (field.when == MoveWhen::crush_switch) {
        high = 15.0;
    }
    double value = std::clamp(quantize(moved, scale), low, high);
    if (field.when == MoveWhen::nonzero_switch && value == 0.0) {
        value = before < 0.0 ? -1.0 / scale : 1.0 / scale;
    }
    return value;
}

// A high-pass against the DC a pulse voice carries, near the bottom of hearing.
constexpr double dc_block_hz = 20.0;
// The loudest peak a varied sound is given, a little under full scale.
constexpr double peak_target = 0.95;

// What every random and mutated sound keeps: no DC (a high-pass near 20 Hz), an end in silence (a
// duration covering its envelope and tails; mutate only lengthens) and no clipping (a gain that
// keeps the peak at most peak_target, found by rendering: the gain is the chain's last step, so a
// render at a quarter of it shows the true peak up to four times full scale). A hardware sound needs
// only the duration.
void finish_variation(Sound& sound, bool lengthen_only) {
    SfxPatch& p = sound.patch;
    // Every member as a designer writes it, to its row's decimals (a sum of two drawn times, 0.05 +
    // 0.062, is 0.11199999999999999 in double until it is rounded to 0.112).
    for (const SoundField& field : sound_fields()) {
        if (field.member != nullptr) {
            p.*field.member = quantize(p.*field.member, sound_members::rounding_scale(field));
        }
    }
    if (!(p.highpass_cutoff >= dc_block_hz) && !p.hardware) {
        p.highpass_cutoff = dc_block_hz;
    }
    const double needed_s = fitting_duration_s(sound);
    if (!lengthen_only || sound.duration_s < needed_s) {
        sound.duration_s = needed_s;
    }
    if (p.hardware) {
        return;  // the console's own high-pass takes the DC, and its 4-bit volumes cannot clip
    }
    Sound probe = sound;
    probe.patch.gain = 0.25;
    float peak = 0.0f;
    Voice voice = start_sound(probe, 44100);
    std::array<float, 1024> piece{};
    for (std::size_t n; (n = render_voice(voice, piece)) > 0;) {
        for (std::size_t j = 0; j < n; ++j) {
            peak = std::max(peak, std::fabs(piece[j]));
        }
    }
    if (peak > 0.0f) {
        const double true_peak = 4.0 * static_cast<double>(peak);
        const double fitting = std::floor(peak_target / true_peak * 100.0) / 100.0;
        p.gain = std::clamp(std::min(p.gain, fitting), 0.01, 4.0);
    }
}

// Made for the console: what its sound unit cannot play goes back to the preset's values (the
// chip's defaults without one), as check takes them for unset.
void make_for_hardware(Sound& sound) {
    sound.patch.hardware = true;
    const Sound start =
        sound.preset ? make_sound(*sound.preset, sound.patch.chip) : default_sound(sound.patch.chip);
    for (const SoundField& field : sound_fields()) {
        if (!inactive_reason(field, sound).empty()) {
            sound_members::set_value(sound, field, sound_members::value_of(start, field));
        }
    }
}

// Whether a stage is used, from the stream of the member that switches it.
bool chance(MemberDraws& draws, double SfxPatch::*member, double share) {
    return draws.of(member).unit() < share;
}

void draw_laser_stages(MemberDraws& draws, SfxPatch& p) {
    if (chance(draws, &SfxPatch::duty_sweep, 0.5) && uses_duty(generator_of(p))) {
        // Narrowing to about a third of its width by the end of the decay.
        const double span_s = std::max(0.05, p.attack + p.decay);
        const double narrowing = -p.duty * 0.7 / span_s;
        p.duty_sweep = draw_member(draws, {narrowing, narrowing * 0.5}, &SfxPatch::duty_sweep);
    }
    if (chance(draws, &SfxPatch::phaser_offset, 0.25)) {
        p.phaser_offset = draw_member(draws, {0.001, 0.004}, &SfxPatch::phaser_offset);
        p.phaser_sweep = draw_member(draws, {0.002, 0.01}, &SfxPatch::phaser_sweep);
    }
}

void draw_explosion_stages(MemberDraws& draws, SfxPatch& p) {
    const double grit = draws.of(&SfxPatch::bitcrush_bits).unit();  // a crush or a hold, or neither
    if (grit < 0.35) {
        p.bitcrush_bits = 3.0 + static_cast<double>(draws.of(&SfxPatch::bitcrush_bits).below(4));
    } else if (grit < 0.7) {
        p.downsample_rate = draw_member(draws, {1500, 8000}, &SfxPatch::downsample_rate);
    }
    if (chance(draws, &SfxPatch::punch, 0.5)) {
        p.punch = draw_member(draws, {0.2, 0.6}, &SfxPatch::punch);
    }
    if (chance(draws, &SfxPatch::filter_sweep, 0.5)) {
        p.filter_sweep = draw_member(draws, {-1.0, -0.2}, &SfxPatch::filter_sweep);
    }
}

void draw_coin_stages(MemberDraws& draws, SfxPatch& p) {
    constexpr std::array<double, 3> up{5.0, 7.0, 12.0};
    p.jump1_semitones = up[draws.of(&SfxPatch::jump1_semitones).below(up.size())];
    p.jump1_time = draw_member(draws, {0.04, 0.1}, &SfxPatch::jump1_time);
    if (chance(draws, &SfxPatch::jump2_semitones, 0.4)) {
        p.jump2_semitones = up[draws.of(&SfxPatch::jump2_semitones).below(2)];
        p.jump2_time = p.jump1_time + draw_member(draws, {0.03, 0.07}, &SfxPatch::jump2_time);
    }
}

// The stages each family uses the way sound designers' generators do: a coin jumps up, a powerup
// may repeat, an explosion may crush or hold and punch, a laser may narrow its pulse as it falls, a
// hit may punch or crush, a blip may jump an octave, a game over may tremble and fall a step.
void draw_stages(SfxPreset family, MemberDraws& draws, SfxPatch& p) {
    switch (family) {
    case SfxPreset::laser:
        draw_laser_stages(draws, p);
        break;
    case SfxPreset::jump:
        if (chance(draws, &SfxPatch::freq_slide_accel, 0.35)) {
            p.freq_slide_accel = draw_member(draws, {500, 4000}, &SfxPatch::freq_slide_accel);
        }
        break;
    case SfxPreset::explosion:
        draw_explosion_stages(draws, p);
        break;
    case SfxPreset::coin:
        draw_coin_stages(draws, p);
        break;
    case SfxPreset::powerup:
        if (chance(draws, &SfxPatch::repeat_rate, 0.5)) {
            p.repeat_rate = draw_member(draws, {6, 14}, &SfxPatch::repeat_rate);
        }
        break;
    case SfxPreset::hit:
        if (chance(draws, &SfxPatch::punch, 0.6)) {
            p.punch = draw_member(draws, {0.3, 0.8}, &SfxPatch::punch);
        }
        if (chance(draws, &SfxPatch::bitcrush_bits, 0.3)) {
            p.bitcrush_bits = 5.0 + static_cast<double>(draws.of(&SfxPatch::bitcrush_bits).below(4));
        }
        break;
    case SfxPreset::blip:
        if (chance(draws, &SfxPatch::jump1_semitones, 0.3)) {
            p.jump1_semitones = 12.0;
            p.jump1_time = draw_member(draws, {0.015, 0.035}, &SfxPatch::jump1_time);
        }
        break;
    case SfxPreset::game_over:
        if (chance(draws, &SfxPatch::tremolo_depth, 0.4)) {
            p.tremolo_depth = draw_member(draws, {0.2, 0.5}, &SfxPatch::tremolo_depth);
            p.tremolo_rate = draw_member(draws, {4, 9}, &SfxPatch::tremolo_rate);
        }
        if (chance(draws, &SfxPatch::jump1_semitones, 0.35)) {
            p.jump1_semitones = draws.of(&SfxPatch::jump1_semitones).below(2) == 0 ? -5.0 : -7.0;
            p.jump1_time = draw_member(draws, {0.15, 0.3}, &SfxPatch::jump1_time);
        }
        break;
    }
}

}  // namespace

Sound random_sound(SfxPreset family, ChipType chip, std::uint64_t seed, bool hardware) {
    const auto index = static_cast<std::size_t>(family);
    const Family& f = families[index < families.size() ? index : families.size() - 1];
    Sound sound = make_sound(index < families.size() ? family : SfxPreset::game_over, chip);
    SfxPatch& p = sound.patch;
    // Each family its own streams: the same seed in two families gives unrelated sounds.
    MemberDraws draws(seed ^ (0x9E3779B97F4A7C15ULL * (index + 1)));
    p.base_freq = draw_member(draws, f.base_freq, &SfxPatch::base_freq);
    p.freq_slide = draw_member(draws, f.freq_slide, &SfxPatch::freq_slide);
    p.duty = f.duties[draws.of(&SfxPatch::duty).below(f.duties.size())];
    p.attack = draw_member(draws, f.attack, &SfxPatch::attack);
    p.decay = draw_member(draws, f.decay, &SfxPatch::decay);
    p.sustain_time = draw_member(draws, f.sustain_time, &SfxPatch::sustain_time);
    p.release = draw_member(draws, f.release, &SfxPatch::release);
    p.sustain_level = draw_member(draws, f.sustain_level, &SfxPatch::sustain_level);
    p.filter_cutoff = draw_member(draws, f.filter_cutoff, &SfxPatch::filter_cutoff);
    p.noise = draw_member(draws, f.noise, &SfxPatch::noise);
    p.vibrato_depth = draw_member(draws, f.vibrato_depth, &SfxPatch::vibrato_depth);
    p.vibrato_rate = draw_member(draws, f.vibrato_rate, &SfxPatch::vibrato_rate);
    if (uses_fm(generator_of(p))) {
        p.fm_ratio = fm_ratios[draws.of(&SfxPatch::fm_ratio).below(fm_ratios.size())];
        p.fm_index = draw_member(draws, fm_index_span, &SfxPatch::fm_index);
    }
    draw_stages(sound.preset.value_or(SfxPreset::game_over), draws, p);
    p.highpass_cutoff = draw_member(draws, {dc_block_hz, 40}, &SfxPatch::highpass_cutoff);
    if (hardware && has_hardware_model(chip)) {
        sound.duration_s = fitting_duration_s(sound);  // as finish_variation sets it: what is heard
        make_for_hardware(sound);
    }
    finish_variation(sound, false);
    return sound;
}

Sound mutate_sound(const Sound& sound, double amount, std::uint64_t seed, bool hardware) {
    const double a = amount > 0.0 ? std::min(amount, 1.0) : 0.0;  // NaN too gives 0
    Sound out = sound;
    if (!sound.layers.empty()) {
        // Each layer its own stream; the mix's shape stays.
        for (std::size_t i = 0; i < out.layers.size(); ++i) {
            out.layers[i].sound =
                mutate_sound(sound.layers[i].sound, a, seed ^ (0xD1B54A32D192ED03ULL * (i + 1)), hardware);
        }
        return out;
    }
    if (hardware && !sound.patch.hardware && has_hardware_model(sound.patch.chip)) {
        // Which members move follows from the sound as made for the hardware.
        make_for_hardware(out);
        return mutate_sound(out, a, seed);
    }
    MemberDraws draws(seed);
    for (const SoundField& field : sound_fields()) {
        if (field.member == nullptr) {
            continue;
        }
        if (!may_move(field, sound)) {
            continue;
        }
        const double u = a * draws.of(field.name).signed_unit();
        const double x = sound.patch.*field.member;
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
            out.patch.*field.member = held_in_range(field, x, moved);
        }
    }
    if (a > 0.0) {
        finish_variation(out, true);
    }
    return out;
}

namespace {

// The layers a family's layered sound adds under its own: the sound a designer would put with it.
constexpr std::array<SfxPreset, 8> companions{
    SfxPreset::laser,      // laser: a second zap, a little later
    SfxPreset::jump,       // jump
    SfxPreset::hit,        // explosion: a falling tone over the noise body
    SfxPreset::coin,       // coin: a second voice of the chord
    SfxPreset::powerup,    // powerup
    SfxPreset::explosion,  // hit: a noise burst under the tone
    SfxPreset::blip,       // blip
    SfxPreset::game_over,  // game_over
};

}  // namespace

Sound random_layered_sound(SfxPreset family, ChipType chip, std::uint64_t seed, std::size_t count,
                           bool hardware) {
    const std::size_t layers = std::clamp<std::size_t>(count, 1, max_layers);
    const auto index =
        static_cast<std::size_t>(family) < companions.size() ? static_cast<std::size_t>(family) : 7;
    Draws draws(seed ^ 0x5851F42D4C957F2DULL ^ name_hash("start"));
    // Each layer's share is the same and the shares add up to at most 1, so the mix cannot clip.
    const double share = std::floor(100.0 / static_cast<double>(layers)) / 100.0;
    Sound mix;
    for (std::size_t i = 0; i < layers; ++i) {
        const SfxPreset kind = i == 0 ? static_cast<SfxPreset>(index) : companions[index];
        const double start_s = i == 0 ? 0.0 : quantize(0.06 * draws.unit(), 1000.0);
        mix.layers.push_back({random_sound(kind, chip, seed + 7919 * i, hardware), start_s, share});
    }
    return mix;
}

}  // namespace bleepforge
