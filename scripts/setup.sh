#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only where it is missing.
set -euo pipefail
source "$(dirname "$0")/host.sh"
host_detect

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg googletest || need+=(googletest)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd Xvfb || need+=(xvfb)
have_cmd xdpyinfo || need+=(x11-utils)
have_cmd xdotool || need+=(xdotool)
have_cmd import || need+=(imagemagick)
# The decoding benchmark measures against libjpeg-turbo's own decoder.
have_cmd djpeg || need+=(libjpeg-turbo-progs)
have_cmd wrestool || need+=(icoutils)
have_cmd objdump || need+=(binutils)
# The end-to-end tests run on Debian's own Python and its pytest, with Pillow for the screenshots.
for pkg in python3 python3-pytest python3-pytest-timeout python3-pil; do have_pkg $pkg || need+=($pkg); done
have_cmd clang++ || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
have_cmd xorriso || need+=(xorriso)
# The disc kit signs the medium's program with these; the kit's tests make their certificates with openssl.
have_cmd osslsigncode || need+=(osslsigncode)
have_cmd openssl || need+=(openssl)
# The kit's tests slow its writes and xorriso's with strace to stop them part way.
have_cmd strace || need+=(strace)
# The disc's end-to-end test mounts its image read-only with FUSE where the host has it.
if [ -e /dev/fuse ]; then have_cmd fuseiso || need+=(fuseiso); fi
have_cmd wine || need+=(wine)
have_pkg wine64 || need+=(wine64)

# 32-bit Wine only where the kernel can run it: elsewhere its 400 i386 packages would install and then fail.
i386=0
if [ "$TOVIRA_WINE_ARCH" = win32 ] && ! have_pkg wine32:i386; then
    need+=(wine32:i386)
    dpkg --print-foreign-architectures | grep -qx i386 || i386=1
fi

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    if [ "$i386" -eq 1 ]; then as_root dpkg --add-architecture i386; fi
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
fi
