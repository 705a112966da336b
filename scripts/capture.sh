#!/usr/bin/env bash
# Sets up a fresh machine, builds the host build and runs the main job against
# the simulated camera. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target diskcam-raw-frame
mkdir -p out
exec build/tools/raw-frame/diskcam-raw-frame --out out/frame.pgm "$@"
