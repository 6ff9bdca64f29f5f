# Compiler settings shared by the library and its tests.
#
# The model's arithmetic is IEEE double arithmetic with every product, sum and
# difference rounded on its own: contraction into fused multiply-adds is off,
# and nothing here may enable fast-math style reassociation.
add_library(tds_options INTERFACE)
target_compile_options(tds_options INTERFACE -Wall -Wextra -ffp-contract=off -fno-fast-math)
if(MINGW)
  # Self-contained binaries: no libstdc++/libgcc/winpthread DLLs at run time.
  target_link_options(tds_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

option(TDS_BUILD_FUZZERS "Build the libFuzzer targets in fuzz/ (clang; preset fuzz)" OFF)
option(TDS_BUILD_BENCHMARKS "Build the Google Benchmark programs in bench/ (preset bench)" OFF)

# The asan preset: AddressSanitizer (leak detection included) and
# UndefinedBehaviorSanitizer, float-cast-overflow too, stopping at the first
# finding. Applied to everything the build compiles: library, host and tests.
option(TDS_SANITIZE "Build everything with ASan and UBSan" OFF)
if(TDS_SANITIZE)
  set(TDS_SANITIZER_FLAGS -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${TDS_SANITIZER_FLAGS})
  add_link_options(${TDS_SANITIZER_FLAGS})
endif()

# The fuzz preset: everything instrumented for libFuzzer's coverage feedback
# (but the functions of fuzz/coverage-ignore.txt) and checked by ASan and
# UBSan; the fuzz targets link -fsanitize=fuzzer.
if(TDS_BUILD_FUZZERS)
  set(TDS_FUZZ_SANITIZERS -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(-fsanitize=fuzzer-no-link ${TDS_FUZZ_SANITIZERS}
                      -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/coverage-ignore.txt)
  add_link_options(${TDS_FUZZ_SANITIZERS})
endif()
