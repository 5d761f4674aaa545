# cmake --install: the programs, the headers, the static libraries, the CMake package, the manual
# pages, the sound-file schema and the studio page, in the usual places under the prefix.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Bleepforge)

install(TARGETS bleepforge bleep bleepforge_library bleepforge_sound bleepforge_export bleepforge_synth
                bleepforge_catalogue
        EXPORT BleepforgeTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/bleepforge DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT BleepforgeTargets NAMESPACE Bleepforge:: DESTINATION ${package_dir})
install(FILES ${PROJECT_SOURCE_DIR}/doc/bleepforge.1 ${PROJECT_SOURCE_DIR}/doc/bleep.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/doc/bleepforge-sound.schema.json ${PROJECT_SOURCE_DIR}/web/bleepforge-studio.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bleepforge)
# The studio page beside the programs too, so bleep studio finds it in a build folder.
configure_file(${PROJECT_SOURCE_DIR}/web/bleepforge-studio.html ${PROJECT_BINARY_DIR}/bleepforge-studio.html COPYONLY)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BleepforgeConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/BleepforgeConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BleepforgeConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BleepforgeConfig.cmake ${PROJECT_BINARY_DIR}/BleepforgeConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/BleepforgeAddSfx.cmake
        DESTINATION ${package_dir})
