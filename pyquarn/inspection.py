"""Binary G-code files by path (or already open, as standard input is): their layout,
metadata and thumbnails, and checks.

Built on the reader. Every file is validated (block order, checksums, decoding) before it
is described, so a damaged file raises QuarnError rather than giving a partial picture.
"""

from __future__ import annotations

from collections.abc import Iterator
from dataclasses import dataclass, field
from pathlib import Path
from typing import TYPE_CHECKING, Any

import _quarn
from _quarn import EBlockType, EResult, EThumbnailFormat

from .errors import QuarnError
from .handles import MAGIC, StrPath, as_path, starts_with_magic
from .sources import Source, is_path
from .thumbnail import Thumbnail

if TYPE_CHECKING:
    from .reader import Reader

# The one on-disk size _quarn has no function for (blocks have BlockHeader.get_size(),
# block_parameters_size, checksum_size and block_content_size); Python code takes it from here.
FILE_HEADER_SIZE = 10

Pairs = tuple[tuple[str, str], ...]


@dataclass(frozen=True)
class ThumbnailInfo:
    format: EThumbnailFormat
    width: int
    height: int
    size: int  # bytes of image data


@dataclass(frozen=True)
class BlockInfo:
    """One block: where it starts, its header fields, its size on disk (header, parameters,
    data, checksum), and its content for metadata and thumbnail blocks.

    `compressed_size` is the size of the stored data, equal to `uncompressed_size` when the
    block is not compressed."""

    type: EBlockType
    compression: _quarn.CompressionType
    uncompressed_size: int
    compressed_size: int
    offset: int
    size: int
    metadata: Pairs | None = None
    thumbnail: ThumbnailInfo | None = None


@dataclass(frozen=True)
class FileInfo:
    path: Path
    size: int
    version: int
    checksum_type: _quarn.ChecksumType
    blocks: list[BlockInfo] = field(default_factory=list)
    gcode_encoding: _quarn.GCodeEncodingType | None = None  # None: no G-code block

    def metadata(self, block_type: EBlockType) -> Pairs:
        """The pairs of the first metadata block of that type, () when there is none."""
        for block in self.blocks:
            if block.type == block_type and block.metadata is not None:
                return block.metadata
        return ()

    @property
    def thumbnails(self) -> list[ThumbnailInfo]:
        return [block.thumbnail for block in self.blocks if block.thumbnail is not None]

    def to_dict(self) -> dict[str, Any]:
        """Plain data for JSON: enumeration members become their names."""

        def block(info: BlockInfo) -> dict[str, Any]:
            out: dict[str, Any] = {
                "type": _name(info.type),
                "compression": _name(info.compression),
                "uncompressed_size": info.uncompressed_size,
                "compressed_size": info.compressed_size,
                "offset": info.offset,
                "size": info.size,
            }
            if info.metadata is not None:
                out["metadata"] = [list(pair) for pair in info.metadata]
            if info.thumbnail is not None:
                thumb = info.thumbnail
                out["thumbnail"] = {
                    "format": _name(thumb.format),
                    "width": thumb.width,
                    "height": thumb.height,
                    "size": thumb.size,
                }
            return out

        return {
            "path": str(self.path),
            "size": self.size,
            "version": self.version,
            "checksum_type": _name(self.checksum_type),
            "gcode_encoding": None if self.gcode_encoding is None else _name(self.gcode_encoding),
            "blocks": [block(info) for info in self.blocks],
        }


def verify(path: StrPath) -> None:
    """Validates the binary file: magic, header, block order, every checksum, and that
    every block decodes. Raises QuarnError for the first fault; returns None."""
    with _open_binary(path) as reader:
        reader.verify()


def info(path: StrPath) -> FileInfo:
    """The header, every block and the metadata and thumbnail parameters of a binary file,
    which is validated first."""
    with _open_binary(path) as reader:
        return file_info(reader, as_path(path), as_path(path).stat().st_size)


def file_info(reader: Reader, path: Path, size: int | None = None) -> FileInfo:
    """What `info` gives, for a binary file already open (standard input, say), validated
    first. Without `size` the file is taken to end with its last block: a stream has no
    size to ask for."""
    reader.verify()
    blocks = reader.blocks
    if size is None:
        size = max((block.offset + block.size for block in blocks), default=FILE_HEADER_SIZE)
    has_gcode = any(block.type == EBlockType.GCode for block in blocks)
    return FileInfo(
        path=path,
        size=size,
        version=reader.version or 0,
        checksum_type=reader.config.checksum,
        blocks=blocks,
        gcode_encoding=reader.config.gcode_encoding if has_gcode else None,
    )


def thumbnails(path: StrPath) -> Iterator[Thumbnail]:
    """Every thumbnail of a binary file, in file order, with its image bytes. The file is
    validated at the call."""
    with _open_binary(path) as reader:
        reader.verify()
        return iter(reader.thumbnails)


def _open_binary(path: StrPath) -> Reader:
    if not is_path(path):
        raise TypeError(f"expected a path, not {type(path).__name__}")
    return open_binary(path, path)


def open_binary(source: Source, name: object) -> Reader:
    """A reader on `source`, which must be binary G-code (QuarnError InvalidMagicNumber
    naming `name` otherwise). An ASCII source is refused from its first bytes where they
    can be seen without reading them, rather than parsed to no purpose."""
    from .reader import Reader

    if is_path(source):
        binary = starts_with_magic(source)
    else:
        peek = getattr(source, "peek", None)
        # A short peek (a pipe's first write) that could still be the magic is left to Reader.
        binary = peek is None or MAGIC.startswith(peek(len(MAGIC))[: len(MAGIC)])
    if binary:
        reader = Reader(source)
        if reader.format == "binary":
            return reader
        reader.close()
    raise QuarnError(EResult.InvalidMagicNumber, name)


def _name(member: Any) -> str:
    return str(member.name)
