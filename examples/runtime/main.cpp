// Renders a sound effect while the game runs, at the game's own length and rate.
#include <algorithm>
#include <bleepforge/bleepforge.hpp>
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "coin_sid.wav";
    const bleepforge::SfxPatch patch =
        bleepforge::make_patch(bleepforge::parse_preset("coin"), bleepforge::parse_chip("sid"));
    const bleepforge::SampleBuffer samples = bleepforge::render_sfx(patch, 0.25, 22050);

    float peak = 0.0f;
    for (const float sample : samples) {
        peak = std::max(peak, std::fabs(sample));
    }
    std::printf("%zu samples at 22050 Hz, peak %.4f\n", samples.size(), static_cast<double>(peak));

    if (!bleepforge::write_wav(path, samples, 22050)) {
        std::fprintf(stderr, "could not write %s\n", path);
        return 1;
    }
    std::printf("wrote %s\n", path);
    return 0;
}
