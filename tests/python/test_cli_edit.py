"""quarn edit and quarn convert --to binary: metadata and thumbnails changed, G-code kept or
re-encoded, damaged files refused; and the diagnostics each failure gives."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import pytest
from gcode_files import valid_file
from slicer_files import SLICER_GCODE, write_slicer_gcode

import pyquarn
from pyquarn.images import encode_png

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
QUARN = [sys.executable, "-m", "pyquarn"]


def quarn(*args: object) -> subprocess.CompletedProcess[str]:
    return subprocess.run([*QUARN, *map(str, args)], capture_output=True, text=True)


def gcode_bytes(path: Path) -> bytes:
    """The file from its first G-code block on: the stored G-code blocks."""
    with pyquarn.open(path) as reader:
        first = next(b.offset for b in reader.blocks if b.type == pyquarn.EBlockType.GCode)
    return path.read_bytes()[first:]


def test_edit_changes_metadata_and_thumbnails_and_copies_gcode(tmp_path: Path) -> None:
    path = tmp_path / "part.qgcode"
    path.write_bytes(SAMPLE.read_bytes())
    image = tmp_path / "tiny.png"
    image.write_bytes(encode_png(3, 2, 3, bytes(18)))
    with pyquarn.open(path) as reader:
        before = reader.metadata
        printer_keys = [key for key, _ in before["printer"].items()]
    run = quarn(
        "edit", path, "--set", "printer.printer_model=T2", "--set", "print.note=a=b",
        "--unset", f"printer.{printer_keys[-1]}", "--drop-thumbnails", "--add-thumbnail", image,
    )  # fmt: skip
    assert run.returncode == 0, run.stderr
    assert run.stdout == f"ok {path} -> {path}\n"
    with pyquarn.open(path) as reader:
        assert reader.metadata["printer"]["printer_model"] == "T2"
        assert printer_keys[-1] not in reader.metadata["printer"] or printer_keys[-1] == (
            "printer_model"
        )
        assert list(reader.metadata["print"].items())[-1] == ("note", "a=b")
        assert reader.metadata["slicer"] == before["slicer"]
        assert [(t.format.name, t.width, t.height) for t in reader.thumbnails] == [("PNG", 3, 2)]
    assert gcode_bytes(path) == gcode_bytes(SAMPLE)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["part.qgcode", "tiny.png"]


def test_edit_to_another_file_or_stdout(tmp_path: Path) -> None:
    target = tmp_path / "edited.qgcode"
    run = quarn("edit", SAMPLE, "-o", target, "--set", "file.Producer=me")
    assert run.returncode == 0, run.stderr
    run = subprocess.run(
        [*QUARN, "edit", "-", "-o", "-", "--set", "file.Producer=me"],
        input=SAMPLE.read_bytes(), capture_output=True,
    )  # fmt: skip
    assert run.returncode == 0 and run.stdout == target.read_bytes()
    with pyquarn.open(target) as reader:
        assert reader.metadata["file"]["Producer"] == "me"


def test_convert_to_binary_reencodes_a_binary_file(tmp_path: Path) -> None:
    path = tmp_path / "part.qgcode"
    path.write_bytes(SAMPLE.read_bytes())
    with pyquarn.open(SAMPLE) as reader:
        lines, metadata, images = list(reader.lines()), reader.metadata, reader.thumbnails
        config = reader.config
    run = quarn("convert", "--to", "binary", path, "--gcode-compression", "deflate")
    assert run.returncode == 0, run.stderr
    assert "(binary to binary)" in run.stdout
    with pyquarn.open(path) as reader:
        assert reader.config.compression.gcode == pyquarn.CompressionType.Deflate
        assert reader.config.checksum == config.checksum
        assert reader.config.gcode_encoding == config.gcode_encoding
        assert reader.config.compression.slicer_metadata == config.compression.slicer_metadata
        assert (list(reader.lines()), reader.metadata) == (lines, metadata)
        assert reader.thumbnails == images


@pytest.mark.parametrize("command", [["edit"], ["convert", "--to", "binary"]])
def test_damaged_files_are_refused_and_kept(tmp_path: Path, command: list[str]) -> None:
    file = valid_file()
    file.blocks[-1].damage_checksum = True
    path = file.write(tmp_path / "bad.qgcode")
    before = path.read_bytes()
    run = quarn(*command, path)
    assert run.returncode == 1
    assert "InvalidChecksum" in run.stderr and "Traceback" not in run.stderr
    assert path.read_bytes() == before
    assert [p.name for p in tmp_path.iterdir()] == ["bad.qgcode"]


def truncated(tmp_path: Path) -> tuple[Path, str]:
    file = valid_file()
    data = file.to_bytes()
    cut = file.offsets()[-1] + 5
    path = tmp_path / "cut.qgcode"
    path.write_bytes(data[:cut])
    index, offset = len(file.blocks) - 1, file.offsets()[-1]
    return (
        path,
        f"ReadError: the file ends after {cut:,} bytes, inside block {index} at offset {offset}",
    )


def damaged(tmp_path: Path) -> tuple[Path, str]:
    file = valid_file()
    file.blocks[-1].damage_checksum = True
    path = file.write(tmp_path / "bad.qgcode")
    index = len(file.blocks) - 1
    return path, f"InvalidChecksum: block {index} at offset {file.offsets()[-1]} fails"


def ascii_without(tmp_path: Path, drop: str, missing: str) -> tuple[Path, str]:
    """The slicer file without the lines holding any of the words of `drop` (split on |)."""
    words = drop.split("|")
    lines = SLICER_GCODE.replace("layer_height", "perimeters").splitlines()
    text = "\n".join(line for line in lines if not any(word in line for word in words))
    return write_slicer_gcode(tmp_path / "part.gcode", text), missing


DIAGNOSTICS = {
    "truncated": truncated,
    "checksum": damaged,
    "no producer": lambda tmp: ascii_without(
        tmp, "generated by", "no producer line; add a first line '; generated by Strataly"
    ),
    "no printer metadata": lambda tmp: ascii_without(
        tmp, "printer_model", "MissingPrinterMetadata: no printer metadata: add a comment such"
    ),
    "no print metadata": lambda tmp: ascii_without(
        tmp, "total toolchanges", "MissingPrintMetadata: no print metadata: add a comment such"
    ),
    "no slicer metadata": lambda tmp: ascii_without(
        tmp, "perimeters", "MissingSlicerMetadat: no slicer configuration"
    ),
    "unclosed configuration": lambda tmp: ascii_without(
        tmp, "strataly_config = end", "'; strataly_config = begin' is not closed"
    ),
}


@pytest.mark.parametrize("case", DIAGNOSTICS)
def test_each_failure_says_what_is_wrong_on_one_line(tmp_path: Path, case: str) -> None:
    path, expected = DIAGNOSTICS[case](tmp_path)
    run = quarn("convert", path, "-o", tmp_path / "out")
    assert run.returncode == 1
    assert "Traceback" not in run.stderr and len(run.stderr.splitlines()) == 1
    assert run.stderr.startswith(f"quarn: error: {path}: ")
    assert expected in run.stderr


@pytest.mark.parametrize(
    ("args", "accepted"),
    [
        (["convert", "x", "--checksum", "md5"], "choose from none, CRC32"),
        (["convert", "x", "--to", "zip"], "choose from 'auto', 'binary', 'ascii'"),
        (["edit", "x", "--set", "machine.a=b"], "choose from file, printer, print, slicer"),
    ],
)
def test_unknown_option_values_list_the_accepted_ones(args: list[str], accepted: str) -> None:
    run = quarn(*args)
    assert run.returncode == 2 and accepted in run.stderr
