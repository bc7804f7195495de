"""Reading G-code files of both formats from paths, bytes and file objects.

A binary file is read block by block and only forward: opening reads the headers, the
metadata and the thumbnails (and the first G-code block, for the file's encoding), and
`lines()` decodes one G-code block at a time. An ASCII file is seen as its conversion to
binary would see it.
"""

from __future__ import annotations

from collections.abc import Iterable, Iterator
from itertools import chain
from typing import Literal

import _quarn
from _quarn import CompressionType, EBlockType, EResult, EThumbnailFormat

from . import _native
from .closing import Closable
from .errors import QuarnError
from .inspection import BlockInfo, ThumbnailInfo
from .metadata import KINDS, Metadata, Pair
from .sources import OpenedSource, Source, open_source
from .summary import DEFAULT_FORMATS, Summary, choose_thumbnail, summarize
from .thumbnail import Thumbnail

_KIND_OF_BLOCK = {
    EBlockType.FileMetadata: "file",
    EBlockType.PrinterMetadata: "printer",
    EBlockType.PrintMetadata: "print",
    EBlockType.SlicerMetadata: "slicer",
}

# The order of the blocks before the G-code: each state lists the block types that may come
# next and the state each leads to.
_ORDER: dict[str, dict[EBlockType, str]] = {
    "start": {EBlockType.FileMetadata: "file", EBlockType.PrinterMetadata: "printer"},
    "file": {EBlockType.PrinterMetadata: "printer"},
    "printer": {EBlockType.Thumbnail: "printer", EBlockType.PrintMetadata: "print"},
    "print": {EBlockType.SlicerMetadata: "slicer"},
    "slicer": {EBlockType.GCode: "gcode"},
}


class Reader(Closable):
    """An open G-code file; see `pyquarn.open`. Close it (or use `with`) when done."""

    format: Literal["binary", "ascii"]
    metadata: Metadata
    thumbnails: list[Thumbnail]

    def __init__(self, source: Source) -> None:
        self._source: OpenedSource | None = open_source(source)
        self.name = self._source.name
        try:
            if self._source.binary:
                self._impl: _BinaryFile | _AsciiFile = _BinaryFile(self._source)
            else:
                self._impl = _AsciiFile(self._source)
        except BaseException:
            self._source.close()
            self._source = None
            raise
        self.format = "binary" if self._source.binary else "ascii"
        self.metadata = self._impl.metadata
        self.thumbnails = self._impl.thumbnails

    @property
    def config(self) -> _quarn.BinarizerConfig:
        """A configuration that writes files with this file's settings (for an ASCII file,
        the one its conversion uses: `get_config()`)."""
        return self._impl.config()

    @property
    def version(self) -> int | None:
        """The format version of a binary file, None for an ASCII one."""
        return self._impl.version

    @property
    def blocks(self) -> list[BlockInfo]:
        """Every block of a binary file ([] for an ASCII file). A source that cannot seek is
        read to its end for it, after which `lines()` has nothing left to give."""
        self._check_open()
        return self._impl.blocks()

    @property
    def summary(self) -> Summary:
        """The facts a print host shows (producer, printer, filament, times, temperatures),
        read from the metadata; each is None when the file does not carry it."""
        return summarize(self.metadata)

    def thumbnail(
        self,
        width: int | None = None,
        height: int | None = None,
        formats: Iterable[str | EThumbnailFormat] | str | EThumbnailFormat = DEFAULT_FORMATS,
    ) -> Thumbnail | None:
        """The best thumbnail for a display of width x height: the smallest at least that
        large, else the largest, of the formats given (earlier ones win ties); None when
        there is none."""
        return choose_thumbnail(self.thumbnails, width, height, formats)

    def lines(self) -> Iterator[str]:
        """The decoded G-code lines, without line ends; bytes that are not UTF-8 come as
        lone surrogates ("surrogateescape"), so that writing the lines gives the same bytes.
        A source that cannot seek gives them once."""
        self._check_open()
        return self._impl.lines(self._check_open)

    def verify(self) -> None:
        """Reads every block, checking its checksum and decoding it; raises QuarnError for
        the first fault."""
        self._check_open()
        self._impl.verify()

    def close(self) -> None:
        if self._source is not None:
            source, self._source = self._source, None
            source.close()

    @property
    def closed(self) -> bool:
        return self._source is None

    def __repr__(self) -> str:
        state = "closed" if self.closed else self.format
        return f"<pyquarn.Reader {self.name!r} {state}>"


class _BinaryFile:
    def __init__(self, source: OpenedSource) -> None:
        self._name = source.name
        self._seekable = source.seekable
        self._native = _native.BinaryReader(source.stream, source.name)
        self._lines_state = "fresh"  # for a source that cannot seek: "running", "done"
        self._compression: dict[str, CompressionType] = {}
        self._gcode_compression = CompressionType(0)
        self._gcode_encoding = _quarn.GCodeEncodingType(0)
        self._gcode_start: int | None = None
        self._block_metadata: dict[int, tuple[Pair, ...]] = {}
        self._block_thumbnail: dict[int, ThumbnailInfo] = {}
        self._first_gcode: int | None = None  # index of the first G-code block, loaded
        self._blocks: list[BlockInfo] | None = None
        pairs: dict[str, tuple[Pair, ...]] = {}
        self.thumbnails: list[Thumbnail] = []

        state = "start"
        index = 0
        while (header := self._native.next_header()) is not None:
            block_type = EBlockType(header[0])
            offset = header[4]
            following = _ORDER[state].get(block_type)
            if following is None:
                raise QuarnError(EResult.InvalidSequenceOfBlocks, self._name, index, offset)
            state = following
            parameter = self._native.load()
            if block_type in _KIND_OF_BLOCK:
                kind = _KIND_OF_BLOCK[block_type]
                pairs[kind] = tuple(self._native.metadata())
                self._compression[kind] = CompressionType(header[1])
                self._block_metadata[index] = pairs[kind]
            elif block_type == EBlockType.Thumbnail:
                fmt, width, height, data = self._native.thumbnail()
                image = Thumbnail(EThumbnailFormat(fmt), width, height, data)
                self.thumbnails.append(image)
                self._block_thumbnail[index] = ThumbnailInfo(image.format, width, height, len(data))
            else:
                self._first_gcode = index
                self._gcode_start = offset
                self._gcode_compression = CompressionType(header[1])
                self._gcode_encoding = _quarn.GCodeEncodingType(parameter)
                break
            index += 1
        if state not in ("slicer", "gcode"):
            missing = {"start": "printer", "file": "printer", "printer": "print"}.get(state)
            result = {
                "printer": EResult.MissingPrinterMetadata,
                "print": EResult.MissingPrintMetadata,
            }.get(missing or "", EResult.MissingSlicerMetadat)
            raise QuarnError(result, self._name)
        self.metadata = Metadata(pairs)

    def config(self) -> _quarn.BinarizerConfig:
        config = _quarn.BinarizerConfig()
        compression = config.compression
        for kind in KINDS:
            none = CompressionType(0)
            setattr(compression, f"{kind}_metadata", self._compression.get(kind, none))
        compression.gcode = self._gcode_compression
        config.gcode_encoding = self._gcode_encoding
        config.checksum = _quarn.ChecksumType(self._native.checksum_type)
        return config

    @property
    def version(self) -> int:
        return int(self._native.version)

    @property
    def seekable(self) -> bool:
        return self._seekable

    def _rewind_to_gcode(self) -> bool:
        """Puts a seekable stream at the first G-code block; False when there is none."""
        if self._gcode_start is None:
            return False
        assert self._first_gcode is not None
        self._native.seek(self._gcode_start, self._first_gcode)
        return True

    def _take_once(self) -> None:
        if self._lines_state != "fresh":
            raise ValueError(
                "the source cannot seek: its G-code was already read (lines() gives it once)"
            )
        self._lines_state = "running"

    def lines(self, check_open: object) -> Iterator[str]:
        # The lines of a block come as one list, built natively; chain hands them out with
        # no Python frame to resume per line.
        if self._seekable:
            return chain.from_iterable(self._seekable_blocks())
        self._take_once()
        return chain.from_iterable(self._streamed_blocks())

    def _seekable_blocks(self) -> Iterator[list[str]]:
        if self._gcode_start is None or self._first_gcode is None:
            return
        # Each iteration keeps its own place, so that others (and blocks, verify) may read
        # the stream in between.
        position = (self._gcode_start, self._first_gcode)
        while True:
            self._native.seek(*position)
            block = self._native.next_gcode_lines()
            if block is None:
                return
            position = self._native.position()
            yield from _batches(*block)

    def _streamed_blocks(self) -> Iterator[list[str]]:
        if self._first_gcode is not None:
            block: _native.BlockLines | None = self._native.gcode_lines()
            while block is not None:
                yield from _batches(*block)
                block = self._native.next_gcode_lines()
        self._lines_state = "done"

    def verify(self) -> None:
        if self._seekable:
            if self._rewind_to_gcode():
                self._native.verify_gcode()
            return
        if self._lines_state == "done":
            return  # every block was verified as it was read
        self._take_once()
        if self._first_gcode is not None:
            self._native.gcode_lines()
            self._native.verify_gcode()
        self._lines_state = "done"

    def copy_gcode(self, target: _native.Stream) -> None:
        """Copies the G-code blocks unchanged to the stream, checking their checksums."""
        if self._seekable:
            if self._rewind_to_gcode():
                self._native.copy_gcode(target, False)
            return
        self._take_once()
        self._native.copy_gcode(target, self._first_gcode is not None)
        self._lines_state = "done"

    def blocks(self) -> list[BlockInfo]:
        if self._blocks is None:
            if self._seekable:
                if self._rewind_to_gcode():
                    while self._native.next_header() is not None:
                        self._native.skip()
            else:
                self.verify()
            self._blocks = [self._describe(i, h) for i, h in enumerate(self._native.headers())]
        return list(self._blocks)

    def _describe(self, index: int, header: list[int]) -> BlockInfo:
        block_type, compression, uncompressed, stored, offset, size = header
        return BlockInfo(
            type=EBlockType(block_type),
            compression=CompressionType(compression),
            uncompressed_size=uncompressed,
            compressed_size=stored,
            offset=offset,
            size=size,
            metadata=self._block_metadata.get(index),
            thumbnail=self._block_thumbnail.get(index),
        )


def _batches(first: list[str], rest: bytes | None) -> Iterator[list[str]]:
    """The lines of a G-code block a batch at a time, the rest of a large block made into
    strings as it is reached."""
    yield first
    start = 0
    while rest is not None and start < len(rest):
        lines, start = _native.lines_from(rest, start)
        yield lines


class _AsciiFile:
    def __init__(self, source: OpenedSource) -> None:
        self._native = _native.AsciiReader(source.stream, source.name)
        self.metadata = Metadata({kind: self._native.metadata(kind) for kind in KINDS})
        self.thumbnails = [
            Thumbnail(EThumbnailFormat(fmt), width, height, data)
            for fmt, width, height, data in self._native.thumbnails()
        ]

    version = None

    def config(self) -> _quarn.BinarizerConfig:
        return _quarn.get_config()

    _iteration = 0

    def lines(self, check_open: object) -> Iterator[str]:
        return chain.from_iterable(self._blocks_of_lines())

    def _blocks_of_lines(self) -> Iterator[list[str]]:
        # The text is read again from its start for each iteration, and only the latest may
        # go on.
        self._iteration += 1
        mine = self._iteration
        self._native.rewind()
        while (lines := self._native.next_lines()) is not None:
            yield lines
            if self._iteration != mine:
                raise RuntimeError("lines() was iterated again meanwhile: this iteration ended")

    def verify(self) -> None:
        """Opening already read the whole text and checked what conversion checks."""

    def blocks(self) -> list[BlockInfo]:
        return []


def open_reader(source: Source) -> Reader:
    return Reader(source)
