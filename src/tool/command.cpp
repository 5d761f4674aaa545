#include "command.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "desktop.hpp"

namespace bleepforge::tool {
namespace {

constexpr std::string_view stdin_name = "<stdin>";

// A message to the user; if even that fails there is no one left to tell.
void tell(std::FILE* stream, std::string_view text) {
    (void)write_stream(stream, text);
}

std::uint64_t drawn_seed() {
    const std::uint64_t entropy = system_entropy();
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return entropy ^ (now * 0x9E3779B97F4A7C15ULL);
}

}  // namespace

namespace {

// The words with separator between them, and last (if given) before the last one.
std::string joined(std::span<const std::string_view> words, std::string_view separator,
                   std::string_view last = {}) {
    std::string list;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i != 0) {
            list += i + 1 == words.size() && !last.empty() ? last : separator;
        }
        list += words[i];
    }
    return list;
}

}  // namespace

std::string word_list(std::span<const std::string_view> words) {
    return joined(words, ", ", " or ");
}

std::string help_text() {
    return "bleep: make, vary, check, render and play Bleepforge sound files.\n"
           "\n"
           "A sound file is a small JSON text (comments allowed) holding a sound's chip, its patch, its\n"
           "stages (jumps, repeat, sweeps, filters, tremolo, phaser, crush, gain) and its duration, or\n"
           "layers of such sounds. Every render gives the same bytes on every platform; man bleep lists\n"
           "every member.\n"
           "\n"
           "Commands:\n" +
           commands_help() +
           "\n"
           "A FILE ending in .bleepbank is a bank of named sounds: render writes NAME.wav for each of\n"
           "them, all or nothing; header writes one header with an enum and a table of them.\n"
           "\n"
           "Options:\n" +
           options_help() +
           "\n"
           "A FILE of '-' reads standard input:  bleep random laser --seed 3 | bleep render - -o zap.wav\n"
           "Presets: " +
           joined(preset_words, ", ") + ".\nChips: " + joined(chip_words, ", ") +
           ".\n"
           "Exit status: 0 done, 1 a file could not be read, checked or written, 2 a usage error.\n";
}

void Command::report(const std::string& reason) const {
    tell(console_.err, "bleep: " + reason + "\n");
}

void Command::report(const std::vector<std::string>& reasons) const {
    for (const std::string& reason : reasons) {
        report(reason);
    }
}

int Command::usage(const std::string& reason) const {
    report(reason);
    tell(console_.err, usage_text());
    tell(console_.err, "Try 'bleep --help' for more.\n");
    return exit_usage;
}

void Command::say(const std::string& line) const {
    tell(console_.out, line + "\n");
}

Result<Sound> Command::read(const std::string& path, std::optional<std::string>* text) const {
    Result<std::string> input = read_input(path, console_.in, max_sound_file_size);
    const std::string shown = path == "-" ? std::string(stdin_name) : path;
    if (!input) {
        return Failure(shown + ": cannot read: " + input.error());
    }
    SoundReading reading = read_sound(*input);
    if (text != nullptr) {
        *text = std::move(*input);
    }
    if (!reading.sound) {
        std::vector<std::string> problems;
        for (const SoundProblem& problem : reading.problems) {
            problems.push_back(describe(problem, shown));
        }
        return Failure(std::move(problems));
    }
    return std::move(*reading.sound);
}

Result<Bank> Command::read_bank_file(const std::string& path, std::vector<std::string>* inputs,
                                     std::vector<std::optional<std::string>>* held) const {
    auto note = [&](const std::string& file, const Result<std::string>& read) {
        if (inputs != nullptr) {
            inputs->push_back(file);
        }
        if (held != nullptr) {
            held->push_back(read ? std::optional<std::string>(*read) : std::nullopt);
        }
    };
    const Result<std::string> input = read_input(path, console_.in, max_sound_file_size);
    note(path, input);
    if (!input) {
        return Failure(path + ": cannot read: " + input.error());
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    auto beside = [&](const std::string& file) { return (folder / file).string(); };
    // Each file as the bank was made from it, so that a watcher compares later looks with exactly
    // what was read rather than with a second look that a save in between would already show.
    std::map<std::string, Result<std::string>> loaded;
    auto load = [&](const std::string& file) -> const Result<std::string>& {
        auto found = loaded.find(file);
        if (found == loaded.end()) {
            found = loaded.emplace(file, read_input(beside(file), console_.in, max_sound_file_size)).first;
        }
        return found->second;
    };
    BankReading reading = read_bank(*input, [&](const std::string& file) {
        const Result<std::string>& read = load(file);
        return read ? LoadedText{true, *read, ""} : LoadedText{false, "", read.error()};
    });
    for (const std::string& file : reading.files) {
        note(beside(file), load(file));
    }
    if (!reading.bank) {
        std::vector<std::string> problems;
        for (const BankProblem& p : reading.problems) {
            problems.push_back(p.file.empty() ? describe(p.problem, path)
                                              : describe(p.problem, beside(p.file)) + " (the sound \"" +
                                                    p.entry + "\" of " + path + ")");
        }
        return Failure(std::move(problems));
    }
    return std::move(*reading.bank);
}

Result<> Command::write(const std::optional<std::string>& path, std::string_view bytes) const {
    if (path && *path != "-") {
        return write_file(*path, bytes);
    }
    if (const Result<> written = write_stream(console_.out, bytes); !written) {
        return Failure("standard output: cannot write: " + written.error());
    }
    return {};
}

bool is_bank(const std::string& path) {
    return path.ends_with(".bleepbank");
}

std::string output_beside(const std::string& input, const std::optional<std::string>& out_dir,
                          const char* extension) {
    std::filesystem::path path(input);
    if (out_dir) {
        path = std::filesystem::path(*out_dir) / path.filename();
    }
    return path.replace_extension(extension).string();
}

Result<> refuse_clashes(const std::vector<Output>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& out = outputs[i];
        if (out.path == "-") {
            continue;
        }
        for (const std::string& input : out.inputs) {
            if (input != "-" && same_file(out.path, input)) {
                return Failure(out.what + " " + out.path + " would replace the sound file " + input +
                               " it is made from; write it elsewhere with -o");
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[j].path != "-" && same_destination(outputs[j].path, out.path)) {
                return Failure(outputs[j].inputs.front() + " and " + out.inputs.front() +
                               " would both be written to " + out.path +
                               "; render them into different folders");
            }
        }
    }
    return {};
}

std::optional<double> real_number(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

Result<std::int32_t> rate_of(const Arguments& a) {
    const std::optional<std::string>& given = a[Option::rate];
    if (!given) {
        return default_rate_hz;
    }
    const auto rate = whole_number<std::int32_t>(*given);
    if (!rate || *rate < min_sound_rate_hz || *rate > max_sound_rate_hz) {
        return Failure("--rate " + *given + " is not a whole number of hertz from " +
                       std::to_string(min_sound_rate_hz) + " to " + std::to_string(max_sound_rate_hz));
    }
    return *rate;
}

Result<std::uint64_t> seed_of(const Arguments& a) {
    const std::optional<std::string>& given = a[Option::seed];
    if (!given) {
        return drawn_seed();
    }
    const auto seed = whole_number<std::uint64_t>(*given);
    if (!seed) {
        return Failure("--seed " + *given + " is not a whole number from 0 to 18446744073709551615");
    }
    return *seed;
}

Result<WavFormat> format_of(const Arguments& a) {
    const std::optional<std::string>& given = a[Option::format];
    if (!given) {
        return WavFormat::s16;
    }
    const auto format = exact_word<WavFormat>(*given, wav_format_words);
    if (!format) {
        return Failure("--format " + *given + " is not " + word_list(wav_format_words));
    }
    return *format;
}

std::vector<SampleBuffer> render_bank(const Bank& bank, std::int32_t rate_hz) {
    std::vector<SampleBuffer> samples;
    samples.reserve(bank.entries.size());
    for (const BankEntry& entry : bank.entries) {
        samples.push_back(render_sound(entry.sound, rate_hz));
    }
    return samples;
}

namespace {

// Why the symbols of the bank's header would not compile, said of the name as named says it.
std::string clash_reason(const SymbolClash& clash, std::string_view named) {
    std::string reason(named);
    if (clash.keyword) {
        return reason.append(" with the sound \"")
            .append(clash.sound)
            .append("\" makes a keyword, not a symbol");
    }
    reason.append(" gives the header symbol ")
        .append(clash.symbol)
        .append(" for the sound \"")
        .append(clash.sound);
    return reason.append(clash.other.empty() ? "\", and for the header itself"
                                             : "\" and again for \"" + clash.other + "\"");
}

}  // namespace

Result<std::string> bank_header(const Bank& bank, std::span<const SampleBuffer> samples,
                                const std::string& name, std::string_view named, std::int32_t rate_hz) {
    std::vector<std::string_view> names;
    std::vector<NamedSamples> sounds;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        names.push_back(bank.entries[i].name);
        sounds.push_back({bank.entries[i].name, samples[i]});
    }
    const std::vector<SymbolClash> clashes = header_symbol_clashes(header_symbols(name, names));
    if (!clashes.empty()) {
        return Failure(clash_reason(clashes.front(), named));
    }
    return bank_header_text(sounds, name, rate_hz);
}

std::string seconds_text(std::size_t samples, std::int32_t rate_hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(samples) / rate_hz);
    std::string shown = text;
    while (shown.back() == '0') {
        shown.pop_back();
    }
    if (shown.back() == '.') {
        shown.pop_back();
    }
    return shown + " s";
}

}  // namespace bleepforge::tool
