#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bleepforge::tool {

inline constexpr std::string_view studio_file_name = "bleepforge-studio.html";

// The studio page that belongs to this program: beside it (a build folder, the Windows zip) or in
// the installation's share/bleepforge/.
[[nodiscard]] std::optional<std::string> find_studio_page(std::string_view program);

}  // namespace bleepforge::tool
