"""The quarn command in pipelines: standard input and output, cat, closed pipes."""

from __future__ import annotations

import importlib.metadata
import json
import os
import pty
import subprocess
import sys
from pathlib import Path

import pytest
from gcode_files import valid_file
from slicer_files import GCODE_LINES, write_slicer_gcode

import pyquarn

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
QUARN = [sys.executable, "-m", "pyquarn"]


def quarn(*args: object, stdin: bytes | None = None) -> subprocess.CompletedProcess[bytes]:
    return subprocess.run([*QUARN, *map(str, args)], input=stdin, capture_output=True)


def converted(tmp_path: Path, source: Path) -> bytes:
    """The output of converting `source` to a file, for comparison."""
    target = tmp_path / ("out" + (".gcode" if source.suffix == ".qgcode" else ".qgcode"))
    pyquarn.convert(source, target)
    return target.read_bytes()


@pytest.mark.parametrize("kind", ["binary", "ascii"])
@pytest.mark.parametrize("how", ["stdin to stdout", "file to stdout", "stdin to file"])
def test_data_alone_on_stdout(tmp_path: Path, kind: str, how: str) -> None:
    source = SAMPLE if kind == "binary" else write_slicer_gcode(tmp_path / "part.gcode")
    expected = converted(tmp_path, source)
    if how == "stdin to stdout":
        run = quarn("convert", "-", stdin=source.read_bytes())
        output = run.stdout
    elif how == "file to stdout":
        run = quarn("convert", source, "-o", "-")
        output = run.stdout
    else:
        target = tmp_path / "written"
        run = quarn("convert", "-", "-o", target, stdin=source.read_bytes())
        output = target.read_bytes()
        assert run.stdout.decode().startswith("ok <stdin> -> ")
    assert run.returncode == 0, run.stderr
    assert output == expected
    if how != "stdin to file":
        assert run.stderr.decode().startswith("ok ")  # the status line stays off stdout


def test_cat_writes_the_gcode_lines_of_each_file(tmp_path: Path) -> None:
    ascii_file = write_slicer_gcode(tmp_path / "part.gcode")
    with pyquarn.open(SAMPLE) as reader:
        binary_lines = list(reader.lines())
    with pyquarn.open(ascii_file) as reader:
        ascii_lines = list(reader.lines())
    assert set(GCODE_LINES) <= set(ascii_lines)
    expected = "".join(f"{line}\n" for line in [*binary_lines, *ascii_lines]).encode()
    run = quarn("cat", SAMPLE, ascii_file)
    assert (run.returncode, run.stderr) == (0, b"")
    assert run.stdout == expected
    run = quarn("cat", "-", stdin=SAMPLE.read_bytes())
    assert run.stdout == "".join(f"{line}\n" for line in binary_lines).encode()


def test_cat_goes_on_after_a_bad_file_and_fails(tmp_path: Path) -> None:
    missing = tmp_path / "missing.qgcode"
    run = quarn("cat", missing, SAMPLE)
    assert run.returncode == 1 and run.stdout == quarn("cat", SAMPLE).stdout
    assert run.stderr.decode() == f"quarn: error: {missing}: No such file or directory\n"


def test_cat_into_a_closed_pipe_ends_quietly(tmp_path: Path) -> None:
    big = valid_file(gcode_blocks=[f"G1 X{i} Y{i}\n" * 2000 for i in range(200)])
    path = big.write(tmp_path / "big.qgcode")
    run = subprocess.run(
        f"{' '.join(QUARN)} cat {path} | head -n 1; echo ${{PIPESTATUS[0]}} >&2",
        shell=True, executable="/bin/bash", capture_output=True, text=True,
    )  # fmt: skip
    assert run.stdout == "G1 X0 Y0\n"
    assert run.stderr.strip() in ("0", "141"), run.stderr


def test_version() -> None:
    run = quarn("--version")
    assert run.returncode == 0
    # The distribution's version, not the fixed text of _quarn.version().
    assert run.stdout.decode() == f"quarn {importlib.metadata.version('quarn')}\n"


def test_cat_of_a_truncated_file_writes_its_whole_blocks_then_fails(tmp_path: Path) -> None:
    file = valid_file(gcode_blocks=[f"G1 X{i}\n" * 3000 for i in range(3)])
    path = tmp_path / "cut.qgcode"
    path.write_bytes(file.to_bytes()[: file.offsets()[-1] + 5])
    run = quarn("cat", path)
    assert run.returncode == 1
    assert run.stdout == b"".join(f"G1 X{i}\n".encode() * 3000 for i in range(2))
    assert run.stderr.decode().startswith(f"quarn: error: {path}: ReadError: the file ends after")


@pytest.mark.parametrize(
    ("args", "refused"),
    [
        (["convert", "PART", "-o", "-"], True),
        (["convert", "SAMPLE", "-o", "-", "--to", "binary"], True),
        (["convert", "SAMPLE", "-o", "-"], False),
    ],
)
def test_binary_output_is_not_written_to_a_terminal(
    tmp_path: Path, args: list[str], refused: bool
) -> None:
    part = write_slicer_gcode(tmp_path / "part.gcode")
    named = [{"PART": part, "SAMPLE": SAMPLE}.get(arg, arg) for arg in args]
    primary, secondary = pty.openpty()
    run = subprocess.run([*QUARN, *map(str, named)], stdout=secondary, stderr=subprocess.PIPE)
    os.close(secondary)
    os.close(primary)
    assert run.returncode == (2 if refused else 0)
    assert ("not written to a terminal" in run.stderr.decode()) == refused


def test_info_verify_and_thumbnails_read_standard_input(tmp_path: Path) -> None:
    # Through a pipe: the file is read once, as it comes, and named <stdin>.
    data = SAMPLE.read_bytes()
    run = quarn("info", "-", stdin=data)
    assert run.returncode == 0, run.stderr
    assert run.stdout.decode() == quarn("info", SAMPLE).stdout.decode().replace(
        str(SAMPLE), "<stdin>"
    )  # the size too, taken from the blocks
    run = quarn("info", "--json", "-", stdin=data)
    piped, named = json.loads(run.stdout), json.loads(quarn("info", "--json", SAMPLE).stdout)
    assert piped == {**named, "path": "<stdin>"}
    run = quarn("verify", "-", SAMPLE, stdin=data)
    assert (run.returncode, run.stdout.decode()) == (0, f"ok <stdin>\nok {SAMPLE}\n")
    run = quarn("thumbnails", "-", "-o", tmp_path / "images", stdin=data)
    assert run.returncode == 0, run.stderr
    with pyquarn.open(SAMPLE) as reader:
        expected = reader.thumbnails[0].data
    assert (tmp_path / "images" / "stdin_1_16x16.png").read_bytes() == expected


@pytest.mark.parametrize(
    ("command", "stdin", "message"),
    [
        (["info", "-"], "ascii", "<stdin>: InvalidMagicNumber: not a binary G-code file"),
        (["verify", "-"], "ascii", "<stdin>: InvalidMagicNumber"),
        (["verify", "-"], "truncated", "<stdin>: ReadError: the file ends, inside block 2"),
        (["thumbnails", "-", "-o", "images"], "truncated", "<stdin>: ReadError"),
        (["info", "-"], "empty", "<stdin>: "),
    ],
)
def test_bad_standard_input_gives_one_line(
    tmp_path: Path, command: list[str], stdin: str, message: str
) -> None:
    data = {
        "ascii": write_slicer_gcode(tmp_path / "part.gcode").read_bytes(),
        "truncated": SAMPLE.read_bytes()[:500],
        "empty": b"",
    }[stdin]
    run = subprocess.run([*QUARN, *command], input=data, capture_output=True, cwd=tmp_path)
    assert run.returncode == 1 and run.stdout == b""
    lines = run.stderr.decode().splitlines()
    assert len(lines) == 1 and lines[0].startswith(f"quarn: error: {message}"), lines
    assert not (tmp_path / "images").exists()


@pytest.mark.parametrize(
    "args",
    [
        ["cat", "-", "-"],
        ["info", "-r", "-", "-"],
        ["verify", "-", "-"],
        ["thumbnails", "-", "-", "-o", "out"],
        ["convert", "-", "-", "-o", "out"],
    ],
)
def test_standard_input_is_given_once(args: list[str]) -> None:
    run = quarn(*args, stdin=SAMPLE.read_bytes())
    assert run.returncode == 2 and run.stdout == b""
    assert "standard input" in run.stderr.decode()


def test_binary_input_is_not_awaited_from_a_terminal() -> None:
    primary, secondary = pty.openpty()
    run = subprocess.run([*QUARN, "info", "-"], stdin=secondary, capture_output=True)
    os.close(secondary)
    os.close(primary)
    assert run.returncode == 2
    assert "not read from a terminal" in run.stderr.decode()
