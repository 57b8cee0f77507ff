"""The disc kit's tests: python3 -m pytest tests/kit [--kit KIT], after a native build."""

import os

import pytest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def pytest_addoption(parser):
    parser.addoption("--kit", default=os.path.join(ROOT, "build", "native", "kit", "tovira-kit"),
                     help="the disc kit to run (default build/native/kit/tovira-kit)")


@pytest.fixture(scope="session")
def kit(request):
    path = os.path.abspath(request.config.getoption("--kit"))
    assert os.access(path, os.X_OK), f"no disc kit at {path}: build it first (scripts/build.sh native)"
    return path

