#pragma once

namespace bleepforge {

// Makes a write past the process's file-size limit (ulimit -f) fail with an error the program
// reports, instead of the signal that would end it silently. One implementation per platform;
// nothing to do where there is no such signal.
void report_oversized_writes();

}  // namespace bleepforge
