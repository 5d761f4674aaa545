#include "bleep.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "bleepforge/sound.hpp"
#include "files.hpp"
#include "studio_path.hpp"

namespace bleepforge::tool {
namespace {

constexpr std::string_view usage_lines =
    "usage: bleep new PRESET [CHIP] [-o FILE]\n"
    "       bleep random PRESET [CHIP] [--seed N] [--layers N] [-o FILE]\n"
    "       bleep mutate FILE [--amount A] [--seed N] [-o FILE]\n"
    "       bleep render FILE... [-o OUT.wav | --out-dir DIR] [--rate HZ]\n"
    "       bleep header FILE [-o OUT.h] [--name IDENT] [--rate HZ] [--depfile FILE]\n"
    "       bleep check FILE...\n"
    "       bleep studio\n";

constexpr std::string_view help_text =
    "bleep: make, vary, check and render Bleepforge sound files.\n"
    "\n"
    "A sound file is a small JSON text (comments allowed) holding a sound's chip, its patch, its\n"
    "stages (jumps, repeat, sweeps, filters, tremolo, phaser, crush, gain) and its duration.\n"
    "Every render gives the same bytes on every platform; man bleep lists every member.\n"
    "\n"
    "Commands:\n"
    "  new PRESET [CHIP]          the sound file of a preset on a chip (default nes)\n"
    "  random PRESET [CHIP]       a new random sound of the preset's family\n"
    "  mutate FILE                the sound moved a little\n"
    "  render FILE...             each sound to a 16-bit mono WAV file (FILE with .wav)\n"
    "  header FILE                the sound as a C/C++ header (FILE with .h)\n"
    "  check FILE...              report every problem of every file\n"
    "  studio                     open the studio page in the web browser\n"
    "\n"
    "A FILE ending in .bleepbank is a bank of named sounds: render writes NAME.wav for each of\n"
    "them, all or nothing; header writes one header with an enum and a table of them.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE          where to write ('-' is standard output); new, random and\n"
    "                             mutate write to standard output without it\n"
    "  --out-dir DIR              render: write the WAV files into DIR\n"
    "  --rate HZ                  render, header: sample rate, 8000 to 192000 (default 44100)\n"
    "  --name IDENT               header: the C identifier in its symbols (default chiptune_sfx)\n"
    "  --seed N                   random, mutate: 0 to 18446744073709551615 (default: drawn)\n"
    "  --amount A                 mutate: 0 (nothing) to 1 (a lot), default 0.2\n"
    "  --layers N                 random: a layered sound of N layers, 1 to 8\n"
    "  --depfile FILE             header: also write the files it was made from, for make or ninja\n"
    "  -h, --help                 this text\n"
    "  --version                  the version\n"
    "\n"
    "A FILE of '-' reads standard input:  bleep random laser --seed 3 | bleep render - -o zap.wav\n"
    "Presets: laser, jump, explosion, coin, powerup, hit, blip, game_over.\n"
    "Chips: nes, sid, gameboy, ym2612.\n"
    "Exit status: 0 done, 1 a file could not be read, checked or written, 2 a usage error.\n";

constexpr std::int32_t default_rate_hz = 44100;
constexpr double default_amount = 0.2;
constexpr std::string_view stdin_name = "<stdin>";

// The command line after the command word: operands and the options' values.
struct Arguments {
    std::vector<std::string> operands;
    std::optional<std::string> output, out_dir, rate, seed, amount, name, layers, depfile;
};

// A usage error's reason; empty when the words parsed.
struct ParseOutcome {
    Arguments arguments;
    std::string error;
};

ParseOutcome parse_arguments(std::span<const char* const> words, std::string_view allowed) {
    struct Option {
        std::string_view spelling;
        std::string_view canonical;  // as the command's list of allowed options names it
        std::optional<std::string> Arguments::*slot;
    };
    constexpr Option options[] = {
        {"-o", "-o", &Arguments::output},
        {"--output", "-o", &Arguments::output},
        {"--out-dir", "--out-dir", &Arguments::out_dir},
        {"--rate", "--rate", &Arguments::rate},
        {"--seed", "--seed", &Arguments::seed},
        {"--amount", "--amount", &Arguments::amount},
        {"--name", "--name", &Arguments::name},
        {"--layers", "--layers", &Arguments::layers},
        {"--depfile", "--depfile", &Arguments::depfile},
    };
    ParseOutcome parsed;
    Arguments& a = parsed.arguments;
    bool options_end = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (options_end || word == "-" || word.empty() || word[0] != '-') {
            a.operands.emplace_back(word);
            continue;
        }
        if (word == "--") {
            options_end = true;
            continue;
        }
        const std::string_view spelling = word.substr(0, word.find('='));
        const auto option = std::find_if(std::begin(options), std::end(options),
                                         [&](const Option& o) { return o.spelling == spelling; });
        if (option == std::end(options) ||
            allowed.find(std::string(option->canonical) + " ") == std::string_view::npos) {
            parsed.error = "unknown option " + std::string(spelling);
            return parsed;
        }
        std::string value;
        if (spelling.size() < word.size()) {
            value = std::string(word.substr(spelling.size() + 1));
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            parsed.error = "option " + std::string(spelling) + " needs a value";
            return parsed;
        }
        if (a.*option->slot) {
            parsed.error = "option " + std::string(option->canonical) + " is given twice";
            return parsed;
        }
        a.*option->slot = std::move(value);
    }
    return parsed;
}

// A word that must be one of words exactly, with a suggestion when it is not.
template <typename Enum>
std::optional<Enum> exact_word(std::string_view word, std::span<const std::string_view> words) {
    const auto found = std::find(words.begin(), words.end(), word);
    if (found == words.end()) {
        return std::nullopt;
    }
    return static_cast<Enum>(found - words.begin());
}

template <typename Number>
std::optional<Number> whole_number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> real_number(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A message to the user; if even that fails there is no one left to tell.
void tell(std::FILE* stream, std::string_view text) {
    (void)write_stream(stream, text);
}

class Command {
public:
    explicit Command(const ToolConsole& console) : console_(console) {}

    // A usage error: the reason and the usage, on standard error.
    int usage(const std::string& reason) const {
        say_error(reason);
        tell(console_.err, usage_lines);
        tell(console_.err, "Try 'bleep --help' for more.\n");
        return exit_usage;
    }
    void say_error(const std::string& reason) const { tell(console_.err, "bleep: " + reason + "\n"); }

    // The sound in a file (or standard input); problems are reported and give nothing. The text
    // read goes into text when it is asked for.
    std::optional<Sound> read(const std::string& path, std::string* text = nullptr) const {
        ReadOutcome input = read_input(path, console_.in, max_sound_file_size);
        const std::string shown = path == "-" ? std::string(stdin_name) : path;
        if (!input.ok) {
            say_error(shown + ": cannot read: " + input.error);
            return std::nullopt;
        }
        SoundReading reading = read_sound(input.text);
        for (const SoundProblem& problem : reading.problems) {
            say_error(describe(problem, shown));
        }
        if (text != nullptr) {
            *text = std::move(input.text);
        }
        return reading.sound;
    }

    // The bank in a file, with the sound files it names read from beside it; problems are reported
    // (a referenced file's with its own name and line) and give nothing. inputs gets the paths of
    // every file read, the bank's first.
    std::optional<Bank> read_bank_file(const std::string& path,
                                       std::vector<std::string>* inputs = nullptr) const {
        const ReadOutcome input = read_input(path, console_.in, max_sound_file_size);
        if (!input.ok) {
            say_error(path + ": cannot read: " + input.error);
            return std::nullopt;
        }
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        auto beside = [&](const std::string& file) { return (folder / file).string(); };
        BankReading reading = read_bank(input.text, [&](const std::string& file) {
            const ReadOutcome read = read_input(beside(file), console_.in, max_sound_file_size);
            return LoadedText{read.ok, read.text, read.error};
        });
        for (const BankProblem& p : reading.problems) {
            if (p.file.empty()) {
                say_error(describe(p.problem, path));
            } else {
                say_error(describe(p.problem, beside(p.file)) + " (the sound \"" + p.entry + "\" of " + path +
                          ")");
            }
        }
        if (inputs != nullptr) {
            inputs->push_back(path);
            for (const std::string& file : reading.files) {
                inputs->push_back(beside(file));
            }
        }
        return std::move(reading.bank);
    }

    // Writes to the path ("-" or none: standard output); false after reporting a failure.
    bool write(const std::optional<std::string>& path, std::string_view bytes) const {
        const bool to_stdout = !path || *path == "-";
        const std::string error = to_stdout ? write_stream(console_.out, bytes) : write_file(*path, bytes);
        if (!error.empty()) {
            say_error((to_stdout ? std::string("standard output") : *path) + ": cannot write: " + error);
            return false;
        }
        return true;
    }

    const ToolConsole& console() const { return console_; }

private:
    const ToolConsole& console_;
};

bool is_bank(const std::string& path) {
    return path.ends_with(".bleepbank");
}

std::uint64_t drawn_seed() {
    std::random_device device;
    const std::uint64_t entropy = (static_cast<std::uint64_t>(device()) << 32U) ^ device();
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return entropy ^ (now * 0x9E3779B97F4A7C15ULL);
}

// PRESET [CHIP], exactly the words of the format.
struct PresetChip {
    SfxPreset preset;
    ChipType chip;
};

std::optional<PresetChip> preset_and_chip(const Arguments& a, std::string& error) {
    if (a.operands.empty() || a.operands.size() > 2) {
        error = a.operands.empty() ? "a preset is missing" : "too many words: " + a.operands[2];
        return std::nullopt;
    }
    const auto preset = exact_word<SfxPreset>(a.operands[0], preset_words);
    if (!preset) {
        error = "unknown preset \"" + a.operands[0] +
                "\" (one of laser, jump, explosion, coin, powerup, hit, blip, game_over)";
        return std::nullopt;
    }
    const std::string chip_word = a.operands.size() > 1 ? a.operands[1] : "nes";
    const auto chip = exact_word<ChipType>(chip_word, chip_words);
    if (!chip) {
        error = "unknown chip \"" + chip_word + "\" (one of nes, sid, gameboy, ym2612)";
        return std::nullopt;
    }
    return PresetChip{*preset, *chip};
}

std::optional<std::uint64_t> seed_of(const Arguments& a, std::string& error) {
    if (!a.seed) {
        return drawn_seed();
    }
    const auto seed = whole_number<std::uint64_t>(*a.seed);
    if (!seed) {
        error = "--seed " + *a.seed + " is not a whole number from 0 to 18446744073709551615";
    }
    return seed;
}

std::optional<std::int32_t> rate_of(const Arguments& a, std::string& error) {
    if (!a.rate) {
        return default_rate_hz;
    }
    const auto rate = whole_number<std::int32_t>(*a.rate);
    if (!rate || *rate < min_sound_rate_hz || *rate > max_sound_rate_hz) {
        error = "--rate " + *a.rate + " is not a whole number of hertz from 8000 to 192000";
        return std::nullopt;
    }
    return rate;
}

int command_new(const Command& command, const Arguments& a) {
    std::string error;
    const auto words = preset_and_chip(a, error);
    if (!words) {
        return command.usage(error);
    }
    return command.write(a.output, write_sound(make_sound(words->preset, words->chip))) ? exit_ok
                                                                                        : exit_failure;
}

int command_random(const Command& command, const Arguments& a) {
    std::string error;
    const auto words = preset_and_chip(a, error);
    const auto seed = words ? seed_of(a, error) : std::nullopt;
    if (!words || !seed) {
        return command.usage(error);
    }
    std::optional<std::size_t> layers;
    if (a.layers) {
        layers = whole_number<std::size_t>(*a.layers);
        if (!layers || *layers < 1 || *layers > max_layers) {
            return command.usage("--layers " + *a.layers + " is not a whole number from 1 to 8");
        }
    }
    std::string text;
    if (!a.seed) {
        text = "// bleep random " + std::string(preset_words[static_cast<std::size_t>(words->preset)]) + " " +
               std::string(chip_words[static_cast<std::size_t>(words->chip)]) + " --seed " +
               std::to_string(*seed) + (layers ? " --layers " + std::to_string(*layers) : "") + "\n";
    }
    text += write_sound(layers ? random_layered_sound(words->preset, words->chip, *seed, *layers)
                               : random_sound(words->preset, words->chip, *seed));
    return command.write(a.output, text) ? exit_ok : exit_failure;
}

// What one output of a command is and the inputs it is made from, for the checks below.
struct Output {
    std::string path;  // "-" for standard output
    std::string what;  // "the WAV file", "the header", "the sound file"
    std::vector<std::string> inputs;
};

// Why the outputs cannot be written as asked, or nothing: an output that is one of the command's
// own inputs (under any spelling: ./a, a link, a hard link), or two outputs that land on one file.
// Found before anything is written.
std::optional<std::string> clash_of(const std::vector<Output>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& out = outputs[i];
        if (out.path == "-") {
            continue;
        }
        for (const std::string& input : out.inputs) {
            if (input != "-" && same_file(out.path, input)) {
                return out.what + " " + out.path + " would replace the sound file " + input +
                       " it is made from; write it elsewhere with -o";
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (outputs[j].path != "-" && same_destination(outputs[j].path, out.path)) {
                return outputs[j].inputs.front() + " and " + out.inputs.front() +
                       " would both be written to " + out.path + "; render them into different folders";
            }
        }
    }
    return std::nullopt;
}

int command_mutate(const Command& command, const Arguments& a) {
    if (a.operands.size() != 1) {
        return command.usage(a.operands.empty() ? "a sound file is missing" : "mutate takes one sound file");
    }
    std::string error;
    const auto seed = seed_of(a, error);
    double amount = default_amount;
    if (a.amount) {
        const auto given = real_number(*a.amount);
        if (!given || !(*given >= 0.0 && *given <= 1.0)) {
            error = "--amount " + *a.amount + " is not a number from 0 to 1";
        }
        amount = given.value_or(0.0);
    }
    if (!seed || !error.empty()) {
        return command.usage(error);
    }
    if (a.output) {
        if (auto clash = clash_of({{*a.output, "the sound file", {a.operands[0]}}})) {
            return command.usage(*clash);
        }
    }
    std::string input;
    const std::optional<Sound> sound = command.read(a.operands[0], &input);
    if (!sound) {
        return exit_failure;
    }
    // The file's own leading comments stay; the comments among its members cannot follow them.
    std::string text = leading_comments(input);
    if (!a.seed) {
        text += "// bleep mutate " + a.operands[0] + " --amount " +
                (a.amount ? *a.amount : std::string("0.2")) + " --seed " + std::to_string(*seed) + "\n";
    }
    text += write_sound(mutate_sound(*sound, amount, *seed));
    return command.write(a.output, text) ? exit_ok : exit_failure;
}

// The path beside the sound file (or in out_dir) with the sound file's name and a new extension.
std::string output_beside(const std::string& input, const std::optional<std::string>& out_dir,
                          const char* extension) {
    std::filesystem::path path(input);
    if (out_dir) {
        path = std::filesystem::path(*out_dir) / path.filename();
    }
    return path.replace_extension(extension).string();
}

// A bank's sounds as WAV files named after them, or its problems reported (nothing is written).
struct BankRender {
    std::vector<std::string> inputs;
    std::vector<FileToWrite> files;
};

int command_render(const Command& command, const Arguments& a) {
    std::string error;
    const auto rate = rate_of(a, error);
    if (!rate) {
        return command.usage(error);
    }
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    if (a.output && a.out_dir) {
        return command.usage("give -o or --out-dir, not both");
    }
    if (a.output && a.operands.size() > 1) {
        return command.usage("-o names one output; use --out-dir for several sound files");
    }
    if (a.output && is_bank(a.operands[0])) {
        return command.usage("a bank renders one WAV file per sound; use --out-dir, not -o");
    }
    if (!a.output && std::find(a.operands.begin(), a.operands.end(), "-") != a.operands.end()) {
        return command.usage("a sound file from standard input needs -o");
    }
    // Everything is read first, so that every output is known before anything is written.
    int status = exit_ok;
    std::vector<Output> outputs;
    std::vector<std::optional<Sound>> sounds;
    std::vector<std::optional<BankRender>> banks;
    for (const std::string& input : a.operands) {
        if (!is_bank(input)) {
            outputs.push_back(
                {a.output ? *a.output : output_beside(input, a.out_dir, ".wav"), "the WAV file", {input}});
            sounds.push_back(command.read(input));
            banks.emplace_back();
            status = sounds.back() ? status : exit_failure;
            continue;
        }
        BankRender render;
        const std::optional<Bank> bank = command.read_bank_file(input, &render.inputs);
        sounds.emplace_back();
        if (!bank) {
            banks.emplace_back();
            status = exit_failure;
            continue;
        }
        const std::filesystem::path folder =
            a.out_dir ? std::filesystem::path(*a.out_dir) : std::filesystem::path(input).parent_path();
        bool complete = true;
        for (const BankEntry& entry : bank->entries) {
            const std::optional<std::string> bytes = wav_bytes(render_sound(entry.sound, *rate), *rate);
            if (!bytes) {
                command.say_error(input + ": the sound \"" + entry.name + "\" is too long for a WAV file");
                complete = false;
                break;
            }
            render.files.push_back({(folder / (entry.name + ".wav")).string(), *bytes});
        }
        if (!complete) {
            status = exit_failure;
            banks.emplace_back();
            continue;
        }
        for (const FileToWrite& file : render.files) {
            outputs.push_back({file.path, "the WAV file", render.inputs});
        }
        banks.push_back(std::move(render));
    }
    if (auto clash = clash_of(outputs)) {
        return command.usage(*clash);
    }
    std::size_t next_output = 0;
    for (std::size_t i = 0; i < a.operands.size(); ++i) {
        if (sounds[i]) {
            const std::optional<std::string> bytes = wav_bytes(render_sound(*sounds[i], *rate), *rate);
            if (!bytes || !command.write(outputs[next_output].path, *bytes)) {
                status = exit_failure;
            }
        }
        if (!is_bank(a.operands[i])) {
            ++next_output;
        } else if (banks[i]) {
            next_output += banks[i]->files.size();
            const FilesOutcome written = write_files(banks[i]->files);
            if (!written.error.empty()) {
                command.say_error(written.path + ": cannot write: " + written.error);
                status = exit_failure;
            }
        }
    }
    return status;
}

// The Makefile rule a build tool reads to make a header again when one of its inputs changes.
std::string depfile_text(const std::string& output, const std::vector<std::string>& inputs) {
    auto escaped = [](const std::string& path) {
        std::string out;
        for (const char c : path) {
            out += c == ' ' ? std::string("\\ ") : c == '$' ? std::string("$$") : std::string(1, c);
        }
        return out;
    };
    std::string text = escaped(output) + ":";
    for (const std::string& input : inputs) {
        text += " \\\n  " + escaped(input);
    }
    return text + "\n";
}

int command_header(const Command& command, const Arguments& a) {
    std::string error;
    const auto rate = rate_of(a, error);
    if (!rate) {
        return command.usage(error);
    }
    if (a.operands.size() != 1) {
        return command.usage(a.operands.empty() ? "a sound file is missing" : "header takes one sound file");
    }
    const std::string name = a.name ? *a.name : std::string(default_header_name);
    if (!is_header_name(name)) {
        return command.usage("--name " + name + " is not a C identifier (letters, digits, _; not a keyword)");
    }
    const std::string& input = a.operands[0];
    if (input == "-" && !a.output) {
        return command.usage("a sound file from standard input needs -o");
    }
    const std::string output = a.output ? *a.output : output_beside(input, std::nullopt, ".h");
    std::vector<std::string> inputs{input};
    std::string text;
    if (is_bank(input)) {
        inputs.clear();
        const std::optional<Bank> bank = command.read_bank_file(input, &inputs);
        if (!bank) {
            return exit_failure;
        }
        std::vector<SampleBuffer> samples;
        std::vector<NamedSamples> named;
        for (const BankEntry& entry : bank->entries) {
            for (const char* suffix : {"", "_pcm", "_num_samples"}) {
                if (!is_header_name(name + "_" + entry.name + suffix)) {
                    return command.usage("--name " + name + " with the sound \"" + entry.name +
                                         "\" makes a keyword, not a symbol");
                }
            }
            samples.push_back(render_sound(entry.sound, *rate));
        }
        for (std::size_t i = 0; i < samples.size(); ++i) {
            named.push_back({bank->entries[i].name, samples[i]});
        }
        text = bank_header_text(named, name, *rate);
    } else {
        const std::optional<Sound> sound = command.read(input);
        if (!sound) {
            return exit_failure;
        }
        text = c_header_text(render_sound(*sound, *rate), name, *rate);
    }
    std::vector<Output> outputs{{output, "the header", inputs}};
    if (a.depfile) {
        outputs.push_back({*a.depfile, "the depfile", inputs});
    }
    if (auto clash = clash_of(outputs)) {
        return command.usage(*clash);
    }
    if (!command.write(output, text)) {
        return exit_failure;
    }
    return !a.depfile || command.write(*a.depfile, depfile_text(output, inputs)) ? exit_ok : exit_failure;
}

int command_check(const Command& command, const Arguments& a) {
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    int status = exit_ok;
    for (const std::string& input : a.operands) {
        if (is_bank(input) ? !command.read_bank_file(input) : !command.read(input)) {
            status = exit_failure;
        }
    }
    return status;
}

int command_studio(const Command& command, const Arguments& a, std::string_view program) {
    if (!a.operands.empty()) {
        return command.usage("studio takes no words");
    }
    const std::optional<std::string> page = find_studio_page(program);
    if (!page) {
        command.say_error("the studio page (bleepforge-studio.html) is not installed beside this program");
        return exit_failure;
    }
    if (!command.console().open_in_browser(page->c_str())) {
        tell(command.console().out, "Open this file in a web browser: " + *page + "\n");
    }
    return exit_ok;
}

}  // namespace

int run_bleep(std::span<const char* const> args, const ToolConsole& console) {
    const Command command(console);
    if (args.size() < 2) {
        return command.usage("a command is missing");
    }
    const std::string_view word = args[1];
    if (word == "--help" || word == "-h" || word == "help") {
        return write_stream(console.out, help_text).empty() ? exit_ok : exit_failure;
    }
    if (word == "--version") {
        return write_stream(console.out, "bleep " BLEEPFORGE_VERSION "\n").empty() ? exit_ok : exit_failure;
    }
    struct Entry {
        std::string_view word;
        std::string_view options;  // each followed by a space
        int (*run)(const Command&, const Arguments&);
    };
    const Entry commands[] = {
        {"new", "-o ", command_new},
        {"random", "-o --seed --layers ", command_random},
        {"mutate", "-o --seed --amount ", command_mutate},
        {"render", "-o --out-dir --rate ", command_render},
        {"header", "-o --name --rate --depfile ", command_header},
        {"check", "", command_check},
        {"studio", "", nullptr},
    };
    const auto entry = std::find_if(std::begin(commands), std::end(commands),
                                    [&](const Entry& e) { return e.word == word; });
    if (entry == std::end(commands)) {
        return command.usage("unknown command " + std::string(word));
    }
    ParseOutcome parsed = parse_arguments(args.subspan(2), entry->options);
    if (!parsed.error.empty()) {
        return command.usage(parsed.error);
    }
    if (entry->run == nullptr) {
        return command_studio(command, parsed.arguments, args[0]);
    }
    return entry->run(command, parsed.arguments);
}

}  // namespace bleepforge::tool
