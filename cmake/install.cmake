# cmake --install: the programs, the headers, the static libraries, the CMake package, the manual
# pages, the sound-file schema, the studio page and the examples, in the usual places under the
# prefix. On Windows the programs, the studio and the schema sit at the top, as a Windows user
# expects of an unzipped folder, and the manual pages are HTML.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# A Debian package ships its manual pages and changelog compressed, and lintian's overrides.
option(BLEEPFORGE_GZIP_MANUALS "Install compressed manual pages and changelog, as a Debian package" OFF)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Bleepforge)
if(WIN32)
  set(bin_dir .)
  set(data_dir .)
  set(doc_dir doc)
else()
  set(bin_dir ${CMAKE_INSTALL_BINDIR})
  set(data_dir ${CMAKE_INSTALL_DATADIR}/bleepforge)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/bleepforge)
endif()

install(TARGETS bleepforge bleep bleepforge_library bleepforge_sound bleepforge_export bleepforge_header_symbols
                bleepforge_synth bleepforge_catalogue bleepforge_chip
        EXPORT BleepforgeTargets
        RUNTIME DESTINATION ${bin_dir}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/bleepforge DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT BleepforgeTargets NAMESPACE Bleepforge:: DESTINATION ${package_dir})
install(FILES ${PROJECT_SOURCE_DIR}/doc/bleepforge-sound.schema.json ${PROJECT_SOURCE_DIR}/doc/bleepforge-bank.schema.json
              ${PROJECT_SOURCE_DIR}/web/bleepforge-studio.html
        DESTINATION ${data_dir})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION $<IF:$<BOOL:${WIN32}>,.,${doc_dir}>)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${doc_dir})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${data_dir}/examples PATTERN check.sh EXCLUDE
        PATTERN "*.sh" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                   WORLD_EXECUTE)
# The studio page beside the programs too, so bleep studio finds it in a build folder.
configure_file(${PROJECT_SOURCE_DIR}/web/bleepforge-studio.html ${PROJECT_BINARY_DIR}/bleepforge-studio.html COPYONLY)

# The manual pages: roff for man, compressed for a Debian package, HTML where there is no man.
set(manuals bleepforge bleep)
# Each page's footer names the project's one version, as the package.json does.
foreach(page IN LISTS manuals)
  file(STRINGS ${PROJECT_SOURCE_DIR}/doc/${page}.1 title REGEX "^\\.TH " LIMIT_COUNT 1)
  if(NOT title MATCHES " \"Bleepforge ${PROJECT_VERSION}\" ")
    message(FATAL_ERROR "doc/${page}.1's footer (${title}) does not name Bleepforge ${PROJECT_VERSION}")
  endif()
endforeach()
find_program(MANDOC mandoc)
if(WIN32 AND MANDOC)
  foreach(page IN LISTS manuals)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${page}.html
      COMMAND ${MANDOC} -Thtml ${PROJECT_SOURCE_DIR}/doc/${page}.1 > ${PROJECT_BINARY_DIR}/${page}.html
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page}.1 VERBATIM)
    list(APPEND manual_files ${PROJECT_BINARY_DIR}/${page}.html)
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${manual_files})
  install(FILES ${manual_files} DESTINATION ${doc_dir})
elseif(BLEEPFORGE_GZIP_MANUALS)
  foreach(page IN LISTS manuals)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${page}.1.gz
      COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/doc/${page}.1 > ${PROJECT_BINARY_DIR}/${page}.1.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/${page}.1 VERBATIM)
    list(APPEND manual_files ${PROJECT_BINARY_DIR}/${page}.1.gz)
  endforeach()
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(manual_pages ALL DEPENDS ${manual_files} ${PROJECT_BINARY_DIR}/changelog.gz)
  install(FILES ${manual_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${doc_dir})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME bleepforge)
else()
  list(TRANSFORM manuals REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/doc/\\1.1" OUTPUT_VARIABLE manual_files)
  install(FILES ${manual_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BleepforgeConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/BleepforgeConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BleepforgeConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BleepforgeConfig.cmake ${PROJECT_BINARY_DIR}/BleepforgeConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/BleepforgeAddSfx.cmake
        DESTINATION ${package_dir})
