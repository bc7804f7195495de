"""Walking, searching, skipping and verifying blocks, and where each leaves the stream."""

import _quarn
import pytest
from core_helpers import LONG_GCODE, at_first_block, damaged_gcode_file, header_here
from gcode_files import (
    Block,
    BlockType,
    Checksum,
    Compression,
    GCodeFile,
    gcode,
    printer_metadata,
    thumbnail,
    valid_file,
)

R = _quarn.EResult


def walk_types(f, file_header):
    """Types of all blocks from the current position, read plainly and skipped by content."""
    types, block = [], _quarn.BlockHeader()
    while (result := _quarn.read_next_block_header(f, file_header, block)) == R.Success:
        types.append(block.type)
        assert _quarn.skip_block_content(f, file_header, block) == R.Success
    assert result == R.ReadError  # the end of the file
    return types


@pytest.mark.parametrize("checksum_type", [Checksum.CRC32, Checksum.none])
def test_walk_every_block(opened, checksum_type):
    layout = valid_file(thumbnails=[thumbnail()], checksum_type=checksum_type)
    f = opened(layout)
    assert walk_types(f, at_first_block(f)) == [b.type for b in layout.blocks]


def test_plain_read_does_not_verify(opened):
    layout = valid_file()
    layout.blocks[1].damage_checksum = True
    f = opened(layout)
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    assert _quarn.skip_block(f, file_header, header_here(f)) == R.Success
    assert _quarn.read_next_block_header(f, file_header, block) == R.Success
    assert _quarn.verify_block_checksum(f, file_header, block) == R.InvalidChecksum
    assert header_here(f).type == layout.blocks[2].type  # stands at the next block


def test_search_lands_on_block_parameters(opened):
    layout = valid_file(gcode_blocks=["G28\n", "G1 X1\n"])
    layout.blocks[1].damage_checksum = True  # passed over, never verified
    f = opened(layout)
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    assert _quarn.read_next_block_header(f, file_header, block, _quarn.EBlockType.GCode) == (
        R.Success
    )
    assert (block.type, block.uncompressed_size) == (BlockType.GCode, 4)
    assert _quarn.skip_block_content(f, file_header, block) == R.Success
    second = header_here(f)
    assert (second.type, second.uncompressed_size) == (BlockType.GCode, 6)


def test_search_not_found_restores_position(opened):
    f = opened(valid_file())
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    result = _quarn.read_next_block_header(
        f, file_header, block, block_type=_quarn.EBlockType.Thumbnail
    )
    assert result == R.BlockNotFound
    assert header_here(f).type == BlockType.FileMetadata


def test_search_starts_at_current_position(opened):
    f = opened(valid_file())
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    assert _quarn.skip_block(f, file_header, header_here(f)) == R.Success
    result = _quarn.read_next_block_header(f, file_header, block, _quarn.EBlockType.FileMetadata)
    assert result == R.BlockNotFound
    assert header_here(f).type == BlockType.PrinterMetadata


def test_search_stops_at_invalid_block_type(opened):
    f = opened(GCodeFile([printer_metadata(), Block(type=6), gcode("G28\n")]))
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    result = _quarn.read_next_block_header(f, file_header, block, _quarn.EBlockType.GCode)
    assert result == R.InvalidBlockType


def test_search_refuses_an_int_block_type(opened):
    f = opened(valid_file())
    with pytest.raises(TypeError):
        _quarn.read_next_block_header(f, at_first_block(f), _quarn.BlockHeader(), 1)


def test_verify_every_block(opened):
    layout = valid_file(gcode_blocks=[LONG_GCODE], thumbnails=[thumbnail()])
    layout.blocks.append(gcode(LONG_GCODE, compression=Compression.Deflate))
    f = opened(layout)
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    for _ in layout.blocks:
        assert _quarn.read_next_block_header(f, file_header, block) == R.Success
        assert _quarn.verify_block_checksum(f, file_header, block) == R.Success
    assert _quarn.read_next_block_header(f, file_header, block) == R.ReadError


@pytest.mark.parametrize(
    ("where", "expected"),
    [
        ("params", R.InvalidChecksum),
        ("data", R.InvalidChecksum),
        ("checksum", R.InvalidChecksum),
        ("past end", R.ReadError),
    ],
)
def test_verify_damaged_block(opened, where, expected):
    f = opened(damaged_gcode_file(where))
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    found = _quarn.read_next_block_header(f, file_header, block, _quarn.EBlockType.GCode)
    assert found == R.Success
    assert _quarn.verify_block_checksum(f, file_header, block) == expected


def test_verify_without_checksums_does_not_move(opened):
    layout = valid_file(checksum_type=Checksum.none)
    layout.blocks[0].damage_checksum = True  # nothing is stored to be damaged
    f = opened(layout)
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    assert _quarn.read_next_block_header(f, file_header, block) == R.Success
    assert _quarn.verify_block_checksum(f, file_header, block) == R.Success
    assert _quarn.skip_block_content(f, file_header, block) == R.Success  # still at parameters
    assert header_here(f).type == BlockType.PrinterMetadata


def test_skip_block_uses_the_recorded_position(opened):
    f = opened(valid_file())
    file_header = at_first_block(f)
    first = header_here(f)
    _quarn.rewind(f)
    assert _quarn.skip_block(f, file_header, first) == R.Success
    assert header_here(f).type == BlockType.PrinterMetadata
