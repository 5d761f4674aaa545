#include <charconv>
#include <string_view>

#include "bleepforge/export.hpp"
#include "file_sink.hpp"
#include "pcm.hpp"

namespace bleepforge {
namespace {

// CR LF everywhere, so a header is byte-identical whichever platform wrote it.
constexpr std::string_view eol = "\r\n";
constexpr std::size_t values_per_line = 12;
// The longest value "-32767, " plus a line end.
constexpr std::size_t max_value_text = 10;

template <typename Integer>
void append_number(FileSink& sink, Integer value) {
    char* out = sink.reserve(24);
    sink.commit(std::to_chars(out, out + 24, value).ptr);
}

}  // namespace

bool write_c_header(const std::string& path, const SampleBuffer& samples, std::string_view prefix,
                    std::int32_t rate_hz) {
    FileSink sink(path);
    if (!sink.is_open()) {
        return false;
    }
    const auto count = static_cast<std::uint64_t>(samples.size());

    sink.append("// Bleepforge DAW \xE2\x80\x94 Exported C/C++ PCM Sound Wave\r\n");
    sink.append("// Sample Rate: ");
    append_number(sink, rate_hz);
    sink.append(" Hz, Mono 16-bit\r\n// Total Samples: ");
    append_number(sink, count);
    sink.append("\r\n\r\n#ifndef ");
    sink.append(prefix);
    sink.append("_H\r\n#define ");
    sink.append(prefix);
    sink.append("_H\r\n\r\n#include <stdint.h>\r\n\r\nstatic const int ");
    sink.append(prefix);
    sink.append("_sample_rate = ");
    append_number(sink, rate_hz);
    sink.append(";\r\nstatic const int ");
    sink.append(prefix);
    sink.append("_num_samples = ");
    append_number(sink, count);
    sink.append(";\r\nstatic const int16_t ");
    sink.append(prefix);
    sink.append("_pcm[");
    append_number(sink, count);
    sink.append("] = {\r\n");

    std::size_t on_line = 0;
    for (const float sample : samples) {
        char* out = sink.reserve(max_value_text);
        out = std::to_chars(out, out + max_value_text, pcm::from_float(sample)).ptr;
        *out++ = ',';
        *out++ = ' ';
        if (++on_line == values_per_line) {
            *out++ = eol[0];
            *out++ = eol[1];
            on_line = 0;
        }
        sink.commit(out);
    }

    sink.append("\r\n};\r\n\r\n#endif // ");
    sink.append(prefix);
    sink.append("_H\r\n");
    return sink.finish();
}

}  // namespace bleepforge
