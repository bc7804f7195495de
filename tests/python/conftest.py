"""Shared fixtures of the Python tests."""

import os
import sys
from pathlib import Path

import _quarn
import pytest
from gcode_files import GCodeFile

ROOT = Path(__file__).resolve().parents[2]
SHARED = ROOT.parent / "shared"


def _add_dev_build_to_path() -> None:
    """Makes the test-only hook modules of the C++ build importable."""
    build = os.environ.get("QUARN_DEV_BUILD")
    if build:
        sys.path.insert(0, str(Path(build) / "tests" / "hooks"))


_add_dev_build_to_path()


def _use_the_installed_package() -> None:
    """The tests exercise the installed pyquarn, whose extension the source folder lacks:
    `python -m pytest` (and `python -m pyquarn` in a subprocess) run from the repository
    root would import the source folder instead."""
    os.environ["PYTHONSAFEPATH"] = "1"
    sys.path[:] = [p for p in sys.path if Path(p or os.curdir).resolve() != ROOT]
    if "pyquarn" in sys.modules and not hasattr(sys.modules["pyquarn"], "_native"):
        raise RuntimeError("pyquarn was imported from the source folder")


_use_the_installed_package()


@pytest.fixture
def opened(tmp_path):
    """Opens a GCodeFile or raw bytes written to a fresh file; closes every handle after."""
    handles = []

    def open_(content, mode="rb"):
        path = tmp_path / f"file{len(handles)}.qgcode"
        if isinstance(content, GCodeFile):
            content.write(path)
        else:
            path.write_bytes(content)
        handles.append(_quarn.open(str(path), mode))
        return handles[-1]

    yield open_
    for handle in handles:
        _quarn.close(handle)
