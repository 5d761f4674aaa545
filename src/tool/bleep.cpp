#include "bleep.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "bleepforge/sound.hpp"
#include "command.hpp"
#include "files.hpp"
#include "listen.hpp"
#include "studio_path.hpp"

namespace bleepforge::tool {
namespace {

constexpr double default_amount = 0.2;

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
        error = "unknown preset \"" + a.operands[0] + "\" (one of " + word_list(preset_words) + ")";
        return std::nullopt;
    }
    const std::string chip_word(a.operands.size() > 1 ? a.operands[1] : chip_words[0]);
    const auto chip = exact_word<ChipType>(chip_word, chip_words);
    if (!chip) {
        error = "unknown chip \"" + chip_word + "\" (one of " + word_list(chip_words) + ")";
        return std::nullopt;
    }
    return PresetChip{*preset, *chip};
}

int command_new(const Command& command, const Arguments& a) {
    std::string error;
    const auto words = preset_and_chip(a, error);
    if (!words) {
        return command.usage(error);
    }
    return command.write(a[Option::output], write_sound(make_sound(words->preset, words->chip)))
               ? exit_ok
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
    if (a[Option::layers]) {
        layers = whole_number<std::size_t>(*a[Option::layers]);
        if (!layers || *layers < 1 || *layers > max_layers) {
            return command.usage("--layers " + *a[Option::layers] + " is not a whole number from 1 to " +
                                 std::to_string(max_layers));
        }
    }
    std::string text;
    if (!a[Option::seed]) {
        text = "// bleep random " + std::string(preset_words[static_cast<std::size_t>(words->preset)]) + " " +
               std::string(chip_words[static_cast<std::size_t>(words->chip)]) + " --seed " +
               std::to_string(*seed) + (layers ? " --layers " + std::to_string(*layers) : "") + "\n";
    }
    text += write_sound(layers ? random_layered_sound(words->preset, words->chip, *seed, *layers)
                               : random_sound(words->preset, words->chip, *seed));
    return command.write(a[Option::output], text) ? exit_ok : exit_failure;
}

int command_mutate(const Command& command, const Arguments& a) {
    if (a.operands.size() != 1) {
        return command.usage(a.operands.empty() ? "a sound file is missing" : "mutate takes one sound file");
    }
    std::string error;
    const auto seed = seed_of(a, error);
    double amount = default_amount;
    if (a[Option::amount]) {
        const auto given = real_number(*a[Option::amount]);
        if (!given || !(*given >= 0.0 && *given <= 1.0)) {
            error = "--amount " + *a[Option::amount] + " is not a number from 0 to 1";
        }
        amount = given.value_or(0.0);
    }
    if (!seed || !error.empty()) {
        return command.usage(error);
    }
    if (a[Option::output]) {
        if (auto clash = clash_of({{*a[Option::output], "the sound file", {a.operands[0]}}})) {
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
    if (!a[Option::seed]) {
        text += "// bleep mutate " + a.operands[0] + " --amount " +
                (a[Option::amount] ? *a[Option::amount] : std::string("0.2")) + " --seed " +
                std::to_string(*seed) + "\n";
    }
    text += write_sound(mutate_sound(*sound, amount, *seed));
    return command.write(a[Option::output], text) ? exit_ok : exit_failure;
}

// A bank's sounds as WAV files named after them, and the files they are made from.
struct BankRender {
    std::vector<std::string> inputs;
    std::vector<FileToWrite> files;
};

int command_render(const Command& command, const Arguments& a) {
    std::string error;
    const auto rate = rate_of(a, error);
    const auto format = rate ? format_of(a, error) : std::nullopt;
    if (!rate || !format) {
        return command.usage(error);
    }
    const std::optional<std::string>& output = a[Option::output];
    const std::optional<std::string>& out_dir = a[Option::out_dir];
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    if (output && out_dir) {
        return command.usage("give -o or --out-dir, not both");
    }
    if (output && a.operands.size() > 1) {
        return command.usage("-o names one output; use --out-dir for several sound files");
    }
    if (output && is_bank(a.operands[0])) {
        return command.usage("a bank renders one WAV file per sound; use --out-dir, not -o");
    }
    if (!output && std::find(a.operands.begin(), a.operands.end(), "-") != a.operands.end()) {
        return command.usage("a sound file from standard input needs -o");
    }
    // Everything is read first, so that every output is known before anything is written.
    int status = exit_ok;
    std::vector<Output> outputs;
    std::vector<std::optional<Sound>> sounds;
    std::vector<std::optional<BankRender>> banks;
    for (const std::string& input : a.operands) {
        sounds.emplace_back();
        banks.emplace_back();
        if (!is_bank(input)) {
            outputs.push_back(
                {output ? *output : output_beside(input, out_dir, ".wav"), "the WAV file", {input}});
            sounds.back() = command.read(input);
            status = sounds.back() ? status : exit_failure;
            continue;
        }
        BankRender render;
        const std::optional<Bank> bank = command.read_bank_file(input, &render.inputs);
        std::optional<std::vector<FileToWrite>> files;
        if (bank) {
            files = bank_wav_files(*bank, render_bank(*bank, *rate), input, out_dir, *rate, *format, error);
            if (!files) {
                command.report(std::string(input).append(": ").append(error));
            }
        }
        if (!files) {
            status = exit_failure;
            continue;
        }
        render.files = std::move(*files);
        for (const FileToWrite& file : render.files) {
            outputs.push_back({file.path, "the WAV file", render.inputs});
        }
        banks.back() = std::move(render);
    }
    if (auto clash = clash_of(outputs)) {
        return command.usage(*clash);
    }
    std::size_t next_output = 0;
    for (std::size_t i = 0; i < a.operands.size(); ++i) {
        if (sounds[i]) {
            const std::optional<std::string> bytes =
                wav_bytes(render_sound(*sounds[i], *rate), *rate, *format);
            if (!bytes) {
                command.report(a.operands[i] + ": the sound is too long for a WAV file");
            }
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
                command.report(written.path + ": cannot write: " + written.error);
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
    const std::string name = a[Option::name] ? *a[Option::name] : std::string(default_header_name);
    if (!is_header_name(name)) {
        return command.usage("--name " + name + " is not a C identifier (letters, digits, _; not a keyword)");
    }
    const std::string& input = a.operands[0];
    if (input == "-" && !a[Option::output]) {
        return command.usage("a sound file from standard input needs -o");
    }
    const std::string output =
        a[Option::output] ? *a[Option::output] : output_beside(input, std::nullopt, ".h");
    std::vector<std::string> inputs{input};
    std::string text;
    if (is_bank(input)) {
        inputs.clear();
        const std::optional<Bank> bank = command.read_bank_file(input, &inputs);
        if (!bank) {
            return exit_failure;
        }
        std::optional<std::string> made = bank_header(*bank, render_bank(*bank, *rate), name, *rate, error);
        if (!made) {
            return command.usage(error);
        }
        text = std::move(*made);
    } else {
        const std::optional<Sound> sound = command.read(input);
        if (!sound) {
            return exit_failure;
        }
        text = c_header_text(render_sound(*sound, *rate), name, *rate);
    }
    std::vector<Output> outputs{{output, "the header", inputs}};
    if (a[Option::depfile]) {
        outputs.push_back({*a[Option::depfile], "the depfile", inputs});
    }
    if (auto clash = clash_of(outputs)) {
        return command.usage(*clash);
    }
    if (!command.write(output, text)) {
        return exit_failure;
    }
    return !a[Option::depfile] || command.write(*a[Option::depfile], depfile_text(output, inputs))
               ? exit_ok
               : exit_failure;
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
        command.report("the studio page (bleepforge-studio.html) is not installed beside this program");
        return exit_failure;
    }
    if (!command.console().open_in_browser(page->c_str())) {
        command.say("Open this file in a web browser: " + *page);
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
        return write_stream(console.out, help_text()).empty() ? exit_ok : exit_failure;
    }
    if (word == "--version") {
        return write_stream(console.out, "bleep " BLEEPFORGE_VERSION "\n").empty() ? exit_ok : exit_failure;
    }
    using enum Option;
    struct Entry {
        std::string_view word;
        std::initializer_list<Option> options;
        int (*run)(const Command&, const Arguments&);
    };
    const Entry commands[] = {
        {"new", {output}, command_new},
        {"random", {output, seed, layers}, command_random},
        {"mutate", {output, seed, amount}, command_mutate},
        {"render", {output, out_dir, rate, format}, command_render},
        {"header", {output, name, rate, depfile}, command_header},
        {"check", {}, command_check},
        {"play", {rate, loop}, command_play},
        {"watch", {out_dir, rate, format, header, play}, command_watch},
        {"studio", {}, nullptr},
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
