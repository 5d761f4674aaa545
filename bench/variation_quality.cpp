// How finished random and mutated sounds are, over 100 seeds of every family on every chip: the
// largest |mean| (DC, as a share of full scale), the largest share of samples at full scale, and
// the loudest of the last millisecond (how the sound ends). Goals: below 0.02, at most 0.1 %, and
// silence. A measurement, printed by the bench workflow; the tests hold a few seeds to the goals.
#include <algorithm>
#include <bleepforge/bleepforge.hpp>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using namespace bleepforge;

struct Worst {
    double mean = 0.0;
    double full_scale = 0.0;
    double tail = 0.0;
};

void measure(const Sound& sound, Worst& worst) {
    const SampleBuffer samples = render_sound(sound, 44100);
    double sum = 0.0;
    std::size_t full = 0;
    for (const float v : samples) {
        sum += static_cast<double>(v);
        full += std::fabs(v) >= 1.0f;
    }
    double tail = 0.0;
    for (std::size_t i = samples.size() - std::min<std::size_t>(samples.size(), 44); i < samples.size();
         ++i) {
        tail = std::max(tail, static_cast<double>(std::fabs(samples[i])));
    }
    worst.mean = std::max(worst.mean, std::fabs(sum / static_cast<double>(samples.size())));
    worst.full_scale =
        std::max(worst.full_scale, static_cast<double>(full) / static_cast<double>(samples.size()));
    worst.tail = std::max(worst.tail, tail);
}

}  // namespace

int main() {
    std::printf("%-10s %30s %30s %30s\n", "family", "random: |mean|, full, end",
                "mutated 0.5: |mean|, full, end", "preset mutated: |mean|, full, end");
    for (std::size_t family = 0; family < preset_words.size(); ++family) {
        Worst random, mutated, preset;
        for (std::size_t chip = 0; chip < chip_words.size(); ++chip) {
            for (std::uint64_t seed = 0; seed < 100; ++seed) {
                const auto f = static_cast<SfxPreset>(family);
                const auto c = static_cast<ChipType>(chip);
                const Sound sound = random_sound(f, c, seed);
                measure(sound, random);
                measure(mutate_sound(sound, 0.5, seed + 1000), mutated);
                measure(mutate_sound(make_sound(f, c), seed % 2 == 0 ? 0.2 : 1.0, seed), preset);
            }
        }
        auto row = [](const Worst& w) {
            static char text[64];
            std::snprintf(text, sizeof text, "%.4f, %.3f %%, %.4f", w.mean, 100.0 * w.full_scale, w.tail);
            return std::string(text);
        };
        std::printf("%-10s %30s %30s %30s\n", preset_words[family].data(), row(random).c_str(),
                    row(mutated).c_str(), row(preset).c_str());
    }
    // Made for the hardware: each console's model renders them.
    for (const ChipType console : {ChipType::nes, ChipType::gameboy}) {
        std::printf("\n%-10s %30s %30s\n", (std::string(chip_words[static_cast<std::size_t>(console)]) + " hw").c_str(),
                    "random: |mean|, full, end", "mutated 0.5: |mean|, full, end");
        for (std::size_t family = 0; family < preset_words.size(); ++family) {
            Worst random, mutated;
            for (std::uint64_t seed = 0; seed < 100; ++seed) {
                const Sound sound = random_sound(static_cast<SfxPreset>(family), console, seed, true);
                measure(sound, random);
                measure(mutate_sound(sound, 0.5, seed + 1000), mutated);
            }
            auto row = [](const Worst& w) {
                static char text[64];
                std::snprintf(text, sizeof text, "%.4f, %.3f %%, %.4f", w.mean, 100.0 * w.full_scale, w.tail);
                return std::string(text);
            };
            std::printf("%-10s %30s %30s\n", preset_words[family].data(), row(random).c_str(), row(mutated).c_str());
        }
    }
    return 0;
}
