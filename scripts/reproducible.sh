#!/usr/bin/env bash
# The same bytes every time: builds the shipped i686 Tovira.exe from two copies of this tree in two fresh
# folders of different names and compares them, then writes the demo disc twice, signed with a certificate made
# here, and compares the images. Both need no Wine. Uses the native disc kit and the demo's stand-ins of
# $TOVIRA_BUILD (scripts/test.sh builds them). SOURCE_DATE_EPOCH is the commit's date unless set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TOVIRA_BUILD:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
start=$SECONDS

programs=()
for copy in a/src bb-longer/other-source; do
    mkdir -p "$work/$copy"
    tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/$copy" -xf -
    TOVIRA_BUILD="$work/$copy-build" TOVIRA_BUILD_TARGET=Tovira "$work/$copy/scripts/build.sh" i686 >/dev/null
    programs+=("$work/$copy-build/i686/Tovira.exe")
done
if ! cmp "${programs[@]}"; then
    echo "FAIL: two builds of the i686 Tovira.exe differ"
    exit 1
fi
echo "ok   two builds of the i686 Tovira.exe are the same $(stat -c %s "${programs[0]}") bytes ($((SECONDS - start)) s)"

start=$SECONDS
printf 'demo\n' >"$work/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 -subj /CN=Demo \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature 2>/dev/null
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -passout "file:$work/password" -out "$work/demo.p12"
for disc in one two; do
    "$root/scripts/demo-disc.sh" "$work/$disc.iso" --sign-pkcs12 "$work/demo.p12" \
        --sign-password-file "$work/password" >"$work/$disc.txt"
    if grep -q '^warning: no installer' "$work/$disc.txt"; then
        echo "FAIL: the demo disc has no installer"
        exit 1
    fi
done
if ! cmp "$work/one.iso" "$work/two.iso"; then
    echo "FAIL: two signed demo discs from the same inputs differ"
    exit 1
fi
echo "ok   two signed demo discs are the same $(stat -c %s "$work/one.iso") bytes, $(grep sha256 "$work/one.txt") ($((SECONDS - start)) s)"
