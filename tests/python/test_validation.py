"""is_valid_binary_gcode: valid layouts, block order, checksums, non-files; the bundled sample."""

import subprocess
import sys
from pathlib import Path

import _quarn
import pytest
from core_helpers import LONG_GCODE, at_first_block, damaged_gcode_file, header_here
from gcode_files import (
    BlockType,
    Checksum,
    Compression,
    GCodeFile,
    file_metadata,
    gcode,
    print_metadata,
    printer_metadata,
    slicer_metadata,
    thumbnail,
    valid_file,
)

R = _quarn.EResult


def ordered(*blocks, **options):
    return GCodeFile(list(blocks), **options)


VALID_FILES = {
    "minimal": valid_file(),
    "no file metadata": valid_file(with_file_metadata=False),
    "thumbnails": valid_file(thumbnails=[thumbnail(), thumbnail(b"jpg", format=1)]),
    "no gcode": valid_file(gcode_blocks=[]),
    "version 9": valid_file(version=9),
    "no checksums": valid_file(checksum_type=Checksum.none),
    "deflated metadata": ordered(
        printer_metadata(compression=Compression.Deflate),
        print_metadata(),
        slicer_metadata(compression=Compression.Deflate),
        gcode(LONG_GCODE, compression=Compression.Deflate),
    ),
}

P, T, PR, S, G = (
    printer_metadata(),
    thumbnail(),
    print_metadata(),
    slicer_metadata(),
    gcode("G28\n"),
)
MISORDERED_FILES = {
    "thumbnail after print metadata": ordered(P, PR, T, S, G),
    "slicer before print metadata": ordered(P, S, PR, G),
    "gcode before slicer metadata": ordered(P, PR, G, S),
    "second printer metadata": ordered(P, P, PR, S),
    "metadata after gcode": ordered(P, PR, S, G, PR),
    "thumbnail first": ordered(T, P, PR, S),
    "no printer metadata": ordered(file_metadata(), PR, S),
    "no slicer metadata": ordered(P, PR, G),
}


@pytest.mark.parametrize("name", VALID_FILES)
def test_valid_files(opened, name):
    layout = VALID_FILES[name]
    f = opened(layout)
    at_first_block(f)
    assert _quarn.is_valid_binary_gcode(f, True) == R.Success
    assert header_here(f).type == layout.blocks[0].type  # the position is where it was


@pytest.mark.parametrize("name", MISORDERED_FILES)
def test_block_order_violations(opened, name):
    layout = MISORDERED_FILES[name]
    f = opened(layout)
    at_first_block(f)
    assert _quarn.is_valid_binary_gcode(f) == R.Success  # the magic alone
    assert _quarn.is_valid_binary_gcode(f, check_contents=True) == R.InvalidBlockType
    assert header_here(f).type == layout.blocks[0].type


@pytest.mark.parametrize(
    ("where", "expected"),
    [("data", R.InvalidChecksum), ("checksum", R.InvalidChecksum), ("past end", R.ReadError)],
)
def test_validation_verifies_checksums_only_with_check_contents(opened, where, expected):
    f = opened(damaged_gcode_file(where))
    at_first_block(f)
    assert _quarn.is_valid_binary_gcode(f) == R.Success
    assert _quarn.is_valid_binary_gcode(f, True) == expected
    assert header_here(f).type == BlockType.FileMetadata


@pytest.mark.parametrize(
    ("content", "shallow", "deep"),
    [
        (b"; generated G-code\nG28\n", R.InvalidMagicNumber, R.InvalidMagicNumber),
        (b"", R.ReadError, R.ReadError),
        (b"GCD", R.ReadError, R.ReadError),
        (b"GCDE" + b"\xff" * 40, R.Success, R.InvalidChecksumType),
        (b"GCDE\x01\x00\x00\x00\x01\x00", R.Success, R.ReadError),  # header, no blocks
    ],
)
def test_validation_of_non_files(opened, content, shallow, deep):
    f = opened(content)
    assert _quarn.is_valid_binary_gcode(f) == shallow
    assert _quarn.is_valid_binary_gcode(f, True) == deep


def test_bundled_sample_is_valid_and_reproducible(tmp_path):
    sample = Path(__file__).resolve().parents[2] / "examples" / "sample.qgcode"
    f = _quarn.open(str(sample), "rb")
    assert _quarn.is_valid_binary_gcode(f, True) == R.Success
    _quarn.close(f)
    script = sample.parent / "make_sample.py"
    subprocess.run([sys.executable, str(script), str(tmp_path / "again.qgcode")], check=True)
    assert (tmp_path / "again.qgcode").read_bytes() == sample.read_bytes()
