#!/usr/bin/env bash
# Cross-compiles diskcam.sys and diskcam.exe and checks their imports and
# sections.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=windows/mingw-w64.cmake >/dev/null
cmake --build build-windows -j"$(nproc)"
windows/check-driver.sh build-windows/diskcam.sys
windows/check-tool.sh build-windows/diskcam.exe
