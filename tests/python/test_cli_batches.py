"""quarn convert on folders and batches: trees, output folders, progress and summary."""

from __future__ import annotations

import os
import pty
import subprocess
import sys
from pathlib import Path

from slicer_files import NOT_FROM_THE_SLICER, write_slicer_gcode

import pyquarn

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


def convert(*args: object) -> subprocess.CompletedProcess[str]:
    return subprocess.run([*QUARN, "convert", *map(str, args)], capture_output=True, text=True)


def skipped(run: subprocess.CompletedProcess[str]) -> list[tuple[str, str]]:
    """(file, hint) of each skip line; every stderr line must be one."""
    lines = run.stderr.splitlines()
    assert all(" skipped, " in line and "exists (use " in line for line in lines), run.stderr
    return sorted((line.split()[1].rstrip(":"), line.split("(use ")[1]) for line in lines)


def test_a_folder_converted_again_skips_what_exists(tmp_path: Path) -> None:
    top = tmp_path / "prints"
    top.mkdir()
    a, b = (write_slicer_gcode(top / f"{name}.gcode") for name in "ab")
    assert convert(top).returncode == 0
    first = {name: (top / name).stat().st_mtime_ns for name in files_under(top)}

    # Each file stands next to its output: neither is converted over the other.
    run = convert(top, "-j", 2)
    assert run.returncode == 0 and run.stdout.startswith("0 converted, 0 failed, 4 skipped, ")
    assert skipped(run) == sorted(
        [(str(a), "--to binary -f to overwrite)"), (str(b), "--to binary -f to overwrite)")]
        + [(str(p.with_suffix(".qgcode")), "--to ascii -f to overwrite)") for p in (a, b)]
    )
    assert {name: (top / name).stat().st_mtime_ns for name in files_under(top)} == first
    assert convert(top, "-f").returncode == 0  # the pairs stay skipped with -f
    assert {name: (top / name).stat().st_mtime_ns for name in files_under(top)} == first

    # --to binary takes the ASCII files alone: the new one is converted, the others skipped
    # until -f says to replace their outputs.
    new = write_slicer_gcode(top / "new.gcode")
    run = convert("--to", "binary", top)
    assert run.returncode == 0 and run.stdout.startswith("ok ")
    assert run.stdout.splitlines()[-1].startswith("1 converted, 0 failed, 2 skipped, ")
    assert skipped(run) == [(str(a), "-f to overwrite)"), (str(b), "-f to overwrite)")]
    assert pyquarn.verify(new.with_suffix(".qgcode")) is None
    run = convert("--to", "binary", "-f", top)
    assert run.returncode == 0 and run.stderr == ""
    assert run.stdout.splitlines()[-1].startswith("3 converted, 0 failed, ")

    # The same with an output folder; a failure still fails the batch.
    out = tmp_path / "out"
    assert convert("--to", "ascii", top, "-d", out).returncode == 0
    (top / "bad.qgcode").write_bytes(b"GCDE and nothing more")
    run = convert("--to", "ascii", top, "-d", out)
    assert run.returncode == 1
    assert run.stdout.startswith("0 converted, 1 failed, 3 skipped, ")
    errors = [line for line in run.stderr.splitlines() if line.startswith("quarn: error: ")]
    assert len(errors) == 1 and f"{top / 'bad.qgcode'}: " in errors[0]

    # A file named, or an output named with -o, is converted over, as it always was.
    run = convert(a)
    assert run.returncode == 0 and run.stdout.startswith(f"ok {a} -> ")
    alone = tmp_path / "alone"
    alone.mkdir()
    write_slicer_gcode(alone / "x.gcode")
    (out / "x.qgcode").write_bytes(b"old")
    assert convert(alone, "-o", out / "x.qgcode").returncode == 0
    assert pyquarn.verify(out / "x.qgcode") is None
