// nearest_sine against the C library's sine over the renderer's argument ranges. Instruction counts,
// which do not depend on the machine's load, come from running it under callgrind, e.g.
//   valgrind --tool=callgrind sine_bench --benchmark_filter='vibrato' --benchmark_min_time=0.01
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "sine.hpp"

namespace {

struct Range {
    const char* name;
    double low, high;
};

// Filter coefficients, vibrato, FM phases (never wrapped), and the series' own range.
constexpr Range ranges[] = {
    {"filter", 0.0, 1.42}, {"vibrato", 1.42, 4e4}, {"fm", 4e4, 0x1p28}, {"small", 0x1p-26, 0x1p-6}};

std::vector<double> arguments(const Range& range) {
    std::vector<double> x(4096);
    std::uint64_t state = 12345;
    for (double& value : x) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double unit = static_cast<double>(state >> 11U) * 0x1p-53;
        value = range.low + (range.high - range.low) * unit;
    }
    return x;
}

template <bool kOurs>
void sine(benchmark::State& state) {
    const Range& range = ranges[state.range(0)];
    state.SetLabel(range.name);
    const std::vector<double> x = arguments(range);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double value : x) {
            sum += kOurs ? bleepforge::voice::nearest_sine(value) : std::sin(value);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(sine<true>)->Name("nearest_sine")->DenseRange(0, 3);
BENCHMARK(sine<false>)->Name("library_sine")->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
