#include "bleepforge/sound.hpp"
#include "members.hpp"

namespace bleepforge {
namespace {

std::string word(std::span<const std::string_view> words, std::size_t index) {
    return index < words.size() ? std::string(words[index]) : std::string("?");
}

// A sound's own members (without the version), one a line at the indent, in the table's order.
std::string members_of(const Sound& sound, const std::string& indent) {
    std::string text;
    if (sound.preset) {
        text +=
            indent + "\"preset\": \"" + word(preset_words, static_cast<std::size_t>(*sound.preset)) + "\",\n";
    }
    text += indent + "\"chip\": \"" + word(chip_words, static_cast<std::size_t>(sound.patch.chip)) + "\",\n";
    text += indent + "\"hardware\": " + (sound.patch.hardware ? "true" : "false");
    for (const SoundField& field : sound_fields()) {
        text += ",\n" + indent + "\"";
        text += field.name;
        text += "\": " + sound_members::format_number(sound_members::value_of(sound, field));
    }
    return text;
}

}  // namespace

std::string write_sound(const Sound& sound) {
    std::string text = "{\n  \"bleepforge\": " + std::to_string(sound_format_version) + ",\n";
    if (sound.layers.empty()) {
        return text + members_of(sound, "  ") + "\n}\n";
    }
    text += "  \"layers\": [";
    for (std::size_t i = 0; i < sound.layers.size(); ++i) {
        const Layer& layer = sound.layers[i];
        text += std::string(i == 0 ? "" : ",") + "\n    {\n" + members_of(layer.sound, "      ");
        text += ",\n      \"start\": " + sound_members::format_number(layer.start_s);
        text += ",\n      \"mix_gain\": " + sound_members::format_number(layer.mix_gain) + "\n    }";
    }
    return text + "\n  ]\n}\n";
}

}  // namespace bleepforge
