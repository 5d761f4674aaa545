// nearest_sine: worked values, its tables, the fast steps' error bounds, a dense sweep against a
// higher-precision sine, and where the C library's own sine differs from it.
#include "sine.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_random.hpp"
#include "test_scale.hpp"
#include "voice.hpp"

namespace bleepforge {
namespace {

using testing_support::SplitMix;
using voice::nearest_sine;
namespace parts = voice::nearest_sine_parts;

std::uint64_t bits_of(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

bool same(double a, double b) {
    return bits_of(a) == bits_of(b) || (std::isnan(a) && std::isnan(b));
}

// sinl is accurate to about 2^-63 with glibc on x86-64: a thousandth of a double's ulp. Elsewhere
// (the x87 sine of other C libraries, or a long double that is a double) it cannot judge.
#if defined(__GLIBC__) && (defined(__x86_64__) || defined(__i386__))
constexpr bool accurate_long_double = std::numeric_limits<long double>::digits == 64;
#else
constexpr bool accurate_long_double = false;
#endif

// Unoptimised builds (debug, sanitizers) check a quarter of the arguments, in about the same time.
constexpr int share = testing_support::every_case ? 1 : 4;

// Each the double nearest sin x, from 3000-bit arithmetic; -x gives the negated value.
TEST(NearestSine, GivesTheNearestDoubleAtWorkedArguments) {
    struct Case {
        double x, expected;
        const char* why;
    };
    const Case cases[] = {
        {0x1.921fb54442d18p+0, 0x1p+0, "pi/2 rounded: 1 - 2^-109.6"},
        {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53, "pi rounded: pi - x"},
        {0x1.921fb54442d18p+2, -0x1.1a62633145c07p-52, "2 pi rounded"},
        {0x1.6c6cbc45dc8dep+6, -0x1.6d61b58c99c43p-60, "2^-59.5 from 29 pi, the short reduction"},
        {0x1.b951f1572eba5p+24, 0x1.f54f5227a4e84p-59, "2^-58 from a multiple of pi, the long reduction"},
        {0x1.504cac51f1eafp+132, 0x1.0cb604d34f341p-58, "2^-58 from a multiple of pi, Payne-Hanek"},
        {0x1.6ac5b262ca1ffp+849, 0x1p+0, "the double nearest an odd multiple of pi/2"},
        {1e22, -0x1.b453ab76bf397p-1, "1e22"},
        {0x1p+1023, 0x1.205248cbdb760p-1, "2^1023"},
        {0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8, "the largest double"},
        {0x1p-26, 0x1p-26, "tiny_limit: x^3/6 is under a quarter of the ulp below"},
        {0x1.fffffffffffffp-7, 0x1.fffaaaaeeeed4p-7, "below small_limit"},
        {0x1p-6, 0x1.fffaaaaeeeed5p-7, "small_limit"},
        {0x1.fffffffffffffp+0, 0x1.d18f6ead1b447p-1, "below dyadic_limit"},
        {0x1p+1, 0x1.d18f6ead1b446p-1, "dyadic_limit"},
        {0x1.fffffffffffffp+15, 0x1.62566735c3dddp-1, "below near_limit"},
        {0x1p+16, 0x1.62566735b8513p-1, "near_limit"},
        {0x1.fffffffffffffp+28, 0x1.4e67c4aa3dd30p-2, "below fast_limit"},
        {0x1p+29, 0x1.4e67c0e2622dep-2, "fast_limit"},
        {0x1.42e106e73ab7ep+0, 0x1.e7aa3d168c7e8p-1, "0.4999 ulp below sin x; glibc 2.36 rounds up"},
        {0x1.fb50d1cb09d98p-2, 0x1.e6d0d6520a445p-2, "0.4989 ulp above; glibc 2.36 rounds down"},
        {0x1.34aefd03eb70ap+0, 0x1.de4569a6e579fp-1, "0.4997 ulp below; glibc 2.36 rounds up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(bits_of(nearest_sine(c.x)), bits_of(c.expected)) << std::hexfloat << nearest_sine(c.x);
        EXPECT_EQ(bits_of(nearest_sine(-c.x)), bits_of(-c.expected));
        EXPECT_EQ(bits_of(parts::accurate_sine(c.x)), bits_of(c.expected));
    }
}

TEST(NearestSine, KeepsZerosAndTinyArgumentsAndGivesNaNForTheRest) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (const double x : {0.0, -0.0, std::numeric_limits<double>::denorm_min(), -0x1p-1074, 0x1p-1022,
                           0x1.fffffffffffffp-27, -0x1.fffffffffffffp-27}) {
        EXPECT_EQ(bits_of(nearest_sine(x)), bits_of(x)) << x;
        EXPECT_EQ(bits_of(parts::accurate_sine(x)), bits_of(x)) << x;
    }
    for (const double x : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
        EXPECT_TRUE(std::isnan(nearest_sine(x))) << x;
        EXPECT_TRUE(std::isnan(parts::accurate_sine(x))) << x;
    }
}

// Double-double helpers for checking the tables to 2^-100.
struct Pair {
    double hi, lo;
};

Pair two_sum(double a, double b) {
    const double s = a + b;
    const double back = s - a;
    return {s, (a - (s - back)) + (b - back)};
}

Pair split(double a) {
    const double c = a * parts::split_factor;
    const double hi = c - (c - a);
    return {hi, a - hi};
}

Pair two_product(double a, double b) {
    const double p = a * b;
    const Pair x = split(a);
    const Pair y = split(b);
    return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

Pair times(Pair a, Pair b) {
    const Pair p = two_product(a.hi, b.hi);
    return two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Pair plus(Pair a, Pair b) {
    const Pair s = two_sum(a.hi, b.hi);
    return two_sum(s.hi, s.lo + a.lo + b.lo);
}

double minus(Pair a, Pair b) {
    return (a.hi - b.hi) + (a.lo - b.lo);
}

Pair cos_of(const parts::SineRow& row) {
    return two_sum(row.cos_hi, row.cos_lo);
}

// What every row promises: a 26-bit cos_hi, cos the nearest double to the pair, sin^2 + cos^2 = 1
// (to the cos pair's 2^-80).
void expect_row_is_well_formed(const parts::SineRow& row, std::size_t i) {
    EXPECT_EQ(split(row.cos_hi).lo, 0.0) << i;
    EXPECT_EQ(row.cos, row.cos_hi + row.cos_lo) << i;
    const Pair s{row.sin_hi, row.sin_lo};
    EXPECT_LT(std::fabs(minus(plus(times(s, s), times(cos_of(row), cos_of(row))), {1.0, 0.0})), 0x1p-78) << i;
}

// The rows at i pi/512 against the accurate step: x, the double near b = i pi/512, has sin x =
// sin b + cos b d - sin b d^2/2 + ... for d = x - b (from the reduction's exact chunks), so sin b
// follows to 2^-104. A row's cos is the sine of the row pi/2 on (or its negation). The rows at
// i/128 have the accurate step's sine of i/128 itself, and the sign of cos.
TEST(NearestSine, TablesHoldTheSinesAndCosinesTheyClaim) {
    const auto& rows = parts::sine_rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        expect_row_is_well_formed(rows[i], i);
        const auto k = static_cast<double>(i);
        const double x = k * (voice::pi / 512);
        const double d_hi =
            ((((x - k * parts::step_1) - k * parts::step_2) - k * parts::step_3) - k * parts::step_4);
        const Pair d{d_hi, -k * parts::step_5};
        const parts::SinePair at_x = parts::accurate_sine_pair(x);
        const Pair moved = plus(times(cos_of(rows[i]), d), {-0.5 * rows[i].sin_hi * d_hi * d_hi, 0.0});
        const double sin_b_error =
            minus(plus({at_x.hi, at_x.lo}, {-moved.hi, -moved.lo}), {rows[i].sin_hi, rows[i].sin_lo});
        EXPECT_LT(std::fabs(sin_b_error), 0x1p-104);
        const parts::SineRow& partner = i < 256 ? rows[i + 256] : rows[i - 256];
        const double sign = i < 256 ? 1.0 : -1.0;
        EXPECT_LT(std::fabs(minus(cos_of(rows[i]), {sign * partner.sin_hi, sign * partner.sin_lo})), 0x1p-79);
    }
    EXPECT_EQ(rows[0].sin_hi, 0.0);
    EXPECT_EQ(rows[256].sin_hi, 1.0);
    EXPECT_EQ(rows[256].cos, 0.0);

    for (std::size_t i = 0; i < parts::dyadic_rows.size(); ++i) {
        const parts::SineRow& row = parts::dyadic_rows[i];
        expect_row_is_well_formed(row, i);
        const auto x = static_cast<double>(i) / 128.0;
        const parts::SinePair exact = parts::accurate_sine_pair(x);
        EXPECT_LT(std::fabs(minus({row.sin_hi, row.sin_lo}, {exact.hi, exact.lo})), 0x1p-105) << i;
        EXPECT_EQ(row.cos > 0.0, x < voice::pi / 2) << i;
    }
}

// Uniform in [low, high), or spread evenly over the binades between them.
double draw(SplitMix& rng, double low, double high, bool by_binade) {
    return by_binade ? std::exp2(rng.uniform(std::log2(low), std::log2(high))) : rng.uniform(low, high);
}

// |(hi + lo) - sin x| / |sin x|, sin x from the accurate step.
double relative_error(double x, double hi, double lo) {
    const parts::SinePair exact = parts::accurate_sine_pair(x);
    return std::fabs((hi - exact.hi) + (lo - exact.lo)) / std::fabs(exact.hi);
}

// The bounds the rounding tests rely on (sine.hpp), held on each fast step over its range, the
// arguments near its rows' edges included. The worst error seen is printed.
TEST(NearestSine, FastStepsStayWithinTheirErrorBounds) {
    SplitMix rng{4242};
    constexpr int count = 40000 / share;
    double worst_small = 0.0;  // relative to x^2 u
    for (int n = 0; n < count; ++n) {
        const double x = (n % 2 == 0 ? 1.0 : -1.0) * draw(rng, parts::tiny_limit, parts::small_limit, true);
        const parts::SineEstimate e = parts::small_sine(x);
        worst_small = std::max(worst_small, relative_error(x, e.hi, e.lo) / (x * x * 0x1p-53));
    }
    double worst_dyadic = 0.0;
    for (int n = 0; n < count; ++n) {
        // Every fourth argument within 2^-20 of a row's edge, where |t| is largest.
        const double x =
            n % 4 == 0 ? (std::floor(rng.uniform(2.0, 256.0)) + 0.5 + rng.uniform(-0x1p-20, 0x1p-20)) / 128
                       : draw(rng, parts::small_limit, parts::dyadic_limit, false);
        const parts::SineEstimate e = parts::dyadic_sine(x);
        worst_dyadic = std::max(worst_dyadic, relative_error(x, e.hi, e.lo));
    }
    double worst_steps[2] = {0.0, 0.0};  // the short reduction, the long one
    for (int n = 0; n < 2 * count; ++n) {
        const bool long_range = n % 2 == 1;
        double x = long_range ? draw(rng, parts::near_limit, parts::fast_limit, true)
                              : draw(rng, parts::dyadic_limit, parts::near_limit, true);
        if (n % 8 < 2) {
            x = (std::floor(x * parts::steps_per_radian) + 0.5) / parts::steps_per_radian;  // a row's edge
        }
        const parts::StepReduction r = parts::reduce_by_steps(x, std::fabs(x));
        if (parts::row_of(r) == 0) {
            continue;  // sine_near_pi_multiple's, with its own bound: the sweep holds it
        }
        const parts::SineEstimate e = parts::row_sine<true>(parts::sine_rows[parts::row_of(r)], r.th, r.tl);
        const double sign = (r.bits & 512U) != 0 ? -1.0 : 1.0;
        worst_steps[long_range] =
            std::max(worst_steps[long_range], relative_error(x, sign * e.hi, sign * e.lo));
    }
    std::printf(
        "fast steps' worst errors: series %.3f x^2 u, table below 2 2^%.2f, short reduction 2^%.2f, "
        "long reduction 2^%.2f\n",
        worst_small, std::log2(worst_dyadic), std::log2(worst_steps[0]), std::log2(worst_steps[1]));
    EXPECT_LT(worst_small, 0.67);
    EXPECT_LT(std::log2(worst_dyadic), -66.8);
    EXPECT_LT(std::log2(worst_steps[0]), -66.3);
    EXPECT_LT(std::log2(worst_steps[1]), -66.3);
}

// The arguments of the sweep: the renderer's ranges densely, then tiny ones, ones near multiples of
// pi/2 and of the table's pi/512, the limits between the steps and their neighbours, and huge ones.
std::vector<double> sweep_arguments() {
    struct Range {
        double low, high;
        int count;
        bool by_binade;
    };
    const Range ranges[] = {
        {0.0, 1.42, 500000, false},        // filter coefficients
        {1.42, 4e4, 500000, false},        // vibrato
        {4e4, 0x1p28, 300000, false},      // FM phases, never wrapped
        {0x1p-30, 0x1p-6, 100000, true},   // tiny
        {0x1p28, 1e300, 200000, true},     // what a fuzzer sends
        {0x1p-1074, 0x1p-30, 2000, true},  // subnormal and smaller still
    };
    SplitMix rng{1234};
    std::vector<double> x;
    for (const Range& r : ranges) {
        for (int n = 0; n < r.count / share; ++n) {
            x.push_back(draw(rng, r.low, r.high, r.by_binade));
        }
    }
    for (int n = 0; n < 100000 / share; ++n) {
        const double step = n % 2 == 0 ? voice::pi / 2 : voice::pi / 512;
        double near = std::floor(rng.uniform(1.0, 2e6)) * step;
        for (int ulps = static_cast<int>(rng.next() % 9); ulps > 0; --ulps) {
            near = std::nextafter(near, rng.next() % 2 == 0 ? 0.0 : 1e300);
        }
        x.push_back(near);
    }
    for (const double limit :
         {parts::tiny_limit, parts::small_limit, parts::dyadic_limit, parts::near_limit, parts::fast_limit}) {
        double below = limit;
        double above = limit;
        for (int n = 0; n < 64; ++n) {
            x.push_back(below);
            x.push_back(above);
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, 1e300);
        }
    }
    const std::size_t positive = x.size();
    for (std::size_t j = 0; j < positive; j += 3) {
        x.push_back(-x[j]);
    }
    return x;
}

// Every result of the sweep is the accurate step's (checked on every 16th, the accurate step being
// slow) and, where sinl can judge, the double nearest sin x: within half an ulp, allowing for
// sinl's own error.
TEST(NearestSine, IsCorrectlyRoundedOverADenseSweep) {
    const std::vector<double> x = sweep_arguments();
    std::size_t unlike_accurate = 0;
    std::size_t not_nearest = 0;
    double worst_ulps = 0.0;
    double worst_at = 0.0;
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double ours = nearest_sine(x[j]);
        if (j % 16 == 0) {
            unlike_accurate += !same(ours, parts::accurate_sine(x[j]));
        }
        EXPECT_EQ(bits_of(nearest_sine(-x[j])), bits_of(-ours));
        if constexpr (accurate_long_double) {
            const long double reference = sinl(static_cast<long double>(x[j]));
            const long double error = std::fabs(static_cast<long double>(ours) - reference);
            const double up = std::nextafter(ours, 2.0);
            const double down = std::nextafter(ours, -2.0);
            const long double margin = std::fabs(reference) * 0x1p-62L;
            not_nearest += error > std::fabs(static_cast<long double>(up) - reference) + margin ||
                           error > std::fabs(static_cast<long double>(down) - reference) + margin;
            const auto ulps = static_cast<double>(error / static_cast<long double>(up - ours));
            if (ulps > worst_ulps) {
                worst_ulps = ulps;
                worst_at = x[j];
            }
        }
    }
    EXPECT_EQ(unlike_accurate, 0U);
    if constexpr (!accurate_long_double) {
        GTEST_SKIP() << "no accurate long double sine here: only the accurate step held the sweep";
    }
    std::printf("%zu arguments: worst error %.9f ulp (at %a), %zu not the nearest double\n", x.size(),
                worst_ulps, worst_at, not_nearest);
    EXPECT_EQ(not_nearest, 0U);
    EXPECT_LT(worst_ulps, 0.5 + 0x1p-9);
}

// The C library's sine, where it disagrees, is the one that misrounds (judged by sinl, up to its own
// error): with glibc 2.36 about one argument in seven hundred, each near a midpoint.
TEST(NearestSine, DiffersFromTheLibrarySineOnlyWhereThatMisrounds) {
    if constexpr (!accurate_long_double) {
        GTEST_SKIP() << "no accurate long double sine here to judge between the two";
    }
    SplitMix rng{99};
    std::size_t differing = 0;
    std::size_t ours_farther = 0;
    constexpr int count = 1000000;
    for (int n = 0; n < count; ++n) {
        const double x = n % 3 == 0   ? rng.uniform(0.0, 1.42)
                         : n % 3 == 1 ? rng.uniform(1.42, 4e4)
                                      : rng.uniform(4e4, 0x1p28);
        const double ours = nearest_sine(x);
        const double library = std::sin(x);
        if (!same(ours, library)) {
            ++differing;
            const long double reference = sinl(static_cast<long double>(x));
            const long double margin = std::fabs(reference) * 0x1p-62L;
            ours_farther += std::fabs(static_cast<long double>(ours) - reference) >
                            std::fabs(static_cast<long double>(library) - reference) + margin;
        }
    }
    std::printf("the library sine differs at %zu of %d arguments; ours the farther at %zu\n", differing,
                count, ours_farther);
    EXPECT_EQ(ours_farther, 0U);
    EXPECT_LT(differing, static_cast<std::size_t>(count / 100));
}

}  // namespace
}  // namespace bleepforge
