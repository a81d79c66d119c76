# Finds the 8-bit PCRE2 library and defines the imported target PCRE2::pcre2-8.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_PCRE2 QUIET libpcre2-8)
endif()
find_path(PCRE2_INCLUDE_DIR pcre2.h HINTS ${PC_PCRE2_INCLUDE_DIRS})
find_library(PCRE2_LIBRARY NAMES pcre2-8 HINTS ${PC_PCRE2_LIBRARY_DIRS})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(PCRE2 REQUIRED_VARS PCRE2_LIBRARY PCRE2_INCLUDE_DIR)

if(PCRE2_FOUND AND NOT TARGET PCRE2::pcre2-8)
  add_library(PCRE2::pcre2-8 UNKNOWN IMPORTED)
  set_target_properties(PCRE2::pcre2-8 PROPERTIES
    IMPORTED_LOCATION ${PCRE2_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${PCRE2_INCLUDE_DIR})
  if(PCRE2_LIBRARY MATCHES "\\.a$")
    set_property(TARGET PCRE2::pcre2-8 PROPERTY INTERFACE_COMPILE_DEFINITIONS PCRE2_STATIC)
  endif()
endif()
