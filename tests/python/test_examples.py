"""The example programs, run as a user runs them after installing the package."""

from __future__ import annotations

import base64
import json
import re
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path

import pytest

import pyquarn

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


def lines_of(source: Path | bytes) -> list[str]:
    with pyquarn.open(source) as f:
        return list(f.lines())


@pytest.mark.parametrize(
    ("source", "options", "change"),
    [
        ("sample.qgcode", [], lambda t: t + 5),
        ("sample.qgcode", ["--add", "-2.5"], lambda t: t - 2.5),
        ("bracket.gcode", ["--set", "230"], lambda t: 230),
    ],
)
def test_post_process_changes_m104_and_keeps_the_file_settings(
    tmp_path: Path, source: str, options: list[str], change: Callable[[float], float]
) -> None:
    run = run_example(
        "post_process.py",
        EXAMPLES / source,
        *options,
        "--output-dir",
        tmp_path / "out",
        cwd=tmp_path,
    )
    assert run.returncode == 0, run.stderr
    target = tmp_path / "out" / Path(source).with_suffix(".qgcode").name
    with pyquarn.open(EXAMPLES / source) as src, pyquarn.open(target) as out:
        assert out.metadata == src.metadata and out.thumbnails == src.thumbnails
        settings = (src.config.gcode_encoding, src.config.compression.gcode)
        assert (out.config.gcode_encoding, out.config.compression.gcode) == settings
        out.verify()
    # What the source gives once written as binary with its config (MeatPack drops comments).
    data = (EXAMPLES / source).read_bytes()
    before = lines_of(data if source.endswith(".qgcode") else pyquarn.to_binary(data))
    after = lines_of(target)
    changed = [(old, new) for old, new in zip(before, after, strict=True) if old != new]
    assert changed, "the sample has M104 lines to change"
    for old, new in changed:
        command, temperature, *rest = old.split()
        assert command == "M104" and float(temperature[1:]) != 0
        assert new.split() == [command, f"S{change(float(temperature[1:])):g}", *rest]
    assert any(line.startswith("M104 S0") for line in after)  # heater off is kept
    assert run.stdout == f"{len(changed)} M104 lines changed: {target}\n"


@pytest.mark.parametrize("inline", [False, True])
def test_thumbnails_to_html_gives_every_thumbnail_as_an_image_a_browser_shows(
    tmp_path: Path, inline: bool
) -> None:
    options = ["--inline"] if inline else []
    run = run_example(
        "thumbnails_to_html.py",
        EXAMPLES / "bracket.gcode",
        "--output-dir",
        tmp_path / "web",
        *options,
        cwd=tmp_path,
    )
    assert run.returncode == 0, run.stderr
    page = tmp_path / "web" / "index.html"
    assert run.stdout == f"{page}\n"
    tags = re.findall(r'<img src="([^"]+)" width="(\d+)" height="(\d+)"', page.read_text())
    with pyquarn.open(EXAMPLES / "bracket.gcode") as f:
        thumbnails = f.thumbnails
    assert [(int(w), int(h)) for _, w, h in tags] == [(t.width, t.height) for t in thumbnails]
    for (source, _, _), thumbnail in zip(tags, thumbnails, strict=True):
        if inline:
            mime_type, _, encoded = source.removeprefix("data:").partition(";base64,")
            data = base64.b64decode(encoded)
        else:
            data = (tmp_path / "web" / source).read_bytes()
            mime_type = "image/jpeg" if source.endswith(".jpg") else "image/png"
        if thumbnail.format == pyquarn.EThumbnailFormat.JPG:
            assert (mime_type, data) == ("image/jpeg", thumbnail.data)
        else:
            assert (mime_type, data) == ("image/png", thumbnail.to_png())
    files = sorted(p.name for p in (tmp_path / "web").iterdir())
    assert len(files) == (1 if inline else 1 + len(thumbnails))


@pytest.mark.parametrize("source", ["bracket.gcode", "sample.qgcode"])
def test_upload_metadata_reads_the_bytes_of_either_format(tmp_path: Path, source: str) -> None:
    run = run_example(
        "upload_metadata.py", EXAMPLES / source, "--output-dir", tmp_path, cwd=tmp_path
    )
    assert run.returncode == 0, run.stderr
    with pyquarn.open(EXAMPLES / source) as f:
        summary, model = f.summary.to_dict(), f.metadata["printer"]["printer_model"]
        preview = f.thumbnail(160, 120, formats=("PNG", "QOI"))
    assert preview is not None
    assert json.loads((tmp_path / "summary.json").read_text()) == summary
    assert (tmp_path / "preview.png").read_bytes() == preview.to_png()
    assert run.stdout.splitlines()[0] == f"printer model: {model}"


def test_upload_metadata_reads_standard_input_and_refuses_what_is_not_gcode(tmp_path: Path) -> None:
    data = (EXAMPLES / "sample.qgcode").read_bytes()
    command = [sys.executable, str(EXAMPLES / "upload_metadata.py"), "-", "--output-dir", "out"]
    run = subprocess.run(command, input=data, capture_output=True, cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    assert run.stdout.decode().startswith("printer model: T1\n")
    run = subprocess.run(command, input=b"not G-code", capture_output=True, cwd=tmp_path)
    assert run.returncode == 1 and run.stderr.startswith(b"not a G-code file: ")


def test_relabel_printer_rewrites_only_the_model(tmp_path: Path) -> None:
    original = (EXAMPLES / "sample.qgcode").read_bytes()
    run = run_example(
        "relabel_printer.py", "--model", "ST9", "--output-dir", tmp_path, cwd=tmp_path
    )
    assert run.returncode == 0, run.stderr
    copy = tmp_path / "sample.qgcode"
    assert run.stdout == f"{copy}: printer_model T1 -> ST9\n"
    assert (EXAMPLES / "sample.qgcode").read_bytes() == original
    with pyquarn.open(EXAMPLES / "sample.qgcode") as src, pyquarn.open(copy) as out:
        expected = [
            (k, "ST9" if k == "printer_model" else v) for k, v in src.metadata["printer"].items()
        ]
        assert list(out.metadata["printer"].items()) == expected
        for kind in ("file", "print", "slicer"):
            assert out.metadata[kind] == src.metadata[kind]
        assert out.thumbnails == src.thumbnails
        gcode_at = [b.offset for b in src.blocks if b.type == pyquarn.EBlockType.GCode][0]
        out_gcode_at = [b.offset for b in out.blocks if b.type == pyquarn.EBlockType.GCode][0]
        out.verify()
    assert original[gcode_at:] == copy.read_bytes()[out_gcode_at:]  # copied, not re-encoded
    run = run_example("relabel_printer.py", copy, "--model", "ST2", "--in-place", cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    with pyquarn.open(copy) as out:
        assert out.metadata["printer"]["printer_model"] == "ST2"
