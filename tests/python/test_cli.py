"""The quarn command, run as a separate process as users run it."""

from __future__ import annotations

import json
import subprocess
import sys
from importlib.metadata import version
from pathlib import Path

import pytest
from gcode_files import ThumbnailFormat, printer_metadata, thumbnail, valid_file
from slicer_files import NOT_FROM_THE_SLICER, write_slicer_gcode

import pyquarn
from pyquarn.images import image_info

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"


def quarn(*args: object, cwd: Path | None = None) -> subprocess.CompletedProcess[str]:
    command = [sys.executable, "-m", "pyquarn", *map(str, args)]
    return subprocess.run(command, capture_output=True, text=True, cwd=cwd)


def one_error_line(run: subprocess.CompletedProcess[str]) -> str:
    assert "Traceback" not in run.stderr
    lines = run.stderr.splitlines()
    assert len(lines) == 1, run.stderr
    assert lines[0].startswith("quarn: error: ")
    return lines[0]


def damaged(path: Path) -> Path:
    file = valid_file()
    file.blocks[-1].damage_checksum = True
    return file.write(path)


def test_console_script_and_help_of_every_command() -> None:
    script = Path(sys.executable).with_name("quarn")
    run = subprocess.run([script, "--help"], capture_output=True, text=True)
    assert run.returncode == 0 and "convert" in run.stdout and "thumbnails" in run.stdout
    for command in ("convert", "cat", "edit", "info", "verify", "thumbnails"):
        run = quarn(command, "--help")
        assert run.returncode == 0 and run.stdout.startswith(f"usage: quarn {command}")
        assert f"example: quarn {command} " in run.stdout


def test_version_is_the_distributions() -> None:
    run = quarn("--version")
    assert run.returncode == 0
    assert run.stdout == f"quarn {version('quarn')}\n" == f"quarn {pyquarn.__version__}\n"


def test_convert_prints_a_line_per_file(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    run = quarn("convert", source)
    assert run.returncode == 0, run.stderr
    output = tmp_path / "part.qgcode"
    size_in, size_out = source.stat().st_size, output.stat().st_size
    line = run.stdout.strip()
    assert line.startswith(f"ok {source} -> {output} (ascii to binary): ")
    assert f"{size_in:,} -> {size_out:,} bytes" in line
    assert f"ratio {size_out / size_in:.3f}" in line and line.endswith(" s")

    run = quarn("convert", output, "-o", tmp_path / "back.gcode")
    assert run.returncode == 0 and "(binary to ascii)" in run.stdout
    assert "G1 X20 Y10 E1.5\n" in (tmp_path / "back.gcode").read_text()


def test_convert_options_reach_the_configuration(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    run = quarn(
        "convert", source, "--gcode-compression", "deflate", "--gcode-encoding", "NONE",
        "--metadata-compression", "Heatshrink_11_4", "--checksum", "none",
    )  # fmt: skip
    assert run.returncode == 0, run.stderr
    file = pyquarn.info(tmp_path / "part.qgcode")
    assert file.checksum_type.name == "none"
    kinds = {block.type.name: block.compression.name for block in file.blocks}
    assert kinds["GCode"] == "Deflate" and kinds["SlicerMetadata"] == "Heatshrink_11_4"


def test_convert_many_files_in_parallel(tmp_path: Path) -> None:
    out = tmp_path / "out"
    out.mkdir()
    sources = [write_slicer_gcode(tmp_path / f"p{i}.gcode") for i in range(3)]
    bad = tmp_path / "bad.gcode"
    bad.write_text(NOT_FROM_THE_SLICER)
    binary = SAMPLE
    run = quarn("convert", "-j", 3, "-d", out, *sources, bad, binary)
    assert run.returncode == 1
    *lines, summary = run.stdout.splitlines()
    assert summary.startswith("4 converted, 1 failed, ")
    assert [line.split()[1] for line in lines] == [
        *map(str, sources),
        str(binary),
    ]
    assert "InvalidAsciiGCodeFile" in one_error_line(run) and str(bad) in run.stderr
    assert sorted(p.name for p in out.iterdir()) == [
        "p0.qgcode", "p1.qgcode", "p2.qgcode", "sample.gcode",
    ]  # fmt: skip
    assert all(pyquarn.verify(out / f"p{i}.qgcode") is None for i in range(3))


def test_failed_conversion_keeps_the_existing_output(tmp_path: Path) -> None:
    bad = tmp_path / "bad.gcode"
    bad.write_text(NOT_FROM_THE_SLICER)
    existing = tmp_path / "bad.qgcode"
    existing.write_bytes(b"keep me")
    run = quarn("convert", bad)
    assert run.returncode == 1
    assert existing.read_bytes() == b"keep me"
    run = quarn("convert", bad, "-o", tmp_path / "fresh.qgcode")
    assert run.returncode == 1
    assert sorted(p.name for p in tmp_path.iterdir()) == ["bad.gcode", "bad.qgcode"]


@pytest.mark.parametrize(
    "args",
    [
        ["convert", "a.gcode", "b.gcode", "-o", "x.qgcode"],
        ["convert", "a.gcode", "-o", "x.qgcode", "-d", "."],
        ["convert", "a.gcode", "--gcode-compression", "zip"],
        ["convert", "a.gcode", "-j", "0"],
        ["convert", "a.gcode", "sub/a.gcode", "-d", "out"],  # one output for two inputs
        ["convert", "a.gcode", "a.qgcode"],  # a.qgcode is an input and a's output
        ["convert", "a.gcode", "-o", "./a.gcode"],
        ["convert"],
        ["info"],
        ["thumbnails", "a.qgcode"],
        ["frobnicate"],
    ],
)
def test_usage_errors_exit_2_and_write_nothing(tmp_path: Path, args: list[str]) -> None:
    write_slicer_gcode(tmp_path / "a.gcode")
    (tmp_path / "sub").mkdir()
    (tmp_path / "out").mkdir()
    write_slicer_gcode(tmp_path / "sub" / "a.gcode")
    valid_file().write(tmp_path / "a.qgcode")
    before = sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*"))
    run = quarn(*args, cwd=tmp_path)
    assert run.returncode == 2
    assert "usage: quarn" in run.stderr and "Traceback" not in run.stderr
    assert sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*")) == before


def test_info_table_and_json() -> None:
    run = quarn("info", SAMPLE)
    assert run.returncode == 0
    lines = run.stdout.splitlines()
    assert lines[0] == (
        f"{SAMPLE}: binary G-code version 1, checksum CRC32, 951 bytes, 8 blocks, "
        "G-code encoding none"
    )
    # The summary comes first, then the blocks.
    heading = ["#", "offset", "type", "compression", "data", "stored", "size"]
    table = [line.split() for line in lines].index(heading)
    summary = [line.split() for line in lines[2 : table - 1]]
    assert ["Printer", "T1"] in summary
    assert ["Estimated", "time", "12", "min", "05", "s"] in summary
    assert ["Filament", "3.68", "g", "(1,234.6", "mm)", "PLA"] in summary
    assert lines[table + 1].split() == ["0", "10", "FileMetadata", "none", "28", "28", "42"]
    assert lines[table + 5].split() == ["4", "730", "SlicerMetadata", "Deflate", "53", "47", "65"]
    assert "  Producer = quarn sample 0.2.1" in lines
    assert "  printer_model = T1" in lines
    assert lines[-2:] == ["Thumbnails:", "  PNG 16x16, 463 bytes"]

    run = quarn("info", "--json", SAMPLE, SAMPLE)
    assert run.returncode == 0
    first, second = map(json.loads, run.stdout.splitlines())
    assert first == second
    blocks = pyquarn.info(SAMPLE).to_dict()["blocks"]
    assert [b["type"] for b in first["blocks"]] == [b["type"] for b in blocks]
    assert first["metadata"]["printer"]["printer_model"] == ["T1"]
    assert first["metadata"]["file"]["Producer"] == ["quarn sample 0.2.1"]
    assert first["thumbnails"] == [{"format": "PNG", "width": 16, "height": 16, "size": 463}]
    assert first["summary"]["printer_model"] == "T1"
    assert first["summary"]["estimated_time"] == 725.0


def test_info_json_keeps_every_value_of_a_repeated_key(tmp_path: Path) -> None:
    file = valid_file()
    file.blocks[1] = printer_metadata((("extruder", "a"), ("model", "m"), ("extruder", "b")))
    run = quarn("info", "--json", file.write(tmp_path / "two.qgcode"))
    printer = json.loads(run.stdout)["metadata"]["printer"]
    assert printer == {"extruder": ["a", "b"], "model": ["m"]}


def test_verify_every_file(tmp_path: Path) -> None:
    bad = damaged(tmp_path / "bad.qgcode")
    run = quarn("verify", SAMPLE)
    assert (run.returncode, run.stdout, run.stderr) == (0, f"ok {SAMPLE}\n", "")
    run = quarn("verify", SAMPLE, bad)
    assert run.returncode == 1 and run.stdout == f"ok {SAMPLE}\n"
    assert one_error_line(run) == (
        f"quarn: error: {bad}: InvalidChecksum: block 5 at offset 162 fails its checksum: "
        "the file is damaged"
    )


def test_thumbnails_are_written_with_format_and_size_in_the_name(tmp_path: Path) -> None:
    images = [
        (b"png bytes", 16, 16, ThumbnailFormat.PNG),
        (b"jpg bytes", 160, 120, ThumbnailFormat.JPG),
        (b"qoi bytes", 300, 200, ThumbnailFormat.QOI),
    ]
    blocks = [thumbnail(data, w, h, format=f) for data, w, h, f in images]
    source = valid_file(thumbnails=blocks).write(tmp_path / "part.qgcode")
    out = tmp_path / "images" / "new"
    run = quarn("thumbnails", source, "-o", out)
    assert run.returncode == 0, run.stderr
    names = ["part_1_16x16.png", "part_2_160x120.jpg", "part_3_300x200.qoi"]
    assert sorted(p.name for p in out.iterdir()) == names
    assert [(out / name).read_bytes() for name in names] == [data for data, *_ in images]
    assert len(run.stdout.splitlines()) == 3


def bad_inputs(tmp_path: Path) -> dict[str, Path]:
    ascii_file = write_slicer_gcode(tmp_path / "ascii.gcode")
    empty = tmp_path / "empty"
    empty.mkdir()
    return {
        "missing": tmp_path / "missing.qgcode",
        "directory": empty,
        "ascii": ascii_file,
        "corrupt": damaged(tmp_path / "corrupt.qgcode"),
    }


@pytest.mark.parametrize(
    ("command", "kind", "message"),
    [
        ("info", "missing", "No such file or directory"),
        ("info", "directory", "Is a directory"),
        ("info", "ascii", "InvalidMagicNumber: not a binary G-code file"),
        ("edit", "ascii", "InvalidMagicNumber: not a binary G-code file"),
        ("edit", "corrupt", "InvalidChecksum"),
        ("info", "corrupt", "InvalidChecksum"),
        ("verify", "missing", "No such file or directory"),
        ("verify", "directory", "Is a directory"),
        ("verify", "ascii", "InvalidMagicNumber"),
        ("thumbnails", "missing", "No such file or directory"),
        ("thumbnails", "ascii", "InvalidMagicNumber"),
        ("thumbnails", "corrupt", "InvalidChecksum"),
        ("convert", "missing", "No such file or directory"),
        ("convert", "directory", "Is a directory"),
        ("convert", "corrupt", "InvalidChecksum"),
    ],
)
def test_bad_input_gives_one_line_and_exit_1(
    tmp_path: Path, command: str, kind: str, message: str
) -> None:
    path = bad_inputs(tmp_path)[kind]
    extra = ["-o", tmp_path / "images"] if command == "thumbnails" else []
    run = quarn(command, path, *extra)
    assert run.returncode == 1
    line = one_error_line(run)
    shown = str(path).encode("utf-8", "backslashreplace").decode()
    assert line.startswith(f"quarn: error: {shown}: ") and message in line
    assert not (tmp_path / "images").exists() and not (tmp_path / "corrupt.gcode").exists()


def test_thumbnails_png_turns_qoi_into_png(tmp_path: Path) -> None:
    # A 2x1 QOI image: two RGB pixels, then the end marker.
    qoi = b"qoif" + (2).to_bytes(4, "big") + (1).to_bytes(4, "big") + bytes([3, 0])
    qoi += bytes([0xFE, 255, 0, 0, 0xFE, 0, 0, 255]) + bytes(7) + b"\x01"
    jpg = b"jpg bytes"
    source = valid_file(
        thumbnails=[
            thumbnail(qoi, 2, 1, format=ThumbnailFormat.QOI),
            thumbnail(jpg, 4, 3, format=ThumbnailFormat.JPG),
        ]
    ).write(tmp_path / "part.qgcode")
    run = quarn("thumbnails", source, "-o", tmp_path / "out", "--png")
    assert run.returncode == 0, run.stderr
    png = tmp_path / "out" / "part_1_2x1.png"
    assert image_info(png.read_bytes()) == ("PNG", 2, 1)
    assert (tmp_path / "out" / "part_2_4x3.jpg").read_bytes() == jpg
