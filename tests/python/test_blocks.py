"""The block classes from Python: construction, reading, writing, properties."""

import _quarn as q
import pytest
from gcode_files import GCodeFile, gcode, metadata, printer_metadata, thumbnail

R = q.EResult
METADATA_CLASSES = [
    q.FileMetadataBlock,
    q.PrintMetadataBlock,
    q.PrinterMetadataBlock,
    q.SlicerMetadataBlock,
]


def headers_at_first_block(f):
    file_header, block_header = q.FileHeader(), q.BlockHeader()
    assert q.read_header(f, file_header) == R.Success
    assert q.read_next_block_header(f, file_header, block_header) == R.Success
    return file_header, block_header


def test_empty_blocks():
    block = q.FileMetadataBlock()
    assert block.encoding_type == 0
    assert block.raw_data == []
    assert q.GCodeBlock().raw_data == ""
    assert q.GCodeBlock().encoding_type == 0
    thumb = q.ThumbnailBlock()
    assert thumb.data() == b""
    assert (thumb.params.format, thumb.params.width, thumb.params.height) == (0, 0, 0)


def test_inheritance():
    for cls in METADATA_CLASSES:
        assert isinstance(cls(), q.BaseMetadataBlock)
    assert not isinstance(q.GCodeBlock(), q.BaseMetadataBlock)
    assert not isinstance(q.ThumbnailBlock(), q.BaseMetadataBlock)


@pytest.mark.parametrize(
    "cls, attribute",
    [
        (q.FileMetadataBlock, "raw_data"),
        (q.GCodeBlock, "encoding_type"),
        (q.ThumbnailBlock, "params"),
    ],
)
def test_properties_are_read_only(cls, attribute):
    with pytest.raises(AttributeError):
        setattr(cls(), attribute, getattr(cls(), attribute))


def test_docstrings():
    assert q.BaseMetadataBlock.read_data.__doc__.endswith("read block data in encoded format\n")
    for cls in METADATA_CLASSES + [q.GCodeBlock]:
        assert cls.write.__doc__.endswith("write block header and data\n")
        assert cls.read_data.__doc__.endswith("read block data\n")
    assert q.ThumbnailBlock.write.__doc__.endswith("Write block header and data\n")
    assert q.ThumbnailBlock.read_data.__doc__.endswith("Read block data\n")
    for cls in [q.BaseMetadataBlock, q.ThumbnailBlock, q.GCodeBlock] + METADATA_CLASSES:
        assert cls.__doc__ is None


def test_read_printer_metadata_in_file_order(opened):
    pairs = [("printer_model", "T1"), ("a", "x=y"), ("a", "")]
    f = opened(GCodeFile([printer_metadata(pairs)]))
    file_header, block_header = headers_at_first_block(f)
    block = q.PrinterMetadataBlock()
    assert block.read_data(f, file_header, block_header) == R.Success
    first = block.raw_data
    assert first == pairs
    first.append(("extra", "1"))
    assert block.raw_data == pairs  # a new list on every access


def test_subclass_read_data_hides_the_base_form(opened):
    f = opened(GCodeFile([printer_metadata()]))
    _, block_header = headers_at_first_block(f)
    with pytest.raises(TypeError):
        q.FileMetadataBlock().read_data(f, block_header)
    base = q.BaseMetadataBlock()
    assert base.read_data(f, block_header) == R.Success
    assert base.raw_data == [("printer_model", "T1")]
    # The base form is still reachable explicitly.
    q.rewind(f)
    headers_at_first_block(f)
    other = q.FileMetadataBlock()
    assert q.BaseMetadataBlock.read_data(other, f, block_header) == R.Success


def test_invalid_utf8_raises_on_access(opened):
    f = opened(GCodeFile([metadata(3, [("k", "ok")]), gcode(b"G1 \xff\xfe\n")]))
    file_header, block_header = headers_at_first_block(f)
    block = q.PrinterMetadataBlock()
    assert block.read_data(f, file_header, block_header) == R.Success
    f2 = opened(GCodeFile([gcode(b"G1 \xc3\n")]))
    file_header, block_header = headers_at_first_block(f2)
    text = q.GCodeBlock()
    assert text.read_data(f2, file_header, block_header) == R.Success
    with pytest.raises(UnicodeDecodeError):
        _ = text.raw_data


def test_thumbnail_params_follow_the_block(opened):
    f = opened(GCodeFile([thumbnail(b"qoif....", 32, 24, format=2)]))
    block = q.ThumbnailBlock()
    params = block.params
    file_header, block_header = headers_at_first_block(f)
    assert block.read_data(f, file_header, block_header) == R.Success
    assert (params.format, params.width, params.height) == (2, 32, 24)
    assert block.data() == b"qoif...."
    del block  # params keeps the block alive
    assert params.width == 32


def test_empty_thumbnail_is_refused_and_writes_nothing(tmp_path):
    path = tmp_path / "t.qgcode"
    f = q.open(str(path), "wb")
    assert q.ThumbnailBlock().write(f, q.ChecksumType.CRC32) == R.InvalidThumbnailWidth
    q.close(f)
    assert path.read_bytes() == b""


def test_blocks_write_back_what_they_read(opened, tmp_path):
    source = GCodeFile([printer_metadata([("k", "v")]), gcode("G28\n"), thumbnail(b"png", 4, 4)])
    f = opened(source)
    file_header = q.FileHeader()
    assert q.read_header(f, file_header) == R.Success
    blocks = []
    for cls in [q.PrinterMetadataBlock, q.GCodeBlock, q.ThumbnailBlock]:
        header = q.BlockHeader()
        assert q.read_next_block_header(f, file_header, header) == R.Success
        blocks.append(cls())
        assert blocks[-1].read_data(f, file_header, header) == R.Success

    path = tmp_path / "copy.qgcode"
    out = q.open(str(path), "wb")
    assert q.FileHeader.write(file_header, out) == R.Success
    none, crc = q.CompressionType.none, q.ChecksumType.CRC32
    assert blocks[0].write(out, compression_type=none, checksum_type=crc) == R.Success
    assert blocks[1].write(out, none, crc) == R.Success
    assert blocks[2].write(file=out, checksum_type=crc) == R.Success
    q.close(out)
    assert path.read_bytes() == source.to_bytes()


def test_closed_handles_and_none(opened):
    f = opened(GCodeFile([printer_metadata()]))
    file_header, block_header = headers_at_first_block(f)
    q.close(f)
    with pytest.raises(ValueError, match="I/O operation on closed file"):
        q.GCodeBlock().read_data(f, file_header, block_header)
    with pytest.raises(RuntimeError):
        q.GCodeBlock().read_data(None, file_header, block_header)
    with pytest.raises(RuntimeError):
        q.ThumbnailBlock().write(opened(b""), None)
    with pytest.raises(TypeError):
        q.GCodeBlock().write(opened(b""), 0, 0)
