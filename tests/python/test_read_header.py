"""read_header: its two overloads, the version limit, rewinding, and headers it refuses."""

import _quarn
import pytest
from core_helpers import at_first_block, header_here
from gcode_files import BlockType, Checksum, valid_file

R = _quarn.EResult


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
