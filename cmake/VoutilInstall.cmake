# Install rules: libraries, public headers, the CMake package voutil (target voutil::voutil)
# and a pkg-config file.
include(CMakePackageConfigHelpers)

get_property(installed_targets GLOBAL PROPERTY VOUTIL_INSTALLED_TARGETS)
install(TARGETS ${installed_targets} EXPORT voutilTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY src/sx/include/sx src/util/include/voutil
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/voutil)
install(EXPORT voutilTargets NAMESPACE voutil:: DESTINATION ${config_dir})
configure_package_config_file(cmake/voutilConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/voutilConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/voutilConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/voutilConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/voutilConfigVersion.cmake DESTINATION ${config_dir})

configure_file(cmake/voutil.pc.in ${CMAKE_CURRENT_BINARY_DIR}/voutil.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/voutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
