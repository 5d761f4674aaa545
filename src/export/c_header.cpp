#include <vector>

#include "bleepforge/export.hpp"
#include "encode.hpp"
#include "file_sink.hpp"

namespace bleepforge {

bool write_c_header(const std::string& path, std::span<const float> samples, std::string_view prefix,
                    std::int32_t rate_hz) {
    FileSink sink(path);
    if (!sink.is_open()) {
        return false;
    }
    encode::c_header(sink, samples, prefix, rate_hz);
    return sink.finish();
}

std::string c_header_text(std::span<const float> samples, std::string_view prefix, std::int32_t rate_hz) {
    // About seven bytes a value, plus the fixed lines.
    encode::StringSink sink(400 + 4 * prefix.size() + 7 * samples.size());
    encode::c_header(sink, samples, prefix, rate_hz);
    return std::move(sink).finish();
}

std::string bank_header_text(std::span<const NamedSamples> sounds, std::string_view prefix,
                             std::int32_t rate_hz) {
    std::vector<encode::NamedRun> runs;
    std::size_t values = 0;
    for (const NamedSamples& sound : sounds) {
        runs.push_back({sound.name, sound.samples});
        values += sound.samples.size();
    }
    encode::StringSink sink(600 + 80 * sounds.size() * (prefix.size() + 16) + 7 * values);
    encode::bank_header(sink, runs, prefix, rate_hz);
    return std::move(sink).finish();
}

}  // namespace bleepforge
