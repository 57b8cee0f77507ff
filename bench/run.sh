#!/usr/bin/env bash
# The benchmark in one go: builds the i686 programs, runs Tovira.exe and its baseline under Wine on a
# virtual display, and prints each figure with its ratio to the baseline.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
export TOVIRA_BUILD=$out
"$root/scripts/setup.sh"
"$root/scripts/build.sh" i686 >/dev/null

work=$(mktemp -d)
cp "$out/i686/platform/win32/Tovira.exe" "$root/demo/imgLogo.bmp" "$work/"
cp "$out/i686/bench/bare.exe" "$out/i686/bench/bench.exe" "$work/"
unset DISPLAY
source "$root/scripts/wine-session.sh"
wine_session_start
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(wine --version)"
wine "$work/bench.exe" startup "$(winepath -w "$work/Tovira.exe")" "$(winepath -w "$work/bare.exe")" "${1:-11}"
rm -rf "$work"
