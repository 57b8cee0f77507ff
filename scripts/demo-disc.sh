#!/usr/bin/env bash
# The demo disc in one command: builds the disc kit and the shipped i686 Tovira.exe with the demo's stand-in
# installer and sample component, lays out the demo medium from demo/ and writes its image, by default
# build/demo-disc.iso: scripts/demo-disc.sh [IMAGE [KIT OPTIONS...]], e.g. --sign-pkcs12 to sign it.
# Needs no Wine: the disc always carries the 32-bit program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
image=$(realpath -m "${1:-$out/demo-disc.iso}")
[ $# -gt 0 ] && shift
export TOVIRA_BUILD=$out

"$root/scripts/setup.sh"
"$root/scripts/build.sh" native i686 >/dev/null
rm -rf "$out/demo-disc" "$image"
"$out/native/kit/tovira-kit" --program "$out/i686/Tovira.exe" --handbook "$root/demo/Indice.pdf" \
    --logo "$root/demo/imgLogo.bmp" --installer "$out/i686/demo/rs40eng.exe" \
    --component "$out/i686/demo/ComponenteDemo.dll" --label "TOVIRA DEMO" --medium "$out/demo-disc" --iso "$image" "$@"
