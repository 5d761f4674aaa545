#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "files.hpp"

namespace bleepforge::tool {
namespace {

std::string error_text() {
    return std::strerror(errno);
}

Result<> write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure(error_text());
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

// A device, a pipe or a socket: written in place, as replacing it would swap it for a plain file.
Result<> write_in_place(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        return Failure(error_text());
    }
    Result<> written = write_all(fd, bytes);
    if (::close(fd) != 0 && written) {
        written = Failure(error_text());
    }
    return written;
}

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Result<PreparedWrite> prepare_write(const std::string& path, std::string_view bytes) {
    PreparedWrite ready{path, "", bytes};
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            ready.target = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(ready.target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        return Failure("Is a directory");
    }
    if (exists && !S_ISREG(info.st_mode)) {
        return ready;
    }
    const std::size_t slash = ready.target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : ready.target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? ready.target : ready.target.substr(slash + 1);
    std::string temporary = folder + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return Failure(error_text());
    }
    Result<> written = write_all(fd, bytes);
    // The new file keeps the old one's permissions, or gets the usual ones for a new file.
    if (written && ::fchmod(fd, exists ? (info.st_mode & 07777) : new_file_mode()) != 0) {
        written = Failure(error_text());
    }
    if (::close(fd) != 0 && written) {
        written = Failure(error_text());
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return Failure(written.error());
    }
    ready.temporary = temporary;
    return ready;
}

Result<> commit_write(const PreparedWrite& ready) {
    if (ready.temporary.empty()) {
        return write_in_place(ready.target, ready.bytes);
    }
    if (::rename(ready.temporary.c_str(), ready.target.c_str()) != 0) {
        Failure why(error_text());
        ::unlink(ready.temporary.c_str());
        return why;
    }
    return {};
}

void discard_write(const PreparedWrite& ready) {
    if (!ready.temporary.empty()) {
        ::unlink(ready.temporary.c_str());
    }
}

void use_binary_mode(std::FILE*) {}

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool same_destination(const std::string& a, const std::string& b) {
    return same_file(a, b) || resolved(a) == resolved(b);
}

}  // namespace bleepforge::tool
