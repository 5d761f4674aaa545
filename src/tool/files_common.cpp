// The parts of the file handling that the C library alone does the same on every platform.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "files.hpp"

namespace bleepforge::tool {

ReadOutcome read_input(const std::string& path, std::FILE* in, std::size_t limit) {
    const bool standard_input = path == "-";
    std::FILE* file = standard_input ? in : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {false, {}, std::strerror(errno)};
    }
    ReadOutcome outcome{true, {}, {}};
    errno = 0;
    char chunk[8192];
    while (outcome.text.size() <= limit) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        outcome.text.append(chunk, n);
        if (n < sizeof chunk) {
            break;
        }
    }
    if (std::ferror(file) != 0) {
        outcome = {false, {}, errno != 0 ? std::strerror(errno) : "read error"};
    }
    if (!standard_input) {
        std::fclose(file);
    }
    return outcome;
}

std::filesystem::path resolved(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return std::filesystem::weakly_canonical(error ? std::filesystem::path(path) : absolute, error)
        .lexically_normal();
}

std::string write_stream(std::FILE* out, std::string_view bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fflush(out) != 0 || !written || std::ferror(out) != 0) {
        return errno != 0 ? std::strerror(errno) : "write error";
    }
    return {};
}

std::string write_file(const std::string& path, std::string_view bytes) {
    const PreparedWrite ready = prepare_write(path, bytes);
    return ready.error.empty() ? commit_write(ready) : ready.error;
}

FilesOutcome write_files(std::span<const FileToWrite> files) {
    std::vector<PreparedWrite> ready;
    for (const FileToWrite& file : files) {
        ready.push_back(prepare_write(file.path, file.bytes));
        if (!ready.back().error.empty()) {
            for (const PreparedWrite& done : ready) {
                discard_write(done);
            }
            return {file.path, ready.back().error};
        }
    }
    for (std::size_t i = 0; i < ready.size(); ++i) {
        if (std::string error = commit_write(ready[i]); !error.empty()) {
            for (std::size_t j = i + 1; j < ready.size(); ++j) {
                discard_write(ready[j]);
            }
            return {files[i].path, error};
        }
    }
    return {};
}

}  // namespace bleepforge::tool
