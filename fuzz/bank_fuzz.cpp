// The bank reader with arbitrary text: never a crash; a bank read has entries with header names
// whose header symbols are all distinct, each renders finite samples in [-1, 1], and a referenced
// file (the input again, or nothing) is read through the loader alone.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/export.hpp"
#include "bleepforge/sound.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bleepforge;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t loads = 0;
    const BankReading reading = read_bank(text, [&](const std::string& path) {
        ++loads;
        return path == "self.bleep" ? LoadedText{true, text, ""} : LoadedText{false, "", "no such file"};
    });
    FUZZ_CHECK(reading.bank.has_value() == reading.problems.empty());
    FUZZ_CHECK(loads == reading.files.size());
    for (const BankProblem& p : reading.problems) {
        FUZZ_CHECK(!p.problem.message.empty());
    }
    if (!reading.bank) {
        return 0;
    }
    std::vector<std::string_view> names;
    for (const BankEntry& entry : reading.bank->entries) {
        names.push_back(entry.name);
    }
    FUZZ_CHECK(header_symbol_clashes(header_symbols("game", names)).empty());
    for (const BankEntry& entry : reading.bank->entries) {
        FUZZ_CHECK(is_header_name(entry.name));
        FUZZ_CHECK(check_sound(entry.sound).empty());
        for (const float v : render_sound(fuzzing::first_moments(entry.sound, 0.005), 22050)) {
            FUZZ_CHECK(std::isfinite(v) && v >= -1.0f && v <= 1.0f);
        }
    }
    return 0;
}
