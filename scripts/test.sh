#!/usr/bin/env bash
# Sets up a fresh machine, builds diskcam.sys and the host build, and runs the
# whole test suite: every test on the driver linked into the host build, and
# the client-API and tool tests a second time on the shipped diskcam.sys
# (tests named "sys:..."). With SANITIZE=address,undefined or SANITIZE=thread
# it builds and runs the suite under those sanitizers in a build folder of its
# own; under ThreadSanitizer the second run is left out, since the loaded
# image is not instrumented and its atomics are invisible to it, and so are
# the fault sweeps, which look for leaks and crashes rather than races and
# run on both drivers in the other two runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

sanitize=${SANITIZE:-}
build=build${sanitize:+-${sanitize//,/-}}

sys=""
exclude=()
if [ "$sanitize" = "thread" ]; then
    exclude=(-E '^FaultSweep\.')
else
    scripts/build-windows.sh
    sys=$PWD/build-windows/diskcam.sys
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDISKCAM_SANITIZE="$sanitize" \
    -DDISKCAM_SYS="$sys" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 "${exclude[@]}"
