"""The end-to-end tests' fixtures: one Session (Xvfb and a Wine prefix) for the whole run, one Context per test.

Start the tests with tests/e2e/run.sh BUILD [pytest arguments], which picks Wine's loader and prefix kind for the
build; collecting them (--collect-only) needs neither a build nor Wine.
"""

import os

import pytest

pytest.register_assert_rewrite("harness", "helpers", "layout")

import harness  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def pytest_addoption(parser):
    parser.addoption("--build", default=os.path.join(ROOT, "build", "i686"),
                     help="the Windows build folder whose Tovira.exe and test programs are run (default build/i686)")


@pytest.fixture(scope="session")
def session(request):
    assert "WINEARCH" in os.environ, "start the tests with tests/e2e/run.sh, which sets up Wine for the build"
    session = harness.Session(request.config.getoption("--build"), os.environ.get("TOVIRA_E2E_OUT", "/tmp/tovira-e2e"),
                              int(os.environ.get("TOVIRA_E2E_DISPLAY_FROM", "90")),
                              os.environ.get("TOVIRA_E2E_WINEPREFIX") or None)
    yield session
    session.close()


@pytest.fixture
def t(session, request):
    """The test's Context; what it leaves behind fails the test."""
    context = harness.Context(session, request.node.name.removeprefix("test_"))
    yield context
    leftovers = context.cleanup()
    assert not leftovers, "; ".join(leftovers)
