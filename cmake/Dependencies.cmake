# Third-party libraries, all from Debian's packages.
#
# The header-only ones (nlohmann-json, CLI11) serve both targets. A native build uses
# their CMake packages; the mingw build must not see /usr/include as a whole,
# so it gets a directory that holds nothing but their own header directories.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 2 REQUIRED)
else()
  set(TDS_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${TDS_HEADER_ONLY_DIR})
  foreach(header nlohmann/json.hpp CLI/CLI.hpp)
    get_filename_component(dir ${header} DIRECTORY)
    if(NOT EXISTS /usr/include/${header})
      message(FATAL_ERROR "/usr/include/${header} is missing; install Debian's header package")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${TDS_HEADER_ONLY_DIR}/${dir} SYMBOLIC)
  endforeach()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${TDS_HEADER_ONLY_DIR})
endif()
