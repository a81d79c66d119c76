# Packages built with CPack (scripts/package.sh): on Linux the Debian package
# voutil_<version>_amd64.deb, on Windows the archive voutil-<version>-win64.zip. Both hold the
# libraries, the tool, the headers, the CMake package and the pkg-config file; one package each,
# since callers of the C++ interface need the headers of exactly the libraries they run.
set(CPACK_PACKAGE_NAME voutil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The voutil developers")
set(CPACK_PACKAGE_CONTACT "The voutil developers <voutil-dev@lists.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "utility library for registry, archives, copying, encoding and system queries")
set(CPACK_PACKAGE_DESCRIPTION
  "voutil is a shared C++ utility library with a command-line tool of the same
name: registry access through slash-separated key paths (an embedded store on
Linux), registry description files and capture imports, 7z, tar-gzip and zstd
archives, a threaded range copy with MD5, Base64 and small RSA and Caesar
transforms, logging, phase timers, statistics and system queries.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME voutil-${PROJECT_VERSION}-win64)
  install(FILES LICENSE DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://voutil.example.org/")
  # Dependencies come from the binaries; our own libraries are found in the build tree.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
  # The loader's cache is refreshed by a trigger, once per dpkg run.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
  # The 7z verb runs the system's 7zr, linked from the data directory.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS p7zip)

  # Debian wants the licence as the copyright file and a changelog compressed with gzip -9n.
  install(FILES cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/changelog
    "voutil (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}\n")
  execute_process(COMMAND gzip -9nf ${CMAKE_CURRENT_BINARY_DIR}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
