# One warnings target, linked by every target of our own; third-party code is left alone.
add_library(bleepforge_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(bleepforge_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wdouble-promotion
    -Wold-style-cast -Wcast-qual -Wformat=2 -Wimplicit-fallthrough
    $<$<BOOL:${BLEEPFORGE_WERROR}>:-Werror>)
  # GCC 12 reports "literal" + std::string as overlapping copies (its bug 105329), at -O2 and up.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(bleepforge_warnings INTERFACE -Wno-restrict)
  endif()
elseif(MSVC)
  target_compile_options(bleepforge_warnings INTERFACE /W4 $<$<BOOL:${BLEEPFORGE_WERROR}>:/WX>)
endif()
