// The C functions the JavaScript wrapper calls: each takes a sound file's text (JavaScript turns a
// sound object into it with JSON.stringify), calls the library and hands back one block of bytes,
//   [u32 status][u32 size][size bytes]
// status 0: the result (text, floats or file bytes); 1: the problems, as a JSON array of
// {line, column, member, message, kind}. The caller frees the block with bf_free. A voice lives in
// the module's memory from bf_voice_start to bf_voice_free.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "bleepforge/console_export.hpp"
#include "bleepforge/nsf.hpp"
#include "bleepforge/sound.hpp"

namespace {

using namespace bleepforge;

char* block(std::uint32_t status, const void* data, std::size_t size) {
    auto* out = static_cast<char*>(std::malloc(8 + size));
    if (out == nullptr) {
        return nullptr;
    }
    const auto size32 = static_cast<std::uint32_t>(size);
    std::memcpy(out, &status, 4);
    std::memcpy(out + 4, &size32, 4);
    if (size > 0) {
        std::memcpy(out + 8, data, size);
    }
    return out;
}

char* text_block(const std::string& text) {
    return block(0, text.data(), text.size());
}

nlohmann::json problem_json(const SoundProblem& p) {
    return {{"line", p.line},
            {"column", p.column},
            {"member", p.member},
            {"message", p.message},
            {"kind", problem_kind_words[static_cast<std::size_t>(p.kind)]}};
}

char* problems_block(const std::vector<SoundProblem>& problems, std::uint32_t status = 1) {
    nlohmann::json list = nlohmann::json::array();
    for (const SoundProblem& p : problems) {
        list.push_back(problem_json(p));
    }
    // Messages quote the text, which need not be UTF-8 where it is wrong.
    const std::string text = list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return block(status, text.data(), text.size());
}

// Why the header's symbols would not compile, as a problem of the range kind.
SoundProblem clash_problem(const SymbolClash& clash, std::string_view prefix) {
    std::string message;
    if (clash.keyword) {
        message = "name \"" + std::string(prefix) + "\" with the sound \"" + clash.sound + "\" makes " +
                  clash.symbol + ", a keyword, not a symbol";
    } else {
        message = "the sound \"" + clash.sound + "\" gives the header symbol " + clash.symbol +
                  ", which is " +
                  (clash.other.empty() ? "the header's own" : "the sound \"" + clash.other + "\"'s");
    }
    return {0, 0, "", std::move(message), ProblemKind::range};
}

// A voice and the floats of its last piece, which JavaScript copies out.
struct ScriptVoice {
    Voice voice;
    std::vector<float> piece;
};

// Reads the sound and hands it to make, or gives back its problems.
template <typename Make>
char* with_sound(const char* text, std::size_t size, Make make) {
    const SoundReading reading = read_sound(std::string_view(text, size));
    return reading.sound ? make(*reading.sound) : problems_block(reading.problems);
}

std::uint64_t seed_of(std::uint32_t high, std::uint32_t low) {
    return (static_cast<std::uint64_t>(high) << 32U) | low;
}

// The consoles with a model, by HardwareModel.
constexpr std::array<std::string_view, 2> hardware_model_words{"nes", "gameboy"};

// Why the sound has no frames to export, in bleep export's words, with shown naming it; nothing when
// it has.
std::optional<SoundProblem> frames_problem(const Sound& sound, const std::string& shown) {
    if (!sound.layers.empty()) {
        return SoundProblem{0, 0, "layers",
                            shown +
                                " is a layered sound: a console plays one sound at a time, so export each "
                                "layer's sound on its own",
                            ProblemKind::type};
    }
    if (!sound.patch.hardware) {
        return SoundProblem{
            0, 0, "hardware",
            shown +
                " is not made for the hardware: give it \"hardware\": true (on nes or gameboy), "
                "or make one with bleep random PRESET nes --hardware",
            ProblemKind::range};
    }
    return std::nullopt;
}

// The name bleep export gives the sound of a file: its stem where that is an identifier.
std::string sound_name_of(const std::string& path, std::string_view otherwise) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return is_header_name(stem) ? stem : std::string(otherwise);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void* bf_alloc(std::size_t size) {
    return std::malloc(size);
}

EMSCRIPTEN_KEEPALIVE void bf_free(void* pointer) {
    std::free(pointer);
}

// The words and the table of members, as JSON: {presets, chips, fields, rates, wavFormats, version}.
EMSCRIPTEN_KEEPALIVE char* bf_vocabulary() {
    // What a control needs of any member; the sound's own members add where they sit and more.
    auto control = [](const SoundField& f) {
        return nlohmann::json{{"name", f.name},
                              {"min", f.min},
                              {"max", f.max},
                              {"unit", f.unit},
                              {"range", range_text(f)},
                              {"title", f.title},
                              {"summary", f.summary},
                              {"decimals", f.decimals},
                              {"slider", slider_scale_words[static_cast<std::size_t>(f.slider)]},
                              {"neutral", f.neutral}};
    };
    nlohmann::json fields = nlohmann::json::array();
    for (const SoundField& f : sound_fields()) {
        nlohmann::json field = control(f);
        field["minExclusive"] = f.min_exclusive;
        field["section"] = section_words[static_cast<std::size_t>(f.section)];
        field["version"] = f.version;
        field["integer"] = f.integer;
        field["zeroIsOff"] = f.zero_is_off;
        fields.push_back(std::move(field));
    }
    nlohmann::json layers = nlohmann::json::array();
    for (const SoundField& f : layer_fields()) {
        layers.push_back(control(f));
    }
    nlohmann::json hardware_chips = nlohmann::json::array();
    for (std::size_t c = 0; c < chip_words.size(); ++c) {
        if (has_hardware_model(static_cast<ChipType>(c))) {
            hardware_chips.push_back(chip_words[c]);
        }
    }
    const nlohmann::json vocabulary{{"presets", preset_words},
                                    {"layerFields", layers},
                                    {"chips", chip_words},
                                    {"fields", fields},
                                    {"minRate", min_sound_rate_hz},
                                    {"maxRate", max_sound_rate_hz},
                                    {"defaultHeaderName", default_header_name},
                                    {"wavFormats", wav_format_words},
                                    {"hardwareChips", hardware_chips},
                                    {"chipExports", console_export_words},
                                    {"gbdkPlayerRates", {gbdk_player_hz_min, gbdk_player_hz_max}},
                                    {"version", sound_format_version}};
    return text_block(vocabulary.dump());
}

EMSCRIPTEN_KEEPALIVE char* bf_make(int preset, int chip) {
    return text_block(write_sound(make_sound(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip))));
}

// hardware is 1 for a sound made for the hardware, on a chip the caller checked has a model.
EMSCRIPTEN_KEEPALIVE char* bf_random(int preset, int chip, std::uint32_t seed_high, std::uint32_t seed_low,
                                     int hardware) {
    return text_block(write_sound(random_sound(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip),
                                               seed_of(seed_high, seed_low), hardware != 0)));
}

// hardware as for bf_random, the caller having checked every chip of the sound.
EMSCRIPTEN_KEEPALIVE char* bf_mutate(const char* text, std::size_t size, double amount,
                                     std::uint32_t seed_high, std::uint32_t seed_low, int hardware) {
    return with_sound(text, size, [&](const Sound& sound) {
        return text_block(
            write_sound(mutate_sound(sound, amount, seed_of(seed_high, seed_low), hardware != 0)));
    });
}

// Read and written again: the file's canonical text, or its problems.
EMSCRIPTEN_KEEPALIVE char* bf_format(const char* text, std::size_t size) {
    return with_sound(text, size, [](const Sound& sound) { return text_block(write_sound(sound)); });
}

EMSCRIPTEN_KEEPALIVE char* bf_render(const char* text, std::size_t size, std::int32_t rate_hz) {
    return with_sound(text, size, [&](const Sound& sound) {
        const SampleBuffer samples = render_sound(sound, rate_hz);
        return block(0, samples.data(), samples.size() * sizeof(float));
    });
}

// format is an index into wav_format_words, checked by the caller.
EMSCRIPTEN_KEEPALIVE char* bf_wav(const char* text, std::size_t size, std::int32_t rate_hz, int format) {
    return with_sound(text, size, [&](const Sound& sound) {
        const std::optional<std::string> bytes =
            wav_bytes(render_sound(sound, rate_hz), rate_hz, static_cast<WavFormat>(format));
        return bytes ? text_block(*bytes) : nullptr;
    });
}

EMSCRIPTEN_KEEPALIVE char* bf_header(const char* text, std::size_t size, const char* name,
                                     std::size_t name_size, std::int32_t rate_hz) {
    return with_sound(text, size, [&](const Sound& sound) {
        return text_block(
            c_header_text(render_sound(sound, rate_hz), std::string_view(name, name_size), rate_hz));
    });
}

EMSCRIPTEN_KEEPALIVE int bf_is_header_name(const char* name, std::size_t size) {
    return is_header_name(std::string_view(name, size)) ? 1 : 0;
}

// Every problem of the sound, as a list that is empty when there is none (status 0 either way).
EMSCRIPTEN_KEEPALIVE char* bf_check(const char* text, std::size_t size) {
    return problems_block(read_sound(std::string_view(text, size)).problems, 0);
}

// A bank: its text and, as JSON {path: text}, the files it names that JavaScript could load (a
// path missing from them cannot be read). Gives {entries: [{name, file, sound}]}, each sound as
// its file's text, with "files": every path named; or the problems, each with its file and entry.
EMSCRIPTEN_KEEPALIVE char* bf_bank(const char* text, std::size_t size, const char* files,
                                   std::size_t files_size) {
    const nlohmann::json loaded = nlohmann::json::parse(std::string_view(files, files_size), nullptr, false);
    const BankReading reading = read_bank(std::string_view(text, size), [&](const std::string& path) {
        if (loaded.is_object() && loaded.contains(path) && loaded[path].is_string()) {
            return LoadedText{true, loaded[path].get<std::string>(), ""};
        }
        return LoadedText{false, "", "the loader gave no text for it"};
    });
    nlohmann::json result{{"files", reading.files}};
    if (!reading.bank) {
        nlohmann::json list = nlohmann::json::array();
        for (const BankProblem& p : reading.problems) {
            nlohmann::json item = problem_json(p.problem);
            item["file"] = p.file;
            item["entry"] = p.entry;
            list.push_back(item);
        }
        result["problems"] = list;
    } else {
        nlohmann::json entries = nlohmann::json::array();
        for (const BankEntry& entry : reading.bank->entries) {
            entries.push_back(
                {{"name", entry.name}, {"file", entry.file}, {"sound", write_sound(entry.sound)}});
        }
        result["entries"] = entries;
    }
    const std::string dumped = result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return text_block(dumped);
}

// One header for named sounds, given as JSON [[name, sound file text], ...] (each read already), or
// why its symbols would not compile.
EMSCRIPTEN_KEEPALIVE char* bf_bank_header(const char* named, std::size_t size, const char* prefix,
                                          std::size_t prefix_size, std::int32_t rate_hz) {
    const nlohmann::json list = nlohmann::json::parse(std::string_view(named, size), nullptr, false);
    std::vector<std::string> names;
    std::vector<SampleBuffer> samples;
    for (const nlohmann::json& item : list) {
        const SoundReading reading = read_sound(item.at(1).get<std::string>());
        if (!reading.sound) {
            return problems_block(reading.problems);
        }
        names.push_back(item.at(0).get<std::string>());
        samples.push_back(render_sound(*reading.sound, rate_hz));
    }
    const std::string_view name(prefix, prefix_size);
    const std::vector<std::string_view> symbol_names(names.begin(), names.end());
    const std::vector<SymbolClash> clashes = header_symbol_clashes(header_symbols(name, symbol_names));
    if (!clashes.empty()) {
        return problems_block({clash_problem(clashes.front(), name)});
    }
    std::vector<NamedSamples> sounds;
    for (std::size_t i = 0; i < names.size(); ++i) {
        sounds.push_back({names[i], samples[i]});
    }
    return text_block(bank_header_text(sounds, name, rate_hz));
}

// The members that cannot change the sound as it stands: a JSON list of {member, reason}.
EMSCRIPTEN_KEEPALIVE char* bf_inactive(const char* text, std::size_t size) {
    return with_sound(text, size, [](const Sound& sound) {
        nlohmann::json list = nlohmann::json::array();
        for (const InactiveMember& m : inactive_members(sound)) {
            list.push_back({{"member", m.member}, {"reason", m.reason}});
        }
        return text_block(list.dump());
    });
}

// How long the sound needs so that its envelope (and the echo and hold of its stages) ends inside
// it, in seconds, as text.
EMSCRIPTEN_KEEPALIVE char* bf_ending(const char* text, std::size_t size) {
    return with_sound(text, size, [](const Sound& sound) {
        return text_block(
            nlohmann::json{{"endsAt", sound_ending_s(sound)}, {"fits", fitting_duration_s(sound)}}.dump());
    });
}

// What a designer should hear about the sound rendered at the rate: a JSON list of sentences in the
// words bleep check prints, the click at the end first.
EMSCRIPTEN_KEEPALIVE char* bf_warnings(const char* text, std::size_t size, std::int32_t rate_hz) {
    return with_sound(text, size, [&](const Sound& sound) {
        const SampleBuffer samples = render_sound(sound, rate_hz);
        return text_block(nlohmann::json(sound_warnings(sound, samples)).dump());
    });
}

// A hardware sound's frames as JSON {model, frameRate, clockHz, frames: [[[address, value], ...], ...]}:
// the console, its video frames a second and the CPU clock its channels' timers count, and each
// frame's writes in order. A sound with no frames gives why, as bleep export says it.
EMSCRIPTEN_KEEPALIVE char* bf_frames(const char* text, std::size_t size) {
    return with_sound(text, size, [](const Sound& sound) {
        if (const std::optional<SoundProblem> problem = frames_problem(sound, "the sound")) {
            return problems_block({*problem});
        }
        const Frames frames = hardware_frames(sound.patch, sound.duration_s);
        nlohmann::json list = nlohmann::json::array();
        for (const FrameWrites& frame : frames.frames) {
            nlohmann::json writes = nlohmann::json::array();
            for (const RegisterWrite& w : frame) {
                writes.push_back({w.address, w.value});
            }
            list.push_back(std::move(writes));
        }
        const bool gameboy = frames.model == HardwareModel::gameboy;
        const nlohmann::json result{{"model", hardware_model_words[static_cast<std::size_t>(frames.model)]},
                                    {"frameRate", gameboy ? dmg_frame_hz : nes_frame_hz},
                                    {"clockHz", gameboy ? dmg_clock_hz : nes_cpu_hz},
                                    {"frames", std::move(list)}};
        return text_block(result.dump());
    });
}

// What bleep export --to KIND writes for a sound or a bank, kind an index into console_export_words
// checked by the caller. The request is JSON {file, label, headerName, playerHz, bank, sounds: [[name,
// sound file text], ...]}: the file name the tool would be given ("" for none); --name (null: the
// tool's own); the file gbdk's source includes (null: the header beside the sound file); gbdk's
// player calls a second (null: once a frame); whether the sounds are a bank's (each with its name) or
// one sound's (its name from the file, as the tool takes it). Gives the file's bytes (gbdk: JSON
// {source, header}), or the first problem as the tool words it.
EMSCRIPTEN_KEEPALIVE char* bf_chip_export(const char* request, std::size_t size, int kind_index) {
    const nlohmann::json asked = nlohmann::json::parse(std::string_view(request, size));
    const auto kind = static_cast<ConsoleExport>(kind_index);
    const std::string file = asked.at("file").get<std::string>();
    const bool bank = asked.at("bank").get<bool>();
    const nlohmann::json& items = asked.at("sounds");
    std::vector<std::string> names;
    std::vector<Frames> frames;
    for (const nlohmann::json& item : items) {
        const SoundReading reading = read_sound(item.at(1).get<std::string>());
        if (!reading.sound) {
            return problems_block(reading.problems);
        }
        names.push_back(bank ? item.at(0).get<std::string>() : sound_name_of(file, "sound"));
        const std::string shown = items.size() > 1 ? "\"" + names.back() + "\""
                                  : !file.empty()  ? file
                                  : bank           ? "the bank"
                                                   : "the sound";
        if (const std::optional<SoundProblem> problem = frames_problem(*reading.sound, shown)) {
            return problems_block({*problem});
        }
        frames.push_back(hardware_frames(reading.sound->patch, reading.sound->duration_s));
    }
    // gbdk names a single sound's data from its file; the FamiStudio list is "sounds" unless named.
    const nlohmann::json& given_label = asked.at("label");
    const std::string label = given_label.is_string()       ? given_label.get<std::string>()
                              : kind == ConsoleExport::gbdk ? sound_name_of(file, "sound")
                                                            : "sounds";
    // The tool writes gbdk's header beside the source, which is beside the sound file.
    const nlohmann::json& given_header = asked.at("headerName");
    const std::string header_name =
        given_header.is_string()
            ? given_header.get<std::string>()
            : (file.empty() ? label : std::filesystem::path(file).stem().string()) + ".h";
    const nlohmann::json& given_rate = asked.at("playerHz");
    const double player_hz = given_rate.is_number() ? given_rate.get<double>() : dmg_frame_hz;
    std::vector<NamedFrames> named;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool one_gbdk = frames.size() == 1 && kind == ConsoleExport::gbdk;
        named.push_back({one_gbdk ? std::string_view(label) : std::string_view(names[i]), &frames[i]});
    }
    // An NSF or GBS holds one title: the sound's name, or the bank's for several.
    const std::string title = names.size() == 1 ? names[0] : sound_name_of(file, "sounds");
    const ConsoleFiles made = console_files(named, kind, {file, title, label, header_name, player_hz});
    if (!made.problem.empty()) {
        // A request for the wrong file is the tool's usage error, in its words; what the file cannot
        // hold names the file, as the tool's failures do.
        const std::string message =
            made.request_refused || file.empty() ? made.problem : file + ": " + made.problem;
        return problems_block({{0, 0, "", message, ProblemKind::range}});
    }
    if (kind == ConsoleExport::gbdk) {
        return text_block(nlohmann::json{{"source", made.bytes}, {"header", made.header}}.dump(
            -1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    return text_block(made.bytes);
}

// A voice at the start of the sound: its address as four bytes, or the problems.
EMSCRIPTEN_KEEPALIVE char* bf_voice_start(const char* text, std::size_t size, std::int32_t rate_hz) {
    return with_sound(text, size, [&](const Sound& sound) {
        auto* voice = new ScriptVoice{start_sound(sound, rate_hz), {}};
        const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(voice));
        return block(0, &address, sizeof address);
    });
}

// Renders up to count samples into the voice's piece and returns how many; bf_voice_piece gives
// where they are. The piece grows only when a longer one is asked for.
EMSCRIPTEN_KEEPALIVE std::size_t bf_voice_render(ScriptVoice* voice, std::size_t count) {
    const std::size_t n = std::min(count, samples_left(voice->voice));
    if (voice->piece.size() < n) {
        voice->piece.resize(n);
    }
    return render_voice(voice->voice, std::span<float>(voice->piece).first(n));
}

EMSCRIPTEN_KEEPALIVE const float* bf_voice_piece(const ScriptVoice* voice) {
    return voice->piece.data();
}

EMSCRIPTEN_KEEPALIVE double bf_voice_left(const ScriptVoice* voice) {
    return static_cast<double>(samples_left(voice->voice));
}

EMSCRIPTEN_KEEPALIVE void bf_voice_free(ScriptVoice* voice) {
    delete voice;
}

}  // extern "C"
