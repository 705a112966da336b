# diskcam.exe: the Windows control tool, a user-mode console program built
# from the same controls protocol as the host tool, linked statically so
# that it ships as one file importing only from system DLLs.

set(DISKCAM_CONTROLS_PROTOCOL
    tools/controls_protocol/client.cpp
    tools/controls_protocol/command.cpp
    tools/controls_protocol/report.cpp
    tools/controls_protocol/requests.cpp)

add_executable(diskcam-tool
    ${DISKCAM_CONTROLS_PROTOCOL}
    tools/windows/ks_device.cpp
    tools/windows/main.cpp
    tools/windows/windows_transport.cpp)
set_target_properties(diskcam-tool PROPERTIES OUTPUT_NAME diskcam)
target_include_directories(diskcam-tool PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_compile_options(diskcam-tool PRIVATE -Wall -Wextra -Werror -Wno-multichar)
target_link_options(diskcam-tool PRIVATE -static)
target_link_libraries(diskcam-tool PRIVATE setupapi ksuser ntdll)
