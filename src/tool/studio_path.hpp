#pragma once

#include <string>
#include <string_view>

#include "result.hpp"

namespace bleepforge::tool {

inline constexpr std::string_view studio_file_name = "bleepforge-studio.html";

// The studio page that belongs to this program: beside it (a build folder, the Windows zip) or in
// the installation's share/bleepforge/. Fails when it is in neither.
[[nodiscard]] Result<std::string> find_studio_page(std::string_view program);

}  // namespace bleepforge::tool
