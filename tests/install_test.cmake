# Installs the build into a fresh prefix, builds the C consumer against the
# installed package (and on Linux also with pkg-config) and runs it.
#
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=...
#         [-DTOOLCHAIN=file -DEMULATOR=wine -DEXE_SUFFIX=.exe] [-DC_COMPILER=cc]
#         -P install_test.cmake
cmake_policy(VERSION 3.25)
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_test.cmake: ${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${status}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

function(expect_consumer_ok output how)
  if(NOT output MATCHES "consumer ok: TarvelloDemoSite ${VERSION}")
    message(FATAL_ERROR "${how} consumer printed:\n${output}")
  endif()
  message(STATUS "${how}: ${output}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
list(SORT installed)
list(JOIN installed "\n  " listing)
message(STATUS "installed:\n  ${listing}")

set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/cmake -G Ninja
    -DCMAKE_BUILD_TYPE=Release)
if(TOOLCHAIN)
  # The cross toolchain only searches its own root; point at the package itself.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
       -DTarvelloDemoSite_DIR=${prefix}/lib/cmake/TarvelloDemoSite)
else()
  list(APPEND configure -DCMAKE_PREFIX_PATH=${prefix})
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run(${EMULATOR} ${WORK_DIR}/cmake/consumer${EXE_SUFFIX})
expect_consumer_ok("${output}" "CMake package")

# The installed host finds the installed module and description on its own.
run(${EMULATOR} ${prefix}/bin/tarvello-run${EXE_SUFFIX} --days 2 --quiet)
if(NOT output MATCHES "^day,.*\n1,.*\n2,")
  message(FATAL_ERROR "the installed tarvello-run printed:\n${output}")
endif()
message(STATUS "installed tarvello-run: runs")

if(NOT TOOLCHAIN)
  # The same consumer through pkg-config alone.
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  foreach(what cflags libs module description modversion)
    if(what STREQUAL "cflags" OR what STREQUAL "libs" OR what STREQUAL "modversion")
      run(pkg-config --${what} TarvelloDemoSite)
    else()
      run(pkg-config --variable=${what} TarvelloDemoSite)
    endif()
    string(STRIP "${output}" ${what})
  endforeach()
  if(NOT modversion STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config gives version ${modversion}, expected ${VERSION}")
  endif()
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  separate_arguments(libs UNIX_COMMAND "${libs}")
  get_filename_component(libdir ${module} DIRECTORY)
  run(${C_COMPILER} -std=c99 -pedantic -Wall -Wextra -Werror ${cflags}
      "-DTDS_MODULE_PATH=\"${module}\"" "-DTDS_DESCRIPTION_PATH=\"${description}\""
      "-DTDS_PACKAGE_VERSION=\"${modversion}\"" ${SOURCE_DIR}/tests/consumer/consumer.c
      -o ${WORK_DIR}/consumer-pkg-config ${libs} -ldl -Wl,-rpath,${libdir})
  run(${WORK_DIR}/consumer-pkg-config)
  expect_consumer_ok("${output}" "pkg-config")
endif()
