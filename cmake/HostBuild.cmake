# The Linux host build: the driver as a static library over the host kernel
# stand-in, the simulated camera, tests, benchmarks and tools.

set(DISKCAM_SANITIZE "" CACHE STRING
    "Sanitizers for the whole build: empty, 'address,undefined' or 'thread'")
option(DISKCAM_FUZZ "Build the libFuzzer harnesses of fuzz/ instead of the tests (clang++)" OFF)
if(DISKCAM_FUZZ)
    include(${PROJECT_SOURCE_DIR}/cmake/FuzzBuild.cmake)
endif()

# Both builds must compute the same doubles: no contraction into fused
# multiply-adds and nothing beyond the SSE2 baseline of x86-64.
add_compile_options(-Wall -Wextra -Werror -ffp-contract=off -msse2 -mno-sse3)
# The platform's STATIC_ GUID macros are flat lists meant for brace elision.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options(-Wno-missing-braces)
endif()
if(DISKCAM_SANITIZE)
    add_compile_options(-fsanitize=${DISKCAM_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${DISKCAM_SANITIZE})
    # The driver has no RTTI, which the vptr check needs.
    if(DISKCAM_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize=vptr)
        add_link_options(-fno-sanitize=vptr)
    endif()
endif()

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

# Driver code: kernel C++ rules, checked by the compiler where it can.
add_library(diskcam-driver STATIC)
target_include_directories(diskcam-driver PUBLIC ${PROJECT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/host/include)
target_compile_options(diskcam-driver PRIVATE -fno-exceptions -fno-rtti
                       -fno-threadsafe-statics -Wno-multichar)

foreach(folder ${DISKCAM_DRIVER_FOLDERS})
    if(EXISTS ${PROJECT_SOURCE_DIR}/${folder}/CMakeLists.txt)
        add_subdirectory(${folder})
    endif()
endforeach()

set(DISKCAM_HOST_FOLDERS host/disk host/nt host/ks host/loader host/system sim)
if(DISKCAM_FUZZ)
    list(APPEND DISKCAM_HOST_FOLDERS fuzz)
else()
    list(APPEND DISKCAM_HOST_FOLDERS tests bench tools)
endif()
foreach(folder ${DISKCAM_HOST_FOLDERS})
    if(EXISTS ${PROJECT_SOURCE_DIR}/${folder}/CMakeLists.txt)
        add_subdirectory(${folder})
    endif()
endforeach()
