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
