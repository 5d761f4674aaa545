#pragma once

#include <cmath>
#include <cstdint>

namespace bleepforge::pcm {

// The conversion behind float_to_pcm16, inline for the exporters' loops.
inline std::int16_t from_float(float sample) {
    if (sample < -1.0f) {
        return -32767;  // symmetric range: -32768 is never produced
    }
    if (sample > 1.0f) {
        return 32767;
    }
    if (std::isnan(sample)) {
        return 0;
    }
    // The product is rounded to float before truncation; a double product truncates some
    // samples (32769/65536, say) one step lower.
    const float scaled = sample * 32767.0f;
    return static_cast<std::int16_t>(scaled);
}

// One float sample to 8-bit unsigned PCM the same way: clipped, scaled by 127 in single precision,
// truncated toward zero, then offset by 128; NaN gives 128. The result lies in 1 ... 255.
inline std::uint8_t to_u8(float sample) {
    if (sample < -1.0f) {
        return 1;
    }
    if (sample > 1.0f) {
        return 255;
    }
    if (std::isnan(sample)) {
        return 128;
    }
    const float scaled = sample * 127.0f;
    return static_cast<std::uint8_t>(static_cast<int>(scaled) + 128);
}

}  // namespace bleepforge::pcm
