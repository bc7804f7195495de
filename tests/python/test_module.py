import os
import re
from importlib.metadata import version
from pathlib import Path

import _quarn
import pytest

import pyquarn


def test_version():
    assert _quarn.__version__ == "0.2.1"
    assert pyquarn.__version__ == version("quarn")


def test_cpp_version_header_matches_the_distribution():
    build = os.environ.get("QUARN_DEV_BUILD")
    if not build:
        pytest.skip("needs the C++ build (QUARN_DEV_BUILD)")
    text = (Path(build) / "generated" / "include" / "quarn" / "version.hpp").read_text()
    fields = dict(re.findall(r"#define QUARN_VERSION_(\w+) (\S+)", text))
    assert fields["STRING"] == f'"{fields["MAJOR"]}.{fields["MINOR"]}.{fields["PATCH"]}"'
    assert fields["STRING"] == f'"{version("quarn")}"'
