#!/usr/bin/env bash
# Builds the three configurations: native (portable code, tools, unit tests), i686 (the shipped
# Tovira.exe and the Windows tests) and x86_64. Warnings are errors in all of them. TOVIRA_BUILD_TARGET builds
# one target of each instead of all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
configs=${*:-native i686 x86_64}

for config in $configs; do
    args=(-G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel)
    case $config in
    native) args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    i686) args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
    x86_64) args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
    *) echo "unknown configuration $config" >&2; exit 2 ;;
    esac
    cmake -S "$root" -B "$out/$config" "${args[@]}" >/dev/null
    cmake --build "$out/$config" ${TOVIRA_BUILD_TARGET:+--target "$TOVIRA_BUILD_TARGET"}
done
