"""The example programs, run as a user runs them after installing the package."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"


def run_example(name: str, *args: object, cwd: Path) -> subprocess.CompletedProcess[str]:
    command = [sys.executable, str(EXAMPLES / name), *map(str, args)]
    return subprocess.run(command, capture_output=True, text=True, cwd=cwd)


def test_demo_converts_validates_and_converts_back(tmp_path: Path) -> None:
    run = run_example("demo.py", cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    assert "validated with checksums: Success" in run.stdout
    text = (ROOT / "build" / "demo" / "bracket.gcode").read_text()
    assert text.count("\nG1 ") == (EXAMPLES / "bracket.gcode").read_text().count("\nG1 ")


def test_typed_usage_walks_and_verifies_the_sample(tmp_path: Path) -> None:
    run = run_example("typed_usage.py", EXAMPLES / "sample.qgcode", cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[0].startswith("FileMetadata at 10, ")
    assert lines[-2] == "binary, first line 'M140 S60'"
    assert lines[-1] == "Success"
