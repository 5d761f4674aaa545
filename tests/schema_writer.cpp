// Writes the sound file's JSON Schema from the table of members, so editors check and complete
// files by the same rows the reader follows. The schema in doc/ is this program's output; a test
// fails when the two differ. Usage: schema_writer > doc/bleepforge-sound.schema.json
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "bleepforge/sound.hpp"

namespace {

using nlohmann::ordered_json;
using namespace bleepforge;

// Whole numbers as integers, as a person writes them in a schema.
ordered_json number(double value) {
    if (value == std::floor(value) && std::fabs(value) < 0x1p53) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

std::string sentence(const SoundField& field) {
    return std::string(field.title) + ": " + std::string(field.summary) + " (" + range_text(field) + ").";
}

}  // namespace

int main() {
    ordered_json properties;
    properties["bleepforge"] = {{"description", "Format version; this format is version 1."},
                                {"type", "integer"},
                                {"const", sound_format_version}};
    properties["preset"] = {
        {"description",
         "The preset the sound starts from; its patch gives every member not written. Without "
         "it the sound starts from the defaults with 440 Hz."},
        {"enum", preset_words}};
    properties["chip"] = {
        {"description",
         "The sound-chip voice. Default nes. On ym2612 the start has fm_ratio 3 and fm_index 2.5."},
        {"enum", chip_words},
        {"default", chip_words[0]}};
    for (const SoundField& field : sound_fields()) {
        ordered_json property = {{"description", sentence(field)}, {"type", "number"}};
        property[field.min_exclusive ? "exclusiveMinimum" : "minimum"] = number(field.min);
        property["maximum"] = number(field.max);
        if (field.member == nullptr) {
            property["default"] = number(Sound{}.duration_s);
        }
        properties[std::string(field.name)] = property;
    }
    const ordered_json schema = {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"$id", "urn:bleepforge:sound:1"},
        {"title", "Bleepforge sound file"},
        {"description",
         "A sound effect for the bleep tool and the Bleepforge library: a chip voice, its patch and its "
         "duration. "
         "The file may hold // and /* */ comments."},
        {"type", "object"},
        {"required", {"bleepforge"}},
        {"additionalProperties", false},
        {"properties", properties},
    };
    const std::string text = schema.dump(2) + "\n";
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0
                                                                                                       : 1;
}
