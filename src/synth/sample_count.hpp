#pragma once

#include <cstddef>
#include <cstdint>

namespace bleepforge {

// Samples for duration_s * rate_hz, truncated toward zero; 0 when that is not a finite count of
// at least one or either factor is not positive. A product of 2^64 or more gives UINT64_MAX.
[[nodiscard]] std::uint64_t sample_count_of(double duration_s, std::int32_t rate_hz);

// The count as a buffer's length. Where size_t is narrower than 64 bits (WebAssembly) a count it
// cannot hold raises the same length error the container raises for any count too large for it.
[[nodiscard]] std::size_t buffer_length(std::uint64_t sample_count);

}  // namespace bleepforge
