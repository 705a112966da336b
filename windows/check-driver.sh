#!/usr/bin/env bash
# Checks a built diskcam.sys: a native-subsystem image entered at DriverEntry,
# importing only from ks.sys, ntoskrnl.exe and hal.dll, importing every routine
# in required-imports.txt, carrying no static constructors (the kernel runs
# none), and no privileged instructions in its code (the host runs the image
# in a user process, where they fault).
set -euo pipefail

image=${1:?usage: check-driver.sh diskcam.sys}
here=$(cd "$(dirname "$0")" && pwd)
objdump=x86_64-w64-mingw32-objdump
nm=x86_64-w64-mingw32-nm
failed=0

fail() {
    echo "check-driver: $*" >&2
    failed=1
}

headers=$($objdump -p "$image")

grep -q "^Subsystem.*(Windows native)\|^Subsystem\s*00000001" <<<"$headers" ||
    fail "subsystem is not native"

entry=$(awk '/^AddressOfEntryPoint/ {print $2}' <<<"$headers")
base=$(awk '/^ImageBase/ {print $2}' <<<"$headers")
driver_entry=$($nm "$image" | awk '$3 == "DriverEntry" {print $1}')
if [ -z "$driver_entry" ] ||
    [ $((0x$base + 0x$entry)) -ne $((0x$driver_entry)) ]; then
    fail "entry point is not DriverEntry"
fi

modules=$(awk '/DLL Name:/ {print $3}' <<<"$headers" | sort -u)
# Module names are compared as the loader compares them, ignoring case: the
# HAL's import library names it HAL.dll.
for module in $modules; do
    case "${module,,}" in
        ks.sys | ntoskrnl.exe | hal.dll) ;;
        *) fail "imports from $module" ;;
    esac
done

imports=$(awk '/DLL Name:/ {inside = 1; next} inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}
               /^$/ {inside = 0}' <<<"$headers" | sort -u)
while read -r routine; do
    case "$routine" in '' | '#'*) continue ;; esac
    grep -qx "$routine" <<<"$imports" || fail "does not import $routine"
done <"$here/required-imports.txt"

# The constructor list runs from __CTOR_LIST__ to __DTOR_LIST__: a -1 marker
# and a terminating 0, 16 bytes, when there are no constructors.
symbols=$($nm "$image")
ctor=$(awk '$3 == "__CTOR_LIST__" {print $1}' <<<"$symbols")
dtor=$(awk '$3 == "__DTOR_LIST__" {print $1}' <<<"$symbols")
if [ -n "$ctor" ] && [ -n "$dtor" ] && [ $((0x$dtor - 0x$ctor)) -gt 16 ]; then
    fail "has static constructors"
fi
grep -q "TLS Directory\|\.tls" <<<"$($objdump -h "$image")" && fail "has thread-local storage"

# Instructions that fault outside ring 0: moves to and from control and debug
# registers (the IRQL intrinsics read and write CR8), descriptor-table and MSR
# access, cache and TLB control, halting, SMAP and monitor control; those that
# fault at I/O privilege level 0 (cli, sti, port I/O); and the descriptor-table
# reads that fault where UMIP is on. Prefixes such as rep are skipped.
privileged=$($objdump -d --no-show-raw-insn "$image" | awk -F'\t' '
    NF == 2 && $1 ~ /^ *[0-9a-f]+:$/ {
        text = $2
        while (sub(/^(rep[a-z]*|lock|data16|addr32|notrack|bnd|[c-gs]s|rex[.A-Z]*) +/, "", text)) {}
        split(text, words, /[ ,]+/)
        mnemonic = words[1]
        if (text ~ /%(cr|db|dr)[0-9]+/ ||
            mnemonic ~ /^(cli|sti|hlt|in[bwl]?|ins[bwl]?|out[bwl]?|outs[bwl]?)$/ ||
            mnemonic ~ /^(rdmsr|wrmsr|lgdt[wlq]?|lidt[wlq]?|lldt|ltr|lmsw|clts)$/ ||
            mnemonic ~ /^(invlpga?|invpcid|invd|wbinvd|wbnoinvd|swapgs|xsetbv)$/ ||
            mnemonic ~ /^(sysret[lq]?|sysexit[lq]?|monitor|mwait|clac|stac)$/ ||
            mnemonic ~ /^(sgdt[wlq]?|sidt[wlq]?|sldt|smsw|str)$/) {
            sub(/^ +/, "", $1)
            print $1 " " $2
        }
    }')
if [ -n "$privileged" ]; then
    fail "has privileged instructions in its code, which fault outside the kernel:"
    head -n 10 <<<"$privileged" | sed 's/^/    /' >&2
fi

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "check-driver: $image imports $(wc -l <<<"$imports") routines from: $(echo $modules)"
