"""Reading binary G-code files by path: their layout, metadata and thumbnails, and checks.

Built on the navigation functions and block classes of `_quarn`. Every file is validated
(block order and checksums) before it is read, so a damaged file raises QuarnError rather
than giving a partial picture.
"""

from __future__ import annotations

from collections.abc import Iterator
from contextlib import ExitStack, closing
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

import _quarn
from _quarn import EBlockType, EResult, EThumbnailFormat

from .errors import QuarnError, check
from .handles import StrPath, as_path, open_handle
from .thumbnail import Thumbnail

# The one on-disk size _quarn has no function for (blocks have BlockHeader.get_size(),
# block_parameters_size, checksum_size and block_content_size); Python code takes it from here.
FILE_HEADER_SIZE = 10

Pairs = tuple[tuple[str, str], ...]

MetadataBlock = (
    _quarn.FileMetadataBlock
    | _quarn.PrinterMetadataBlock
    | _quarn.PrintMetadataBlock
    | _quarn.SlicerMetadataBlock
)

_METADATA_BLOCKS: dict[EBlockType, type[MetadataBlock]] = {
    EBlockType.FileMetadata: _quarn.FileMetadataBlock,
    EBlockType.PrinterMetadata: _quarn.PrinterMetadataBlock,
    EBlockType.PrintMetadata: _quarn.PrintMetadataBlock,
    EBlockType.SlicerMetadata: _quarn.SlicerMetadataBlock,
}


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
            "blocks": [block(info) for info in self.blocks],
        }


def verify(path: StrPath) -> EResult:
    """Validates the file: magic, header, block order and every checksum."""
    with open_handle(path, "rb") as handle:
        return _quarn.is_valid_binary_gcode(handle, True)


def info(path: StrPath) -> FileInfo:
    """The header, every block and the metadata and thumbnail parameters of a binary file."""
    with closing(_BlockReader(as_path(path))) as reader:
        blocks = [reader.describe(offset, header) for offset, header in reader.blocks()]
        return FileInfo(
            path=reader.path,
            size=reader.size,
            version=reader.file_header.version,
            checksum_type=_quarn.ChecksumType(reader.file_header.checksum_type),
            blocks=blocks,
        )


def thumbnails(path: StrPath) -> Iterator[Thumbnail]:
    """Every thumbnail of a binary file, in file order, with its image bytes.

    The file is validated at the call; the images are read as the iterator advances."""
    return _read_thumbnails(_BlockReader(as_path(path)))


def _read_thumbnails(reader: _BlockReader) -> Iterator[Thumbnail]:
    with closing(reader):
        for _, header in reader.blocks():
            if header.type == EBlockType.Thumbnail.value:
                yield reader.read_thumbnail(header)
            elif header.type == EBlockType.GCode.value:
                return  # thumbnails always come before the G-code
            else:
                reader.skip(header)


class _BlockReader:
    """A binary file, opened and validated on construction, walked block by block.

    `blocks()` yields each block header with its offset; the consumer then reads the block
    (read_metadata, read_thumbnail) or skips it, which leaves the stream at the next one."""

    def __init__(self, path: Path) -> None:
        self.path = path
        self.file_header = _quarn.FileHeader()
        with ExitStack() as stack:
            self.handle = stack.enter_context(open_handle(path, "rb"))
            self.size = path.stat().st_size
            check(_quarn.is_valid_binary_gcode(self.handle, True), path)
            check(_quarn.read_header(self.handle, self.file_header), path)
            self._stack = stack.pop_all()

    def close(self) -> None:
        self._stack.close()

    def blocks(self) -> Iterator[tuple[int, _quarn.BlockHeader]]:
        offset = FILE_HEADER_SIZE
        while offset < self.size:
            header = _quarn.BlockHeader()
            check(_quarn.read_next_block_header(self.handle, self.file_header, header), self.path)
            yield offset, header
            offset += header.get_size() + _quarn.block_content_size(self.file_header, header)

    def describe(self, offset: int, header: _quarn.BlockHeader) -> BlockInfo:
        block_type = EBlockType(header.type)
        compression = _quarn.CompressionType(header.compression)
        stored = header.compressed_size if header.compression else header.uncompressed_size
        metadata: Pairs | None = None
        thumbnail: ThumbnailInfo | None = None
        if block_type in _METADATA_BLOCKS:
            metadata = self.read_metadata(header)
        elif block_type == EBlockType.Thumbnail:
            image = self.read_thumbnail(header)
            thumbnail = ThumbnailInfo(image.format, image.width, image.height, len(image.data))
        else:
            self.skip(header)
        return BlockInfo(
            type=block_type,
            compression=compression,
            uncompressed_size=header.uncompressed_size,
            compressed_size=stored,
            offset=offset,
            size=header.get_size() + _quarn.block_content_size(self.file_header, header),
            metadata=metadata,
            thumbnail=thumbnail,
        )

    def read_metadata(self, header: _quarn.BlockHeader) -> Pairs:
        block = _METADATA_BLOCKS[EBlockType(header.type)]()
        check(block.read_data(self.handle, self.file_header, header), self.path)
        try:
            return tuple(block.raw_data)
        except UnicodeDecodeError:
            # The library stores bytes; Python can only show UTF-8 text.
            raise QuarnError(EResult.MetadataDecodingError, self.path) from None

    def read_thumbnail(self, header: _quarn.BlockHeader) -> Thumbnail:
        block = _quarn.ThumbnailBlock()
        check(block.read_data(self.handle, self.file_header, header), self.path)
        params = block.params
        return Thumbnail(EThumbnailFormat(params.format), params.width, params.height, block.data())

    def skip(self, header: _quarn.BlockHeader) -> None:
        check(_quarn.skip_block(self.handle, self.file_header, header), self.path)


def _name(member: Any) -> str:
    return str(member.name)
