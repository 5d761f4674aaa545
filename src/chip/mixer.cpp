#include "mixer.hpp"

namespace bleepforge::nes {

double pulse_mix(int pulse1, int pulse2) {
    const int n = pulse1 + pulse2;
    return n == 0 ? 0.0 : 95.88 / (8128.0 / n + 100.0);
}

double tnd_mix(int triangle, int noise, int dmc) {
    if (triangle == 0 && noise == 0 && dmc == 0) {
        return 0.0;
    }
    const double sum = triangle / 8227.0 + noise / 12241.0 + dmc / 22638.0;
    return 159.79 / (1.0 / sum + 100.0);
}

double tnd_level(std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc) {
    if (triangle != triangle_mean) {
        return tnd_mix(triangle, noise, dmc);
    }
    double sum = 0.0;
    for (const std::uint8_t step : triangle_steps) {
        sum += tnd_mix(step, noise, dmc);
    }
    return sum / 32.0;
}

double linear_pulse_level(int pulse1, int pulse2) {
    return 0.00752 * (pulse1 + pulse2);
}

double linear_tnd_level(std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc) {
    const double t = triangle == triangle_mean ? 7.5 : triangle;
    return 0.00851 * t + 0.00494 * noise + 0.00335 * dmc;
}

}  // namespace bleepforge::nes
