#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <random>

#include "desktop.hpp"

namespace bleepforge::tool {

std::optional<std::string> executable_folder() {
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return std::nullopt;
    }
    const std::string exe(path, n);
    return exe.substr(0, exe.find_last_of("\\/"));
}

std::uint64_t system_entropy() {
    std::random_device device;  // the C runtime's rand_s
    return (static_cast<std::uint64_t>(device()) << 32U) ^ device();
}

bool open_in_browser(const char* path) {
    // ShellExecute reports success with a value above 32.
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace bleepforge::tool
