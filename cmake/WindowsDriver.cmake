# The Windows kernel build: diskcam.sys from every driver folder, linked only
# against ks.sys, ntoskrnl.exe and hal.dll. Each driver folder adds its sources
# to diskcam-driver, the same target name the host build uses for its library.

set(DISKCAM_WDK_INCLUDE /usr/x86_64-w64-mingw32/include/ddk)

add_library(diskcam-driver SHARED windows/runtime.cpp)
set_target_properties(diskcam-driver PROPERTIES OUTPUT_NAME diskcam PREFIX "" SUFFIX ".sys")
target_include_directories(diskcam-driver PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_include_directories(diskcam-driver SYSTEM PRIVATE ${DISKCAM_WDK_INCLUDE})
target_compile_options(diskcam-driver PRIVATE
    -Wall -Wextra -Werror -Wno-multichar
    -fno-exceptions -fno-rtti -ffreestanding -fno-threadsafe-statics
    -fno-stack-protector -fno-stack-check -mno-stack-arg-probe
    -ffp-contract=off -msse2 -mno-sse3
    -Wframe-larger-than=4096)
target_link_options(diskcam-driver PRIVATE
    -nostdlib -Wl,--subsystem,native -Wl,--entry,DriverEntry
    -Wl,--image-base,0x140000000 -Wl,--dynamicbase -Wl,--nxcompat
    -Wl,--no-insert-timestamp -Wl,--exclude-all-symbols)
target_link_libraries(diskcam-driver PRIVATE ks ntoskrnl hal gcc)

foreach(folder ${DISKCAM_DRIVER_FOLDERS})
    if(EXISTS ${PROJECT_SOURCE_DIR}/${folder}/CMakeLists.txt)
        add_subdirectory(${folder})
    endif()
endforeach()
