# nlohmann's JSON for Modern C++, header-only, read by the sound library only (the bleepforge
# program does not use it). Debian and Ubuntu: nlohmann-json3-dev; Fedora: json-devel; Arch:
# nlohmann-json; Homebrew and vcpkg: nlohmann-json. Cross toolchains search only their own
# sysroot, so theirs name the host's copy in BLEEPFORGE_JSON_HEADERS.
set(BLEEPFORGE_JSON_HEADERS "" CACHE PATH "The folder holding nlohmann/json.hpp (found when empty)")
if(NOT BLEEPFORGE_JSON_HEADERS)
  find_path(bleepforge_json_found nlohmann/json.hpp)
  if(NOT bleepforge_json_found)
    message(FATAL_ERROR "nlohmann/json.hpp (3.10 or later) was not found. Install it: "
                        "apt-get install nlohmann-json3-dev (Debian, Ubuntu), dnf install json-devel (Fedora), "
                        "pacman -S nlohmann-json (Arch), brew install nlohmann-json; "
                        "or set BLEEPFORGE_JSON_HEADERS to the folder that holds nlohmann/json.hpp.")
  endif()
  set(BLEEPFORGE_JSON_HEADERS ${bleepforge_json_found} CACHE PATH "The folder holding nlohmann/json.hpp" FORCE)
endif()

# Only the library's own folder goes on the include path, through a copy in the build tree: a
# host folder like /usr/include must never reach a cross compiler's search path.
file(COPY ${BLEEPFORGE_JSON_HEADERS}/nlohmann DESTINATION ${PROJECT_BINARY_DIR}/third_party/include)
add_library(bleepforge_json INTERFACE)
target_include_directories(bleepforge_json SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/third_party/include)
