# bleepforge_add_sfx(<target> PRESET <word> [CHIP <word>] [NAME <stem>])
#
# Renders PRESET on CHIP (default nes) at build time into <stem>.h (default <preset>_<chip>.h) in
# the build tree and puts its folder on <target>'s include path. The header is made again only
# when the program or the words change. Its symbols are always chiptune_sfx_*, so include one
# generated header per source file.
function(bleepforge_add_sfx target)
  cmake_parse_arguments(PARSE_ARGV 1 sfx "" "PRESET;CHIP;NAME" "")
  if(NOT sfx_PRESET)
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): PRESET is required")
  endif()
  if(sfx_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): unexpected arguments ${sfx_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT sfx_CHIP)
    set(sfx_CHIP nes)
  endif()
  if(NOT sfx_NAME)
    set(sfx_NAME ${sfx_PRESET}_${sfx_CHIP})
  endif()

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/bleepforge_sfx/${target})
  set(header ${dir}/${sfx_NAME}.h)
  # Rewritten only when the words change, so every generator reruns the step exactly then.
  set(words ${dir}/${sfx_NAME}.words)
  file(CONFIGURE OUTPUT ${words} CONTENT "${sfx_PRESET} ${sfx_CHIP}\n")

  add_custom_command(OUTPUT ${header}
    COMMAND Bleepforge::bleepforge-cli --header ${sfx_PRESET} ${sfx_CHIP} ${header}
    DEPENDS $<TARGET_FILE:Bleepforge::bleepforge-cli> ${words}
    COMMENT "Rendering ${sfx_PRESET} on ${sfx_CHIP} into ${sfx_NAME}.h"
    VERBATIM)
  target_sources(${target} PRIVATE ${header})
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
