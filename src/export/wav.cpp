#include <algorithm>
#include <cstddef>

#include "bleepforge/export.hpp"
#include "file_sink.hpp"
#include "pcm.hpp"

namespace bleepforge {
namespace {

// The largest count for which the RIFF size 36 + 2 * N fits the format's 32-bit field.
constexpr std::size_t max_wav_samples = 2147483629;
constexpr std::size_t wav_header_size = 44;

// Little-endian whatever the host, so the file is the same everywhere.
char* put_u16(char* out, std::uint32_t value) {
    out[0] = static_cast<char>(value & 0xFFU);
    out[1] = static_cast<char>((value >> 8U) & 0xFFU);
    return out + 2;
}

char* put_u32(char* out, std::uint32_t value) {
    out = put_u16(out, value & 0xFFFFU);
    return put_u16(out, value >> 16U);
}

char* put_tag(char* out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        *out++ = tag[i];
    }
    return out;
}

char* put_header(char* out, std::size_t sample_count, std::int32_t rate_hz) {
    const auto data_size = static_cast<std::uint32_t>(2 * sample_count);
    // Two's complement wrap, as a 32-bit field holds a negative rate.
    const auto rate = static_cast<std::uint32_t>(rate_hz);
    out = put_tag(out, "RIFF");
    out = put_u32(out, 36U + data_size);
    out = put_tag(out, "WAVE");
    out = put_tag(out, "fmt ");
    out = put_u32(out, 16);  // format chunk size
    out = put_u16(out, 1);   // integer PCM
    out = put_u16(out, 1);   // mono
    out = put_u32(out, rate);
    out = put_u32(out, 2U * rate);  // byte rate
    out = put_u16(out, 2);          // block align
    out = put_u16(out, 16);         // bits per sample
    out = put_tag(out, "data");
    return put_u32(out, data_size);
}

}  // namespace

bool write_wav(const std::string& path, const SampleBuffer& samples, std::int32_t rate_hz) {
    if (samples.size() > max_wav_samples) {
        return false;  // the sizes would not fit their fields; a corrupt header helps no one
    }
    FileSink sink(path);
    if (!sink.is_open()) {
        return false;
    }
    sink.commit(put_header(sink.reserve(wav_header_size), samples.size(), rate_hz));
    constexpr std::size_t samples_per_chunk = FileSink::chunk_size / 2;
    for (std::size_t start = 0; start < samples.size(); start += samples_per_chunk) {
        const std::size_t end = std::min(samples.size(), start + samples_per_chunk);
        char* out = sink.reserve(2 * (end - start));
        for (std::size_t i = start; i < end; ++i) {
            out = put_u16(out, static_cast<std::uint16_t>(pcm::from_float(samples[i])));
        }
        sink.commit(out);
    }
    return sink.finish();
}

}  // namespace bleepforge
