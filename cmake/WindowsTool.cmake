# diskcam.exe: the Windows control tool, a user-mode console program built
# from the same controls protocol as the host tool, linked statically so
# that it ships as one file importing only from system DLLs.

set(DISKCAM_CONTROLS_PROTOCOL
    tools/controls_protocol/client.cpp
    tools/controls_protocol/command.cpp
    tools/controls_protocol/report.cpp
    tools/controls_protocol/requests.cpp)

add_executable(diskcam-exe
    ${DISKCAM_CONTROLS_PROTOCOL}
    tools/windows/ks_device.cpp
    tools/windows/main.cpp
    tools/windows/windows_transport.cpp)
set_target_properties(diskcam-exe PROPERTIES OUTPUT_NAME diskcam)
target_include_directories(diskcam-exe PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_compile_options(diskcam-exe PRIVATE -Wall -Wextra -Werror -Wno-multichar)
target_link_options(diskcam-exe PRIVATE -static)
target_link_libraries(diskcam-exe PRIVATE setupapi ksuser ntdll)
