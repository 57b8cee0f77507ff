#!/usr/bin/env bash
# Sets up what is missing, builds the three configurations and runs every test layer:
# unit tests (native), two builds and two discs compared byte for byte, the Windows services and runtime under
# Wine (both Windows builds), the disc kit's tests (native) and the end-to-end tests of the real Tovira.exe under
# Wine on a virtual X server.
# Which build runs under which Wine depends on the host (scripts/host.sh). Ends with one line: Total: N passed, M failed.
set -uo pipefail
source "$(dirname "$0")/prelude.sh"
"$root/scripts/build.sh" || exit 1

passed=0
failed=0
tally_ctest() { # a ctest summary line: "N% tests passed, F tests failed out of T"
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
    if [ -z "$line" ]; then
        failed=$((failed + 1))
        echo "no test summary in $1" >&2
        return
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

log=$(mktemp -d)
echo "== unit tests (native)"
(cd "$out/native" && ctest --output-on-failure) 2>&1 | tee "$log/native.txt"
tally_ctest "$log/native.txt"

# Inputs of up to 64 KiB make a run slower than small ones: 30000 runs take about a minute on two cores.
echo "== fuzzing the picture-file checks (bounded run over the regression corpus)"
if "$root/scripts/fuzz.sh" 30000; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== the same bytes every time (two builds of the i686 Tovira.exe, two signed demo discs)"
if "$root/scripts/reproducible.sh"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

# One build's CTest entries in a Wine session of the given kind; extra arguments go to ctest.
windows_layer() {
    local build=$1 arch=$2
    shift 2
    echo "== Windows tests ($build under Wine, $arch prefix)"
    if ! wine_session_start "$arch"; then
        failed=$((failed + 1))
        return
    fi
    (cd "$out/$build" && ctest --output-on-failure --timeout 300 "$@") 2>&1 | tee "$log/$build.txt"
    tally_ctest "$log/$build.txt"
    wine_session_stop
}

# Both builds ship, so both are tested: the i686 one under Wine where the host can run it, else only the checks
# of its file that need no Wine; the x86_64 one under the 64-bit loader on every host.
if [ "$TOVIRA_WINE_ARCH" = win32 ]; then
    windows_layer i686 win32
else
    echo "== checks of the i686 executable that need no Wine"
    (cd "$out/i686" && ctest --output-on-failure -E '^win32_tests$') 2>&1 | tee "$log/i686.txt"
    tally_ctest "$log/i686.txt"
fi
windows_layer x86_64 win64

# pytest's JUnit report as "passed failed", one verdict per test: a test that failed in its call and again in its
# tear-down is reported twice and counts once; a skipped test counts neither way.
junit_counts() {
    /usr/bin/python3 - "$1" <<'EOF'
import sys
import xml.etree.ElementTree as ET
verdicts = {}
try:
    cases = list(ET.parse(sys.argv[1]).iter("testcase"))
except (OSError, ET.ParseError):
    cases = []
for case in cases:
    if case.find("skipped") is None:
        key = (case.get("classname"), case.get("name"))
        verdicts[key] = verdicts.get(key, False) or case.find("failure") is not None or case.find("error") is not None
print(len(verdicts) - sum(verdicts.values()), sum(verdicts.values()))
EOF
}

# A pytest run, counted from its JUnit report: its name, its status, the report. No tests at all (pytest's status
# 5), or a run that failed beyond its tests (no session, an interruption), is a failure of its own.
tally_pytest() {
    local ok bad
    read -r ok bad <<<"$(junit_counts "$3")"
    passed=$((passed + ok))
    failed=$((failed + bad))
    if [ $((ok + bad)) -eq 0 ] || { [ "$2" -ne 0 ] && [ "$bad" -eq 0 ]; }; then
        echo "the $1 run ended with status $2 after $ok passed and $bad failed tests" >&2
        failed=$((failed + 1))
    fi
}

echo "== the disc kit (native)"
/usr/bin/python3 -m pytest "$root/tests/kit" --kit="$out/native/kit/tovira-kit" -v --junitxml="$log/kit.xml" 2>&1 |
    tee "$log/kit.txt"
tally_pytest "disc kit" "${PIPESTATUS[0]}" "$log/kit.xml"

echo "== end-to-end tests ($TOVIRA_WINE_BUILD Tovira.exe under Wine)"
"$root/tests/e2e/run.sh" "$out/$TOVIRA_WINE_BUILD" --junitxml="$log/e2e.xml" 2>&1 | tee "$log/e2e.txt"
tally_pytest end-to-end "${PIPESTATUS[0]}" "$log/e2e.xml"

rm -rf "$log"
echo "Total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
