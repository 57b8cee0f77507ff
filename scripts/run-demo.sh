#!/usr/bin/env bash
# The main job: sets up what is missing, builds the shipped i686 Tovira.exe (the x86_64 one where the host cannot
# run 32-bit programs), lays out the demo medium (handbook, company logo, the program, a stand-in for the reader's
# installer and a sample component) and runs the launcher from it under Wine. With --no-logo the medium has no
# logo, so that the registration window opens first and the sample component can be registered.
# With a real X display the launcher stays until you close it; without one it runs on a virtual
# display, a screenshot is written to build/demo-screenshot.png and the launcher is closed.
set -euo pipefail
logo=1
case "${1:-}" in
--no-logo) logo=0 ;;
"") ;;
*) echo "usage: $0 [--no-logo]" >&2; exit 2 ;;
esac

source "$(dirname "$0")/prelude.sh"
"$root/scripts/build.sh" "$TOVIRA_WINE_BUILD"

medium="$out/demo-medium"
rm -rf "$medium"
mkdir -p "$medium"
built="$out/$TOVIRA_WINE_BUILD"
cp "$built/Tovira.exe" "$root/demo/Indice.pdf" "$built/demo/rs40eng.exe" "$built/demo/ComponenteDemo.dll" \
    "$medium/"
if [ "$logo" -eq 1 ]; then cp "$root/demo/imgLogo.bmp" "$medium/"; fi
echo "demo medium: $medium"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    headless=1
    unset DISPLAY
fi
if [ "$headless" -eq 0 ]; then export TOVIRA_KEEP_DISPLAY=1; fi
wine_session_start

cd "$medium"
wine "$medium/Tovira.exe" &
pid=$!
if [ "$headless" -eq 0 ]; then
    wait "$pid"
    exit 0
fi

shown=0
for _ in $(seq 1 100); do
    if xdotool search --name '^(Tovira|QEV Register)$' >/dev/null 2>&1; then
        shown=1
        break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
if [ "$shown" -eq 0 ]; then
    echo "the program's window did not appear" >&2
    exit 1
fi
sleep 1
import -window root "$out/demo-screenshot.png"
echo "screenshot: $out/demo-screenshot.png"
kill "$pid" 2>/dev/null || true
