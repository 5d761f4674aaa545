# Packages with CPack: a Debian package and a relocatable tarball on Linux, a zip on Windows, all
# in build/packages/ beside one SHA256SUMS. Reproducible: every timestamp is the last commit's
# (SOURCE_DATE_EPOCH), modes are normalised and the programs carry no build time.
set(CPACK_PACKAGE_NAME bleepforge)
set(CPACK_PACKAGE_VENDOR "Bleepforge")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Bleepforge maintainers <maintainers@bleepforge.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "retro game sound effects, the same bytes on every platform")
set(CPACK_BLEEPFORGE_OUTPUT_DIRECTORY ${PROJECT_SOURCE_DIR}/build/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)  # the same compressed bytes whatever the machine
set(CPACK_ARCHIVE_THREADS 1)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_SYSTEM_NAME linux-x86_64)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# bleepforge is static; bleep needs the C library, and SDL 2 to play sounds (it loads it then).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.36)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Bleepforge synthesizes the short sound effects of retro video games (lasers,\n"
  "jumps, coins, explosions) on NES, SID, Game Boy and YM2612 voices, and writes\n"
  "them as 16-bit WAV files or C/C++ headers to compile into a game.\n"
  ".\n"
  "bleepforge renders the eight presets; bleep works with sound files, small\n"
  "text files for a game's repository, rendered at build time through the CMake\n"
  "package and the static library, or designed in the studio page, one HTML file\n"
  "that runs in a web browser. A sound renders to the same bytes everywhere.")

# Every timestamp is the last commit's, or the release date outside a clone.
set(BLEEPFORGE_SOURCE_DATE_EPOCH 1796731200)  # 2026-12-08 12:00 UTC, the changelog's
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_failed)
  if(NOT git_failed AND commit_time MATCHES "^[0-9]+$")
    set(BLEEPFORGE_SOURCE_DATE_EPOCH ${commit_time})
  endif()
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_config.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_normalise.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_checksums.cmake)
set(CPACK_BLEEPFORGE_SOURCE_DATE_EPOCH ${BLEEPFORGE_SOURCE_DATE_EPOCH})
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CPACK_BLEEPFORGE_PYTHON ${Python3_EXECUTABLE})
set(CPACK_BLEEPFORGE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
