"""The format core from Python: records, header reading, navigation, validation, sizes."""

import struct
import subprocess
import sys
from pathlib import Path

import _quarn
import pytest
from gcode_files import (
    Block,
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
LONG_GCODE = "".join(f"G1 X{i} Y{i}\n" for i in range(500))  # several checksum buffers long


def header_here(f):
    """The block header at the current position: proves the position is at a block header."""
    block = _quarn.BlockHeader()
    assert block.read(f) == R.Success
    return block


def at_first_block(f):
    """A file header read with the stream left at the first block header."""
    header = _quarn.FileHeader()
    assert _quarn.read_header(f, header) == R.Success
    return header


def flip_byte(data: bytes, offset: int) -> bytes:
    return data[:offset] + bytes([data[offset] ^ 0x01]) + data[offset + 1 :]


# Records


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


# Texts and versions


def test_translate_result():
    assert _quarn.translate_result(R.Success) == "Success"
    assert _quarn.translate_result(result=R.InvalidGCodeEncodingType) == (
        "Invalid gcode encoding type"
    )
    assert _quarn.translate_result(R.MissingSlicerMetadat) == "Missing slicer metadata"
    assert _quarn.translate_result(R(30)) == ""
    assert _quarn.translate_result(R(65535)) == ""


def test_versions():
    assert _quarn.quarn_version() == 1
    assert _quarn.version() == "0.2.1"
    with pytest.raises(TypeError):
        _quarn.version(1)


def docstring(*lines):
    return "\n" + "".join(" " * 12 + line + "\n" for line in lines) + " " * 8


DOCSTRINGS = {
    "is_valid_binary_gcode": docstring(
        "Returns EResult.Success if the given file is a valid binary gcode.",
        "If check_contents is set to true, the order of the blocks is checked.",
        "Does not modify the file position.",
        "Caller is responsible for providing buffer for checksum calculation, if needed.",
    ),
    "verify_block_checksum": docstring(
        "Calculates block checksum and verify it against checksum stored in file.",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "skip_block_content": docstring(
        "Skips the content (parameters + data + checksum) of the block with the given block "
        "header.",
        "File position must be at the start of the block parameters.",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "skip_block": docstring(
        "Skips the block with the given block header.",
        "File position must be set by a previous call to BlockHeader::write() or "
        "BlockHeader::read().",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "block_parameters_size": docstring(
        "Returns the size of the parameters of the given block type, in bytes."
    ),
    "block_payload_size": docstring(
        "Returns the size of the payload (parameters + data) of the block with the given "
        "header, in bytes."
    ),
    "checksum_size": docstring("Returns the size of the checksum of the given type, in bytes."),
    "block_content_size": docstring(
        "Returns the size of the content (parameters + data + checksum) of the block with the "
        "given header, in bytes."
    ),
    "quarn_version": docstring(
        "Highest version of the binary format supported by this library instance"
    ),
    "version": docstring("Version of the library."),
    "translate_result": "Returns a string description of the given result",
}


@pytest.mark.parametrize("name", DOCSTRINGS)
def test_function_docstrings(name):
    signature, text = getattr(_quarn, name).__doc__.split("\n\n", 1)
    assert signature.startswith(name + "(")
    assert text == DOCSTRINGS[name] + "\n"


def test_overload_docstrings():
    read_header = _quarn.read_header.__doc__
    first, second = read_header.split("\n2. ")
    assert first.endswith(
        docstring(
            "Reads the file header.",
            "If max_version is not null, version is checked against the passed value.",
            "If return == EResult.Success:",
            "- header will contain the file header.",
            "- file position will be set at the start of the 1st block header.",
        )
        + "\n"
    )
    assert second.startswith("read_header(file: _quarn.FILEWrapper, header: _quarn.FileHeader, ")
    assert second.rstrip().endswith("-> _quarn.EResult")  # overload 2 has no docstring

    walk, search = _quarn.read_next_block_header.__doc__.split("\n2. ")
    assert "- block_header will contain the header of the block.\n" in walk
    assert "Caller is responsible for providing buffer" in walk
    assert search.endswith(
        docstring(
            "Searches and reads next block header with the given type from the current file "
            "position.",
            "File position must be at the start of a block header.",
            "If return == EResult.Success:",
            "- block_header will contain the header of the block with the required type.",
            "- file position will be set at the start of the block parameters data.",
            "otherwise:",
            "- file position will keep the current value.",
        )
        + "\n"
    )


# read_header


@pytest.mark.parametrize(
    ("args", "kwargs", "expected"),
    [
        ((), {}, R.Success),  # overload 1: no version limit
        ((1,), {}, R.InvalidVersionNumber),
        ((2,), {}, R.Success),
        ((), {"max_version": 1}, R.InvalidVersionNumber),
        ((), {"max_version": 2**32 - 1}, R.Success),
    ],
)
def test_read_header_overloads(opened, args, kwargs, expected):
    f = opened(valid_file(version=2))
    header = _quarn.FileHeader()
    assert _quarn.read_header(f, header, *args, **kwargs) == expected
    if expected == R.Success:
        assert (header.version, header.checksum_type) == (2, 1)
        assert header_here(f).type == BlockType.FileMetadata  # stands at byte 10


@pytest.mark.parametrize("max_version", [-1, 2**32, 1.0, "1", None])
def test_read_header_refuses_max_version(opened, max_version):
    with pytest.raises(TypeError):
        _quarn.read_header(opened(valid_file()), _quarn.FileHeader(), max_version)


def test_read_header_rewinds_first(opened):
    f = opened(valid_file(checksum_type=Checksum.none))
    header = at_first_block(f)
    header_here(f)
    assert _quarn.read_header(file=f, header=header, max_version=1) == R.Success
    assert header.checksum_type == 0
    assert header_here(f).type == BlockType.FileMetadata


@pytest.mark.parametrize(
    ("content", "expected"),
    [
        (b"GCDX\x01\x00\x00\x00\x00\x00", R.InvalidMagicNumber),
        (b"GCDE\x01\x00\x00\x00\x00", R.ReadError),  # 9 bytes
        (b"GCDE\x01\x00\x00\x00\x02\x00", R.InvalidChecksumType),
        (b"", R.ReadError),
    ],
)
def test_read_header_failures(opened, content, expected):
    assert _quarn.read_header(opened(content), _quarn.FileHeader()) == expected


# Walking, searching, skipping, verifying


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


def damaged_gcode_file(where: str) -> bytes:
    """A valid file whose last (G-code) block is damaged in one place; "past end" makes its
    header claim 1000 bytes more data than the file holds."""
    layout = valid_file(gcode_blocks=[LONG_GCODE])
    last = layout.blocks[-1]
    if where == "past end":
        last.uncompressed_size = len(last.data) + 1000
        return layout.to_bytes()
    data = layout.to_bytes()
    start = layout.offsets()[-1]
    offsets = {
        "params": start + last.header_size,
        "data": start + last.header_size + 2 + 1500,
        "checksum": len(data) - 1,
    }
    return flip_byte(data, offsets[where])


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


# Validation


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


# Sizes


@pytest.mark.parametrize(
    ("block_type", "size"),
    [*((_quarn.EBlockType(t), 2) for t in range(5)), (_quarn.EBlockType.Thumbnail, 6)]
    + [(_quarn.EBlockType(9), 0)],
)
def test_block_parameters_size(block_type, size):
    assert _quarn.block_parameters_size(type=block_type) == size


def test_checksum_size():
    assert _quarn.checksum_size(_quarn.ChecksumType.CRC32) == 4
    assert _quarn.checksum_size(_quarn.ChecksumType.none) == 0
    assert _quarn.checksum_size(_quarn.ChecksumType(7)) == 0


@pytest.mark.parametrize("checksum_type", [Checksum.CRC32, Checksum.none])
def test_block_sizes_match_the_bytes_on_disk(opened, checksum_type):
    layout = valid_file(checksum_type=checksum_type, thumbnails=[thumbnail()])
    layout.blocks.append(gcode(LONG_GCODE, compression=Compression.Deflate))
    f = opened(layout)
    file_header, block = at_first_block(f), _quarn.BlockHeader()
    for expected in layout.blocks:
        assert _quarn.read_next_block_header(f, file_header, block) == R.Success
        payload = _quarn.block_payload_size(block_header=block)
        assert payload == len(expected.params) + len(expected.data)
        content = _quarn.block_content_size(file_header=file_header, block_header=block)
        assert content == payload + (4 if checksum_type else 0)
        assert block.get_size() + content == len(expected.to_bytes(checksum_type))
        assert _quarn.skip_block_content(f, file_header, block) == R.Success


# Argument handling shared by every binding that takes a file


FILE_CALLS = {
    "FileHeader.read": lambda f: _quarn.FileHeader().read(f),
    "FileHeader.write": lambda f: _quarn.FileHeader().write(f),
    "BlockHeader.read": lambda f: _quarn.BlockHeader().read(f),
    "BlockHeader.write": lambda f: _quarn.BlockHeader().write(f),
    "ThumbnailParams.read": lambda f: _quarn.ThumbnailParams().read(f),
    "ThumbnailParams.write": lambda f: _quarn.ThumbnailParams().write(f),
    "is_valid_binary_gcode": lambda f: _quarn.is_valid_binary_gcode(f),
    "is_valid_binary_gcode deep": lambda f: _quarn.is_valid_binary_gcode(f, True),
    "read_header": lambda f: _quarn.read_header(f, _quarn.FileHeader()),
    "read_header max": lambda f: _quarn.read_header(f, _quarn.FileHeader(), 1),
    "read_next_block_header": lambda f: _quarn.read_next_block_header(
        f, _quarn.FileHeader(), _quarn.BlockHeader()
    ),
    "read_next_block_header search": lambda f: _quarn.read_next_block_header(
        f, _quarn.FileHeader(), _quarn.BlockHeader(), _quarn.EBlockType.GCode
    ),
    "verify_block_checksum": lambda f: _quarn.verify_block_checksum(
        f, _quarn.FileHeader(), _quarn.BlockHeader()
    ),
    "skip_block_content": lambda f: _quarn.skip_block_content(
        f, _quarn.FileHeader(), _quarn.BlockHeader()
    ),
    "skip_block": lambda f: _quarn.skip_block(f, _quarn.FileHeader(), _quarn.BlockHeader()),
}


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


def test_bundled_sample_is_valid_and_reproducible(tmp_path):
    sample = Path(__file__).resolve().parents[2] / "examples" / "sample.qgcode"
    f = _quarn.open(str(sample), "rb")
    assert _quarn.is_valid_binary_gcode(f, True) == R.Success
    _quarn.close(f)
    script = sample.parent / "make_sample.py"
    subprocess.run([sys.executable, str(script), str(tmp_path / "again.qgcode")], check=True)
    assert (tmp_path / "again.qgcode").read_bytes() == sample.read_bytes()
