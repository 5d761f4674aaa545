#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/synth.hpp"

namespace bleepforge {

// The exporters take any run of samples: a SampleBuffer, or what a game rendered into its own
// memory with render_voice.

// The sample formats a WAV file can hold: 16-bit signed PCM (the program's own), 8-bit unsigned PCM
// (float_to_pcm16's rule with 127 for 32767, offset by 128) and 32-bit IEEE float (format tag 3 with
// a fact chunk), which holds the renderer's floats exactly.
enum class WavFormat : std::uint8_t { s16, u8, f32 };
// Each format's word, indexed by its value: what bleep's --format and the package take.
inline constexpr std::array<std::string_view, 3> wav_format_words{"s16", "u8", "f32"};
static_assert(wav_format_words.size() == static_cast<std::size_t>(WavFormat::f32) + 1 &&
              wav_format_words.back() == "f32");

// One float sample to 16-bit PCM: clipped to [-1, 1], scaled by 32767 in single precision and
// truncated toward zero; NaN gives 0. The result lies in -32767 ... 32767.
[[nodiscard]] std::int16_t float_to_pcm16(float sample);

// Writes a mono 16-bit PCM WAV file (44-byte header, then the samples), creating or replacing
// the file at path. False when the file cannot be opened, any byte fails to reach it, the final
// flush or close fails, or the buffer holds more than 2147483629 samples (nothing is written then).
// A write that fails part-way leaves the partial file.
[[nodiscard]] bool write_wav(const std::string& path, std::span<const float> samples, std::int32_t rate_hz);

// Writes the samples as a C/C++ header declaring <prefix>_sample_rate, <prefix>_num_samples and
// the int16_t array <prefix>_pcm, with CR LF line ends. The prefix is written unchanged.
// False on the same failures as write_wav.
[[nodiscard]] bool write_c_header(const std::string& path, std::span<const float> samples,
                                  std::string_view prefix, std::int32_t rate_hz);

// A WAV file in another format; the s16 file is write_wav's. Refused like write_wav when the count
// does not fit the format's 32-bit sizes (4294967258 samples for u8, 1073741811 for f32).
[[nodiscard]] bool write_wav(const std::string& path, std::span<const float> samples, std::int32_t rate_hz,
                             WavFormat format);
[[nodiscard]] std::optional<std::string> wav_bytes(std::span<const float> samples, std::int32_t rate_hz,
                                                   WavFormat format);

// The bytes write_wav writes, in memory; nothing when the buffer holds more than 2147483629 samples.
[[nodiscard]] std::optional<std::string> wav_bytes(std::span<const float> samples, std::int32_t rate_hz);

// One sound of a bank's header: its name (a C identifier) and its samples.
struct NamedSamples {
    std::string_view name;
    std::span<const float> samples;
};

// A bank's sounds as one C/C++ header with CR LF line ends: <prefix>_sample_rate; for each sound in
// order <prefix>_<name>_num_samples and the int16_t array <prefix>_<name>_pcm; the enum <prefix>_id
// of <prefix>_<name> ... <prefix>_count; and the table <prefix>_sounds[<prefix>_count] of
// struct <prefix>_sound {const int16_t* pcm; int num_samples;}. Names and prefix are written
// unchanged: the caller makes sure that header_symbol_clashes finds nothing in them.
[[nodiscard]] std::string bank_header_text(std::span<const NamedSamples> sounds, std::string_view prefix,
                                           std::int32_t rate_hz);

// The text write_c_header writes, in memory.
[[nodiscard]] std::string c_header_text(std::span<const float> samples, std::string_view prefix,
                                        std::int32_t rate_hz);

// The names a header defines, as the exporters write them. A header's prefix, and a bank's sound
// names, are header names: C identifiers that are no keyword of C (C23) or C++ (C++20).
[[nodiscard]] bool is_header_name(std::string_view name);

// One name a header defines: a macro, a constant, an array, an enum constant or a tag.
struct HeaderSymbol {
    std::string name;   // as the header writes it, "game_zap_pcm"
    std::string sound;  // the sound it belongs to; empty for the header's own
};

// Every name c_header_text's header defines, in its order: the include guard <prefix>_H,
// <prefix>_sample_rate, <prefix>_num_samples and <prefix>_pcm.
[[nodiscard]] std::vector<HeaderSymbol> header_symbols(std::string_view prefix);

// Every name bank_header_text's header defines: its own first (the guard <prefix>_H,
// <prefix>_sample_rate, the enum <prefix>_id and its <prefix>_count, the struct <prefix>_sound
// and the table <prefix>_sounds), then each sound's in the names' order (its enum constant
// <prefix>_<name>, <prefix>_<name>_pcm and <prefix>_<name>_num_samples).
[[nodiscard]] std::vector<HeaderSymbol> header_symbols(std::string_view prefix,
                                                       std::span<const std::string_view> names);

// A name of the header that would keep it from compiling: one that is no header name (a keyword,
// "char8" with a sound "t"), or one that an earlier name already is (a sound named "H" gives the
// include guard, "zap_pcm" the array of "zap").
struct SymbolClash {
    std::string symbol;  // as the header would write it
    std::string sound;   // whose name it is; empty for the header's own
    std::string other;   // whose name it already is, for a repeat; empty for the header's own
    bool keyword;        // no header name, rather than a repeat
};

// Every clash among the symbols, in their order, at most one a sound (its first): none means the
// header compiles as C99 and C++. Whether two symbols are one does not depend on the prefix, as
// every symbol is the prefix, "_" and a word; whether one is a keyword does.
[[nodiscard]] std::vector<SymbolClash> header_symbol_clashes(std::span<const HeaderSymbol> symbols);

}  // namespace bleepforge
