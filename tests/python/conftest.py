"""Shared fixtures of the Python tests."""

import os
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SHARED = ROOT.parent / "shared"


def _add_dev_build_to_path() -> None:
    """Makes the test-only hook modules of the C++ build importable."""
    build = os.environ.get("QUARN_DEV_BUILD")
    if build:
        sys.path.insert(0, str(Path(build) / "tests" / "hooks"))


_add_dev_build_to_path()


@pytest.fixture
def tmp(tmp_path: Path) -> Path:
    return tmp_path
