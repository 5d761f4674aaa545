#pragma once

#include <cstdio>
#include <span>

namespace bleepforge {

// Where the command line's effects go, so the dispatch can be driven without a real console.
struct Console {
    std::FILE* out;
    std::FILE* err;
    void (*show_about)();
};

// Runs one command line (args[0] is the program name) and returns the exit status: 0 for the
// information box, the lists and a successful write; 1 for a usage error or a failed write.
[[nodiscard]] int run_command_line(std::span<const char* const> args, const Console& console);

}  // namespace bleepforge
