// The command-line dispatch with 0 to 6 arbitrary words: never a crash, status 0 or 1, and exactly
// the console lines that case calls for. Every output path goes to one scratch file.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/bleepforge.hpp"
#include "dispatch.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace bleepforge;

int about_calls = 0;
void count_about() {
    ++about_calls;
}

struct Captured {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    std::string take() {
        std::fclose(stream);
        std::string s(text, size);
        std::free(text);
        return s;
    }
};

const std::string_view chip_list =
    "Supported Sound Chips:\n"
    "  1. nes       \xE2\x80\x94 Nintendo 2A03 (Pulse 12.5%/25%/50%, Stepped Triangle, LFSR Noise)\n"
    "  2. sid       \xE2\x80\x94 MOS Technology 6581/8580 (Pulse+Saw, 12dB Resonant Filter)\n"
    "  3. gameboy   \xE2\x80\x94 Game Boy DMG-01 APU\n"
    "  4. ym2612    \xE2\x80\x94 Yamaha YM2612 (Sega Genesis 4-Operator FM Synthesis)\n";
const std::string_view preset_list =
    "Available Game Sound Presets:\n  laser, jump, explosion, coin, powerup, hit, blip, game_over\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Words are separated by a zero byte; the first byte chooses how many there are (0 to 6).
    if (size == 0) {
        return 0;
    }
    const std::size_t count = data[0] % 7;
    std::vector<std::string> words;
    std::string current;
    for (std::size_t i = 1; i < size && words.size() < count; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    while (words.size() < count) {
        words.push_back(current);
        current.clear();
    }
    // A few words stand for commands so the fuzzer reaches every branch quickly.
    static const char* const commands[] = {"--gui", "--list-chips", "--list-presets", "--render", "--header"};
    if (words.size() > 1 && words[1].size() == 1 && static_cast<unsigned char>(words[1][0]) < 5 + 'A' &&
        words[1][0] >= 'A') {
        words[1] = commands[words[1][0] - 'A'];
    }
    const bool renders = words.size() >= 4 && (words[1] == "--render" || words[1] == "--header");
    const std::string path = fuzzing::scratch_dir() + "/out";
    if (renders) {
        words[words.size() >= 5 ? 4 : 3] = path;
    }

    std::vector<const char*> args;
    for (const std::string& w : words) {
        args.push_back(w.c_str());
    }
    Captured out;
    Captured err;
    about_calls = 0;
    const int status = run_command_line(args, Console{out.stream, err.stream, count_about});
    const std::string out_text = out.take();
    const std::string err_text = err.take();

    std::string expected_out;
    int expected_status = 0;
    if (words.size() < 2 || words[1] == "--gui") {
        FUZZ_CHECK(about_calls == 1);
    } else if (words[1] == "--list-chips") {
        expected_out = chip_list;
    } else if (words[1] == "--list-presets") {
        expected_out = preset_list;
    } else if (renders) {
        const SfxPreset preset = parse_preset(words[2]);
        const ChipType chip = parse_chip(words.size() >= 5 ? words[3] : "nes");
        if (words[1] == "--render") {
            expected_out = "Rendering " + preset_display_name(preset) + " on " + chip_display_name(chip) +
                           " -> " + path +
                           "...\nSUCCESS: 16-bit 44.1kHz WAV sound exported (22050 samples)!\n";
        } else {
            expected_out = "SUCCESS: C/C++ audio header written to " + path + "!\n";
        }
    } else {
        expected_status = 1;
        const std::string usage_line = "Usage: " + words[0] + " [command] [options...]\n";
        FUZZ_CHECK(out_text.find(usage_line) != std::string::npos);
        FUZZ_CHECK(out_text.rfind("==\n") == out_text.size() - 3);
        expected_out = out_text;
    }
    FUZZ_CHECK(status == expected_status);
    FUZZ_CHECK(out_text == expected_out);
    FUZZ_CHECK(err_text.empty());
    FUZZ_CHECK(about_calls == (words.size() < 2 || words[1] == "--gui" ? 1 : 0));
    return 0;
}
