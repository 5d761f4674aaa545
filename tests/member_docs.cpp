// Writes what documents the table of members, from the table itself: the sound file's JSON Schema
// (so editors check and complete files by the same rows the reader follows), the table of members
// in the manual page and the one in the README. The copies in doc/ and README.md are this
// program's output; a test fails when they differ.
// Usage: member_docs schema > doc/bleepforge-sound.schema.json
//        member_docs manual | member_docs readme   (the tables, to paste into bleep.1 and README.md)
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

// The manual's table: tbl rows of member, range, meaning; a stage's neutral value is its default.
std::string manual_table() {
    auto roff = [](const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '-') {
                out += "\\-";
            } else if (text.compare(i, 2, "\xC2\xB2") == 0) {
                out += "\\(S2";  // the manual stays ASCII
                ++i;
            } else {
                out += text[i];
            }
        }
        return out;
    };
    std::string text = ".TS\nl l l.\nMember\tRange\tMeaning\n";
    for (const SoundField& field : sound_fields()) {
        text += roff(std::string(field.name)) + "\t" + roff(range_text(field)) + "\t" +
                roff(std::string(field.summary)) + "\n";
    }
    return text + ".TE\n";
}

// The README's table, one row a member, section by section.
std::string readme_table() {
    constexpr const char* sections[] = {"Pitch", "Envelope", "Tone", "Filters", "Effects"};
    std::string text = "| section | member | range | what it does |\n|---|---|---|---|\n";
    for (const SoundField& field : sound_fields()) {
        std::string what(field.summary);
        if (field.version > 1) {
            what += " (format 2)";
        }
        text += std::string("| ") + sections[static_cast<std::size_t>(field.section)] + " | `" +
                std::string(field.name) + "` | " + range_text(field) + " | " + what + " |\n";
    }
    return text;
}

std::string sentence(const SoundField& field) {
    return std::string(field.title) + ": " + std::string(field.summary) + " (" + range_text(field) + ").";
}

}  // namespace

std::string schema();

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "schema";
    const std::string text = what == "manual" ? manual_table() : what == "readme" ? readme_table() : schema();
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0
                                                                                                       : 1;
}

std::string schema() {
    ordered_json properties;
    properties["bleepforge"] = {
        {"description", "Format version: 1 holds the design's members, 2 the stages of sound design too."},
        {"type", "integer"},
        {"enum", {1, sound_format_version}}};
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
    ordered_json newer = ordered_json::object();
    for (const SoundField& field : sound_fields()) {
        ordered_json property = {{"description", sentence(field)},
                                 {"type", field.integer ? "integer" : "number"}};
        ordered_json range;
        range[field.min_exclusive ? "exclusiveMinimum" : "minimum"] = number(field.min);
        range["maximum"] = number(field.max);
        if (field.zero_is_off) {
            property["anyOf"] = {{{"const", 0}}, range};
        } else {
            property.update(range);
        }
        if (field.member == nullptr) {
            property["default"] = number(Sound{}.duration_s);
        } else if (field.version > 1) {
            property["default"] = number(field.neutral);
            newer[std::string(field.name)] = false;
        }
        properties[std::string(field.name)] = property;
    }
    // A layer holds a sound's members (not the version, no layers) and its place in the mix.
    ordered_json layer_properties;
    layer_properties["preset"] = properties["preset"];
    layer_properties["chip"] = properties["chip"];
    for (const SoundField& field : sound_fields()) {
        layer_properties[std::string(field.name)] = properties[std::string(field.name)];
    }
    for (const SoundField& field : layer_fields()) {
        layer_properties[std::string(field.name)] = {{"description", sentence(field)},
                                                     {"type", "number"},
                                                     {"minimum", number(field.min)},
                                                     {"maximum", number(field.max)},
                                                     {"default", number(field.neutral)}};
    }
    properties["layers"] = {
        {"description",
         "Format 2: instead of the sound members, 1 to 8 sounds mixed, each "
         "beginning at its start and scaled by its mix_gain."},
        {"type", "array"},
        {"minItems", 1},
        {"maxItems", max_layers},
        {"items", {{"type", "object"}, {"additionalProperties", false}, {"properties", layer_properties}}}};
    newer["layers"] = false;
    const ordered_json document = {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"$id", "urn:bleepforge:sound:2"},
        {"title", "Bleepforge sound file"},
        {"description",
         "A sound effect for the bleep tool and the Bleepforge library: a chip voice, its patch, the stages "
         "of "
         "sound design and its duration. The file may hold // and /* */ comments."},
        {"type", "object"},
        {"required", {"bleepforge"}},
        {"additionalProperties", false},
        {"properties", properties},
        // A file of version 1 holds none of the members that came with version 2.
        {"if", {{"properties", {{"bleepforge", {{"const", 1}}}}}}},
        {"then", {{"properties", newer}}},
    };
    return document.dump(2) + "\n";
}
