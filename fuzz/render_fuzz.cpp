// The renderer with arbitrary patches: the exact count, every sample finite in [-1, 1], the same
// bits as the plain reference renderer, the same bits again from a voice rendered in pieces whose
// sizes the input chooses, and a low-pass that never grows without limit (which would end the render
// in a run of zeros, the NaN clipped, while the envelope still sounds).
#include <algorithm>
#include <bit>
#include <cmath>

#include "bleepforge/bleepforge.hpp"
#include "fuzz_support.hpp"
#include "reference.hpp"
#include "units.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bleepforge;
    fuzzing::ByteReader in{data, size};
    SfxPatch p{};
    p.chip = static_cast<ChipType>(in.take<std::int32_t>());
    for (const SoundField& field : sound_fields()) {
        if (field.member != nullptr) {
            p.*field.member = in.take<double>();
        }
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

    // The low-pass as the render drives it, fed the input that excites it most, the highest frequency
    // there is: bounded, it stays bounded.
    if (filter_is_on(p)) {
        const auto rate = static_cast<double>(rate_hz);
        voice::PitchStages tone(p, rate);
        voice::LowPass lowpass(p, rate);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double freq_hz =
                tone.step({i, static_cast<double>(i), static_cast<double>(i) / rate}).freq_hz;
            const float out =
                lowpass.step((i & 1U) != 0 ? 1.0f : -1.0f, freq_hz, static_cast<double>(i) / rate);
            FUZZ_CHECK(std::isfinite(out) && std::fabs(out) < 1000.0f);
        }
    }

    // The rest of the input picks the pieces' sizes, 1 to 511 each; past its end they are 256. Every
    // span offered may be longer than what is left, and nothing past the end may be written.
    Voice voice = start_voice(p, duration_s, rate_hz);
    SampleBuffer pieces(samples.size() + 512, 2.0f);
    std::size_t done = 0;
    for (;;) {
        const std::size_t want = in.empty() ? 256 : 1 + in.take<std::uint8_t>() * 2U;
        const std::size_t written = render_voice(voice, std::span<float>(pieces).subspan(done, want));
        FUZZ_CHECK(written == std::min(want, samples.size() - done));
        if (written == 0) {
            break;
        }
        done += written;
    }
    FUZZ_CHECK(done == samples.size() && samples_left(voice) == 0);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const float expected_sample = i < samples.size() ? samples[i] : 2.0f;
        FUZZ_CHECK(std::bit_cast<std::uint32_t>(pieces[i]) == std::bit_cast<std::uint32_t>(expected_sample));
    }
    return 0;
}
