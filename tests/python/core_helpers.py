"""What the tests of the format core share: probes of the stream position, a damaged file,
and a call of every binding that takes a file."""

import _quarn
from gcode_files import valid_file

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


# Every binding of the format core that takes a file, as a call on the file alone.
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
