#!/usr/bin/env bash
# The host probe decides which Wine every layer uses; a wrong byte in it would quietly send a host that can run
# 32-bit programs down the 64-bit path. Checks the program it writes, and the switch that forces that path.
set -uo pipefail
host_sh=$(cd "$(dirname "$0")/../../scripts" && pwd)/host.sh
source "$host_sh"
failures=0
check() { # name, expected, actual
    if [[ $2 == "$3" ]]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', found '$3'"; failures=$((failures + 1)); fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
host_write_probe "$work/probe"
header=$(readelf -h -l "$work/probe" 2>&1)
check "class and machine" "ELF32 Intel 80386 EXEC" \
    "$(awk -F': *' '/Class:/{c=$2} /Machine:/{m=$2} /^ *Type:/{split($2, t, " "); y=t[1]} END{print c, m, y}' <<<"$header")"
check "one loadable segment of the whole file, entry just after the headers" "0x000000 0x08048000 0x00060 R E 0x8048054" \
    "$(awk '/LOAD/{print $2, $3, $5, $7, $8} ' <<<"$header") $(awk -F': *' '/Entry point/{print $2}' <<<"$header")"
check "its only instructions: exit(42)" "mov \$0x1,%eax|mov \$0x2a,%ebx|int \$0x80|" \
    "$(objdump -D -b binary -m i386 --start-address=0x54 "$work/probe" | awk -F'\t' '/^ +[0-9a-f]+:/{gsub(/ +/, " ", $3); printf "%s|", $3}')"
if "$work/probe"; then status=0; else status=$?; fi
if host_runs_32bit; then
    check "exit status where the kernel runs it" 42 "$status"
else
    echo "skip exit status: this kernel does not run 32-bit programs (status $status)"
fi
check "the switch takes the 64-bit path" "win64 x86_64" \
    "$(env -u TOVIRA_WINE_ARCH -u TOVIRA_WINE_BUILD -u TOVIRA_HOST_NOTE TOVIRA_WINE64=1 bash -c \
        'source "$0" && host_detect && echo $TOVIRA_WINE_ARCH $TOVIRA_WINE_BUILD' "$host_sh")"
exit $((failures > 0))
