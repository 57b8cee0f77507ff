"""Runs the end-to-end tests: python3 run.py WINDOWS_BUILD_FOLDER [NAME_SUBSTRING...], from run.sh, which sets
WINEARCH and Wine's loader for the build.

Prints "PASS name" or "FAIL name: reason" per test and one closing line "N passed, M failed"; the exit
status is non-zero when any test failed. Every test_*.py module beside this file is loaded; its
functions decorated with @e2e_test are the tests, run in the order they are defined.
"""

import importlib
import os
import signal
import sys
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402


def load_tests():
    for name in sorted(os.listdir(HERE)):
        if name.startswith("test_") and name.endswith(".py"):
            importlib.import_module(name[:-3])
    return harness.TESTS


def one_line(text):
    return " ".join(str(text).split())


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    selected = [t for t in load_tests() if len(argv) == 2 or any(s in t.__name__ for s in argv[2:])]
    # timeout(1) stops a hung run with SIGTERM: leave through the finally below so Xvfb and Wine go too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(124))
    out_dir = os.environ.get("TOVIRA_E2E_OUT", "/tmp/tovira-e2e")
    passed = failed = 0
    try:
        session = harness.Session(argv[1], out_dir, int(os.environ.get("TOVIRA_E2E_DISPLAY_FROM", "90")),
                                  os.environ.get("TOVIRA_E2E_WINEPREFIX") or None)
    except Exception as error:  # every test fails loudly rather than the run vanishing
        for test in selected:
            print(f"FAIL {test.__name__}: no test session: {one_line(error)}", flush=True)
        print(f"0 passed, {len(selected)} failed")
        return 1
    try:
        for test in selected:
            context = harness.Context(session, test.__name__)
            reason = None
            try:
                test(context)
            except AssertionError as error:
                reason = one_line(error) or "assertion failed"
            except Exception as error:
                reason = f"{type(error).__name__}: {one_line(error)}"
                if os.environ.get("TOVIRA_E2E_VERBOSE"):
                    traceback.print_exc()
            try:
                leftovers = context.cleanup()
            except Exception as error:
                leftovers = [f"cleanup failed: {one_line(error)}"]
            if reason is None and leftovers:
                reason = "; ".join(leftovers)
            if reason is None:
                passed += 1
                print(f"PASS {test.__name__}", flush=True)
            else:
                failed += 1
                print(f"FAIL {test.__name__}: {reason}", flush=True)
    finally:
        session.close()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
