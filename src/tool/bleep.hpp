#pragma once

#include <cstdio>
#include <span>

namespace bleepforge::tool {

// Where the bleep program reads and writes, so its commands can be driven without a console.
struct ToolConsole {
    std::FILE* in;
    std::FILE* out;
    std::FILE* err;
    // Opens a file in the desktop's default program; false when none could be started.
    bool (*open_in_browser)(const char* path);
};

// Exit statuses, as command-line tools use them.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;  // a bad file, a failed write
inline constexpr int exit_usage = 2;    // the command line was not understood

// Runs one bleep command line (args[0] is the program name) and returns its exit status.
[[nodiscard]] int run_bleep(std::span<const char* const> args, const ToolConsole& console);

}  // namespace bleepforge::tool
