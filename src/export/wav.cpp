#include "bleepforge/export.hpp"
#include "encode.hpp"
#include "file_sink.hpp"

namespace bleepforge {

static_assert(2 * encode::wav_samples_per_step <= FileSink::chunk_size &&
                  4 * (encode::wav_samples_per_step / 2) <= FileSink::chunk_size,
              "a step must fit one chunk of the file, in every format");

bool write_wav(const std::string& path, std::span<const float> samples, std::int32_t rate_hz) {
    return write_wav(path, samples, rate_hz, WavFormat::s16);
}

std::optional<std::string> wav_bytes(std::span<const float> samples, std::int32_t rate_hz) {
    return wav_bytes(samples, rate_hz, WavFormat::s16);
}

bool write_wav(const std::string& path, std::span<const float> samples, std::int32_t rate_hz,
               WavFormat format) {
    if (samples.size() > encode::max_samples_of(format)) {
        return false;  // the sizes would not fit their fields; a corrupt header helps no one
    }
    FileSink sink(path);
    if (!sink.is_open()) {
        return false;
    }
    encode::wav(sink, samples, rate_hz, format);
    return sink.finish();
}

std::optional<std::string> wav_bytes(std::span<const float> samples, std::int32_t rate_hz, WavFormat format) {
    if (samples.size() > encode::max_samples_of(format)) {
        return std::nullopt;
    }
    encode::StringSink sink(encode::wav_size_of(format, samples.size()));
    encode::wav(sink, samples, rate_hz, format);
    return std::move(sink).finish();
}

}  // namespace bleepforge
