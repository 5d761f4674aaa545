#include "studio_path.hpp"

#include <filesystem>
#include <system_error>

#include "desktop.hpp"

namespace bleepforge::tool {

Result<std::string> find_studio_page(std::string_view program) {
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
    return Failure("the studio page (" + std::string(studio_file_name) +
                   ") is not installed beside this program");
}

}  // namespace bleepforge::tool
