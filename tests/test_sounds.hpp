#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "bleepforge/sound.hpp"

namespace bleepforge::testing_support {

// Each problem of reading text, a line each as the tool prints it, for failure messages.
inline std::string problems_of(std::string_view text) {
    std::string lines;
    for (const SoundProblem& p : read_sound(text).problems) {
        lines += describe(p, "s.bleep") + "\n";
    }
    return lines;
}

// The sound of a text that must read without a problem.
inline Sound read_ok(std::string_view text) {
    const SoundReading reading = read_sound(text);
    EXPECT_TRUE(reading.problems.empty()) << problems_of(text);
    return reading.sound.value_or(Sound{});
}

}  // namespace bleepforge::testing_support
