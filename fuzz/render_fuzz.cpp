// The renderer with arbitrary patches: the exact count, every sample finite in [-1, 1], and the
// same bits as the plain reference renderer.
#include <bit>
#include <cmath>

#include "bleepforge/bleepforge.hpp"
#include "fuzz_support.hpp"
#include "reference.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bleepforge;
    fuzzing::ByteReader in{data, size};
    SfxPatch p{};
    p.chip = static_cast<ChipType>(in.take<std::int32_t>());
    for (double* field : {&p.base_freq, &p.freq_slide, &p.duty, &p.attack, &p.decay, &p.sustain_time,
                          &p.release, &p.sustain_level, &p.filter_cutoff, &p.noise, &p.fm_ratio, &p.fm_index,
                          &p.vibrato_depth, &p.vibrato_rate}) {
        *field = in.take<double>();
    }
    const double duration_s = 0.02 * (in.take<std::uint16_t>() / 65535.0);
    const std::int32_t rate_hz = 1 + static_cast<std::int32_t>(in.take<std::uint32_t>() % 384000);

    const SampleBuffer samples = render_sfx(p, duration_s, rate_hz);
    const double product = duration_s * rate_hz;
    const std::uint64_t expected = product >= 1.0 ? static_cast<std::uint64_t>(product) : 0;
    FUZZ_CHECK(samples.size() == expected);
    const SampleBuffer reference = render_sfx_reference(p, duration_s, rate_hz);
    FUZZ_CHECK(reference.size() == samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        FUZZ_CHECK(std::isfinite(samples[i]) && samples[i] >= -1.0f && samples[i] <= 1.0f);
        FUZZ_CHECK(std::bit_cast<std::uint32_t>(samples[i]) == std::bit_cast<std::uint32_t>(reference[i]));
    }
    return 0;
}
