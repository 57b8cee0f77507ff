#!/usr/bin/env bash
# The benchmark in one go: builds the Windows programs that this host's Wine runs (i686, or x86_64 where the host
# cannot run 32-bit programs), runs Tovira.exe and its baseline under Wine on a virtual display, and prints each
# figure with its ratio to the baseline. usage: bench/run.sh [runs] [DPI], DPI 96 (100 %) unless given.
#
# bench/run.sh logos [runs] [DPI] instead starts Tovira with large logos (tests/common/pictures.py: photo-like
# 12- and 24-Mpixel JPEGs and a 24-Mpixel bitmap, and two crafted JPEGs of many scans), each against the demo's small
# logo just before it, and prints how much later its window is painted and how much more memory it took at its peak.
set -euo pipefail
mode=startup
if [ "${1:-}" = logos ]; then
    mode=logos
    shift
fi
source "$(dirname "$0")/../scripts/prelude.sh"
build=$TOVIRA_WINE_BUILD
"$root/scripts/build.sh" "$build" >/dev/null

work=$(mktemp -d)
cp "$out/$build/Tovira.exe" "$root/demo/imgLogo.bmp" "$work/"
cp "$out/$build/bench/bare.exe" "$out/$build/bench/bench.exe" "$work/"
folders=()
if [ $mode = logos ]; then
    folders=(small-logo)
    mkdir "$work/small-logo"
    cp "$work/Tovira.exe" "$work/imgLogo.bmp" "$work/small-logo/"
    pictures=$out/bench-pictures
    for logo in photo-12mp-baseline.jpg photo-24mp-progressive.jpg photo-24mp.bmp many-scans.jpg deep-progression.jpg; do
        # Made once and kept: the photos take ImageMagick a minute.
        [ -s "$pictures/$logo" ] || /usr/bin/python3 "$root/tests/common/pictures.py" "$pictures" >/dev/null
        folders+=("$logo")
        mkdir "$work/$logo"
        cp "$work/Tovira.exe" "$work/$logo/"
        ln -s "$pictures/$logo" "$work/$logo/imgLogo.bmp"
    done
fi
unset DISPLAY
wine_session_start
wine_set_dpi "${2:-96}"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(wine --version); $build build; ${2:-96} DPI"
if [ $mode = logos ]; then
    programs=()
    for folder in "${folders[@]}"; do programs+=("$(winepath -w "$work/$folder/Tovira.exe")"); done
    wine "$work/bench.exe" logos "${1:-11}" "${programs[@]}"
else
    wine "$work/bench.exe" startup "$(winepath -w "$work/Tovira.exe")" "$(winepath -w "$work/bare.exe")" "${1:-11}"
fi
rm -rf "$work"
