"""quarn convert on folders and batches: trees, output folders, progress and summary."""

from __future__ import annotations

import os
import pty
import subprocess
import sys
from pathlib import Path

from slicer_files import NOT_FROM_THE_SLICER, write_slicer_gcode

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
QUARN = [sys.executable, "-m", "pyquarn"]


def tree(tmp_path: Path) -> Path:
    top = tmp_path / "prints"
    (top / "sub" / "deeper").mkdir(parents=True)
    write_slicer_gcode(top / "a.gcode")
    (top / "b.qgcode").write_bytes(SAMPLE.read_bytes())
    (top / "notes.txt").write_text("not G-code")
    write_slicer_gcode(top / "sub" / "c.GCODE")
    write_slicer_gcode(top / "sub" / "deeper" / "d.gcode")
    return top


def files_under(folder: Path) -> list[str]:
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def test_folders_with_and_without_recursion(tmp_path: Path) -> None:
    top = tree(tmp_path)
    out = tmp_path / "new" / "out"
    run = subprocess.run([*QUARN, "convert", top, "-d", out], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert files_under(out) == ["a.qgcode", "b.gcode"]

    out = tmp_path / "tree"
    run = subprocess.run(
        [*QUARN, "convert", "-r", "-j", "auto", top, "-d", out], capture_output=True, text=True
    )
    assert run.returncode == 0, run.stderr
    assert files_under(out) == [
        "a.qgcode", "b.gcode", "sub/c.qgcode", "sub/deeper/d.qgcode",
    ]  # fmt: skip
    lines = run.stdout.splitlines()
    assert len(lines) == 5 and all(line.startswith("ok ") for line in lines[:4])
    assert lines[-1].startswith("4 converted, 0 failed, ")


def test_a_batch_on_a_terminal_shows_a_progress_bar(tmp_path: Path) -> None:
    top = tree(tmp_path)
    (top / "bad.gcode").write_text(NOT_FROM_THE_SLICER)
    primary, secondary = pty.openpty()
    process = subprocess.Popen(
        [*QUARN, "convert", top, "-d", tmp_path / "out"],
        stdout=subprocess.PIPE, stderr=secondary, text=True,
    )  # fmt: skip
    os.close(secondary)
    stdout, _ = process.communicate()
    terminal = b""
    while True:
        try:
            chunk = os.read(primary, 4096)
        except OSError:  # the terminal closed with the process
            break
        if not chunk:
            break
        terminal += chunk
    os.close(primary)
    assert process.returncode == 1
    shown = terminal.decode()
    assert "3/3 files" in shown and "ETA" in shown and "[" in shown
    assert f"quarn: error: {top / 'bad.gcode'}: InvalidAsciiGCodeFile" in shown
    # The bar takes the place of the per-file lines; the summary remains.
    assert stdout.splitlines() == [stdout.splitlines()[-1]]
    assert stdout.startswith("2 converted, 1 failed, ")


def test_no_progress_bar_when_piped(tmp_path: Path) -> None:
    top = tree(tmp_path)
    run = subprocess.run(
        [*QUARN, "convert", top, "-d", tmp_path / "out"], capture_output=True, text=True
    )
    assert run.returncode == 0
    assert run.stderr == "" and "ETA" not in run.stdout
    assert [line.split()[0] for line in run.stdout.splitlines()] == ["ok", "ok", "2"]
