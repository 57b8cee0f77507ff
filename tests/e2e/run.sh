#!/usr/bin/env bash
# Runs the end-to-end tests against an i686 build folder, e.g. tests/e2e/run.sh build/i686 [NAME...].
# A hang fails the run instead of blocking it: the whole run is bounded by TOVIRA_E2E_TIMEOUT seconds.
# Screenshots go to TOVIRA_E2E_OUT (default /tmp/tovira-e2e); Xvfb takes the first free display from
# TOVIRA_E2E_DISPLAY_FROM (default 90); TOVIRA_E2E_WINEPREFIX reuses a prefix instead of a fresh one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 I686_BUILD_FOLDER [TEST_NAME_PART...]" >&2
    exit 2
fi
timeout --kill-after=30 "${TOVIRA_E2E_TIMEOUT:-1200}" python3 "$here/run.py" "$@"
status=$?
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    echo "the end-to-end run timed out after ${TOVIRA_E2E_TIMEOUT:-1200} s"
    echo "0 passed, 1 failed"
fi
exit $status
