#include "process.hpp"

namespace bleepforge {

void report_oversized_writes() {}

}  // namespace bleepforge
