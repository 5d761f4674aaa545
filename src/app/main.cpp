#include <cstddef>
#include <cstdio>

#include "about_box.hpp"
#include "dispatch.hpp"

int main(int argc, char** argv) {
    const bleepforge::Console console{stdout, stderr, bleepforge::show_about_box};
    return bleepforge::run_command_line({argv, static_cast<std::size_t>(argc)}, console);
}
