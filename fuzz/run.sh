#!/usr/bin/env bash
# Builds every libFuzzer harness (build-fuzz, clang++) and runs each for
# SECONDS, or the named harnesses only:
#
#     fuzz/run.sh SECONDS [HARNESS...]
#
# Each run starts from the harness's seeds, kept corpus and regression inputs
# and grows a working corpus in build-fuzz/corpus/HARNESS (kept between runs);
# findings go to build-fuzz/findings/HARNESS. RUNS=N stops a harness after N
# executions instead (a long campaign: RUNS=10000000 SECONDS=7200), JOBS=N
# runs N fuzzing processes per harness. Prints libFuzzer's final statistics
# and exits non-zero if any harness found anything.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ]; then
    echo "usage: fuzz/run.sh SECONDS [HARNESS...]" >&2
    exit 2
fi
seconds=$1
shift
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    harnesses=(property_fuzzer format_fuzzer settings_fuzzer camera_fuzzer regfile_fuzzer)
fi
jobs=${JOBS:-1}
runs=${RUNS:--1}

scripts/setup.sh
cmake -S . -B build-fuzz -DDISKCAM_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${harnesses[@]}"

root=$PWD
failed=0
for harness in "${harnesses[@]}"; do
    work=$root/build-fuzz/corpus/$harness
    findings=$root/build-fuzz/findings/$harness
    logs=$root/build-fuzz/logs/$harness
    mkdir -p "$work" "$findings" "$logs"
    rm -f "$logs"/fuzz-*.log
    inputs=("$work")
    for folder in corpus seeds regressions; do
        [ -d "fuzz/$folder/$harness" ] && inputs+=("$root/fuzz/$folder/$harness")
    done
    options=(-max_total_time="$seconds" -runs="$runs" -print_final_stats=1
             -artifact_prefix="$findings/" -timeout=30 -rss_limit_mb=4096)
    [ -f "fuzz/$harness.dict" ] && options+=(-dict="$root/fuzz/$harness.dict")
    if [ "$jobs" -gt 1 ]; then
        options+=(-jobs="$jobs" -workers="$jobs")
    fi
    echo "fuzz: $harness for $seconds s"
    status=0
    # With JOBS, libFuzzer writes each worker's log as fuzz-N.log in the
    # current folder. The CPU time, summed over every process, is what a
    # campaign's budget counts.
    TIMEFORMAT="fuzz: $harness used %U s user + %S s system CPU in %R s"
    time (cd "$logs" && "$root/build-fuzz/fuzz/$harness" "${options[@]}" "${inputs[@]}") \
        >"$logs/run.log" 2>&1 || status=$?
    cat "$logs"/run.log "$logs"/fuzz-*.log 2>/dev/null | grep -E '^#[0-9]+.*DONE|^stat::|^fuzz: .* used ' || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        echo "fuzz: $harness found something (exit $status): $logs, $findings" >&2
        failed=1
    fi
done
exit $failed
