#!/usr/bin/env bash
# Soak: unpaced full-sensor capture from the simulated camera for MINUTES
# (default 60) with the kernel pool sampled every 10 s, on the linked driver,
# or on the shipped diskcam.sys with SOAK_DRIVER=sys. Fails if pool use grows:
# after the first minute's warm-up, the largest sample of the second half
# may not exceed the largest of the first half, in bytes or in blocks.
# Not part of CI; the samples stay in build/soak-pool.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
scripts/setup.sh
driver=()
if [ "${SOAK_DRIVER:-}" = "sys" ]; then
    scripts/build-windows.sh
    driver=(--driver "$PWD/build-windows/diskcam.sys")
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target diskcam

log=build/soak-pool.txt
store=$(mktemp -d)
trap 'rm -rf "$store"' EXIT
build/tools/diskcam/diskcam capture --fps 0 --sim-link instant --seconds $((minutes * 60)) \
    --output /dev/null --registry "$store/settings.reg" --pool-log "$log" --pool-interval 10 \
    "${driver[@]}"

awk -v warmup=60 '
    $1 >= warmup { t[n] = $1; bytes[n] = $2; blocks[n] = $3; n++ }
    END {
        if (n < 4) { print "soak: too few samples after the warm-up"; exit 1 }
        half = int(n / 2)
        for (i = 0; i < n; i++) {
            if (i < half) { if (bytes[i] > b1) b1 = bytes[i]; if (blocks[i] > k1) k1 = blocks[i] }
            else          { if (bytes[i] > b2) b2 = bytes[i]; if (blocks[i] > k2) k2 = blocks[i] }
        }
        printf "soak: %d samples over %.0f s; pool at most %d bytes in %d blocks (first half), %d bytes in %d blocks (second half)\n", n, t[n-1] - t[0], b1, k1, b2, k2
        if (b2 > b1 || k2 > k1) { print "soak: pool use grew"; exit 1 }
        print "soak: pool use steady"
    }' "$log"
