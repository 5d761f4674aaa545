# Run by cpack on the staged files before it archives them: the same modes and timestamps on
# every build, whatever the umask and the clock. Lintian's overrides belong to the Debian package.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  file(GLOB_RECURSE overrides ${CPACK_TEMPORARY_DIRECTORY}/*/lintian/overrides/bleepforge)
  foreach(override IN LISTS overrides)
    get_filename_component(lintian_dir ${override} DIRECTORY)
    get_filename_component(lintian_dir ${lintian_dir} DIRECTORY)
    file(REMOVE_RECURSE ${lintian_dir})
  endforeach()
endif()
execute_process(COMMAND chmod -R u=rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${CPACK_TEMPORARY_DIRECTORY} -exec touch -h -d @${CPACK_BLEEPFORGE_SOURCE_DATE_EPOCH} {} +
                COMMAND_ERROR_IS_FATAL ANY)
