#pragma once

// The system's audio output: one implementation per platform, behind one function.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "result.hpp"

namespace bleepforge::tool {

struct AudioSource {
    // Writes the next mono samples into out and returns how many; fewer than out.size() ends the
    // stream. It may be called on the system's audio thread, so it must not block or allocate.
    std::function<std::size_t(std::span<float>)> fill;
    // Called on the caller's thread every few milliseconds while the stream plays; false stops it
    // at once.
    std::function<bool()> keep_going;
};

// Opens the default audio output for mono 32-bit floats at rate_hz, plays what source.fill gives
// until it ends and the device has played it all (or keep_going says stop), and closes it. Fails
// with why there is no audio output; it never waits for a device that does not answer.
[[nodiscard]] Result<> play_audio(std::int32_t rate_hz, const AudioSource& source);

}  // namespace bleepforge::tool
