#include "derived.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "bleepforge/export.hpp"

namespace bleepforge::derived {
namespace {

using nlohmann::ordered_json;

constexpr CommentStyle markdown{"<!-- ", " -->"};
constexpr CommentStyle roff{".\\\" ", ""};
constexpr CommentStyle typescript{"// ", ""};

// Whole numbers as integers, as a person writes them in a schema.
ordered_json number(double value) {
    if (value == std::floor(value) && std::fabs(value) < 0x1p53) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

// "Start frequency: starting pitch (20 to 20000 Hz).": how the schema and the declarations describe
// a member.
std::string sentence(const SoundField& field) {
    return std::string(field.title) + ": " + std::string(field.summary) + " (" + range_text(field) + ").";
}

// Text for a tbl cell: roff's minus for '-', its escape for '\', and a code point escape for each
// character beyond ASCII (UTF-8 decoded), so the page stays ASCII.
std::string roff_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '-') {
            out += "\\-";
        } else if (byte == '\\') {
            out += "\\e";
        } else if (byte < 0x80) {
            out += text[i];
        } else {
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
            std::uint32_t code = byte & (0x7FU >> length);
            for (std::size_t k = 1; k < length && i + 1 < text.size(); ++k) {
                code = (code << 6U) | (static_cast<unsigned char>(text[++i]) & 0x3FU);
            }
            char hex[16];
            std::snprintf(hex, sizeof hex, "\\[u%04X]", static_cast<unsigned>(code));
            out += hex;
        }
    }
    return out;
}

// Text for a Markdown table cell, where '|' would end the cell.
std::string markdown_cell(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '|' ? std::string("\\|") : std::string(1, c);
    }
    return out;
}

// Text for a /** */ comment, which "*/" would end.
std::string comment_text(std::string_view text) {
    std::string out(text);
    for (std::size_t at = out.find("*/"); at != std::string::npos; at = out.find("*/", at)) {
        out.replace(at, 2, "*\\/");
    }
    return out;
}

// A line of text: where it starts, where its text starts past the indentation, and its end (its
// '\n', or the end of the text).
struct Line {
    std::size_t start = std::string_view::npos;
    std::size_t text = 0;
    std::size_t end = 0;
};

// The first line at or after from whose text (an ending '\r' aside) starts with prefix, or is
// exactly prefix when whole; start is npos when there is none.
Line find_line(std::string_view text, std::size_t from, std::string_view prefix, bool whole) {
    for (std::size_t start = from; start < text.size();) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::size_t at = start;
        while (at < end && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        std::string_view content = text.substr(at, end - at);
        if (!content.empty() && content.back() == '\r') {
            content.remove_suffix(1);
        }
        if (whole ? content == prefix : content.starts_with(prefix)) {
            return {start, at, end};
        }
        start = end + 1;
    }
    return {};
}

std::size_t count_lines(std::string_view text, std::string_view prefix, bool whole) {
    std::size_t count = 0;
    for (Line line = find_line(text, 0, prefix, whole); line.start != std::string_view::npos;
         line = find_line(text, line.end + 1, prefix, whole)) {
        ++count;
    }
    return count;
}

// The start of a region's opening line, which finds it whatever the rest of the line says.
std::string opening_prefix(CommentStyle style, std::string_view name) {
    return std::string(style.open) + "derived " + std::string(name) + ":";
}

}  // namespace

std::string opening_line(CommentStyle style, std::string_view name) {
    return opening_prefix(style, name) + " the derived_files target writes these lines from the library" +
           std::string(style.close);
}

std::string closing_line(CommentStyle style, std::string_view name) {
    return std::string(style.open) + "end of derived " + std::string(name) + std::string(style.close);
}

std::optional<std::string> splice(std::string_view text, CommentStyle style, std::span<const Region> regions,
                                  std::string& error) {
    std::string out;
    std::size_t kept_from = 0;  // the text not copied yet
    for (const Region& region : regions) {
        const std::string opening = opening_prefix(style, region.name);
        const std::string closing = closing_line(style, region.name);
        const std::size_t openings = count_lines(text, opening, false);
        const std::size_t closings = count_lines(text, closing, true);
        if (openings != 1 || closings != 1) {
            error = std::string(openings == 0   ? "no line opens"
                                : openings > 1  ? "more than one line opens"
                                : closings == 0 ? "no line closes"
                                                : "more than one line closes") +
                    " the region \"" + std::string(region.name) + "\" (" +
                    (openings != 1 ? opening_line(style, region.name) : closing) + ")";
            return std::nullopt;
        }
        const Line open = find_line(text, kept_from, opening, false);
        const Line close =
            open.start == std::string_view::npos ? Line{} : find_line(text, open.end + 1, closing, true);
        if (close.start == std::string_view::npos) {
            error = "the region \"" + std::string(region.name) +
                    "\" is not after the one before it, or closes before it opens";
            return std::nullopt;
        }
        out.append(text.substr(kept_from, open.text - kept_from));
        out += opening_line(style, region.name);
        out += '\n';
        out += region.body;
        out.append(text.substr(close.start, close.end - close.start));
        kept_from = close.end;
    }
    out.append(text.substr(kept_from));
    return out;
}

std::string manual_table(std::span<const SoundField> fields) {
    std::string text = ".TS\nl l l.\nMember\tRange\tMeaning\n";
    for (const SoundField& field : fields) {
        text += roff_text(field.name) + "\t" + roff_text(range_text(field)) + "\t" +
                roff_text(field.summary) + "\n";
    }
    return text + ".TE\n";
}

std::string readme_table(std::span<const SoundField> fields) {
    std::string text = "| section | member | range | what it does |\n|---|---|---|---|\n";
    for (const SoundField& field : fields) {
        std::string section(section_words[static_cast<std::size_t>(field.section)]);
        section[0] = static_cast<char>(section[0] - 'a' + 'A');
        std::string what(field.summary);
        if (field.version > 1) {
            what += " (format 2)";
        }
        text += "| " + section + " | `" + std::string(field.name) + "` | " +
                markdown_cell(range_text(field)) + " | " + markdown_cell(what) + " |\n";
    }
    return text;
}

std::string typescript_members(std::span<const SoundField> fields) {
    std::string text;
    for (const SoundField& field : fields) {
        text +=
            "  /** " + comment_text(sentence(field)) + " */\n  " + std::string(field.name) + "?: number;\n";
    }
    return text;
}

std::string typescript_union(std::string_view name, std::span<const std::string_view> words) {
    std::string text = "export type " + std::string(name) + " =";
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? " '" : " | '") + std::string(words[i]) + "'";
    }
    return text + ";\n";
}

std::string typescript_words() {
    std::vector<std::string_view> units;
    for (const std::span<const SoundField> rows : {sound_fields(), layer_fields()}) {
        for (const SoundField& field : rows) {
            if (std::find(units.begin(), units.end(), field.unit) == units.end()) {
                units.push_back(field.unit);
            }
        }
    }
    struct Union {
        std::string_view name;
        std::string_view comment;
        std::span<const std::string_view> words;
    };
    const Union unions[] = {
        {"Preset", "The presets, each the start of a family of sounds.", preset_words},
        {"Chip", "The sound-chip voices.", chip_words},
        {"WavFormat", "The sample formats of a WAV file: 16-bit PCM, 8-bit unsigned PCM, 32-bit float.",
         wav_format_words},
        {"ProblemKind",
         "What is wrong: 'range' for a value outside its range; the others, the sound's shape.",
         problem_kind_words},
        {"SliderScale", "How a slider best spreads a member's range.", slider_scale_words},
        {"Section", "The groups a designer reads the members in, in this order.", section_words},
        {"Unit", "The members' units; '' for a plain number.", units},
    };
    std::string text;
    for (const Union& u : unions) {
        text += "/** " + std::string(u.comment) + " */\n" + typescript_union(u.name, u.words);
    }
    return text;
}

std::vector<DerivedFile> derived_files() {
    return {
        {"doc/bleepforge-sound.schema.json", {}, {{"", sound_schema()}}},
        {"doc/bleepforge-bank.schema.json", {}, {{"", bank_schema()}}},
        {"doc/bleep.1",
         roff,
         {{"members", manual_table(sound_fields())}, {"layer members", manual_table(layer_fields())}}},
        {"README.md", markdown, {{"members", "\n" + readme_table(sound_fields()) + "\n"}}},
        {"web/index.d.ts",
         typescript,
         {{"words", typescript_words()},
          {"members", typescript_members(sound_fields())},
          {"layer members", typescript_members(layer_fields())}}},
    };
}

std::optional<std::string> derived_text(const DerivedFile& file, std::string_view committed,
                                        std::string& error) {
    if (file.regions.size() == 1 && file.regions[0].name.empty()) {
        return file.regions[0].body;
    }
    return splice(committed, file.style, file.regions, error);
}

namespace {

// A member's range and type as a schema; a member where 0 switches its stage off may be 0 below its
// range.
ordered_json member_schema(const SoundField& field) {
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
    return property;
}

// The layers, each holding a sound's members (not the version, no layers) and its place in the mix.
ordered_json layers_schema(const ordered_json& properties) {
    ordered_json layer_properties;
    layer_properties["preset"] = properties.at("preset");
    layer_properties["chip"] = properties.at("chip");
    layer_properties["hardware"] = properties.at("hardware");
    for (const SoundField& field : sound_fields()) {
        layer_properties[std::string(field.name)] = properties.at(std::string(field.name));
    }
    for (const SoundField& field : layer_fields()) {
        layer_properties[std::string(field.name)] = {{"description", sentence(field)},
                                                     {"type", "number"},
                                                     {"minimum", number(field.min)},
                                                     {"maximum", number(field.max)},
                                                     {"default", number(field.neutral)}};
    }
    return {
        {"description",
         "Format 2: instead of the sound members, 1 to 8 sounds mixed, each "
         "beginning at its start and scaled by its mix_gain."},
        {"type", "array"},
        {"minItems", 1},
        {"maxItems", max_layers},
        {"items", {{"type", "object"}, {"additionalProperties", false}, {"properties", layer_properties}}}};
}

// The members that are not numbers: the version, the preset, the chip and whether it is for the hardware.
ordered_json word_properties() {
    ordered_json properties;
    properties["bleepforge"] = {
        {"description",
         "Format version: 1 holds the original members, 2 the stages of sound design and layers too, 3 "
         "whether the sound is made for the hardware."},
        {"type", "integer"},
        {"enum", {1, 2, sound_format_version}}};
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
    properties["hardware"] = {
        {"description",
         "Format 3: made for the hardware, reduced to the console's frames and played by a model of its "
         "sound unit (nes and gameboy). Default false."},
        {"type", "boolean"},
        {"default", false}};
    return properties;
}

// A sound's object as a schema: a file's (its version required) or a bank's inline entry's (which may
// hold one, but the bank's says which members it may hold). A sound with layers holds nothing of its
// own beside them.
ordered_json sound_object(bool in_file) {
    ordered_json properties = word_properties();
    // The members a file of version 1 may not hold, and those a file of version 2 may not.
    ordered_json newer = ordered_json::object();
    ordered_json of_three = ordered_json::object();
    newer["hardware"] = false;
    of_three["hardware"] = false;
    for (const SoundField& field : sound_fields()) {
        ordered_json property = member_schema(field);
        if (field.member == nullptr) {
            property["default"] = number(Sound{}.duration_s);
        } else if (field.version > 1) {
            property["default"] = number(field.neutral);
            newer[std::string(field.name)] = false;
            if (field.version > 2) {
                of_three[std::string(field.name)] = false;
            }
        }
        properties[std::string(field.name)] = property;
    }
    properties["layers"] = layers_schema(properties);
    newer["layers"] = false;
    ordered_json own = ordered_json::object();
    for (const auto& [name, property] : properties.items()) {
        if (name != "bleepforge" && name != "layers") {
            own[name] = false;
        }
    }
    ordered_json object = {
        {"type", "object"},
        {"additionalProperties", false},
        {"properties", properties},
        // A file of version 1 holds none of the members that came with versions 2 and 3, one of
        // version 2 none of version 3's; a sound with layers none of a sound's own.
        {"if", {{"required", {"bleepforge"}}, {"properties", {{"bleepforge", {{"const", 1}}}}}}},
        {"then", {{"properties", newer}}},
        {"allOf",
         {{{"if", {{"required", {"bleepforge"}}, {"properties", {{"bleepforge", {{"const", 2}}}}}}},
           {"then", {{"properties", of_three}}}}}},
        {"dependentSchemas", {{"layers", {{"properties", own}}}}},
    };
    if (in_file) {
        object["required"] = {"bleepforge"};
    } else {
        object.erase("if");
        object.erase("then");
        object.erase("allOf");
    }
    return object;
}

}  // namespace

std::string sound_schema() {
    ordered_json document = {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"$id", "urn:bleepforge:sound:3"},
        {"title", "Bleepforge sound file"},
        {"description",
         "A sound effect for the bleep tool and the Bleepforge library: a chip voice, its patch, the stages "
         "of sound design and its duration. The file may hold // and /* */ comments."},
    };
    document.update(sound_object(true));
    return document.dump(2) + "\n";
}

std::string bank_schema() {
    const ordered_json document = {
        {"$schema", "https://json-schema.org/draft/2020-12/schema"},
        {"$id", "urn:bleepforge:bank:3"},
        {"title", "Bleepforge bank"},
        {"description",
         "All of a game's sounds in one file (*.bleepbank): each a sound of its own or the path of a sound "
         "file relative to the bank, named by a C identifier, in the order of the header's table. The file "
         "may hold // and /* */ comments."},
        {"type", "object"},
        {"required", {"bleepforge", "sounds"}},
        {"additionalProperties", false},
        {"properties",
         {{"bleepforge",
           {{"description", "Format version: 2, or 3 for sounds that hold its members."},
            {"type", "integer"},
            {"enum", {2, sound_format_version}}}},
          {"sounds",
           {{"description", "The sounds by name: each a sound, { ... }, or a sound file's path."},
            {"type", "object"},
            {"minProperties", 1},
            {"propertyNames", {{"pattern", "^[A-Za-z_][A-Za-z0-9_]*$"}}},
            {"additionalProperties",
             {{"oneOf", {{{"type", "string"}, {"minLength", 1}}, {{"$ref", "#/$defs/sound"}}}}}}}}}},
        {"$defs", {{"sound", sound_object(false)}}},
    };
    return document.dump(2) + "\n";
}

}  // namespace bleepforge::derived
