#pragma once

// nearest_sine(x): the double nearest to sin x, for every double x, from + - * / and integer
// arithmetic only, so every platform and compiler gives the same bits. A fast step decides almost
// every argument below 2^29; the rest (about one in three thousand there, and every argument beyond)
// go to an accurate step in integer arithmetic (sine.cpp).

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bleepforge::voice {

namespace nearest_sine_parts {

// sin and cos at the points of a table: sin as a pair whose sum is within 2^-106 |sin|; cos as a
// 26-bit high part, so that its products with a 27-bit number are exact, and the rest, together
// within 2^-80, and cos once more as the nearest double. From 600-digit arithmetic, each part
// rounded to nearest.
struct SineRow {
    double sin_hi, sin_lo, cos_hi, cos_lo, cos;
};
// At i pi/512 for i = 0 ... 511, from 0 to just below pi.
extern const std::array<SineRow, 512> sine_rows;
// At i/128 for i = 0 ... 256, from 0 to 2.
extern const std::array<SineRow, 257> dyadic_rows;

// The double nearest to sin x for every double x, NaN for infinities and NaN.
[[nodiscard]] double accurate_sine(double x);

// sin x as hi + lo within 2^-106 |sin x| (for |x| >= 2^-26; x itself below), from the same
// computation as accurate_sine, for tests that measure the fast step.
struct SinePair {
    double hi, lo;
};
[[nodiscard]] SinePair accurate_sine_pair(double x);

// Below tiny_limit sin x rounds to x: x^3/6 is under a quarter of an ulp of x. Below small_limit
// the series alone serves, below dyadic_limit a table without reduction; below near_limit the short
// reduction serves; from fast_limit on, the long one's exact products would need more bits than k
// has room for.
inline constexpr double tiny_limit = 0x1p-26;
inline constexpr double small_limit = 0x1p-6;
inline constexpr double dyadic_limit = 2.0;
inline constexpr double near_limit = 0x1p16;
inline constexpr double fast_limit = 0x1p29;

// x = k pi/512 + t, k = x 512/pi rounded to an integer (within 2^-15.6 of x 512/pi below 2^29).
inline constexpr double steps_per_radian = 0x1.45f306dc9c883p7;  // 512/pi rounded
inline constexpr double round_shift = 0x1.8p52;  // adding and removing it rounds to an integer
// The short reduction, for |k| < 2^24: pi/512 in a chunk ending at bit 2^-34, one ending at 2^-60
// (so k * chunk is exact) and the rest rounded, together within 2^-117.
inline constexpr double near_step_1 = 0x1.921fb54p-8;
inline constexpr double near_step_2 = 0x1.10b46p-38;
inline constexpr double near_step_3 = 0x1.1a62633145c07p-62;
// The long reduction, for |k| < 2^37: chunks ending at bits 2^-23, 2^-39, 2^-55 and 2^-70, then the
// rest rounded: the five sum to pi/512 within 2^-125.
inline constexpr double step_1 = 0x1.921ep-8;
inline constexpr double step_2 = 0x1.b544p-24;
inline constexpr double step_3 = 0x1.0b4p-42;
inline constexpr double step_4 = 0x1.8468p-56;
inline constexpr double step_5 = 0x1.898cc51701b84p-72;
inline constexpr double split_factor = 0x1p27 + 1.0;

// Taylor coefficients: cos t - 1 to t^6, sin t - t to t^7 (to x^9 below small_limit).
inline constexpr double c2 = -0.5;
inline constexpr double c4 = 1.0 / 24;
inline constexpr double c6 = -1.0 / 720;
inline constexpr double s3 = -1.0 / 6;
inline constexpr double s5 = 1.0 / 120;
inline constexpr double s7 = -1.0 / 5040;
inline constexpr double s9 = 1.0 / 362880;

// Error bounds, u = 2^-53. t = th + tl is within near_reduction_error |k| (k * near_step_3 and the
// chunks' own error) or long_reduction_error |k| (k * step_5, the last low part and the chunks) of
// x - k pi/512, with |th| <= pi/1024 (1 + 2^-14.6) and |tl| <= 2^-36.6.
inline constexpr double near_reduction_error = 0x1p-111;
inline constexpr double long_reduction_error = 0x1p-114;
// Away from a multiple of pi, |sin x| >= sin (pi/1024) and the row's sine is at most twice it: the
// terms sin b (cos t - 1) (6 roundings, series remainder t^8/8!, tl^2 left out) and cos b (sin t - t)
// (9 roundings, remainder |t|^9/9!), the row's own error, the sums and the reduction (2^-69.3 at
// most) stay under 2^-66.3 |hi|. So hi is sin x rounded if every value within 2^-66.3 |hi| of
// hi + lo rounds to it, which is so (lo lies within half an ulp of hi, and an ulp is at least
// 2^-53 |hi|) when lo (1 + 2^54 2^-66.3), rounded, added to hi still gives hi.
inline constexpr double rounding_factor = 1.0 + 0x1p-12;
// Below 2^-6, sin x = x + (x^3 x^2 (1/120 - ...) - x^3/6): x^3/6 carries 3 roundings, the sum one,
// the rest far less, under 0.67 u x^2 |hi| in all, so the factor is 1 + 1.34 x^2 and a margin.
inline constexpr double small_error_per_square = 1.4;
// From 2^-6 to 2, with t exact and |t| <= 1/256 (so rows from i = 2 on): |sin x| >= sin (3/256) and
// the row's sine is at most 4/3 of it; 5 and 7 roundings in the two terms, under 2^-66.8 |hi| in
// all, so the factor needs 2^54 2^-66.8 and a margin.
inline constexpr double dyadic_rounding_factor = 1.0 + 0x1.8p-13;

// sin (k pi/512 + t) near a multiple of pi (k a multiple of 512, not 0): t + (sin t - t), the bound
// explicit, the reduction's error not being small beside |sin x| there.
[[nodiscard]] double sine_near_pi_multiple(double x, double k, double th, double tl, double reduction_error);

// sin (b + t) = sin b + cos b t + sin b (cos t - 1) + cos b (sin t - t) for the row of b and t = th
// (+ tl where kWithLow), as hi + lo: the first two terms in double-double, th split into 26 and 27
// bits (Veltkamp) so that cos_hi th is exactly p1 + p2, the others in double.
struct SineEstimate {
    double hi, lo;
};

template <bool kWithLow>
inline SineEstimate row_sine(const SineRow& row, double th, double tl) {
    const double split = th * split_factor;
    const double th_hi = split - (split - th);
    const double th_lo = th - th_hi;
    const double p1 = row.cos_hi * th_hi;
    const double p2 = row.cos_hi * th_lo;
    const double s = row.sin_hi + p1;
    const double s_err = (row.sin_hi - s) + p1;  // exact: |sin_hi| > |p1|, or sin_hi is 0
    double t2 = th * th;
    double t3 = 0.0;
    double linear_lo = row.sin_lo + row.cos_lo * th;
    if constexpr (kWithLow) {
        // t^2 and t^3 with the terms linear in tl; tl^2 is under 2^-73.
        t2 = th * (th + 2.0 * tl);
        t3 = t2 * (th + tl);
        linear_lo = linear_lo + row.cos * tl;
    } else {
        t3 = t2 * th;
    }
    const double cos_m1 = t2 * (c2 + t2 * (c4 + t2 * c6));
    const double sin_mt = t3 * (s3 + t2 * (s5 + t2 * s7));
    const double lo = (((linear_lo + s_err) + p2) + row.cos * sin_mt) + row.sin_hi * cos_m1;
    const double hi = s + lo;
    return {hi, (s - hi) + lo};  // exact: |s| >= |lo|
}

// The fast step below small_limit (from tiny_limit): sin x as hi + lo.
inline SineEstimate small_sine(double x) {
    const double x2 = x * x;
    const double x3 = x2 * x;
    const double lo = x3 * (x2 * (s5 + x2 * (s7 + x2 * s9))) - x3 / 6.0;
    const double hi = x + lo;
    return {hi, (x - hi) + lo};  // exact: |x| >= |lo|
}

// The fast step from small_limit to dyadic_limit: sin |x| as hi + lo, |x| = i/128 + t exactly
// (Sterbenz, i >= 2), |t| <= 1/256.
inline SineEstimate dyadic_sine(double magnitude) {
    const double shifted = magnitude * 128.0 + round_shift;
    std::uint64_t i_bits = 0;
    std::memcpy(&i_bits, &shifted, sizeof i_bits);
    const double t = magnitude - (shifted - round_shift) * 0x1p-7;
    return row_sine<false>(dyadic_rows[i_bits & 511U], t, 0.0);
}

// x - k pi/512 = th + tl for |x| below fast_limit, within error |k|; bits holds k's low bits.
struct StepReduction {
    double k, th, tl, error;
    std::uint64_t bits;
};

inline StepReduction reduce_by_steps(double x, double magnitude) {
    const double shifted = x * steps_per_radian + round_shift;
    const double k = shifted - round_shift;
    std::uint64_t k_bits = 0;
    std::memcpy(&k_bits, &shifted, sizeof k_bits);  // the low bits of shifted are those of k
    if (magnitude < near_limit) {
        // Both differences are exact: Sterbenz, then both sides on a grid of 2^-60 with a result
        // under 2^-7. The rest stays a separate low part.
        const double th = (x - k * near_step_1) - k * near_step_2;
        return {k, th, k * -near_step_3, near_reduction_error, k_bits};
    }
    // The first three differences are exact as above (grids of 2^-61 or coarser, results under
    // 2^14); the fourth is split exactly (Fast2Sum: where |r3| < |k step_4| the difference is itself
    // exact), and the last low part is added with TwoSum, which needs no order.
    const double r3 = ((x - k * step_1) - k * step_2) - k * step_3;
    const double p4 = k * step_4;
    const double t0 = r3 - p4;
    const double e0 = ((r3 - t0) - p4) - k * step_5;
    const double th = t0 + e0;
    const double back = th - t0;
    return {k, th, (t0 - (th - back)) + (e0 - back), long_reduction_error, k_bits};
}

// The row of a reduction: k pi/512 = b + j pi with b = (k mod 512) pi/512, so that sin x =
// (-1)^j sin (b + t). Row 0 is sine_near_pi_multiple's.
inline std::size_t row_of(const StepReduction& r) {
    return static_cast<std::size_t>(r.bits & 511U);
}

// The double nearest to sin x, the dispatch of the steps above.
inline double sine_value(double x) {
    const double magnitude = std::fabs(x);
    if (magnitude < dyadic_limit) {
        if (magnitude < small_limit) {
            if (magnitude < tiny_limit) {
                return x;
            }
            const SineEstimate e = small_sine(x);
            const double factor = (x * x) * small_error_per_square + (1.0 + 0x1p-50);
            if (e.hi == e.hi + e.lo * factor) {
                return e.hi;
            }
            return accurate_sine(x);
        }
        const SineEstimate e = dyadic_sine(magnitude);
        if (e.hi == e.hi + e.lo * dyadic_rounding_factor) {
            return std::copysign(e.hi, x);
        }
        return accurate_sine(x);
    }
    if (!(magnitude < fast_limit)) {
        return accurate_sine(x);
    }
    const StepReduction r = reduce_by_steps(x, magnitude);
    const std::size_t row = row_of(r);
    if (row == 0) {
        return sine_near_pi_multiple(x, r.k, r.th, r.tl, r.error);
    }
    const SineEstimate e = row_sine<true>(sine_rows[row], r.th, r.tl);
    if (e.hi == e.hi + e.lo * rounding_factor) {
        return (r.bits & 512U) != 0 ? -e.hi : e.hi;
    }
    return accurate_sine(x);
}

#ifdef BLEEPFORGE_SINE_PROBE
// Only in the test build of tests/sine_probe_test.cpp, which defines it: every call's argument and
// result, so that the recorded renders can show which arguments they use.
void record_sine(double x, double result);
#endif

}  // namespace nearest_sine_parts

// The double nearest to sin x (ties cannot occur), for every double: -0 for -0, NaN for NaN and
// the infinities. The same bits on every platform; no library sine involved.
inline double nearest_sine(double x) {
    const double result = nearest_sine_parts::sine_value(x);
#ifdef BLEEPFORGE_SINE_PROBE
    nearest_sine_parts::record_sine(x, result);
#endif
    return result;
}

}  // namespace bleepforge::voice
