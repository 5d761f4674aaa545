#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "desktop.hpp"
#include "run_program.hpp"

namespace bleepforge::tool {

std::optional<std::string> executable_folder() {
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) {
        return std::nullopt;
    }
    const std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

std::uint64_t system_entropy() {
    // getentropy rather than std::random_device, whose library code would need a newer C library
    // than the one the program otherwise runs on.
    std::uint64_t value = 0;
    return ::getentropy(&value, sizeof value) == 0 ? value : 0;
}

bool open_in_browser(const char* path) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        return false;  // no desktop to show a browser on
    }
    const char* const argv[] = {"xdg-open", path, nullptr};
    return run_program(argv);
}

}  // namespace bleepforge::tool
