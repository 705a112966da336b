#!/usr/bin/env bash
# Checks a built diskcam.exe: a 64-bit console program that imports only from
# DLLs every Windows 10/11 system has, so it ships as the one file.
set -euo pipefail

image=${1:?usage: check-tool.sh diskcam.exe}
headers=$(x86_64-w64-mingw32-objdump -p "$image")
failed=0

grep -q "^Magic.*020b" <<<"$headers" || {
    echo "check-tool: $image is not a PE32+ image" >&2
    failed=1
}
grep -q "^Subsystem.*(Windows CUI)\|^Subsystem\s*00000003" <<<"$headers" || {
    echo "check-tool: $image is not a console program" >&2
    failed=1
}
modules=$(awk '/DLL Name:/ {print $3}' <<<"$headers" | sort -u)
for module in $modules; do
    case "${module,,}" in
        kernel32.dll | ntdll.dll | setupapi.dll | ksuser.dll | advapi32.dll | msvcrt.dll) ;;
        *)
            echo "check-tool: $image imports from $module, which Windows does not ship" >&2
            failed=1
            ;;
    esac
done
[ $failed -eq 0 ] && echo "check-tool: $image imports only from:" $modules
exit $failed
