"""The installed distribution: its extension modules, its papers and its metadata.

`make test` runs the suite against each wheel installed in a fresh environment with
QUARN_INSTALLED_TESTS=1; there the modules must also come from that installation, not from
a source tree on sys.path.
"""

from __future__ import annotations

import importlib
import importlib.util
import os
import subprocess
import sys
from importlib.machinery import EXTENSION_SUFFIXES
from importlib.metadata import distribution
from pathlib import Path

import _quarn
import pytest

import pyquarn

DIST = distribution("quarn")
INSTALLED_FILES = [Path(str(f)) for f in DIST.files or []]


def extension_modules() -> dict[str, Path]:
    """Every extension module the distribution installs: dotted name -> installed file."""
    modules = {}
    for path in INSTALLED_FILES:
        suffix = next((s for s in EXTENSION_SUFFIXES if path.name.endswith(s)), None)
        if suffix:
            modules[".".join((*path.parts[:-1], path.name[: -len(suffix)]))] = path
    return modules


def installed_path(relative: Path | str) -> Path:
    return Path(str(DIST.locate_file(relative))).resolve()


def test_every_extension_module_imports() -> None:
    modules = extension_modules()
    assert "_quarn" in modules
    for name in modules:
        importlib.import_module(name)


def test_licences_travel_with_the_package() -> None:
    assert set(DIST.metadata.get_all("License-File") or []) >= {"LICENSE", "LICENSES/zlib.txt"}
    licence = [f for f in INSTALLED_FILES if f.parts[-2:] == ("licenses", "LICENSE")]
    assert len(licence) == 1
    text = installed_path(licence[0]).read_text()
    assert text.startswith("MIT License") and "the quarn authors" in text


def test_metadata_names_the_running_interpreter() -> None:
    assert DIST.metadata["License-Expression"] == "MIT"
    assert DIST.metadata["Requires-Python"] == ">=3.10"
    running = "Programming Language :: Python :: {}.{}".format(*sys.version_info[:2])
    assert running in DIST.metadata.get_all("Classifier")


installed_wheel_only = pytest.mark.skipif(
    not os.environ.get("QUARN_INSTALLED_TESTS"), reason="a test of an installed wheel (make test)"
)


@installed_wheel_only
def test_modules_come_from_the_installed_wheel() -> None:
    assert Path(str(pyquarn.__file__)).resolve() == installed_path("pyquarn/__init__.py")
    assert Path(str(_quarn.__file__)).resolve() == installed_path(extension_modules()["_quarn"])
    assert importlib.util.find_spec("_quarn_hooks") is None


@installed_wheel_only
def test_extension_modules_bring_their_own_zlib() -> None:
    """Loaded in a fresh process, no extension module of the wheel maps the system's libz."""
    paths = [str(installed_path(path)) for path in extension_modules().values()]
    script = "import ctypes, sys\nfor path in sys.argv[1:]: ctypes.CDLL(path)\n"
    script += "print(open('/proc/self/maps').read())"
    run = subprocess.run([sys.executable, "-c", script, *paths], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "libz.so" not in run.stdout
