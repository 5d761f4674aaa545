# bleepforge_add_sfx(<target> SOUND <file> [NAME <ident>] [RATE <hz>])
#
# Renders a sound file at build time into <ident>.h in the build tree, with the symbols
# <ident>_sample_rate, <ident>_num_samples and <ident>_pcm, and puts its folder on <target>'s
# include path. <ident> defaults to the file's name as a C identifier (sfx/coin.bleep gives coin),
# RATE to 44100. The header is made again when the sound file, the tool or these arguments
# change, and not otherwise.
#
# bleepforge_add_sfx(<target> BANK <file> [NAME <ident>] [RATE <hz>])
#
# Renders a bank of sounds (*.bleepbank) into one header <ident>.h: for each sound
# <ident>_<name>_pcm and <ident>_<name>_num_samples, the enum <ident>_id of the sounds with
# <ident>_count, and the table <ident>_sounds[<ident>_count]. <ident> defaults to the bank's file
# name as a C identifier. The header is made again when the bank or any sound file it names changes
# (the tool writes the list into a depfile), and not otherwise.
#
# bleepforge_add_sfx(<target> PRESET <word> [CHIP <word>] [NAME <stem>])
#
# Renders PRESET on CHIP (default nes) with the bleepforge program into <stem>.h (default
# <preset>_<chip>.h). Its symbols are always chiptune_sfx_*, so include one such header per
# source file.
function(bleepforge_add_sfx target)
  cmake_parse_arguments(PARSE_ARGV 1 sfx "" "SOUND;BANK;PRESET;CHIP;NAME;RATE" "")
  if(sfx_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): unexpected arguments ${sfx_UNPARSED_ARGUMENTS}")
  endif()
  if((sfx_SOUND AND (sfx_PRESET OR sfx_CHIP OR sfx_BANK)) OR (sfx_BANK AND (sfx_PRESET OR sfx_CHIP)))
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): give one of SOUND, BANK and PRESET")
  endif()
  if(sfx_BANK)
    _bleepforge_add_sound(${target} "${sfx_BANK}" "${sfx_NAME}" "${sfx_RATE}")
    return()
  endif()
  if(sfx_SOUND)
    _bleepforge_add_sound(${target} "${sfx_SOUND}" "${sfx_NAME}" "${sfx_RATE}")
    return()
  endif()
  if(NOT sfx_PRESET)
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): SOUND, BANK or PRESET is required")
  endif()
  if(sfx_RATE)
    message(FATAL_ERROR "bleepforge_add_sfx(${target}): RATE goes with SOUND; a PRESET renders at 44100 Hz")
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

function(_bleepforge_add_sound target sound name rate)
  get_filename_component(sound ${sound} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT name)
    get_filename_component(stem ${sound} NAME_WLE)
    string(MAKE_C_IDENTIFIER ${stem} name)
  endif()
  if(NOT rate)
    set(rate 44100)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/bleepforge_sfx/${target})
  set(header ${dir}/${name}.h)
  set(words ${dir}/${name}.words)
  file(CONFIGURE OUTPUT ${words} CONTENT "${sound} ${name} ${rate}\n")

  # The tool lists what it read (the sound file, or a bank and every file it names) in a depfile, by
  # absolute paths. Ninja knows the header by its path in the build tree, so CMake must rewrite the
  # depfile to that (policy CMP0116): set here, since a project whose cmake_minimum_required is below
  # 3.20 leaves it unset, and Ninja would then make the header again on every build.
  set(depfile ${dir}/${name}.d)
  if(POLICY CMP0116)
    cmake_policy(PUSH)
    cmake_policy(SET CMP0116 NEW)
  endif()
  add_custom_command(OUTPUT ${header}
    COMMAND Bleepforge::bleep header ${sound} -o ${header} --name ${name} --rate ${rate} --depfile ${depfile}
    DEPENDS ${sound} $<TARGET_FILE:Bleepforge::bleep> ${words}
    DEPFILE ${depfile}
    COMMENT "Rendering ${sound} into ${name}.h"
    VERBATIM)
  if(POLICY CMP0116)
    cmake_policy(POP)
  endif()
  target_sources(${target} PRIVATE ${header})
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
