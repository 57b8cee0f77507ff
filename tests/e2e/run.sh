#!/usr/bin/env bash
# Runs the end-to-end tests with pytest against a Windows build folder:
#   tests/e2e/run.sh build/i686 [pytest arguments: -k hover, -x, --lf, tests/e2e/test_hover.py::test_..., ...]
# (build/x86_64 on a host that cannot run 32-bit programs). Wine's loader and the prefix's kind follow the
# machine of the folder's Tovira.exe. A hung test fails at its time-out (pytest.ini) and the run goes on.
# Screenshots go to TOVIRA_E2E_OUT (default /tmp/tovira-e2e); Xvfb takes the first free display from
# TOVIRA_E2E_DISPLAY_FROM (default 90); TOVIRA_E2E_WINEPREFIX reuses a prefix instead of a fresh one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 WINDOWS_BUILD_FOLDER [PYTEST_ARGUMENTS...]" >&2
    exit 2
fi
source "$here/../../scripts/host.sh"
build=$(pe_build_of "$1/Tovira.exe") || exit 1
if [ "$build" = i686 ] && ! host_runs_32bit; then
    echo "this host cannot run 32-bit programs: run the end-to-end tests on the x86_64 build" >&2
    exit 1
fi
if [ "$build" = i686 ]; then wine_use_arch win32; else wine_use_arch win64; fi
echo "end to end: the $build Tovira.exe in a $WINEARCH prefix"
# Every test, unless the arguments name test files or tests themselves.
tests=("$here")
for arg in "${@:2}"; do [ -e "${arg%%::*}" ] && tests=(); done
# Debian's own Python, which has pytest and Pillow; the one first on the PATH may be another.
exec /usr/bin/python3 -m pytest "${tests[@]}" --build="$1" -v -s "${@:2}"
