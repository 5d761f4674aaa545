#include "fm_block.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "fast_sine.hpp"
#include "sine.hpp"

// Four lanes at a time with GCC and clang vector extensions: AVX2 on x86-64, chosen at run time (not
// on Windows, where GCC does not align the stack for spilled 32-byte vectors), and WebAssembly's
// 128-bit SIMD, for which src/CMakeLists.txt builds this file.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define BLEEPFORGE_FM_LANES 1
#define BLEEPFORGE_FM_TARGET __attribute__((target("avx2")))
#define BLEEPFORGE_FM_LANES_AVAILABLE() __builtin_cpu_supports("avx2")
#elif defined(__wasm_simd128__)
#define BLEEPFORGE_FM_LANES 1
#define BLEEPFORGE_FM_TARGET
#define BLEEPFORGE_FM_LANES_AVAILABLE() true
#endif

namespace bleepforge::voice {
namespace {

#ifdef BLEEPFORGE_FM_LANES
using v4d = double __attribute__((vector_size(32)));
using v4u = std::uint64_t __attribute__((vector_size(32)));
using v4f = float __attribute__((vector_size(16)));

// fast_sine on four lanes: the same reduction and series, so the same error bound. Both series are
// evaluated and each lane picks its own; the quadrant comes from the bits of the rounded product.
BLEEPFORGE_FM_TARGET v4d fast_sine4(v4d x) {
    using namespace sine;
    const v4d shifted = x * two_over_pi + round_shift;  // round_shift + k, exactly
    const v4d k = shifted - round_shift;
    const v4u quadrant = reinterpret_cast<v4u>(shifted) & 3U;
    const v4d r = ((x - k * half_pi_1) - k * half_pi_2) - k * half_pi_3;
    const v4d r2 = r * r;
    const v4d r4 = r2 * r2;
    const v4d sin_r = r + (r * r2) * ((s3 + r2 * s5) + r4 * ((s7 + r2 * s9) + r4 * s11));
    const v4d cos_r = 1.0 + r2 * ((c2 + r2 * c4) + r4 * ((c6 + r2 * c8) + r4 * (c10 + r2 * c12)));
    const v4u take_cos = -(quadrant & 1U);
    const v4u bits = (reinterpret_cast<v4u>(sin_r) & ~take_cos) | (reinterpret_cast<v4u>(cos_r) & take_cos);
    return reinterpret_cast<v4d>(bits ^ ((quadrant & 2U) << 62U));
}

BLEEPFORGE_FM_TARGET v4d abs4(v4d x) {
    return reinterpret_cast<v4d>(reinterpret_cast<v4u>(x) & 0x7FFFFFFFFFFFFFFFULL);
}

// The same decision as fm_voice, lane by lane; lanes it cannot decide take nearest_sine.
BLEEPFORGE_FM_TARGET void fm_voices_four_lanes(const double* phases, const double* mod_phases,
                                               double fm_index, float* voices, std::size_t count) {
    constexpr double eps = 0x1p-52;
    const double index_bound = sine_error_bound * (1.0 + std::fabs(fm_index));
    std::size_t j = 0;
    for (; j + 4 <= count; j += 4) {
        v4d phase;
        v4d mod_phase;
        std::memcpy(&phase, phases + j, sizeof phase);
        std::memcpy(&mod_phase, mod_phases + j, sizeof mod_phase);
        const v4d y = phase + fm_index * fast_sine4(mod_phase);
        const v4d v = fast_sine4(y);
        const v4d bound = index_bound + 4.0 * eps * (std::fabs(fm_index) + abs4(y) + 1.0);
        const v4f low = __builtin_convertvector(v - bound, v4f);
        const v4f high = __builtin_convertvector(v + bound, v4f);
        float decided[4];
        std::memcpy(decided, &low, sizeof decided);
        const auto in_range = (abs4(mod_phase) <= fast_sine_limit) & (abs4(y) <= fast_sine_limit);
        const auto settled = (low == high) & (low != 0.0F);
        for (std::size_t lane = 0; lane < 4; ++lane) {
            voices[j + lane] = in_range[lane] != 0 && settled[lane] != 0
                                   ? decided[lane]
                                   : fm_voice_exact(phases[j + lane], mod_phases[j + lane], fm_index);
        }
    }
    for (; j < count; ++j) {
        voices[j] = fm_voice(phases[j], mod_phases[j], fm_index);
    }
}
BLEEPFORGE_FM_TARGET void fast_sines_four_lanes(const double* x, double* out, std::size_t count) {
    std::size_t j = 0;
    for (; j + 4 <= count; j += 4) {
        v4d lanes;
        std::memcpy(&lanes, x + j, sizeof lanes);
        const v4d sines = fast_sine4(lanes);
        std::memcpy(out + j, &sines, sizeof sines);
    }
    for (; j < count; ++j) {
        out[j] = fast_sine(x[j]);
    }
}
#endif

}  // namespace

// Kept out of the loops above: inlined, its two sines would crowd their registers.
[[gnu::noinline]] float fm_voice_exact(double phase, double mod_phase, double fm_index) {
    return static_cast<float>(nearest_sine(phase + fm_index * nearest_sine(mod_phase)));
}

bool four_lanes_available() {
#ifdef BLEEPFORGE_FM_LANES
    return BLEEPFORGE_FM_LANES_AVAILABLE();
#else
    return false;
#endif
}

void fast_sines(const double* x, double* out, std::size_t count) {
#ifdef BLEEPFORGE_FM_LANES
    if (BLEEPFORGE_FM_LANES_AVAILABLE()) {
        fast_sines_four_lanes(x, out, count);
        return;
    }
#endif
    for (std::size_t j = 0; j < count; ++j) {
        out[j] = fast_sine(x[j]);
    }
}

void fm_voices(const double* phases, const double* mod_phases, double fm_index, float* voices,
               std::size_t count) {
#ifdef BLEEPFORGE_FM_LANES
    if (BLEEPFORGE_FM_LANES_AVAILABLE()) {
        fm_voices_four_lanes(phases, mod_phases, fm_index, voices, count);
        return;
    }
#endif
    for (std::size_t j = 0; j < count; ++j) {
        voices[j] = fm_voice(phases[j], mod_phases[j], fm_index);
    }
}

}  // namespace bleepforge::voice
