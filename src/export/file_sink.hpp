#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace bleepforge {

// A file written through one fixed-size chunk, so memory does not grow with the output.
// Every failure, including one at the final flush or close, makes finish() return false.
class FileSink {
public:
    static constexpr std::size_t chunk_size = 8192;

    // Creates or truncates the file in binary mode; nothing is created if it cannot be opened.
    explicit FileSink(const std::string& path);
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink();

    [[nodiscard]] bool is_open() const { return file_ != nullptr; }

    // Room for at least `bytes` (at most chunk_size) more bytes at the returned position; call
    // commit() with the end of what was written there.
    [[nodiscard]] char* reserve(std::size_t bytes) {
        if (chunk_size - used_ < bytes) {
            drain();
        }
        return chunk_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - chunk_.data()); }
    void append(std::string_view text);

    // Writes what is left, closes the file and tells whether every byte reached it.
    [[nodiscard]] bool finish();

private:
    void drain();

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    std::size_t used_ = 0;
    std::array<char, chunk_size> chunk_{};
};

}  // namespace bleepforge
