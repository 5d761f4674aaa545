// Which file each console takes, and the exporters called for it.
#include <optional>
#include <string>
#include <vector>

#include "bleepforge/console_export.hpp"
#include "bleepforge/gbs.hpp"
#include "bleepforge/nsf.hpp"

namespace bleepforge {
namespace {

// The console whose sounds each export takes (nothing: either's), and whether it holds one sound.
struct ExportRule {
    std::optional<HardwareModel> console;
    bool one_sound;
};
constexpr ExportRule export_rules[] = {
    {std::nullopt, false},           {HardwareModel::nes, false}, {HardwareModel::nes, false},
    {HardwareModel::gameboy, false}, {std::nullopt, true},        {HardwareModel::gameboy, false},
};
static_assert(std::size(export_rules) == console_export_words.size());

std::string_view console_word(HardwareModel model) {
    return model == HardwareModel::nes ? "nes" : "gameboy";
}

ConsoleFiles refused(std::string why) {
    return {"", "", std::move(why), true};
}

std::optional<std::string> refusal(std::span<const NamedFrames> sounds, ConsoleExport kind,
                                   const ConsoleExportNames& names) {
    const ExportRule& rule = export_rules[static_cast<std::size_t>(kind)];
    const std::string kind_word(console_export_words[static_cast<std::size_t>(kind)]);
    const std::string input = names.input.empty() ? "the bank" : std::string(names.input);
    if (rule.one_sound && sounds.size() > 1) {
        return input + " is a bank: a " + kind_word +
               " file holds one sound, so export each sound file on its own (or the bank --to frames, nsf or "
               "gbs)";
    }
    for (const NamedFrames& sound : sounds) {
        const HardwareModel console = sound.frames->model;
        if (console != sounds.front().frames->model) {
            return input + " holds sounds for the nes and the gameboy: a console's players take its own, so put "
                           "each console's sounds in a bank of their own";
        }
        if (rule.console && console != *rule.console) {
            std::string why = sounds.size() > 1      ? "\"" + std::string(sound.name) + "\""
                              : names.input.empty() ? std::string("the sound")
                                                    : std::string(names.input);
            why += " is a ";
            why += console_word(console);
            why += " sound: --to " + kind_word + " is for the ";
            why += console_word(*rule.console);
            why += "'s (the ";
            why += console_word(console);
            return why += console == HardwareModel::nes ? "'s are frames, vgm, nsf and famistudio)"
                                                        : "'s are frames, vgm, gbs and gbdk)";
        }
    }
    return std::nullopt;
}

}  // namespace

ConsoleFiles console_files(std::span<const NamedFrames> sounds, ConsoleExport kind,
                           const ConsoleExportNames& names) {
    if (sounds.empty()) {
        return refused("there is no sound to export");
    }
    if (std::optional<std::string> why = refusal(sounds, kind, names)) {
        return refused(std::move(*why));
    }
    std::vector<Frames> frames;
    for (const NamedFrames& sound : sounds) {
        frames.push_back(*sound.frames);
    }
    ConsoleFile made;
    switch (kind) {
    case ConsoleExport::frames:
        made.bytes = frames_text(sounds);
        break;
    case ConsoleExport::nsf:
        made = nsf_file(frames, names.title.substr(0, nsf_title_max));
        break;
    case ConsoleExport::famistudio:
        made = famistudio_text(sounds, names.label);
        break;
    case ConsoleExport::gbs:
        made = gbs_file(frames, names.title.substr(0, gbs_title_max));
        break;
    case ConsoleExport::vgm:
        made = vgm_file(frames.front());
        break;
    case ConsoleExport::gbdk: {
        GbdkFiles c = gbdk_files(sounds, names.header_name, names.player_hz);
        return {std::move(c.source), std::move(c.header), std::move(c.problem)};
    }
    }
    return {std::move(made.bytes), "", std::move(made.problem)};
}

}  // namespace bleepforge
