#include "studio_path.hpp"

#include <filesystem>
#include <system_error>

#include "desktop.hpp"

namespace bleepforge::tool {

std::optional<std::string> find_studio_page(std::string_view program) {
    namespace fs = std::filesystem;
    std::optional<std::string> folder = executable_folder();
    if (!folder) {
        folder = fs::path(program).parent_path().string();
    }
    const fs::path base(*folder);
    for (const fs::path& candidate :
         {base / studio_file_name, base / ".." / "share" / "bleepforge" / studio_file_name}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            return fs::weakly_canonical(candidate, error).string();
        }
    }
    return std::nullopt;
}

}  // namespace bleepforge::tool
