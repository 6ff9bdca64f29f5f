# Installation: the module, its public header, the model description and its
# schema, a CMake package (find_package(TarvelloDemoSite CONFIG) gives the
# imported target TarvelloDemoSite::TarvelloDemoSite) and, on Linux, a
# pkg-config file. Every version number comes from project(VERSION).
#
# Layout under the prefix:
#   lib/TarvelloDemoSite.so            (Windows: bin/TarvelloDemoSite.dll and
#                                       lib/TarvelloDemoSite.dll.a)
#   include/TarvelloDemoSite/          TarvelloDemoSite.h, catalogue.def
#   share/TarvelloDemoSite/            TarvelloDemoSite.json, TarvelloDemoSite.schema.json
#   lib/cmake/TarvelloDemoSite/        package configuration
#   lib/pkgconfig/TarvelloDemoSite.pc  (Linux)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TDS_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/TarvelloDemoSite)
set(TDS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarvelloDemoSite)

install(TARGETS TarvelloDemoSite EXPORT TarvelloDemoSiteTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES model/TarvelloDemoSite.h model/catalogue.def
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/TarvelloDemoSite)
install(FILES ${TDS_DESCRIPTION} model/TarvelloDemoSite.schema.json
  DESTINATION ${TDS_INSTALL_DATADIR})

install(EXPORT TarvelloDemoSiteTargets
  NAMESPACE TarvelloDemoSite::
  DESTINATION ${TDS_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/TarvelloDemoSiteConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSiteConfig.cmake
  INSTALL_DESTINATION ${TDS_INSTALL_CMAKEDIR}
  PATH_VARS TDS_INSTALL_DATADIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSiteConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSiteConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSiteConfigVersion.cmake
  DESTINATION ${TDS_INSTALL_CMAKEDIR})

if(NOT WIN32)
  # Relocatable: the prefix is found from the .pc file's own directory.
  file(RELATIVE_PATH TDS_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" TDS_PC_TO_PREFIX "${TDS_PC_TO_PREFIX}")
  configure_file(cmake/TarvelloDemoSite.pc.in ${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSite.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TarvelloDemoSite.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
