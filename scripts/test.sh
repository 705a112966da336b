#!/usr/bin/env bash
# Sets up a fresh machine, builds the host build and runs the whole test
# suite. With SANITIZE=address,undefined or SANITIZE=thread it builds and runs
# the suite under those sanitizers in a build folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

sanitize=${SANITIZE:-}
build=build${sanitize:+-${sanitize//,/-}}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDISKCAM_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
