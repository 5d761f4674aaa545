#include "arguments.hpp"

#include <algorithm>
#include <iterator>

#include "bleepforge/console_export.hpp"
#include "bleepforge/export.hpp"

namespace bleepforge::tool {
namespace {

using enum Option;

// clang-format off
constexpr OptionRow options[] = {
    {output,  "-o",        "--output", "FILE",  "where to write ('-' is standard output); new, random and mutate "
                                                "write to standard output without it"},
    {out_dir, "--out-dir", "",         "DIR",   "write the WAV files into DIR"},
    {rate,    "--rate",    "",         "HZ",    "sample rate, 8000 to 192000 (default 44100)"},
    {format,  "--format",  "",         "F",     "s16 (16-bit PCM, the default), u8 (8-bit unsigned PCM) or f32 "
                                                "(32-bit float, the renderer's floats)", wav_format_words},
    {to,      "--to",      "",         "KIND",  "frames (the register writes of each video frame, as text), nsf (an "
                                                "NSF file), famistudio (FamiTone2/FamiStudio sound-effect data, "
                                                "ca65), gbs (a GBS file), vgm (a VGM file) or gbdk (GBDK/GB Studio "
                                                "sound-effect data, a C source and header)", console_export_words},
    {player_rate, "--player-rate", "", "HZ",    "for gbdk, how often the game calls the player: from 59.7275 (each "
                                                "vertical blank, the default) to 1024; 256 for a 256 Hz timer, as GB "
                                                "Studio's engine and VGM2GBSFX's music manager call it"},
    {name,    "--name",    "",         "IDENT", "the C identifier in its symbols; by default chiptune_sfx for "
                                                "header, and for export sounds (the famistudio table) or the sound "
                                                "file's name (gbdk)"},
    {seed,    "--seed",    "",         "N",     "0 to 18446744073709551615 (default: drawn)"},
    {amount,  "--amount",  "",         "A",     "0 (nothing) to 1 (a lot), default 0.2"},
    {layers,  "--layers",  "",         "N",     "a layered sound of N layers, 1 to 8"},
    {depfile, "--depfile", "",         "FILE",  "also write the files it was made from, for make or ninja"},
    {loop,    "--loop",    "",         "",      "again and again until Ctrl+C"},
    {header,  "--header",  "",         "",      "write the header too"},
    {play,    "--play",    "",         "",      "play each fresh render"},
    {hardware, "--hardware", "",       "",      "made for the console (nes, gameboy): its frames, played by its "
                                                "sound unit; mutate makes the sound so before moving it"},
    {strict,  "--strict",  "",         "",      "warnings fail too (status 1), for CI"},
    {help,    "-h",        "--help",   "",      "this text"},
    {version, "--version", "",         "",      "the version"},
};

constexpr OptionUse new_options[] = {{output}};
constexpr OptionUse random_options[] = {{seed}, {layers}, {hardware}, {output}};
constexpr OptionUse mutate_options[] = {{amount}, {seed}, {hardware}, {output}};
constexpr OptionUse render_options[] = {{.option = output, .value = "OUT.wav", .or_next = true}, {out_dir}, {rate},
                                        {.option = format, .choices = true}};
constexpr OptionUse header_options[] = {{.option = output, .value = "OUT.h"}, {name}, {rate}, {depfile}};
constexpr OptionUse export_options[] = {{.option = to, .choices = true, .required = true},
                                        {.option = output, .value = "OUT"},
                                        {name}, {player_rate}};
constexpr OptionUse check_options[] = {{strict}, {rate}};
constexpr OptionUse play_options[] = {{rate}, {loop}};
constexpr OptionUse watch_options[] = {{out_dir}, {rate}, {format}, {header}, {play}};

constexpr CommandRow commands[] = {
    {Verb::new_sound, "new",    "PRESET [CHIP]", "the sound file of a preset on a chip (default nes)", new_options},
    {Verb::random,    "random", "PRESET [CHIP]", "a new random sound of the preset's family", random_options},
    {Verb::mutate,    "mutate", "FILE",          "the sound moved a little", mutate_options},
    {Verb::render,    "render", "FILE...",       "each sound to a mono WAV file (FILE with .wav)", render_options},
    {Verb::header,    "header", "FILE",          "the sound as a C/C++ header (FILE with .h)", header_options},
    {Verb::export_sound, "export", "FILE",       "a hardware sound for the console's players (FILE with .frames, "
                                                 ".nsf, .s, .gbs, .vgm or .c and .h)", export_options},
    {Verb::check,     "check",  "FILE...",       "report every problem of every file, and warnings", check_options},
    {Verb::play,      "play",   "FILE...",       "play each sound in turn on the audio output", play_options},
    {Verb::watch,     "watch",  "FILE...",       "render each sound now and again at every save, until Ctrl+C",
     watch_options},
    {Verb::studio,    "studio", "",              "open the studio page in the web browser", {}},
};
// clang-format on

// A row is found by its option's value.
static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(options); ++i) {
            if (static_cast<std::size_t>(options[i].option) != i) {
                return false;
            }
        }
        return std::size(options) == option_count;
    }(),
    "the option table lists every option, in the enum's order");

// The help's two columns: what is written, then what it means from this column on.
constexpr std::size_t help_column = 29;

const OptionRow& row_of(Option option) {
    return options[static_cast<std::size_t>(option)];
}

bool takes(const CommandRow& command, Option option) {
    return std::any_of(command.options.begin(), command.options.end(),
                       [&](const OptionUse& use) { return use.option == option; });
}

// "  " and what is written, then the text from help_column on, wrapped at help_width.
std::string help_entry(std::string_view written, std::string_view text) {
    std::string entry = "  " + std::string(written);
    std::size_t line_start = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        const bool first = entry.size() - line_start <= help_column;
        if (!first && entry.size() - line_start + 1 + word.size() > help_width) {
            entry += '\n';
            line_start = entry.size();
        }
        entry.resize(std::max(entry.size(), line_start + help_column), ' ');
        if (entry.size() - line_start > help_column) {
            entry += ' ';
        }
        entry += word;
        at = end + 1;
    }
    return entry + "\n";
}

}  // namespace

std::span<const OptionRow> option_rows() {
    return options;
}

std::span<const CommandRow> command_rows() {
    return commands;
}

Result<const CommandRow*> find_command(std::string_view word) {
    const auto found = std::find_if(std::begin(commands), std::end(commands),
                                    [&](const CommandRow& c) { return c.word == word; });
    if (found == std::end(commands)) {
        return Failure("unknown command " + std::string(word));
    }
    return &*found;
}

std::optional<Option> spelled(std::string_view word) {
    const auto found = std::find_if(std::begin(options), std::end(options), [&](const OptionRow& o) {
        return o.spelling == word || (!o.long_spelling.empty() && o.long_spelling == word);
    });
    return found == std::end(options) ? std::nullopt : std::optional<Option>(found->option);
}

std::string_view spelling_of(Option option) {
    return row_of(option).spelling;
}

Result<Arguments> parse_arguments(std::span<const char* const> words, std::span<const OptionUse> allowed) {
    Arguments a;
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
        const std::string_view written = word.substr(0, word.find('='));
        const std::optional<Option> option = spelled(written);
        if (!option || std::none_of(allowed.begin(), allowed.end(),
                                    [&](const OptionUse& use) { return use.option == *option; })) {
            return Failure("unknown option " + std::string(written));
        }
        std::string value;
        if (row_of(*option).value.empty()) {
            if (written.size() < word.size()) {
                return Failure("option " + std::string(written) + " takes no value");
            }
        } else if (written.size() < word.size()) {
            value = std::string(word.substr(written.size() + 1));
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            return Failure("option " + std::string(written) + " needs a value");
        }
        std::optional<std::string>& slot = a.values[static_cast<std::size_t>(*option)];
        if (slot) {
            return Failure("option " + std::string(spelling_of(*option)) + " is given twice");
        }
        slot = std::move(value);
    }
    return a;
}

std::string usage_text() {
    std::string text;
    for (const CommandRow& command : commands) {
        text += text.empty() ? "usage: bleep " : "       bleep ";
        text += command.word;
        if (!command.operands.empty()) {
            text += " " + std::string(command.operands);
        }
        bool in_group = false;
        for (const OptionUse& use : command.options) {
            const OptionRow& row = row_of(use.option);
            text += in_group ? " | " : use.required ? " " : " [";
            text += row.spelling;
            if (use.choices) {
                text += " ";
                for (std::size_t i = 0; i < row.choices.size(); ++i) {
                    text += (i == 0 ? "" : "|") + std::string(row.choices[i]);
                }
            } else if (!row.value.empty()) {
                text += " " + std::string(use.value.empty() ? row.value : use.value);
            }
            in_group = use.or_next;
            if (!in_group && !use.required) {
                text += "]";
            }
        }
        text += "\n";
    }
    return text;
}

std::string commands_help() {
    std::string text;
    for (const CommandRow& command : commands) {
        std::string written(command.word);
        if (!command.operands.empty()) {
            written += " " + std::string(command.operands);
        }
        text += help_entry(written, command.summary);
    }
    return text;
}

std::string options_help() {
    std::string text;
    for (const OptionRow& row : options) {
        std::string written(row.spelling);
        if (!row.long_spelling.empty()) {
            written += ", " + std::string(row.long_spelling);
        }
        if (!row.value.empty()) {
            written += " " + std::string(row.value);
        }
        std::string takers;
        for (const CommandRow& command : commands) {
            if (takes(command, row.option)) {
                takers += (takers.empty() ? "" : ", ") + std::string(command.word);
            }
        }
        text += help_entry(written, takers.empty() ? std::string(row.description)
                                                   : takers + ": " + std::string(row.description));
    }
    return text;
}

}  // namespace bleepforge::tool
