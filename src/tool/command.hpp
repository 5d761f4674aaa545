#pragma once

// What the bleep program's commands share: the console, one way of reporting every problem,
// reading sound files and banks, checking where outputs go, and reading option values.

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "bleep.hpp"
#include "bleepforge/export.hpp"
#include "bleepforge/sound.hpp"
#include "files.hpp"

namespace bleepforge::tool {

inline constexpr std::int32_t default_rate_hz = 44100;

// The words in a list as a person writes them: "a, b or c".
[[nodiscard]] std::string word_list(std::span<const std::string_view> words);

// The one-line usage of every command, and the help text; both name the presets and chips from
// the catalogue's own lists.
[[nodiscard]] std::string usage_text();
[[nodiscard]] std::string help_text();

class Command {
public:
    explicit Command(const ToolConsole& console) : console_(console) {}

    // Every problem goes through here: "bleep: REASON" on standard error, and the status to exit
    // with. A usage error (status 2) adds the short usage.
    int fail(int status, const std::string& reason) const;
    int usage(const std::string& reason) const { return fail(exit_usage, reason); }
    // A problem that does not end the command (one of several files); returns nothing.
    void report(const std::string& reason) const { (void)fail(exit_failure, reason); }
    // A line for the user on standard output.
    void say(const std::string& line) const;

    // The sound in a file (or standard input); problems are reported and give nothing. The text
    // read goes into text when it is asked for.
    [[nodiscard]] std::optional<Sound> read(const std::string& path, std::string* text = nullptr) const;
    // The bank in a file, with the sound files it names read from beside it; problems are reported
    // (a referenced file's with its own name and line) and give nothing. inputs gets the paths of
    // every file read, the bank's first, even when there are problems.
    [[nodiscard]] std::optional<Bank> read_bank_file(const std::string& path,
                                                     std::vector<std::string>* inputs = nullptr) const;
    // Writes to the path ("-" or none: standard output); false after reporting a failure.
    [[nodiscard]] bool write(const std::optional<std::string>& path, std::string_view bytes) const;

    [[nodiscard]] const ToolConsole& console() const { return console_; }

private:
    const ToolConsole& console_;
};

// Whether a path names a bank (*.bleepbank) rather than a sound file.
[[nodiscard]] bool is_bank(const std::string& path);

// The path beside the sound file (or in out_dir) with the sound file's name and a new extension.
[[nodiscard]] std::string output_beside(const std::string& input, const std::optional<std::string>& out_dir,
                                        const char* extension);

// What one output of a command is and the inputs it is made from, for clash_of.
struct Output {
    std::string path;  // "-" for standard output
    std::string what;  // "the WAV file", "the header", "the sound file"
    std::vector<std::string> inputs;
};

// Why the outputs cannot be written as asked, or nothing: an output that is one of the command's
// own inputs (under any spelling: ./a, a link, a hard link), or two outputs that land on one file.
// Found before anything is written.
[[nodiscard]] std::optional<std::string> clash_of(const std::vector<Output>& outputs);

// Option values read, or nothing with the reason in error.
[[nodiscard]] std::optional<std::int32_t> rate_of(const Arguments& a, std::string& error);
[[nodiscard]] std::optional<std::uint64_t> seed_of(const Arguments& a,
                                                   std::string& error);  // drawn if not given
[[nodiscard]] std::optional<WavFormat> format_of(const Arguments& a, std::string& error);

template <typename Number>
[[nodiscard]] std::optional<Number> whole_number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}
[[nodiscard]] std::optional<double> real_number(std::string_view text);

// A word that must be one of words exactly.
template <typename Enum>
[[nodiscard]] std::optional<Enum> exact_word(std::string_view word, std::span<const std::string_view> words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == word) {
            return static_cast<Enum>(i);
        }
    }
    return std::nullopt;
}

// A bank's sounds rendered, in its order.
[[nodiscard]] std::vector<SampleBuffer> render_bank(const Bank& bank, std::int32_t rate_hz);

// The WAV files of a bank's rendered sounds, NAME.wav beside the bank (or in out_dir); nothing,
// with the reason in error, when one is too long for the format.
[[nodiscard]] std::optional<std::vector<FileToWrite>> bank_wav_files(
    const Bank& bank, std::span<const SampleBuffer> samples, const std::string& bank_path,
    const std::optional<std::string>& out_dir, std::int32_t rate_hz, WavFormat format, std::string& error);

// The header of a bank's rendered sounds with name in its symbols; nothing, with the reason in
// error, when those symbols would not compile (header_symbol_clashes).
[[nodiscard]] std::optional<std::string> bank_header(const Bank& bank, std::span<const SampleBuffer> samples,
                                                     const std::string& name, std::int32_t rate_hz,
                                                     std::string& error);

// A sound's length as a person reads it: "0.25 s".
[[nodiscard]] std::string seconds_text(std::size_t samples, std::int32_t rate_hz);

}  // namespace bleepforge::tool
