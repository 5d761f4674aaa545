// The Game Boy model against libgme playing the GBS of the same frames: half a second at 44100 Hz,
// each render from the start (our render's set-up, libgme's opening of the file), of a busy effect
// (pulse 1 with a new period and volume every frame, the noise at a fast and at a slow clock) and of
// presets made hardware. The counter x_real_time is the audio rendered a second of work.

#include <benchmark/benchmark.h>
#include <gme/gme.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bleepforge/gameboy.hpp"
#include "bleepforge/gbs.hpp"
#include "bleepforge/synth.hpp"
#include "gb_sounds.hpp"

namespace {

using namespace bleepforge;

constexpr std::int32_t rate = 44100;
constexpr std::size_t samples = 22050;  // 0.5 s
constexpr int frames = 30;              // 0.5 s of DMG frames, then silence
constexpr int noise_clocks[] = {0x00, 0x31, 0x77};
constexpr const char* noise_names[] = {"NR43 $00 (524288 Hz)", "NR43 $31 (32768 Hz)", "NR43 $77 (1024 Hz)"};

std::string gbs_of(const std::vector<FrameWrites>& writes) {
    const Frames song{HardwareModel::gameboy, writes};
    return gbs_file(std::span(&song, 1), "busy").bytes;
}

void model(std::vector<float>& out, const std::vector<FrameWrites>& writes) {
    std::optional<GbRender> render = GbRender::start(writes, rate, samples);
    (void)render->render(out);
}

void libgme(std::vector<short>& out, const std::string& gbs) {
    Music_Emu* emu = nullptr;
    if (gme_open_data(gbs.data(), static_cast<long>(gbs.size()), &emu, rate) != nullptr) {
        std::abort();
    }
    gme_ignore_silence(emu, 1);
    (void)gme_start_track(emu, 0);
    (void)gme_play(emu, static_cast<int>(out.size()), out.data());
    gme_delete(emu);
}

void set_counters(benchmark::State& state, const std::string& label) {
    state.counters["x_real_time"] =
        benchmark::Counter(0.5 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(label);
}

void gb_model(benchmark::State& state) {
    const auto writes = testing_support::gb_busy_frames(frames, noise_clocks[state.range(0)]);
    std::vector<float> out(samples);
    for (auto _ : state) {
        model(out, writes);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, std::string("noise ") + noise_names[state.range(0)]);
}
BENCHMARK(gb_model)->DenseRange(0, 2);

void gb_libgme(benchmark::State& state) {
    const std::string gbs = gbs_of(testing_support::gb_busy_frames(frames, noise_clocks[state.range(0)]));
    std::vector<short> out(2 * samples);  // stereo
    for (auto _ : state) {
        libgme(out, gbs);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, std::string("noise ") + noise_names[state.range(0)]);
}
BENCHMARK(gb_libgme)->DenseRange(0, 2);

constexpr SfxPreset sound_presets[] = {SfxPreset::coin, SfxPreset::explosion, SfxPreset::powerup};
constexpr const char* sound_names[] = {"coin", "explosion", "powerup"};

std::vector<FrameWrites> sound_frames(std::int64_t which) {
    SfxPatch patch = make_patch(sound_presets[which], ChipType::gameboy);
    patch.hardware = true;
    return hardware_frames(patch, 0.5).frames;
}

void gb_sound_model(benchmark::State& state) {
    const std::vector<FrameWrites> writes = sound_frames(state.range(0));
    std::vector<float> out(samples);
    for (auto _ : state) {
        model(out, writes);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, std::string("the ") + sound_names[state.range(0)] + " preset made hardware");
}
BENCHMARK(gb_sound_model)->DenseRange(0, 2);

void gb_sound_libgme(benchmark::State& state) {
    const std::string gbs = gbs_of(sound_frames(state.range(0)));
    std::vector<short> out(2 * samples);
    for (auto _ : state) {
        libgme(out, gbs);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, std::string("the ") + sound_names[state.range(0)] + " preset made hardware");
}
BENCHMARK(gb_sound_libgme)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
