# Read by cpack for each generator: the Debian package installs under /usr, the archives hold
# one top folder whose contents run from wherever they are unpacked.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_BLEEPFORGE_SOURCE_DATE_EPOCH})
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
else()
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()
