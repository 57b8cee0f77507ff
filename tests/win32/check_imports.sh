#!/bin/sh
# Fails when the executable imports a DLL that not every Windows has: it must start from a bare medium.
set -eu
exe=$1
# The x86_64 objdump reads both PE32 and PE32+; the i686 one only the first.
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
allowed="kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll ole32.dll oleaut32.dll shlwapi.dll comdlg32.dll msvcrt.dll comctl32.dll"

imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | tr -d '\r')
if [ -z "$imports" ]; then
    echo "no import table found in $exe" >&2
    exit 1
fi
status=0
for dll in $imports; do
    case " $allowed " in
    *" $dll "*) ;;
    *) echo "unexpected import: $dll" >&2; status=1 ;;
    esac
done
echo "imports:" $imports
exit $status
