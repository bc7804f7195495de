"""The size functions of blocks and checksums against the bytes on disk."""

import _quarn
import pytest
from core_helpers import LONG_GCODE, at_first_block
from gcode_files import Checksum, Compression, gcode, thumbnail, valid_file

R = _quarn.EResult


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
