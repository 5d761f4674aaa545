#include <cstddef>
#include <cstdio>

#include "bleep.hpp"
#include "desktop.hpp"
#include "files.hpp"
#include "process.hpp"

int main(int argc, char** argv) {
    bleepforge::report_oversized_writes();
    // Sound files, WAV files and headers are bytes: the same on every platform.
    bleepforge::tool::use_binary_mode(stdin);
    bleepforge::tool::use_binary_mode(stdout);
    const bleepforge::tool::ToolConsole console{stdin, stdout, stderr, bleepforge::tool::open_in_browser};
    return bleepforge::tool::run_bleep({argv, static_cast<std::size_t>(argc)}, console);
}
