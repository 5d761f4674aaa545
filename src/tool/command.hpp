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
#include "result.hpp"

namespace bleepforge::tool {

inline constexpr std::int32_t default_rate_hz = 44100;

// The words in a list as a person writes them: "a, b or c".
[[nodiscard]] std::string word_list(std::span<const std::string_view> words);

// The help text: the command and option tables with what they mean, and the presets and chips from
// the catalogue's own lists.
[[nodiscard]] std::string help_text();

class Command {
public:
    explicit Command(const ToolConsole& console) : console_(console) {}

    // Every problem goes through these: "bleep: REASON" on standard error, one line a reason.
    void report(const std::string& reason) const;
    void report(const std::vector<std::string>& reasons) const;
    // A usage error: the reason and the short usage; returns the status to exit with (2).
    int usage(const std::string& reason) const;
    // Reports a step's failure, if it failed; whether it succeeded.
    template <typename T>
    bool check(const Result<T>& step) const {
        if (!step) {
            report(step.reasons());
        }
        return step.ok();
    }
    // The status of a command whose last step this was: exit_ok, or exit_failure once reported.
    template <typename T>
    int finish(const Result<T>& step) const {
        return check(step) ? exit_ok : exit_failure;
    }
    // A line for the user on standard output.
    void say(const std::string& line) const;

    // The sound in a file (or standard input), or every problem that kept it from being read. The
    // text read goes into text when it is asked for, whether or not it holds a sound (nothing when
    // the file could not be read).
    [[nodiscard]] Result<Sound> read(const std::string& path,
                                     std::optional<std::string>* text = nullptr) const;
    // The bank in a file, with the sound files it names read from beside it, or every problem (a
    // referenced file's with its own name and line). inputs gets the paths of every file read, the
    // bank's first, even when there are problems; held gets what each of them held as it was read
    // (nothing where it could not be read), in the same order.
    [[nodiscard]] Result<Bank> read_bank_file(const std::string& path,
                                              std::vector<std::string>* inputs = nullptr,
                                              std::vector<std::optional<std::string>>* held = nullptr) const;
    // Writes to the path ("-" or none: standard output).
    [[nodiscard]] Result<> write(const std::optional<std::string>& path, std::string_view bytes) const;

    [[nodiscard]] const ToolConsole& console() const { return console_; }

private:
    const ToolConsole& console_;
};

// Whether a path names a bank (*.bleepbank) rather than a sound file.
[[nodiscard]] bool is_bank(const std::string& path);

// The path beside the sound file (or in out_dir) with the sound file's name and a new extension.
[[nodiscard]] std::string output_beside(const std::string& input, const std::optional<std::string>& out_dir,
                                        const char* extension);

// What one output of a command is and the inputs it is made from, for refuse_clashes.
struct Output {
    std::string path;  // "-" for standard output
    std::string what;  // "the WAV file", "the header", "the sound file"
    std::vector<std::string> inputs;
};

// Fails, with why, when the outputs cannot be written as asked: an output that is one of the
// command's own inputs (under any spelling: ./a, a link, a hard link), or two outputs that land on
// one file. Found before anything is written.
[[nodiscard]] Result<> refuse_clashes(const std::vector<Output>& outputs);

// Option values read; a value given and wrong is the usage error they fail with.
[[nodiscard]] Result<std::int32_t> rate_of(const Arguments& a);
[[nodiscard]] Result<std::uint64_t> seed_of(const Arguments& a);  // drawn if not given
[[nodiscard]] Result<WavFormat> format_of(const Arguments& a);

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

// The header of a bank's rendered sounds with name in its symbols, or why those symbols would not
// compile (header_symbol_clashes), said of the name as named says it: "--name game".
[[nodiscard]] Result<std::string> bank_header(const Bank& bank, std::span<const SampleBuffer> samples,
                                              const std::string& name, std::string_view named,
                                              std::int32_t rate_hz);

// A sound's length as a person reads it: "0.25 s".
[[nodiscard]] std::string seconds_text(std::size_t samples, std::int32_t rate_hz);

}  // namespace bleepforge::tool
