#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bleepforge/catalogue.hpp"
#include "files.hpp"

namespace bleepforge::tool {
namespace {

std::string last_error_text() {
    char text[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   GetLastError(), 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(GetLastError()) : message;
}

Result<> write_with_c_runtime(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return Failure("cannot open it for writing");
    }
    Result<> written = write_stream(file, bytes);
    if (std::fclose(file) != 0 && written) {
        written = Failure("cannot close it");
    }
    return written;
}

enum class Existing { nothing, regular, folder, other };

// A console, NUL or a pipe opens as a handle that is not a disk file.
Existing what_is_at(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Existing::folder;
    }
    const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return attributes == INVALID_FILE_ATTRIBUTES ? Existing::nothing : Existing::other;
    }
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK ? Existing::regular : Existing::other;
}

}  // namespace

Result<PreparedWrite> prepare_write(const std::string& path, std::string_view bytes) {
    PreparedWrite ready{path, "", bytes};
    switch (what_is_at(path)) {
    case Existing::folder:
        return Failure("Is a directory");
    case Existing::other:
        return ready;
    case Existing::nothing:
    case Existing::regular:
        break;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char temporary[MAX_PATH + 1];
    if (GetTempFileNameA(folder.c_str(), "blp", 0, temporary) == 0) {
        return Failure(last_error_text());
    }
    if (const Result<> written = write_with_c_runtime(temporary, bytes); !written) {
        DeleteFileA(temporary);
        return Failure(written.error());
    }
    ready.temporary = temporary;
    return ready;
}

Result<> commit_write(const PreparedWrite& ready) {
    if (ready.temporary.empty()) {
        return write_with_c_runtime(ready.target, ready.bytes);
    }
    // A plain rename does not replace an existing file on Windows; this does, in one step.
    if (MoveFileExA(ready.temporary.c_str(), ready.target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        Failure why(last_error_text());
        DeleteFileA(ready.temporary.c_str());
        return why;
    }
    return {};
}

void discard_write(const PreparedWrite& ready) {
    if (!ready.temporary.empty()) {
        DeleteFileA(ready.temporary.c_str());
    }
}

void use_binary_mode(std::FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

namespace {

struct Identity {
    DWORD volume;
    DWORD high;
    DWORD low;
};

std::optional<Identity> identity_of(const std::string& path) {
    // FILE_FLAG_BACKUP_SEMANTICS opens folders too; the handle only reads attributes.
    const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::string folded(const std::filesystem::path& path) {
    return fold_ascii_case(path.string());  // NTFS compares names without case
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    const std::optional<Identity> first = identity_of(a);
    const std::optional<Identity> second = identity_of(b);
    return first && second && first->volume == second->volume && first->high == second->high &&
           first->low == second->low;
}

bool same_destination(const std::string& a, const std::string& b) {
    return same_file(a, b) || folded(resolved(a)) == folded(resolved(b));
}

}  // namespace bleepforge::tool
