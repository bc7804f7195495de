"""Binary G-code files written byte by byte, independently of the library under test.

Everything is packed with struct and zlib.crc32, so a test can hand the library files it did
not write itself: valid ones, and ones broken in exactly one place (a wrong size, a damaged
checksum, a block out of order, a bad field value).

A block is a `Block`: its header fields, its parameter bytes and its stored data. Sizes
default to the length of the data and can be set to anything; `damage_checksum` stores a
wrong CRC-32. A `GCodeFile` is a file header plus blocks; it renders to bytes and tells where
each block starts. `valid_file()` builds the smallest well-ordered file and takes options for
the optional blocks:

    path = valid_file(gcode_blocks=["G28\\n", "G1 X10\\n"]).write(tmp_path / "a.qgcode")

    bad = valid_file()
    bad.blocks[1].damage_checksum = True          # the printer metadata block
    bad.blocks.insert(0, thumbnail(b"\\x89PNG"))    # a thumbnail before the printer metadata

The block factories (`file_metadata`, `printer_metadata`, `print_metadata`,
`slicer_metadata`, `thumbnail`, `gcode`) fill in what the format says those blocks hold:
INI text for metadata, raw text (encoding none) for G-code, format/width/height for
thumbnails. `Compression.Deflate` stores a real zlib stream; other compression values only
set the header flag and store the data given.
"""

from __future__ import annotations

import struct
import zlib
from collections.abc import Iterable, Iterator, Mapping
from dataclasses import dataclass, field
from enum import IntEnum
from pathlib import Path
from typing import Any

MAGIC = b"GCDE"
FILE_HEADER_SIZE = 10


class BlockType(IntEnum):
    FileMetadata = 0
    GCode = 1
    SlicerMetadata = 2
    PrinterMetadata = 3
    PrintMetadata = 4
    Thumbnail = 5


class Compression(IntEnum):
    none = 0
    Deflate = 1
    Heatshrink_11_4 = 2
    Heatshrink_12_4 = 3


class Checksum(IntEnum):
    none = 0
    CRC32 = 1


class ThumbnailFormat(IntEnum):
    PNG = 0
    JPG = 1
    QOI = 2


def u16(value: int) -> bytes:
    return struct.pack("<H", value)


Pairs = Mapping[str, str] | Iterable[tuple[str, str]]


def ini(pairs: Pairs) -> bytes:
    """The INI text of metadata pairs: key=value and a line feed per pair, in order."""
    items = pairs.items() if isinstance(pairs, Mapping) else pairs
    return b"".join(f"{key}={value}\n".encode() for key, value in items)


@dataclass
class Block:
    """One block as stored: header fields, parameter bytes, stored data.

    `uncompressed_size` and `compressed_size` default to the length of `data`; the compressed
    size is written only when `compression` is not none, as the format says.
    """

    type: int
    data: bytes = b""
    params: bytes = u16(0)
    compression: int = Compression.none
    uncompressed_size: int | None = None
    compressed_size: int | None = None
    damage_checksum: bool = False

    @property
    def header_size(self) -> int:
        return 12 if self.compression else 8

    def header(self) -> bytes:
        uncompressed = len(self.data) if self.uncompressed_size is None else self.uncompressed_size
        header = struct.pack("<HHI", self.type, self.compression, uncompressed)
        if self.compression:
            compressed = len(self.data) if self.compressed_size is None else self.compressed_size
            header += struct.pack("<I", compressed)
        return header

    def crc32(self) -> int:
        """The CRC-32 over header, parameters and data: the checksum a valid file stores."""
        return zlib.crc32(self.data, zlib.crc32(self.params, zlib.crc32(self.header())))

    def to_bytes(self, checksum_type: int = Checksum.CRC32) -> bytes:
        content = self.header() + self.params + self.data
        if checksum_type == Checksum.CRC32:
            crc = self.crc32() ^ (0xFFFFFFFF if self.damage_checksum else 0)
            content += struct.pack("<I", crc)
        return content


def _stored(raw: bytes, compression: int) -> dict[str, Any]:
    """Block fields for data stored with the given compression (real zlib for Deflate)."""
    stored = zlib.compress(raw) if compression == Compression.Deflate else raw
    return {"data": stored, "compression": compression, "uncompressed_size": len(raw)}


def metadata(
    block_type: int, pairs: Pairs, *, compression: int = Compression.none, encoding: int = 0
) -> Block:
    """A metadata block holding the INI text of `pairs`; `encoding` 0 is INI."""
    return Block(block_type, params=u16(encoding), **_stored(ini(pairs), compression))


def file_metadata(pairs: Pairs = (("Producer", "quarn tests"),), **options: int) -> Block:
    return metadata(BlockType.FileMetadata, pairs, **options)


def printer_metadata(pairs: Pairs = (("printer_model", "T1"),), **options: int) -> Block:
    return metadata(BlockType.PrinterMetadata, pairs, **options)


def print_metadata(pairs: Pairs = (("filament used [g]", "1.25"),), **options: int) -> Block:
    return metadata(BlockType.PrintMetadata, pairs, **options)


def slicer_metadata(pairs: Pairs = (("layer_height", "0.2"),), **options: int) -> Block:
    return metadata(BlockType.SlicerMetadata, pairs, **options)


def thumbnail(
    image: bytes = b"\x89PNG\r\n\x1a\n", width: int = 16, height: int = 16, *, format: int = 0
) -> Block:
    """A thumbnail block: the image bytes as they are, never compressed."""
    params = struct.pack("<HHH", format, width, height)
    return Block(BlockType.Thumbnail, data=image, params=params)


def gcode(text: str | bytes, *, compression: int = Compression.none, encoding: int = 0) -> Block:
    """A G-code block; with encoding 0 (none) the text is stored as it is."""
    raw = text.encode() if isinstance(text, str) else text
    return Block(BlockType.GCode, params=u16(encoding), **_stored(raw, compression))


@dataclass
class GCodeFile:
    """A file header and the blocks after it, in the order given (valid or not)."""

    blocks: list[Block] = field(default_factory=list)
    checksum_type: int = Checksum.CRC32
    version: int = 1
    magic: bytes = MAGIC

    def header(self) -> bytes:
        return self.magic + struct.pack("<IH", self.version, self.checksum_type)

    def chunks(self) -> Iterator[bytes]:
        yield self.header()
        for block in self.blocks:
            yield block.to_bytes(self.checksum_type)

    def to_bytes(self) -> bytes:
        return b"".join(self.chunks())

    def offsets(self) -> list[int]:
        """The file offset of every block header, in block order."""
        offsets, position = [], len(self.header())
        for block in self.blocks:
            offsets.append(position)
            position += len(block.to_bytes(self.checksum_type))
        return offsets

    def write(self, path: Path) -> Path:
        """Writes the file block by block (large files never sit in memory whole)."""
        with open(path, "wb") as out:
            for chunk in self.chunks():
                out.write(chunk)
        return path


def valid_file(
    *,
    gcode_blocks: Iterable[str | bytes] = ("G28\n", "G1 X10 Y10\n"),
    thumbnails: Iterable[Block] = (),
    with_file_metadata: bool = True,
    checksum_type: int = Checksum.CRC32,
    version: int = 1,
) -> GCodeFile:
    """The blocks of a well-ordered file: [file metadata], printer metadata, thumbnails,
    print metadata, slicer metadata, then one raw G-code block per text."""
    blocks = [file_metadata()] if with_file_metadata else []
    blocks += [printer_metadata(), *thumbnails, print_metadata(), slicer_metadata()]
    blocks += [gcode(text) for text in gcode_blocks]
    return GCodeFile(blocks, checksum_type=checksum_type, version=version)
