# Exact outputs: a fused multiply-add rounds once where the code rounds twice, so it is off for
# every target this project compiles, and -ffast-math is never used.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-ffp-contract=off)
endif()
