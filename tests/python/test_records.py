"""The three records from Python: defaults, read-only fields, their bytes read and written."""

import struct

import _quarn
import pytest
from core_helpers import at_first_block, header_here
from gcode_files import Compression, GCodeFile, gcode, thumbnail, valid_file

R = _quarn.EResult


def test_record_defaults():
    header = _quarn.FileHeader()
    assert (header.magic, header.version, header.checksum_type) == (0x45444347, 1, 0)
    assert struct.pack("<I", header.magic) == b"GCDE"
    block = _quarn.BlockHeader()
    assert (block.type, block.compression, block.uncompressed_size, block.compressed_size) == (
        0,
        0,
        0,
        0,
    )
    assert block.get_size() == 8
    params = _quarn.ThumbnailParams()
    assert (params.format, params.width, params.height) == (0, 0, 0)
    for cls in (_quarn.FileHeader, _quarn.BlockHeader, _quarn.ThumbnailParams):
        assert cls.__doc__ is None


@pytest.mark.parametrize(
    ("cls", "field"),
    [
        (_quarn.FileHeader, "magic"),
        (_quarn.FileHeader, "version"),
        (_quarn.FileHeader, "checksum_type"),
        (_quarn.BlockHeader, "type"),
        (_quarn.BlockHeader, "compression"),
        (_quarn.BlockHeader, "uncompressed_size"),
        (_quarn.BlockHeader, "compressed_size"),
        (_quarn.ThumbnailParams, "format"),
        (_quarn.ThumbnailParams, "width"),
        (_quarn.ThumbnailParams, "height"),
    ],
)
def test_record_fields_are_read_only_ints(cls, field):
    record = cls()
    before = getattr(record, field)
    assert type(before) is int
    with pytest.raises(AttributeError):
        setattr(record, field, 1)
    assert getattr(record, field) == before


def test_file_header_write_and_read(opened, tmp_path):
    out = opened(b"", "wb")
    assert _quarn.FileHeader().write(out) == R.Success
    _quarn.close(out)
    assert (tmp_path / "file0.qgcode").read_bytes() == b"GCDE\x01\x00\x00\x00\x00\x00"

    header = _quarn.FileHeader()
    assert header.read(opened(valid_file(version=7))) == R.Success
    assert (header.version, header.checksum_type) == (7, 1)  # read() compares no version


def test_block_header_read_then_write_reproduces_bytes(opened, tmp_path):
    compressed = gcode("G28\n" * 50, compression=Compression.Deflate)
    source = opened(GCodeFile([compressed]))
    at_first_block(source)
    block = header_here(source)
    assert block.compression == Compression.Deflate
    assert (block.uncompressed_size, block.compressed_size) == (200, len(compressed.data))
    assert block.get_size() == 12

    out = opened(b"", "wb")
    assert block.write(out) == R.Success
    _quarn.close(out)
    assert (tmp_path / "file1.qgcode").read_bytes() == compressed.header()


def test_thumbnail_params_read_and_write(opened, tmp_path):
    f = opened(valid_file(thumbnails=[thumbnail(b"qoif", 320, 240, format=2)]))
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    found = _quarn.read_next_block_header(f, file_header, block, _quarn.EBlockType.Thumbnail)
    assert found == R.Success
    params = _quarn.ThumbnailParams()
    assert params.read(f) == R.Success
    assert (params.format, params.width, params.height) == (2, 320, 240)

    out = opened(b"", "wb")
    assert params.write(out) == R.Success
    _quarn.close(out)
    assert (tmp_path / "file1.qgcode").read_bytes() == struct.pack("<HHH", 2, 320, 240)


def test_record_methods_take_the_file_by_position(opened):
    f = opened(valid_file())
    with pytest.raises(TypeError):
        _quarn.FileHeader().read(file=f)
    with pytest.raises(TypeError):
        _quarn.BlockHeader().get_size(0)
