#include "pcm.hpp"

#include "bleepforge/export.hpp"

namespace bleepforge {

std::int16_t float_to_pcm16(float sample) {
    return pcm::from_float(sample);
}

}  // namespace bleepforge
