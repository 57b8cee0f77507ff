#!/usr/bin/env bash
# The benchmark in one go: builds the Windows programs that this host's Wine runs (i686, or x86_64 where the host
# cannot run 32-bit programs), runs Tovira.exe and its baseline under Wine on a virtual display, and prints each
# figure with its ratio to the baseline. usage: bench/run.sh [runs] [DPI], DPI 96 (100 %) unless given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
export TOVIRA_BUILD=$out
source "$root/scripts/wine-session.sh"
host_detect
echo "$TOVIRA_HOST_NOTE"
"$root/scripts/setup.sh"
build=$TOVIRA_WINE_BUILD
"$root/scripts/build.sh" "$build" >/dev/null

work=$(mktemp -d)
cp "$out/$build/platform/win32/Tovira.exe" "$root/demo/imgLogo.bmp" "$work/"
cp "$out/$build/bench/bare.exe" "$out/$build/bench/bench.exe" "$work/"
unset DISPLAY
wine_session_start
wine_set_dpi "${2:-96}"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(wine --version); $build build; ${2:-96} DPI"
wine "$work/bench.exe" startup "$(winepath -w "$work/Tovira.exe")" "$(winepath -w "$work/bare.exe")" "${1:-11}"
rm -rf "$work"
