#!/usr/bin/env bash
# Runs the end-to-end tests against a Windows build folder, e.g. tests/e2e/run.sh build/i686 [NAME...]
# (build/x86_64 on a host that cannot run 32-bit programs). Wine's loader and the prefix's kind follow the
# machine of the folder's Tovira.exe.
# A hang fails the run instead of blocking it: the whole run is bounded by TOVIRA_E2E_TIMEOUT seconds.
# Screenshots go to TOVIRA_E2E_OUT (default /tmp/tovira-e2e); Xvfb takes the first free display from
# TOVIRA_E2E_DISPLAY_FROM (default 90); TOVIRA_E2E_WINEPREFIX reuses a prefix instead of a fresh one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 WINDOWS_BUILD_FOLDER [TEST_NAME_PART...]" >&2
    exit 2
fi
source "$here/../../scripts/host.sh"
if ! build=$(pe_build_of "$1/platform/win32/Tovira.exe"); then
    echo "0 passed, 1 failed"
    exit 1
fi
if [ "$build" = i686 ] && ! host_runs_32bit; then
    echo "this host cannot run 32-bit programs: run the end-to-end tests on the x86_64 build"
    echo "0 passed, 1 failed"
    exit 1
fi
if [ "$build" = i686 ]; then wine_use_arch win32; else wine_use_arch win64; fi
echo "end to end: the $build Tovira.exe in a $WINEARCH prefix"
timeout --kill-after=30 "${TOVIRA_E2E_TIMEOUT:-1200}" python3 "$here/run.py" "$@"
status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    echo "the end-to-end run timed out after ${TOVIRA_E2E_TIMEOUT:-1200} s"
    echo "0 passed, 1 failed"
fi
exit $status
