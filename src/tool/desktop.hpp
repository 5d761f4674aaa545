#pragma once

// What the bleep program needs of the desktop. One implementation per platform.

#include <cstdint>
#include <optional>
#include <string>

namespace bleepforge::tool {

// The folder holding the running program, when the system tells.
[[nodiscard]] std::optional<std::string> executable_folder();

// Opens a local file in the default web browser; false when none could be started.
[[nodiscard]] bool open_in_browser(const char* path);

// 64 bits from the system's random source, for seeds; 0 where it gives none.
[[nodiscard]] std::uint64_t system_entropy();

}  // namespace bleepforge::tool
