#include "bleep.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "bleepforge/console_export.hpp"
#include "bleepforge/nsf.hpp"
#include "bleepforge/sound.hpp"
#include "command.hpp"
#include "files.hpp"
#include "listen.hpp"
#include "render_plan.hpp"
#include "result.hpp"
#include "studio_path.hpp"

namespace bleepforge::tool {
namespace {

constexpr double default_amount = 0.2;

// PRESET [CHIP], exactly the words of the format.
struct PresetChip {
    SfxPreset preset;
    ChipType chip;
};

Result<PresetChip> preset_and_chip(const Arguments& a) {
    if (a.operands.empty() || a.operands.size() > 2) {
        return Failure(a.operands.empty() ? "a preset is missing" : "too many words: " + a.operands[2]);
    }
    const auto preset = exact_word<SfxPreset>(a.operands[0], preset_words);
    if (!preset) {
        return Failure("unknown preset \"" + a.operands[0] + "\" (one of " + word_list(preset_words) + ")");
    }
    const std::string chip_word(a.operands.size() > 1 ? a.operands[1] : chip_words[0]);
    const auto chip = exact_word<ChipType>(chip_word, chip_words);
    if (!chip) {
        return Failure("unknown chip \"" + chip_word + "\" (one of " + word_list(chip_words) + ")");
    }
    return PresetChip{*preset, *chip};
}

// --layers N, when given.
Result<std::optional<std::size_t>> layers_of(const Arguments& a) {
    if (!a[Option::layers]) {
        return std::optional<std::size_t>();
    }
    const auto layers = whole_number<std::size_t>(*a[Option::layers]);
    if (!layers || *layers < 1 || *layers > max_layers) {
        return Failure("--layers " + *a[Option::layers] + " is not a whole number from 1 to " +
                       std::to_string(max_layers));
    }
    return layers;
}

Result<double> amount_of(const Arguments& a) {
    if (!a[Option::amount]) {
        return default_amount;
    }
    const auto amount = real_number(*a[Option::amount]);
    if (!amount || !(*amount >= 0.0 && *amount <= 1.0)) {
        return Failure("--amount " + *a[Option::amount] + " is not a number from 0 to 1");
    }
    return *amount;
}

int command_new(const Command& command, const Arguments& a) {
    const Result<PresetChip> words = preset_and_chip(a);
    if (!words) {
        return command.usage(words.error());
    }
    return command.finish(
        command.write(a[Option::output], write_sound(make_sound(words->preset, words->chip))));
}

std::string no_hardware_model(ChipType chip) {
    return "--hardware: the " + std::string(chip_words[static_cast<std::size_t>(chip)]) +
           " has no hardware model (the nes and the gameboy have one)";
}

// The first chip of the sound, or of its layers, that --hardware cannot make a console's.
std::optional<ChipType> chip_without_model(const Sound& sound) {
    if (sound.layers.empty()) {
        return has_hardware_model(sound.patch.chip) ? std::nullopt : std::optional(sound.patch.chip);
    }
    for (const Layer& layer : sound.layers) {
        if (const std::optional<ChipType> chip = chip_without_model(layer.sound)) {
            return chip;
        }
    }
    return std::nullopt;
}

int command_random(const Command& command, const Arguments& a) {
    const Result<PresetChip> words = preset_and_chip(a);
    if (!words) {
        return command.usage(words.error());
    }
    const Result<std::uint64_t> seed = seed_of(a);
    if (!seed) {
        return command.usage(seed.error());
    }
    const Result<std::optional<std::size_t>> layers = layers_of(a);
    if (!layers) {
        return command.usage(layers.error());
    }
    std::string text;
    if (!a[Option::seed]) {
        text = "// bleep random " + std::string(preset_words[static_cast<std::size_t>(words->preset)]) + " " +
               std::string(chip_words[static_cast<std::size_t>(words->chip)]) + " --seed " +
               std::to_string(*seed) + (*layers ? " --layers " + std::to_string(**layers) : "") +
               (a.has(Option::hardware) ? " --hardware" : "") + "\n";
    }
    const bool hardware = a.has(Option::hardware);
    if (hardware && !has_hardware_model(words->chip)) {
        return command.usage(no_hardware_model(words->chip));
    }
    text += write_sound(*layers ? random_layered_sound(words->preset, words->chip, *seed, **layers, hardware)
                                : random_sound(words->preset, words->chip, *seed, hardware));
    return command.finish(command.write(a[Option::output], text));
}

int command_mutate(const Command& command, const Arguments& a) {
    if (a.operands.size() != 1) {
        return command.usage(a.operands.empty() ? "a sound file is missing" : "mutate takes one sound file");
    }
    if (is_bank(a.operands[0])) {
        return command.usage(a.operands[0] +
                             " is a bank: mutate takes one sound file, so mutate the files it "
                             "names one at a time");
    }
    const Result<double> amount = amount_of(a);
    if (!amount) {
        return command.usage(amount.error());
    }
    const Result<std::uint64_t> seed = seed_of(a);
    if (!seed) {
        return command.usage(seed.error());
    }
    if (a[Option::output]) {
        if (const Result<> clear = refuse_clashes({{*a[Option::output], "the sound file", {a.operands[0]}}});
            !clear) {
            return command.usage(clear.error());
        }
    }
    std::optional<std::string> input;
    const Result<Sound> sound = command.read(a.operands[0], &input);
    if (!sound) {
        return command.finish(sound);
    }
    const bool hardware = a.has(Option::hardware);
    if (const std::optional<ChipType> chip = hardware ? chip_without_model(*sound) : std::nullopt) {
        return command.usage(a.operands[0] + ": " + no_hardware_model(*chip));
    }
    // The file's own leading comments stay; the comments among its members cannot follow them.
    std::string text = leading_comments(*input);
    if (!a[Option::seed]) {
        text += "// bleep mutate " + a.operands[0] + " --amount " +
                (a[Option::amount] ? *a[Option::amount] : std::string("0.2")) + " --seed " +
                std::to_string(*seed) + (hardware ? " --hardware" : "") + "\n";
    }
    text += write_sound(mutate_sound(*sound, *amount, *seed, hardware));
    return command.finish(command.write(a[Option::output], text));
}

int command_render(const Command& command, const Arguments& a) {
    const Result<std::int32_t> rate = rate_of(a);
    if (!rate) {
        return command.usage(rate.error());
    }
    const Result<WavFormat> format = format_of(a);
    if (!format) {
        return command.usage(format.error());
    }
    const std::optional<std::string>& output = a[Option::output];
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    if (output && a.has(Option::out_dir)) {
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
    const RenderSettings plan_settings{output, a[Option::out_dir], *rate, *format, false};
    const RenderPlan plan = plan_render(command, a.operands, plan_settings);
    int status = exit_ok;
    for (const PlannedInput& planned : plan.inputs) {
        status = command.check(planned.render) ? status : exit_failure;
    }
    if (!plan.clear) {
        return command.usage(plan.clear.error());
    }
    if (!command.check(make_out_dir(plan_settings))) {
        return exit_failure;
    }
    for (const PlannedInput& planned : plan.inputs) {
        if (planned.render && !command.check(write_render(command, *planned.render))) {
            status = exit_failure;
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
    const Result<std::int32_t> rate = rate_of(a);
    if (!rate) {
        return command.usage(rate.error());
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
        const Result<Bank> bank = command.read_bank_file(input, &inputs);
        if (!bank) {
            return command.finish(bank);
        }
        Result<std::string> made =
            bank_header(*bank, render_bank(*bank, *rate), name, "--name " + name, *rate);
        if (!made) {
            return command.usage(made.error());
        }
        text = std::move(*made);
    } else {
        const Result<Sound> sound = command.read(input);
        if (!sound) {
            return command.finish(sound);
        }
        text = c_header_text(render_sound(*sound, *rate), name, *rate);
    }
    std::vector<Output> outputs{{output, "the header", inputs}};
    if (a[Option::depfile]) {
        outputs.push_back({*a[Option::depfile], "the depfile", inputs});
    }
    if (const Result<> clear = refuse_clashes(outputs); !clear) {
        return command.usage(clear.error());
    }
    if (!command.check(command.write(output, text))) {
        return exit_failure;
    }
    return a[Option::depfile]
               ? command.finish(command.write(*a[Option::depfile], depfile_text(output, inputs)))
               : exit_ok;
}

// A name for the sound of a file that holds one: its file's stem where that is an identifier.
std::string sound_name_of(const std::string& path, std::string_view otherwise) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return is_header_name(stem) ? stem : std::string(otherwise);
}

// The sounds of a sound file or a bank, each named, with the paths read; or every problem.
struct Named {
    std::string name;
    Sound sound;
};

Result<std::vector<Named>> sounds_of(const Command& command, const std::string& input,
                                     std::vector<std::string>& inputs) {
    std::vector<Named> sounds;
    if (is_bank(input)) {
        inputs.clear();
        Result<Bank> bank = command.read_bank_file(input, &inputs);
        if (!bank) {
            return Failure(bank.reasons());
        }
        for (BankEntry& entry : bank->entries) {
            sounds.push_back({entry.name, std::move(entry.sound)});
        }
        return sounds;
    }
    Result<Sound> sound = command.read(input);
    if (!sound) {
        return Failure(sound.reasons());
    }
    sounds.push_back({sound_name_of(input, "sound"), std::move(*sound)});
    return sounds;
}

// The sounds' frames, or why a sound has none to export.
Result<std::vector<Frames>> export_frames(const std::vector<Named>& sounds, const std::string& input) {
    std::vector<Frames> frames;
    for (const Named& named : sounds) {
        const std::string shown = sounds.size() > 1 ? "\"" + named.name + "\"" : input;
        if (!named.sound.layers.empty()) {
            return Failure(shown + " is a layered sound: a console plays one sound at a time, so export each "
                                   "layer's sound on its own");
        }
        if (!named.sound.patch.hardware) {
            return Failure(shown + " is not made for the hardware: give it \"hardware\": true (on nes or "
                                   "gameboy), or make one with bleep random PRESET nes --hardware");
        }
        frames.push_back(hardware_frames(named.sound.patch, named.sound.duration_s));
    }
    return frames;
}

// What export was asked for, from its arguments: the kind, the label and the player's rate.
struct ExportRequest {
    ConsoleExport kind;
    std::string label;
    double player_hz = dmg_frame_hz;
};

Result<ExportRequest> export_request(const Arguments& a) {
    if (a.operands.size() != 1) {
        return Failure(a.operands.empty() ? "a sound file is missing"
                                          : "export takes one sound file or bank");
    }
    if (!a[Option::to]) {
        return Failure("--to is missing: " + word_list(console_export_words));
    }
    const std::optional<ConsoleExport> kind = exact_word<ConsoleExport>(*a[Option::to], console_export_words);
    if (!kind) {
        return Failure("--to " + *a[Option::to] + " is not one of " + word_list(console_export_words));
    }
    const std::string& input = a.operands[0];
    // gbdk names a single sound's data from its file; the FamiStudio list is "sounds" unless named.
    ExportRequest request{*kind, a[Option::name]                ? *a[Option::name]
                                 : *kind == ConsoleExport::gbdk ? sound_name_of(input, "sound")
                                                                : "sounds"};
    if (!is_header_name(request.label)) {
        return Failure("--name " + request.label +
                       " is not an identifier (letters, digits, _; not a keyword)");
    }
    if (input == "-" && !a[Option::output]) {
        return Failure("a sound file from standard input needs -o");
    }
    if (*kind == ConsoleExport::gbdk && a[Option::output] == "-") {
        return Failure("--to gbdk writes a C source and its header: give -o FILE.c");
    }
    if (a[Option::player_rate]) {
        const auto given = real_number(*a[Option::player_rate]);
        if (*kind != ConsoleExport::gbdk || !given || !(*given >= gbdk_player_hz_min && *given <= gbdk_player_hz_max)) {
            return Failure("--player-rate " + *a[Option::player_rate] +
                           (*kind != ConsoleExport::gbdk
                                ? " is for --to gbdk"
                                : " is not a number of calls a second from 59.7275 to 1024"));
        }
        request.player_hz = *given;
    }
    return request;
}

int command_export(const Command& command, const Arguments& a) {
    const Result<ExportRequest> request = export_request(a);
    if (!request) {
        return command.usage(request.error());
    }
    const ConsoleExport kind = request->kind;
    const std::string& input = a.operands[0];
    std::vector<std::string> inputs{input};
    const Result<std::vector<Named>> sounds = sounds_of(command, input, inputs);
    if (!sounds) {
        return command.finish(sounds);
    }
    const Result<std::vector<Frames>> frames = export_frames(*sounds, input);
    if (!frames) {
        return command.usage(frames.error());
    }
    const std::string output =
        a[Option::output]
            ? *a[Option::output]
            : output_beside(input, std::nullopt,
                            std::string(console_export_extensions[static_cast<std::size_t>(kind)]).c_str());
    const std::string header = std::filesystem::path(output).replace_extension(".h").string();
    std::vector<NamedFrames> named;
    for (std::size_t i = 0; i < frames->size(); ++i) {
        const bool one_gbdk = sounds->size() == 1 && kind == ConsoleExport::gbdk;
        named.push_back({one_gbdk ? std::string_view(request->label) : std::string_view((*sounds)[i].name),
                         &(*frames)[i]});
    }
    // An NSF or GBS holds one title: the sound's name, or the bank's for several.
    const std::string title = sounds->size() == 1 ? (*sounds)[0].name : sound_name_of(input, "sounds");
    const std::string header_name = std::filesystem::path(header).filename().string();
    ConsoleFiles made =
        console_files(named, kind, {input, title, request->label, header_name, request->player_hz});
    if (!made.problem.empty()) {
        return made.request_refused ? command.usage(made.problem)
                                    : command.finish(Result<>(Failure(input + ": " + made.problem)));
    }
    std::vector<Output> outputs{{output, "the export", inputs}};
    if (kind == ConsoleExport::gbdk) {
        outputs.push_back({header, "the export's header", inputs});
    }
    if (const Result<> clear = refuse_clashes(outputs); !clear) {
        return command.usage(clear.error());
    }
    if (kind == ConsoleExport::gbdk && !command.check(command.write(header, made.header))) {
        return exit_failure;
    }
    return command.finish(command.write(output, made.bytes));
}

int command_check(const Command& command, const Arguments& a) {
    if (a.operands.empty()) {
        return command.usage("a sound file is missing");
    }
    const Result<std::int32_t> rate = rate_of(a);
    if (!rate) {
        return command.usage(rate.error());
    }
    // Settings the sound cannot play and warnings about what it sounds like are no problems, but check
    // says so, in the words the studio shows; --strict makes a warning fail.
    bool warned = false;
    const auto tell = [&](const std::string& where, const Sound& sound) {
        for (const InactiveMember& m : unheard_settings(sound)) {
            std::string note = where + ": note: \"";
            note += m.member;
            note += "\" changes nothing: ";
            command.report(note += m.reason);
        }
        for (const std::string& warning : sound_warnings(sound, render_sound(sound, *rate))) {
            std::string line = where + ": warning: ";
            line += warning;
            command.report(line);
            warned = true;
        }
    };
    int status = exit_ok;
    for (const std::string& input : a.operands) {
        bool good = false;
        if (is_bank(input)) {
            const Result<Bank> bank = command.read_bank_file(input);
            good = command.check(bank);
            for (const BankEntry& entry : good ? bank->entries : std::vector<BankEntry>{}) {
                tell(input + " [" + entry.name + "]", entry.sound);
            }
        } else {
            const Result<Sound> sound = command.read(input);
            good = command.check(sound);
            if (good) {
                tell(input, *sound);
            }
        }
        status = good ? status : exit_failure;
    }
    return warned && a.has(Option::strict) ? exit_failure : status;
}

int command_studio(const Command& command, const Arguments& a, std::string_view program) {
    if (!a.operands.empty()) {
        return command.usage("studio takes no words");
    }
    const Result<std::string> page = find_studio_page(program);
    if (!page) {
        return command.finish(page);
    }
    if (!command.console().open_in_browser(page->c_str())) {
        command.say("Open this file in a web browser: " + *page);
    }
    return exit_ok;
}

int run(Verb verb, const Command& command, const Arguments& a, std::string_view program) {
    switch (verb) {
    case Verb::new_sound:
        return command_new(command, a);
    case Verb::random:
        return command_random(command, a);
    case Verb::mutate:
        return command_mutate(command, a);
    case Verb::render:
        return command_render(command, a);
    case Verb::header:
        return command_header(command, a);
    case Verb::export_sound:
        return command_export(command, a);
    case Verb::check:
        return command_check(command, a);
    case Verb::play:
        return command_play(command, a);
    case Verb::watch:
        return command_watch(command, a);
    case Verb::studio:
        return command_studio(command, a, program);
    }
    return exit_usage;
}

}  // namespace

int run_bleep(std::span<const char* const> args, const ToolConsole& console) {
    const Command command(console);
    if (args.size() < 2) {
        return command.usage("a command is missing");
    }
    const std::string_view word = args[1];
    const std::optional<Option> instead = spelled(word);
    if (word == "help" || instead == Option::help) {
        return write_stream(console.out, help_text()) ? exit_ok : exit_failure;
    }
    if (instead == Option::version) {
        return write_stream(console.out, "bleep " BLEEPFORGE_VERSION "\n") ? exit_ok : exit_failure;
    }
    const Result<const CommandRow*> found = find_command(word);
    if (!found) {
        return command.usage(found.error());
    }
    const CommandRow& row = **found;
    const Result<Arguments> parsed = parse_arguments(args.subspan(2), row.options);
    if (!parsed) {
        return command.usage(parsed.error());
    }
    return run(row.verb, command, *parsed, args[0]);
}

}  // namespace bleepforge::tool
