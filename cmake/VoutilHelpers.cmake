# Compiler settings shared by every target of the project.
add_library(voutil_warnings INTERFACE)
if(MSVC)
  target_compile_options(voutil_warnings INTERFACE /W4 $<$<BOOL:${VOUTIL_WERROR}>:/WX>)
else()
  target_compile_options(voutil_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
    $<$<BOOL:${VOUTIL_WERROR}>:-Werror>)
endif()

if(VOUTIL_SANITIZE)
  add_compile_options(-fsanitize=${VOUTIL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VOUTIL_SANITIZE})
endif()

# voutil_library(NAME [SHARED|STATIC] SOURCES ... ) creates a library of the project with its
# public headers under include/ next to its sources.
function(voutil_library name kind)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_library(${name} ${kind} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE $<BUILD_INTERFACE:voutil_warnings>)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC
      $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  endif()
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(NOT WIN32)
    # Only what the export macros mark leaves a library, as on Windows: a missing export then
    # fails the Linux build too.
    set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  endif()
  if(MINGW)
    # DLLs carry their plain names on Windows (voutil.dll, vodevctl.dll), as LoadLibrary expects.
    set_target_properties(${name} PROPERTIES PREFIX "")
  endif()
  set_property(GLOBAL APPEND PROPERTY VOUTIL_INSTALLED_TARGETS ${name})
endfunction()

# Fuzz builds instrument everything for coverage; only the fuzz targets link the fuzzer's main.
# RapidJSON's internal stack adds offsets to its null start pointer, which clang's pointer
# overflow check reports although nothing is dereferenced.
if(VOUTIL_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link -fno-sanitize=pointer-overflow)
endif()
