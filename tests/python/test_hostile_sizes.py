"""Files of a few hundred bytes whose headers declare 4 GiB: every reader answers with an
error, and a fresh process reading one with all of them stays far below the declared size.

A stored size of 4 GiB runs past the end of the file, so validation refuses it as well. A
decompressed size of 4 GiB over complete, checksummed data is a lie only the content
readers can see: validation checks block order and checksums, and answers Success."""

import json
import os
import subprocess
import sys
import zlib
from pathlib import Path

import pytest
from gcode_files import (
    Block,
    BlockType,
    Compression,
    GCodeFile,
    ini,
    thumbnail,
    u16,
    valid_file,
)

FOUR_GIB = 0xFFFFFFFF
PEAK_LIMIT_MB = 100
ADDRESS_SPACE_LIMIT_MB = 1024
# Blocks of valid_file(thumbnails=[thumbnail()]), by index.
PRINTER, THUMBNAIL, SLICER, GCODE = 1, 2, 4, 5
VALIDATION = {"is_valid_binary_gcode"}
# The conversions read every block; so do pyquarn's verify, info and thumbnails, whose
# validation decodes every block.
CONVERSIONS = {
    "from_binary_to_ascii",
    "from_binary_to_ascii unverified",
    "pyquarn.convert",
    "pyquarn.verify",
    "pyquarn.info",
    "pyquarn.thumbnails",
}

GCODE_TEXT = "".join(f"G1 X{i % 200}.{i % 7} Y{i * 7 % 200} E{i / 997:.5f}\n" for i in range(3000))
DEFLATED = zlib.compress(GCODE_TEXT.encode())
PNG_PARAMS = u16(0) + u16(16) + u16(16)
# What a fresh process reading a hostile file runs, each printing its report as JSON.
PROGRAMS = Path(__file__).parent / "programs"


def hostile(index: int, block: Block) -> GCodeFile:
    crafted = valid_file(thumbnails=[thumbnail()])
    crafted.blocks[index] = block
    return crafted


def stored(block_type: int, data: bytes, **sizes) -> Block:
    params = PNG_PARAMS if block_type == BlockType.Thumbnail else u16(0)
    return Block(block_type, data, params=params, **sizes)


def must_refuse(reader: str, block_type: int, validation_sees_it: bool) -> bool:
    """Whether a reader meets the lie: the conversions read every block; validation sees
    only sizes that run past the file."""
    assert reader in CONVERSIONS | VALIDATION, reader
    return reader in CONVERSIONS or validation_sees_it


# name: (index of the block replaced, the block, whether validation sees it)
CASES = {
    "G-code stored as 4 GiB": (
        GCODE,
        stored(BlockType.GCode, b"G28\n", uncompressed_size=FOUR_GIB),
        True,
    ),
    "G-code compressed, stored as 4 GiB": (
        GCODE,
        stored(
            BlockType.GCode,
            DEFLATED[:300],
            compression=Compression.Deflate,
            uncompressed_size=len(GCODE_TEXT),
            compressed_size=FOUR_GIB,
        ),
        True,
    ),
    "printer metadata stored as 4 GiB": (
        PRINTER,
        stored(BlockType.PrinterMetadata, ini({"printer_model": "T1"}), uncompressed_size=FOUR_GIB),
        True,
    ),
    "thumbnail stored as 4 GiB": (
        THUMBNAIL,
        stored(BlockType.Thumbnail, b"\x89PNG\r\n\x1a\n", uncompressed_size=FOUR_GIB),
        True,
    ),
    "thumbnail compressed, both sizes 4 GiB": (
        THUMBNAIL,
        stored(
            BlockType.Thumbnail,
            b"\x89PNG\r\n\x1a\n",
            compression=Compression.Deflate,
            uncompressed_size=FOUR_GIB,
            compressed_size=FOUR_GIB,
        ),
        True,
    ),
    **{
        f"G-code {name} decompressing to 4 GiB": (
            GCODE,
            stored(BlockType.GCode, data, compression=compression, uncompressed_size=FOUR_GIB),
            False,
        )
        for name, compression, data in (
            ("Deflate cut short", Compression.Deflate, DEFLATED[:300]),
            ("heatshrink 11", Compression.Heatshrink_11_4, bytes(range(256)) * 2),
            ("heatshrink 12", Compression.Heatshrink_12_4, bytes(range(256)) * 2),
        )
    },
    "slicer metadata Deflate cut short, to 4 GiB": (
        SLICER,
        stored(
            BlockType.SlicerMetadata,
            DEFLATED[:300],
            compression=Compression.Deflate,
            uncompressed_size=FOUR_GIB,
        ),
        False,
    ),
}


def run_program(name: str, *args: Path) -> dict:
    # The tests run with PYTHONSAFEPATH (see conftest.py), so the programs' own folder, where
    # their shared module lives, is named explicitly.
    done = subprocess.run(
        [sys.executable, str(PROGRAMS / name), *map(str, args)],
        capture_output=True,
        text=True,
        timeout=120,
        check=True,
        env={**os.environ, "PYTHONPATH": str(PROGRAMS)},
    )
    return json.loads(done.stdout)


def read_in_fresh_process(path: Path, scratch: Path) -> dict:
    return run_program("read_with_every_reader.py", path, scratch)


@pytest.mark.parametrize("index, block, validation_sees_it", CASES.values(), ids=CASES)
def test_every_reader_refuses_and_stays_small(tmp_path, index, block, validation_sees_it):
    path = hostile(index, block).write(tmp_path / "hostile.qgcode")
    assert path.stat().st_size < 1000
    report = read_in_fresh_process(path, tmp_path / "out.gcode")
    for reader, answer in report["answers"].items():
        refuses = must_refuse(reader, block.type, validation_sees_it)
        assert (answer != "Success") == refuses, (reader, answer)
    # The walk reads every block before the hostile one, and stops there.
    assert report["blocks_read"] == index
    assert report["peak_mb"] < PEAK_LIMIT_MB, report
    assert report["address_space_peak_mb"] < ADDRESS_SPACE_LIMIT_MB, report
    assert not (tmp_path / "out.gcode").exists()


def test_a_complete_deflate_stream_is_what_it_holds_whatever_its_header_declares(tmp_path):
    # The declared size of Deflate data is a hint: a whole stream reads as the text it holds,
    # and the hint, capped by the stored size, reserves nothing near 4 GiB.
    block = stored(
        BlockType.GCode, DEFLATED, compression=Compression.Deflate, uncompressed_size=FOUR_GIB
    )
    path = hostile(GCODE, block).write(tmp_path / "hint.qgcode")
    report = read_in_fresh_process(path, tmp_path / "out.gcode")
    assert set(report["answers"].values()) == {"Success"}
    assert report["blocks_read"] == len(hostile(GCODE, block).blocks)
    assert report["peak_mb"] < PEAK_LIMIT_MB, report
    assert report["address_space_peak_mb"] < ADDRESS_SPACE_LIMIT_MB, report
    assert GCODE_TEXT in (tmp_path / "out.gcode").read_text()


STORED_AS_4_GIB = {name: case for name, case in CASES.items() if "stored as 4 GiB" in name}


@pytest.mark.parametrize(
    "index, block, validation_sees_it", STORED_AS_4_GIB.values(), ids=STORED_AS_4_GIB
)
def test_a_pipe_cannot_make_a_reader_allocate_the_declared_size(
    tmp_path, index, block, validation_sees_it
):
    path = hostile(index, block).write(tmp_path / "hostile.qgcode")
    report = run_program("walk_through_pipe.py", path)
    assert report["blocks_read"] == index
    assert report["result"] == "ReadError"
    assert report["own_peak_mb"] < PEAK_LIMIT_MB, report
