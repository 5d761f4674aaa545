// The sound-file reader with arbitrary text: never a crash; an accepted file renders finite samples
// in [-1, 1] and writes back to a file that reads back to the same sound, bit for bit.
#include <bit>
#include <cmath>
#include <string_view>

#include "bleepforge/sound.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bleepforge;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SoundReading reading = read_sound(text);
    FUZZ_CHECK(reading.sound.has_value() == reading.problems.empty());
    if (!reading.sound) {
        for (const SoundProblem& p : reading.problems) {
            FUZZ_CHECK(!p.message.empty());
            FUZZ_CHECK(p.line <= size + 1);
        }
        return 0;
    }
    const Sound& sound = *reading.sound;
    FUZZ_CHECK(check_sound(sound).empty());

    for (const float v : render_sound(fuzzing::first_moments(sound, 0.01), 44100)) {
        FUZZ_CHECK(std::isfinite(v) && v >= -1.0f && v <= 1.0f);
    }

    const std::string written = write_sound(sound);
    const SoundReading again = read_sound(written);
    FUZZ_CHECK(again.sound.has_value());
    FUZZ_CHECK(again.sound->preset == sound.preset && again.sound->patch.chip == sound.patch.chip);
    for (const SoundField& field : sound_fields()) {
        const double a = field.member != nullptr ? sound.patch.*field.member : sound.duration_s;
        const double b = field.member != nullptr ? again.sound->patch.*field.member : again.sound->duration_s;
        FUZZ_CHECK(std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b));
    }
    FUZZ_CHECK(write_sound(*again.sound) == written);
    return 0;
}
