# The WebAssembly build: Debian's Emscripten toolchain (apt-get install emscripten), run with
# NODE_PATH=/usr/share/nodejs (the web presets set it) where node is not Debian's own.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
# Header-only libraries from the host, which Emscripten's sysroot does not have.
set(BLEEPFORGE_JSON_HEADERS /usr/include CACHE PATH "The folder holding nlohmann/json.hpp")
# Float-to-integer conversions without traps and bulk memory copies: both in every current
# browser, and the renderer's conversions and buffer copies are much faster with them.
set(CMAKE_C_FLAGS_INIT "-mnontrapping-fptoint -mbulk-memory")
set(CMAKE_CXX_FLAGS_INIT "-mnontrapping-fptoint -mbulk-memory")
