#!/usr/bin/env bash
# Sets up a fresh machine, builds the shipped driver (diskcam.sys) and the
# host build, and runs the main job: ten frames from the simulated camera's
# test scene through the whole stack, with the host's loader running
# diskcam.sys itself, into out/frames/*.png. Arguments go to `diskcam
# capture`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build-windows.sh >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target diskcam
exec build/tools/diskcam/diskcam capture --driver build-windows/diskcam.sys \
    --registry out/settings.reg --out out/frames "$@"
