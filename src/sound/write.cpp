#include "bleepforge/sound.hpp"
#include "members.hpp"

namespace bleepforge {

std::string write_sound(const Sound& sound) {
    auto word = [](std::span<const std::string_view> words, auto value) {
        const auto index = static_cast<std::size_t>(value);
        return index < words.size() ? std::string(words[index]) : std::string("?");
    };
    std::string text = "{\n  \"bleepforge\": " + std::to_string(sound_format_version) + ",\n";
    if (sound.preset) {
        text += "  \"preset\": \"" + word(preset_words, *sound.preset) + "\",\n";
    }
    text += "  \"chip\": \"" + word(chip_words, sound.patch.chip) + "\"";
    for (const SoundField& field : sound_fields()) {
        text += ",\n  \"";
        text += field.name;
        text += "\": " + sound_members::format_number(sound_members::value_of(sound, field));
    }
    text += "\n}\n";
    return text;
}

}  // namespace bleepforge
