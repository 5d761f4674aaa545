#pragma once

namespace bleepforge {

// Runs a program found on the PATH with these arguments (argv[0] is its name, the list ends with
// nullptr), never through a shell, its standard input from /dev/null, and waits for it. True when
// it started and exited with status 0. POSIX only: on Windows the system's own calls show boxes
// and open files.
[[nodiscard]] bool run_program(const char* const* argv);

}  // namespace bleepforge
