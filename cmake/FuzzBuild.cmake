# The libFuzzer build (DISKCAM_FUZZ=ON, clang++ only): the driver and the
# host stand-in instrumented for coverage with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the harnesses of fuzz/. Tests, benchmarks
# and the tool are left to the ordinary builds.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "DISKCAM_FUZZ needs clang++ (CMAKE_CXX_COMPILER=clang++)")
endif()
set(DISKCAM_SANITIZE "address,undefined" CACHE STRING "" FORCE)
add_compile_options(-fsanitize=fuzzer-no-link)
