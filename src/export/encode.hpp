#pragma once

// The two file formats, written into any sink with the FileSink interface (reserve, commit,
// append, finish), so a file on disk and a string in memory hold the same bytes.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "bleepforge/export.hpp"
#include "bleepforge/synth.hpp"
#include "pcm.hpp"

namespace bleepforge::encode {

// The largest count for which the RIFF size 36 + 2 * N fits the format's 32-bit field.
inline constexpr std::size_t max_wav_samples = 2147483629;
inline constexpr std::size_t wav_header_size = 44;
// Samples converted per reserve(): 8 KiB of output, one whole chunk of a file sink.
inline constexpr std::size_t wav_samples_per_step = 4096;

// Little-endian whatever the host, so the file is the same everywhere.
inline char* put_u16(char* out, std::uint32_t value) {
    out[0] = static_cast<char>(value & 0xFFU);
    out[1] = static_cast<char>((value >> 8U) & 0xFFU);
    return out + 2;
}

inline char* put_u32(char* out, std::uint32_t value) {
    out = put_u16(out, value & 0xFFFFU);
    return put_u16(out, value >> 16U);
}

inline char* put_tag(char* out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        *out++ = tag[i];
    }
    return out;
}

// The format chunk of a mono file: its size (16, or 18 with the extension's size after it), the
// format tag and the bytes of one sample.
inline constexpr std::uint32_t format_integer_pcm = 1;
inline constexpr std::uint32_t format_ieee_float = 3;
inline char* put_mono_format(char* out, std::uint32_t chunk_size, std::uint32_t tag, std::uint32_t rate,
                             std::uint32_t sample_bytes) {
    out = put_tag(out, "fmt ");
    out = put_u32(out, chunk_size);
    out = put_u16(out, tag);
    out = put_u16(out, 1);  // mono
    out = put_u32(out, rate);
    out = put_u32(out, sample_bytes * rate);  // byte rate
    out = put_u16(out, sample_bytes);         // block align
    return put_u16(out, 8 * sample_bytes);    // bits per sample
}

// An integer PCM file of one or two bytes a sample: the 44-byte layout, and a pad byte after odd
// data (8-bit only), as RIFF aligns every chunk to two bytes.
inline constexpr std::size_t max_wav8_samples = 4294967258;
inline char* put_wav_header(char* out, std::size_t sample_count, std::int32_t rate_hz,
                            std::uint32_t sample_bytes = 2) {
    const auto data_size = static_cast<std::uint32_t>(sample_bytes * sample_count);
    // Two's complement wrap, as a 32-bit field holds a negative rate.
    const auto rate = static_cast<std::uint32_t>(rate_hz);
    out = put_tag(out, "RIFF");
    out = put_u32(out, 36U + data_size + (data_size & 1U));
    out = put_tag(out, "WAVE");
    out = put_mono_format(out, 16, format_integer_pcm, rate, sample_bytes);
    out = put_tag(out, "data");
    return put_u32(out, data_size);
}

// The float file: format tag 3 (IEEE float) in an 18-byte format chunk, then the fact chunk that
// every format but integer PCM carries (the count of samples), then the data.
inline constexpr std::size_t wav_float_header_size = 58;
inline constexpr std::size_t max_wav_float_samples = 1073741811;
inline char* put_wav_float_header(char* out, std::size_t sample_count, std::int32_t rate_hz) {
    const auto count = static_cast<std::uint32_t>(sample_count);
    const auto rate = static_cast<std::uint32_t>(rate_hz);
    out = put_tag(out, "RIFF");
    out = put_u32(out, 50U + 4U * count);
    out = put_tag(out, "WAVE");
    out = put_mono_format(out, 18, format_ieee_float, rate, 4);
    out = put_u16(out, 0);  // no extension
    out = put_tag(out, "fact");
    out = put_u32(out, 4);
    out = put_u32(out, count);
    out = put_tag(out, "data");
    return put_u32(out, 4U * count);
}

inline std::size_t max_samples_of(WavFormat format) {
    switch (format) {
    case WavFormat::u8:
        return max_wav8_samples;
    case WavFormat::f32:
        return max_wav_float_samples;
    case WavFormat::s16:
        break;
    }
    return max_wav_samples;
}

inline std::size_t wav_size_of(WavFormat format, std::size_t count) {
    switch (format) {
    case WavFormat::u8:
        return wav_header_size + count + (count & 1U);
    case WavFormat::f32:
        return wav_float_header_size + 4 * count;
    case WavFormat::s16:
        break;
    }
    return wav_header_size + 2 * count;
}

// The caller has checked samples.size() <= max_wav_samples.
template <typename Sink>
void wav(Sink& sink, std::span<const float> samples, std::int32_t rate_hz) {
    sink.commit(put_wav_header(sink.reserve(wav_header_size), samples.size(), rate_hz));
    for (std::size_t start = 0; start < samples.size(); start += wav_samples_per_step) {
        const std::size_t end = std::min(samples.size(), start + wav_samples_per_step);
        char* out = sink.reserve(2 * (end - start));
        for (std::size_t i = start; i < end; ++i) {
            out = put_u16(out, static_cast<std::uint16_t>(pcm::from_float(samples[i])));
        }
        sink.commit(out);
    }
}

// The caller has checked samples.size() <= max_samples_of(format).
template <typename Sink>
void wav(Sink& sink, std::span<const float> samples, std::int32_t rate_hz, WavFormat format) {
    if (format == WavFormat::s16) {
        wav(sink, samples, rate_hz);
        return;
    }
    const bool floats = format == WavFormat::f32;
    sink.commit(floats ? put_wav_float_header(sink.reserve(wav_float_header_size), samples.size(), rate_hz)
                       : put_wav_header(sink.reserve(wav_header_size), samples.size(), rate_hz, 1));
    // Four bytes a float: half as many samples a step, so a step still fits one chunk of a file.
    const std::size_t step = floats ? wav_samples_per_step / 2 : wav_samples_per_step;
    for (std::size_t start = 0; start < samples.size(); start += step) {
        const std::size_t end = std::min(samples.size(), start + step);
        char* out = sink.reserve((floats ? 4 : 1) * (end - start));
        for (std::size_t i = start; i < end; ++i) {
            if (floats) {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &samples[i], sizeof bits);  // the float's exact bits, little-endian below
                out = put_u32(out, bits);
            } else {
                *out++ = static_cast<char>(pcm::to_u8(samples[i]));
            }
        }
        sink.commit(out);
    }
    if (!floats && (samples.size() & 1U) != 0) {
        char* out = sink.reserve(1);
        *out++ = 0;
        sink.commit(out);
    }
}

template <typename Sink, typename Integer>
void append_number(Sink& sink, Integer value) {
    char* out = sink.reserve(24);
    sink.commit(std::to_chars(out, out + 24, value).ptr);
}

// An array of no samples is declared with one, 0, so no header holds a zero-size array (which C and
// C++ refuse); its count still says 0.
constexpr float no_sample[1] = {0.0f};
inline std::span<const float> array_values(std::span<const float> samples) {
    return samples.empty() ? std::span<const float>(no_sample) : samples;
}

// The values of one array of a header: each followed by ", ", twelve to a line, CR LF line ends.
template <typename Sink>
void pcm_values(Sink& sink, std::span<const float> samples) {
    constexpr std::size_t values_per_line = 12;
    constexpr std::size_t max_value_text = 10;  // the longest value "-32767, " plus a line end
    std::size_t on_line = 0;
    for (const float sample : samples) {
        char* out = sink.reserve(max_value_text);
        out = std::to_chars(out, out + max_value_text, pcm::from_float(sample)).ptr;
        *out++ = ',';
        *out++ = ' ';
        if (++on_line == values_per_line) {
            *out++ = '\r';
            *out++ = '\n';
            on_line = 0;
        }
        sink.commit(out);
    }
}

// CR LF everywhere, so a header is byte-identical whichever platform wrote it.
// The blank line, include guard, include and sample-rate constant (without its ";") that open
// both kinds of header, and the guard's end that closes them.
template <typename Sink>
void header_opening(Sink& sink, std::string_view prefix, std::int32_t rate_hz) {
    sink.append("\r\n#ifndef ");
    sink.append(prefix);
    sink.append("_H\r\n#define ");
    sink.append(prefix);
    sink.append("_H\r\n\r\n#include <stdint.h>\r\n\r\nstatic const int ");
    sink.append(prefix);
    sink.append("_sample_rate = ");
    append_number(sink, rate_hz);
}

template <typename Sink>
void header_closing(Sink& sink, std::string_view prefix) {
    sink.append("\r\n#endif // ");
    sink.append(prefix);
    sink.append("_H\r\n");
}

template <typename Sink>
void c_header(Sink& sink, std::span<const float> samples, std::string_view prefix, std::int32_t rate_hz) {
    const auto count = static_cast<std::uint64_t>(samples.size());

    sink.append("// Bleepforge DAW \xE2\x80\x94 Exported C/C++ PCM Sound Wave\r\n");
    sink.append("// Sample Rate: ");
    append_number(sink, rate_hz);
    sink.append(" Hz, Mono 16-bit\r\n// Total Samples: ");
    append_number(sink, count);
    sink.append("\r\n");
    header_opening(sink, prefix, rate_hz);
    sink.append(";\r\nstatic const int ");
    sink.append(prefix);
    sink.append("_num_samples = ");
    append_number(sink, count);
    sink.append(";\r\nstatic const int16_t ");
    sink.append(prefix);
    sink.append("_pcm[");
    append_number(sink, static_cast<std::uint64_t>(array_values(samples).size()));
    sink.append("] = {\r\n");

    pcm_values(sink, array_values(samples));

    sink.append("\r\n};\r\n");
    header_closing(sink, prefix);
}

// One sound of a bank's header.
struct NamedRun {
    std::string_view name;
    std::span<const float> samples;
};

// A bank's header: per sound P_NAME_num_samples and the array P_NAME_pcm, an enum P_id of the
// sounds in order with P_count, and the table P_sounds[P_count] of {pcm, num_samples}, whose counts
// are written as numbers so that the table is a constant initializer in C99 too.
template <typename Sink>
void bank_header(Sink& sink, std::span<const NamedRun> sounds, std::string_view prefix,
                 std::int32_t rate_hz) {
    auto symbol = [&](std::string_view name, std::string_view suffix) {
        sink.append(prefix);
        sink.append("_");
        sink.append(name);
        sink.append(suffix);
    };
    sink.append("// Bleepforge sound bank \xE2\x80\x94 ");
    append_number(sink, static_cast<std::uint64_t>(sounds.size()));
    sink.append(" sounds as C/C++ PCM arrays\r\n// Sample Rate: ");
    append_number(sink, rate_hz);
    sink.append(" Hz, Mono 16-bit\r\n");
    header_opening(sink, prefix, rate_hz);
    sink.append(";\r\n\r\nenum ");
    sink.append(prefix);
    sink.append("_id {\r\n");
    for (const NamedRun& sound : sounds) {
        sink.append("    ");
        symbol(sound.name, ",\r\n");
    }
    sink.append("    ");
    sink.append(prefix);
    sink.append("_count\r\n};\r\n");
    for (const NamedRun& sound : sounds) {
        const auto count = static_cast<std::uint64_t>(sound.samples.size());
        sink.append("\r\nstatic const int ");
        symbol(sound.name, "_num_samples = ");
        append_number(sink, count);
        sink.append(";\r\nstatic const int16_t ");
        symbol(sound.name, "_pcm[");
        append_number(sink, static_cast<std::uint64_t>(array_values(sound.samples).size()));
        sink.append("] = {\r\n");
        pcm_values(sink, array_values(sound.samples));
        sink.append("\r\n};\r\n");
    }
    sink.append("\r\nstruct ");
    sink.append(prefix);
    sink.append(
        "_sound {\r\n    const int16_t* pcm;\r\n    int num_samples;\r\n};\r\n\r\nstatic const struct ");
    sink.append(prefix);
    sink.append("_sound ");
    sink.append(prefix);
    sink.append("_sounds[");
    sink.append(prefix);
    sink.append("_count] = {\r\n");
    for (const NamedRun& sound : sounds) {
        sink.append("    {");
        symbol(sound.name, "_pcm, ");
        append_number(sink, static_cast<std::uint64_t>(sound.samples.size()));
        sink.append("},\r\n");
    }
    sink.append("};\r\n");
    header_closing(sink, prefix);
}

// A sink that grows a string; it cannot fail.
class StringSink {
public:
    explicit StringSink(std::size_t expected_size) { text_.reserve(expected_size); }

    [[nodiscard]] char* reserve(std::size_t bytes) {
        if (text_.size() < used_ + bytes) {
            text_.resize(std::max(used_ + bytes, 2 * text_.size()));
        }
        return text_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - text_.data()); }
    void append(std::string_view piece) {
        char* out = reserve(piece.size());
        commit(std::copy(piece.begin(), piece.end(), out));
    }
    [[nodiscard]] std::string finish() && {
        text_.resize(used_);
        return std::move(text_);
    }

private:
    std::string text_;
    std::size_t used_ = 0;
};

}  // namespace bleepforge::encode
