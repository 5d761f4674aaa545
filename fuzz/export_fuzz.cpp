// The exporters with arbitrary small buffers: the WAV file parses back to its sizes and the values
// float_to_pcm16 gives, and the header's numbers parse back to the same values.
#include <charconv>
#include <string>
#include <string_view>

#include "bleepforge/bleepforge.hpp"
#include "fuzz_support.hpp"

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8U) | b[at + i];
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bleepforge;
    fuzzing::ByteReader in{data, size};
    const std::int32_t rate_hz = in.take<std::int32_t>();
    SampleBuffer samples;
    while (!in.empty() && samples.size() < 4096) {
        samples.push_back(in.take<float>());
    }
    const std::string wav_path = fuzzing::scratch_dir() + "/out.wav";
    const std::string header_path = fuzzing::scratch_dir() + "/out.h";

    FUZZ_CHECK(write_wav(wav_path, samples, rate_hz));
    const std::vector<std::uint8_t> wav = fuzzing::read_all(wav_path);
    const std::size_t n = samples.size();
    FUZZ_CHECK(wav.size() == 44 + 2 * n);
    FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(wav.data()), 4) == "RIFF");
    FUZZ_CHECK(le32(wav, 4) == 36 + 2 * n);
    FUZZ_CHECK(le32(wav, 24) == static_cast<std::uint32_t>(rate_hz));
    FUZZ_CHECK(le32(wav, 40) == 2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto value =
            static_cast<std::int16_t>(static_cast<std::uint16_t>(wav[44 + 2 * i] | (wav[45 + 2 * i] << 8U)));
        FUZZ_CHECK(value == float_to_pcm16(samples[i]));
        FUZZ_CHECK(value != -32768);
    }

    FUZZ_CHECK(write_c_header(header_path, samples, "chiptune_sfx", rate_hz));
    const std::vector<std::uint8_t> bytes = fuzzing::read_all(header_path);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t open = text.find("] = {\r\n");
    const std::size_t close = text.find("};\r\n");
    FUZZ_CHECK(open != std::string::npos && close != std::string::npos);
    const char* cursor = text.data() + open + 7;
    const char* end = text.data() + close;
    std::size_t parsed = 0;
    while (cursor < end) {
        if (*cursor == ',' || *cursor == ' ' || *cursor == '\r' || *cursor == '\n') {
            ++cursor;
            continue;
        }
        int value = 0;
        const auto result = std::from_chars(cursor, end, value);
        FUZZ_CHECK(result.ec == std::errc());
        // No header holds a zero-size array: no samples are written as a single 0.
        FUZZ_CHECK(n == 0 ? parsed == 0 && value == 0 : parsed < n && value == float_to_pcm16(samples[parsed]));
        ++parsed;
        cursor = result.ptr;
    }
    FUZZ_CHECK(parsed == (n == 0 ? 1 : n));
    return 0;
}
