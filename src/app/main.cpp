#include <cstddef>
#include <cstdio>

#include "about_box.hpp"
#include "dispatch.hpp"
#include "process.hpp"

int main(int argc, char** argv) {
    bleepforge::report_oversized_writes();
    const bleepforge::Console console{stdout, stderr, bleepforge::show_about_box};
    return bleepforge::run_command_line({argv, static_cast<std::size_t>(argc)}, console);
}
