// The NES model against libgme playing the NSF of the same frames: half a second at 44100 Hz of a busy
// sound (pulse 1 with a new pitch and volume every frame, the noise at a short period), each render
// from the start (our render's set-up, libgme's opening of the file). The counter x_real_time is the
// audio rendered a second of work. With --once model|libgme PERIOD it renders once and exits, for
// callgrind (bench/nes_callgrind.sh).

#include <benchmark/benchmark.h>
#include <gme/gme.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bleepforge/nes.hpp"
#include "bleepforge/nsf.hpp"
#include "bleepforge/synth.hpp"
#include "nes_sounds.hpp"

namespace {

using namespace bleepforge;

constexpr std::int32_t rate = 44100;
constexpr std::size_t samples = 22050;  // 0.5 s
constexpr int frames = 31;              // 0.5 s of NTSC frames, then silence
constexpr const char* period_names[] = {"0 (4 cycles)", "3 (32 cycles)", "8 (202 cycles)"};
constexpr int periods[] = {0, 3, 8};

std::string nsf_of(const std::vector<FrameWrites>& writes) {
    const Frames song{HardwareModel::nes, writes};
    return nsf_file(std::span(&song, 1), "busy").bytes;
}

// Not inlined, so callgrind can count inside it alone.
[[gnu::noinline]] void model(std::vector<float>& out, const std::vector<FrameWrites>& writes) {
    std::optional<NesRender> render = NesRender::start(writes, rate, samples);
    (void)render->render(out);
}

[[gnu::noinline]] void libgme(std::vector<short>& out, const std::string& nsf) {
    Music_Emu* emu = nullptr;
    if (gme_open_data(nsf.data(), static_cast<long>(nsf.size()), &emu, rate) != nullptr) {
        std::abort();
    }
    gme_ignore_silence(emu, 1);
    (void)gme_start_track(emu, 0);
    (void)gme_play(emu, static_cast<int>(out.size()), out.data());
    gme_delete(emu);
}

void set_counters(benchmark::State& state) {
    state.counters["x_real_time"] =
        benchmark::Counter(0.5 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(std::string("noise period ") + period_names[state.range(0)]);
}

void nes_model(benchmark::State& state) {
    const std::vector<FrameWrites> writes = testing_support::busy_frames(frames, periods[state.range(0)]);
    std::vector<float> out(samples);
    for (auto _ : state) {
        model(out, writes);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state);
}
BENCHMARK(nes_model)->DenseRange(0, 2);

void nes_libgme(benchmark::State& state) {
    const std::string nsf = nsf_of(testing_support::busy_frames(frames, periods[state.range(0)]));
    std::vector<short> out(2 * samples);  // stereo
    for (auto _ : state) {
        libgme(out, nsf);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state);
}
BENCHMARK(nes_libgme)->DenseRange(0, 2);

// Sounds as a game has them: presets made hardware, half a second of their frames.
constexpr SfxPreset sound_presets[] = {SfxPreset::coin, SfxPreset::explosion, SfxPreset::powerup};
constexpr const char* sound_names[] = {"coin", "explosion", "powerup"};

std::vector<FrameWrites> sound_frames(std::int64_t which) {
    SfxPatch patch = make_patch(sound_presets[which], ChipType::nes);
    patch.hardware = true;
    return hardware_frames(patch, 0.5).frames;
}

void nes_sound_model(benchmark::State& state) {
    const std::vector<FrameWrites> writes = sound_frames(state.range(0));
    std::vector<float> out(samples);
    for (auto _ : state) {
        model(out, writes);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state);
    state.SetLabel(std::string("the ") + sound_names[state.range(0)] + " preset made hardware");
}
BENCHMARK(nes_sound_model)->DenseRange(0, 2);

void nes_sound_libgme(benchmark::State& state) {
    const std::string nsf = nsf_of(sound_frames(state.range(0)));
    std::vector<short> out(2 * samples);
    for (auto _ : state) {
        libgme(out, nsf);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state);
    state.SetLabel(std::string("the ") + sound_names[state.range(0)] + " preset made hardware");
}
BENCHMARK(nes_sound_libgme)->DenseRange(0, 2);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--once") {
        const std::vector<FrameWrites> writes = testing_support::busy_frames(frames, std::atoi(argv[3]));
        if (std::string(argv[2]) == "model") {
            std::vector<float> out(samples);
            model(out, writes);
            std::printf("%g\n", static_cast<double>(out[samples / 2]));
        } else {
            std::vector<short> out(2 * samples);
            libgme(out, nsf_of(writes));
            std::printf("%d\n", out[samples]);
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
