#pragma once

// The bleep program's files: reading a sound file or standard input, and writing outputs so that a
// failure never leaves a truncated file or damages the one already there. One implementation per
// platform.

#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "result.hpp"

namespace bleepforge::tool {

// Reads at most limit + 1 bytes of the file (or of in, for "-"), so a device that never ends
// cannot exhaust memory; the caller refuses text longer than limit. Fails with the system's
// reason, "No such file or directory".
[[nodiscard]] Result<std::string> read_input(const std::string& path, std::FILE* in, std::size_t limit);

// Writes bytes to out, or fails with the system's reason. Standard output cannot be made atomic.
[[nodiscard]] Result<> write_stream(std::FILE* out, std::string_view bytes);

// Writes bytes to path, or fails with "PATH: cannot write: REASON". A regular file, or a path with
// nothing there yet, is replaced only once a temporary file beside it holds every byte and is
// closed; a symbolic link is followed to its file. Anything else (a device, a pipe) is written
// directly.
[[nodiscard]] Result<> write_file(const std::string& path, std::string_view bytes);

// Several files written all or nothing, as far as the system allows: every file is first written
// whole beside its target, and only when all are ready do they replace their targets. On a failure
// before that, no target is touched and no temporary file is left. A failure names its file as
// write_file's does.
struct FileToWrite {
    std::string path;
    std::string bytes;
};
[[nodiscard]] Result<> write_files(std::span<const FileToWrite> files);

// The two halves of a write, one implementation per platform: the bytes in a closed temporary file
// beside the target (or, for a device or pipe, nothing yet), then the rename that puts it in place
// (or the direct write); discard_write removes a temporary file not committed. Both fail with the
// system's reason.
struct PreparedWrite {
    std::string target;
    std::string temporary;  // empty: written in place when committed
    std::string_view bytes;
};
[[nodiscard]] Result<PreparedWrite> prepare_write(const std::string& path, std::string_view bytes);
[[nodiscard]] Result<> commit_write(const PreparedWrite& ready);
void discard_write(const PreparedWrite& ready);

// Switches a standard stream to binary, where text streams translate line ends.
void use_binary_mode(std::FILE* stream);

// Whether two existing paths name one file: the same device and node (POSIX) or volume and file
// index (Windows), so "./a", a symbolic link to it and a hard link to it all match "a". False
// when either does not exist.
[[nodiscard]] bool same_file(const std::string& a, const std::string& b);

// The path made absolute, with its existing folders' links resolved and "." and ".." taken out.
[[nodiscard]] std::filesystem::path resolved(const std::string& path);

// Whether two outputs would land on one file: the same file where both exist, else the same path
// once "." and "..", folders that are links and (on Windows) the case of letters are set aside.
[[nodiscard]] bool same_destination(const std::string& a, const std::string& b);

}  // namespace bleepforge::tool
