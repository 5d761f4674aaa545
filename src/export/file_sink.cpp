#include "file_sink.hpp"

#include <cstring>

namespace bleepforge {

FileSink::FileSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ != nullptr) {
        // Our chunk is the buffer; a second one in the C runtime would only copy the bytes again.
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
}

FileSink::~FileSink() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void FileSink::drain() {
    if (!failed_ && used_ > 0 && std::fwrite(chunk_.data(), 1, used_, file_) != used_) {
        failed_ = true;
    }
    used_ = 0;
}

void FileSink::append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t room = chunk_size - used_;
        const std::size_t n = text.size() < room ? text.size() : room;
        std::memcpy(chunk_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
        if (used_ == chunk_size) {
            drain();
        }
    }
}

bool FileSink::finish() {
    drain();
    const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return !failed_ && flushed && closed;
}

}  // namespace bleepforge
