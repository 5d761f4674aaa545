#pragma once

#include <stdlib.h>  // mkdtemp

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bleepforge::fuzzing {

// Reads fields off the fuzz input; past its end every value is zero.
struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;

    template <typename T>
    T take() {
        T value{};
        const std::size_t n = size < sizeof(T) ? size : sizeof(T);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
    bool empty() const { return size == 0; }
};

// One scratch folder per fuzzing process.
inline const std::string& scratch_dir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/bleepforge_fuzz_XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made);
    }();
    return dir;
}

inline std::vector<std::uint8_t> read_all(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        std::fclose(f);
    }
    return bytes;
}

// The sound cut to its first moments (each layer's too), which keeps each run quick; the
// renderer's own fuzzer covers long ones.
template <typename Sound>
Sound first_moments(Sound sound, double seconds) {
    sound.duration_s = sound.duration_s < seconds ? sound.duration_s : seconds;
    for (auto& layer : sound.layers) {
        layer.sound.duration_s = layer.sound.duration_s < seconds ? layer.sound.duration_s : seconds;
        layer.start_s = layer.start_s < seconds ? layer.start_s : seconds;
    }
    return sound;
}

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

}  // namespace bleepforge::fuzzing
