# Run by cpack after each generator, on the package it just made: an archive gets its entries
# sorted and its times and owners fixed (the Debian generator does that itself), then the package
# joins the others in build/packages/, whose SHA256SUMS lists them all as sha256sum -c reads it.
set(output ${CPACK_BLEEPFORGE_OUTPUT_DIRECTORY})
file(MAKE_DIRECTORY ${output})
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.(tar\\.gz|zip)$")
    execute_process(COMMAND ${CPACK_BLEEPFORGE_PYTHON} ${CPACK_BLEEPFORGE_SOURCE_DIR}/packaging/normalise_archive.py
                            ${package} ${CPACK_BLEEPFORGE_SOURCE_DATE_EPOCH} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(COPY ${package} DESTINATION ${output})
endforeach()
file(GLOB packages RELATIVE ${output} ${output}/*.deb ${output}/*.tar.gz ${output}/*.zip)
list(SORT packages)
set(sums "")
foreach(package IN LISTS packages)
  file(SHA256 ${output}/${package} digest)
  string(APPEND sums "${digest}  ${package}\n")
endforeach()
file(WRITE ${output}/SHA256SUMS "${sums}")
