"""What the tests of the format core share: probes of the stream position, a damaged file."""

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
