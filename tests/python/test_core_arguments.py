"""Argument handling shared by every binding that takes a file: closed files, None, wrong types."""

import _quarn
import pytest
from core_helpers import FILE_CALLS, at_first_block, header_here
from gcode_files import BlockType, valid_file


@pytest.mark.parametrize("call", FILE_CALLS.values(), ids=FILE_CALLS)
def test_closed_file_raises_value_error(opened, call):
    f = opened(valid_file())
    _quarn.close(f)
    with pytest.raises(ValueError, match="^I/O operation on closed file$"):
        call(f)


@pytest.mark.parametrize("call", FILE_CALLS.values(), ids=FILE_CALLS)
def test_none_for_the_file_raises_runtime_error(call):
    with pytest.raises(RuntimeError, match="^$"):
        call(None)


@pytest.mark.parametrize(
    "call",
    [
        lambda f, h, b: _quarn.read_header(f, None),
        lambda f, h, b: _quarn.read_header(f, None, 1),
        lambda f, h, b: _quarn.read_next_block_header(f, None, b),
        lambda f, h, b: _quarn.read_next_block_header(f, h, None),
        lambda f, h, b: _quarn.read_next_block_header(f, h, b, None),
        lambda f, h, b: _quarn.verify_block_checksum(f, h, None),
        lambda f, h, b: _quarn.skip_block_content(f, None, b),
        lambda f, h, b: _quarn.skip_block(f, h, None),
        lambda f, h, b: _quarn.block_parameters_size(None),
        lambda f, h, b: _quarn.block_payload_size(None),
        lambda f, h, b: _quarn.checksum_size(None),
        lambda f, h, b: _quarn.block_content_size(h, None),
    ],
)
def test_none_for_a_record_raises_runtime_error_and_leaves_the_stream(opened, call):
    f = opened(valid_file())
    file_header = at_first_block(f)
    with pytest.raises(RuntimeError, match="^$"):
        call(f, file_header, _quarn.BlockHeader())
    assert header_here(f).type == BlockType.FileMetadata


@pytest.mark.parametrize(
    "call",
    [
        lambda f, h: _quarn.read_header(h, f),
        lambda f, h: _quarn.read_next_block_header(f, h, h),
        lambda f, h: _quarn.skip_block(f, h, _quarn.ThumbnailParams()),
        lambda f, h: _quarn.block_parameters_size(_quarn.ChecksumType.CRC32),
        lambda f, h: _quarn.checksum_size(1),
        lambda f, h: _quarn.is_valid_binary_gcode(f, "yes"),
    ],
)
def test_wrong_types_raise_type_error(opened, call):
    with pytest.raises(TypeError, match="incompatible function arguments"):
        call(opened(valid_file()), _quarn.FileHeader())
