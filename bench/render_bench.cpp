#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bleepforge/bleepforge.hpp"

namespace {

using namespace bleepforge;

constexpr const char* preset_words[] = {"laser",   "jump", "explosion", "coin",
                                        "powerup", "hit",  "blip",      "game_over"};
constexpr const char* chip_words[] = {"nes", "sid", "gameboy", "ym2612"};

void render(benchmark::State& state) {
    const auto preset = static_cast<SfxPreset>(state.range(0));
    const auto chip = static_cast<ChipType>(state.range(1));
    state.SetLabel(std::string(preset_words[state.range(0)]) + "/" + chip_words[state.range(1)]);
    const SfxPatch patch = make_patch(preset, chip);
    for (auto _ : state) {
        SampleBuffer samples = render_sfx(patch, 0.5, 44100);
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 22050.0, benchmark::Counter::kIsRate);
}
BENCHMARK(render)->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), benchmark::CreateDenseRange(0, 3, 1)});

// The same sound pulled as an audio callback pulls it: 256 samples at a time into one small buffer.
void render_pieces(benchmark::State& state) {
    const auto preset = static_cast<SfxPreset>(state.range(0));
    const auto chip = static_cast<ChipType>(state.range(1));
    state.SetLabel(std::string(preset_words[state.range(0)]) + "/" + chip_words[state.range(1)]);
    const SfxPatch patch = make_patch(preset, chip);
    std::array<float, 256> piece{};
    for (auto _ : state) {
        Voice voice = start_voice(patch, 0.5, 44100);
        while (render_voice(voice, piece) > 0) {
            benchmark::DoNotOptimize(piece.data());
        }
    }
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 22050.0, benchmark::Counter::kIsRate);
}
BENCHMARK(render_pieces)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), benchmark::CreateDenseRange(0, 3, 1)});

// A sound that uses every stage of format 2 at once, on each chip: the slowest path there is.
void render_every_stage(benchmark::State& state) {
    const auto chip = static_cast<ChipType>(state.range(0));
    state.SetLabel(std::string("every stage/") + chip_words[state.range(0)]);
    SfxPatch p = make_patch(SfxPreset::coin, chip);
    p.freq_slide_accel = 2000.0;
    p.jump1_semitones = 7.0;
    p.jump1_time = 0.05;
    p.jump2_semitones = 5.0;
    p.jump2_time = 0.1;
    p.repeat_rate = 8.0;
    p.vibrato_depth = 10.0;
    p.duty_sweep = -0.5;
    p.punch = 0.4;
    p.filter_cutoff = 0.6;
    p.filter_sweep = 0.5;
    p.highpass_cutoff = 30.0;
    p.highpass_sweep = 200.0;
    p.tremolo_depth = 0.3;
    p.phaser_offset = 0.002;
    p.phaser_sweep = 0.004;
    p.downsample_rate = 11025.0;
    p.bitcrush_bits = 8.0;
    p.gain = 0.8;
    for (auto _ : state) {
        SampleBuffer samples = render_sfx(p, 0.5, 44100);
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 22050.0, benchmark::Counter::kIsRate);
}
BENCHMARK(render_every_stage)->DenseRange(0, 3, 1);

SampleBuffer typical_buffer() {
    return render_sfx(make_patch(SfxPreset::explosion, ChipType::sid), 0.5, 44100);
}

void convert(benchmark::State& state) {
    const SampleBuffer samples = typical_buffer();
    for (auto _ : state) {
        int sum = 0;
        for (const float s : samples) {
            sum += float_to_pcm16(s);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(samples.size() * sizeof(float)));
}
BENCHMARK(convert);

std::string scratch_path(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

void wav_file(benchmark::State& state) {
    const SampleBuffer samples = typical_buffer();
    const std::string path = scratch_path("bleepforge_bench.wav");
    for (auto _ : state) {
        if (!write_wav(path, samples, 44100)) {
            state.SkipWithError("write_wav failed");
        }
        state.PauseTiming();
        std::filesystem::remove(path);  // each export creates its file, as a first run does
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(44 + 2 * samples.size()));
}
BENCHMARK(wav_file);

void header_file(benchmark::State& state) {
    const SampleBuffer samples = typical_buffer();
    const std::string path = scratch_path("bleepforge_bench.h");
    for (auto _ : state) {
        if (!write_c_header(path, samples, "chiptune_sfx", 44100)) {
            state.SkipWithError("write_c_header failed");
        }
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
    if (!write_c_header(path, samples, "chiptune_sfx", 44100)) {
        return;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(header_file);

}  // namespace

BENCHMARK_MAIN();
