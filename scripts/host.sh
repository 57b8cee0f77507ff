# Sourced by setup, the demo, the tests and the benchmark: which Wine this host can run, asked once.
#
# Some kernels cannot execute 32-bit x86 programs at all. There Wine's 32-bit loader fails as soon as it is used,
# while /usr/bin/wine hides the question by falling back to the 64-bit loader when the 32-bit one is missing. So
# the kernel is asked directly, with a program of our own that only exits: nothing needs to be installed first.
#
# Sets and exports:
#   TOVIRA_WINE_ARCH   win32 (the i686 build in a 32-bit prefix) or win64 (the x86_64 build under the 64-bit
#                      loader in a 64-bit prefix)
#   TOVIRA_WINE_BUILD  i686 or x86_64, the build that every Wine layer runs
#   TOVIRA_HOST_NOTE   one line that says which, and why
# TOVIRA_WINE64=1 takes the 64-bit path on a host that could run 32-bit programs, to try both on one machine.

# Where the scripts build, and so where the host's own helpers go.
host_build_dir() {
    echo "${TOVIRA_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
}

# Writes a 96-byte 32-bit x86 Linux program whose only instructions are the system call exit(42), so that no
# other failure can pass for success.
host_write_probe() {
    local elf
    # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054, one program header at 52.
    elf='\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\064\0\0\0\0\0\0\0\0\0\0\0\064\0\040\0\1\0\0\0\0\0\0\0'
    # Program header: load the 96 bytes of the file at 0x08048000, readable and executable.
    elf+='\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\140\0\0\0\140\0\0\0\5\0\0\0\0\020\0\0'
    # mov eax, 1; mov ebx, 42; int 0x80
    elf+='\270\1\0\0\0\273\052\0\0\0\315\200'
    # shellcheck disable=SC2059 # the escapes are the point
    printf "$elf" >"$1" && chmod +x "$1"
}

# Exit status 0 when this kernel runs a 32-bit x86 program.
host_runs_32bit() {
    local dir probe status
    # Beside the build, not in /tmp, which may be mounted without the right to execute.
    dir=$(host_build_dir)
    mkdir -p "$dir" || return 1
    probe=$(mktemp "$dir/.exit42-i386.XXXXXX") || return 1
    host_write_probe "$probe"
    "$probe" >/dev/null 2>&1
    status=$?
    rm -f "$probe"
    [ "$status" -eq 42 ]
}

host_detect() {
    [ -n "${TOVIRA_WINE_ARCH:-}" ] && [ -n "${TOVIRA_WINE_BUILD:-}" ] && [ -n "${TOVIRA_HOST_NOTE:-}" ] && return 0
    if [ "${TOVIRA_WINE64:-0}" != 0 ]; then
        TOVIRA_WINE_ARCH=win64
        TOVIRA_HOST_NOTE="host: TOVIRA_WINE64 is set, so every Wine layer runs the x86_64 build under Wine's 64-bit loader in a 64-bit prefix"
    elif host_runs_32bit; then
        TOVIRA_WINE_ARCH=win32
        TOVIRA_HOST_NOTE="host: runs 32-bit programs, so every Wine layer runs the i686 build in a 32-bit prefix"
    else
        TOVIRA_WINE_ARCH=win64
        TOVIRA_HOST_NOTE="host: cannot run 32-bit programs, so every Wine layer runs the x86_64 build under Wine's 64-bit loader in a 64-bit prefix"
    fi
    if [ "$TOVIRA_WINE_ARCH" = win32 ]; then TOVIRA_WINE_BUILD=i686; else TOVIRA_WINE_BUILD=x86_64; fi
    export TOVIRA_WINE_ARCH TOVIRA_WINE_BUILD TOVIRA_HOST_NOTE
}

# Makes `wine`, and the tools that run through it (wineboot, winepath, regedit), use the loader for ARCH.
# For win64 a shim first on the PATH runs the 64-bit loader: Debian's /usr/bin/wine would take the 32-bit one
# whenever it is installed, even where the kernel cannot run it.
wine_use_arch() {
    local arch=$1 shim
    [ -n "${TOVIRA_PATH_BEFORE_WINE:-}" ] || export TOVIRA_PATH_BEFORE_WINE=$PATH
    export PATH=$TOVIRA_PATH_BEFORE_WINE WINEARCH=$arch
    unset WINELOADER
    [ "$arch" = win64 ] || return 0
    export WINELOADER=/usr/lib/wine/wine64
    shim=$(host_build_dir)/wine64-loader
    mkdir -p "$shim"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec %s "$@"\n' "$WINELOADER" >"$shim/$name"
        chmod +x "$shim/$name"
    done
    export PATH=$shim:$PATH
}

# i686 or x86_64, from the machine field of a Windows executable's PE header.
pe_build_of() {
    local at machine
    at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ')
    case $machine in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) echo "unknown PE machine $machine in $1" >&2; return 1 ;;
    esac
}
