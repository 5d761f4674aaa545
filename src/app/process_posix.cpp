#include <csignal>

#include "process.hpp"

namespace bleepforge {

void report_oversized_writes() {
    // Ignored, SIGXFSZ leaves the write to fail with EFBIG ("File too large").
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace bleepforge
