// The parts of the file handling that the C library alone does the same on every platform.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "files.hpp"

namespace bleepforge::tool {

Result<std::string> read_input(const std::string& path, std::FILE* in, std::size_t limit) {
    const bool standard_input = path == "-";
    std::FILE* file = standard_input ? in : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return Failure(std::strerror(errno));
    }
    std::string text;
    errno = 0;
    char chunk[8192];
    while (text.size() <= limit) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        text.append(chunk, n);
        if (n < sizeof chunk) {
            break;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const std::string why = errno != 0 ? std::strerror(errno) : "read error";
    if (!standard_input) {
        std::fclose(file);
    }
    if (failed) {
        return Failure(why);
    }
    return text;
}

std::filesystem::path resolved(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return std::filesystem::weakly_canonical(error ? std::filesystem::path(path) : absolute, error)
        .lexically_normal();
}

Result<> write_stream(std::FILE* out, std::string_view bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fflush(out) != 0 || !written || std::ferror(out) != 0) {
        return Failure(errno != 0 ? std::strerror(errno) : "write error");
    }
    return {};
}

namespace {

Failure cannot_write(const std::string& path, const std::string& reason) {
    return Failure(path + ": cannot write: " + reason);
}

}  // namespace

Result<> write_file(const std::string& path, std::string_view bytes) {
    const Result<PreparedWrite> ready = prepare_write(path, bytes);
    if (!ready) {
        return cannot_write(path, ready.error());
    }
    if (const Result<> committed = commit_write(*ready); !committed) {
        return cannot_write(path, committed.error());
    }
    return {};
}

Result<> write_files(std::span<const FileToWrite> files) {
    std::vector<PreparedWrite> ready;
    for (const FileToWrite& file : files) {
        Result<PreparedWrite> prepared = prepare_write(file.path, file.bytes);
        if (!prepared) {
            for (const PreparedWrite& done : ready) {
                discard_write(done);
            }
            return cannot_write(file.path, prepared.error());
        }
        ready.push_back(std::move(*prepared));
    }
    for (std::size_t i = 0; i < ready.size(); ++i) {
        if (const Result<> committed = commit_write(ready[i]); !committed) {
            for (std::size_t j = i + 1; j < ready.size(); ++j) {
                discard_write(ready[j]);
            }
            return cannot_write(files[i].path, committed.error());
        }
    }
    return {};
}

}  // namespace bleepforge::tool
