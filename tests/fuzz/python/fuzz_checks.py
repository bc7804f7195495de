"""What the Python fuzz targets do with one input: open it with pyquarn, read everything the
reader offers, rewrite what opens and read the result back.

The only exceptions a malformed input may raise are QuarnError, and ValueError where the API
says so (a thumbnail `to_png` cannot convert, a stream's G-code asked for twice). Anything
else escapes to the fuzzer as a finding, and so does a broken expectation (`Finding`).
"""

from __future__ import annotations

import io
import json
from collections.abc import Callable
from dataclasses import dataclass
from typing import IO, Literal, cast

import pyquarn
from pyquarn import EResult, EThumbnailFormat, GCodeEncodingType, QuarnError
from pyquarn.metadata import KINDS, Pair

SourceKind = Literal["bytes", "seekable", "stream"]
SOURCE_KINDS: tuple[SourceKind, ...] = ("bytes", "seekable", "stream")

# The sizes a ShortReads object returns in turn: single bytes, odd counts, page-sized ones.
SHORT_READ_SIZES = (1, 7, 300, 4093)
NEW_PRINTER_MODEL = "fuzz-relabelled"
# The kinds of metadata a writer requires beside the printer's (which a rewrite here always
# gives), with the result it refuses a file without.
REQUIRED = {"print": EResult.MissingPrintMetadata, "slicer": EResult.MissingSlicerMetadat}


class Finding(AssertionError):
    """An expectation the fuzzed code broke."""


def expect(condition: bool, what: str) -> None:
    if not condition:
        raise Finding(what)


class ShortReads:
    """A readable file object that cannot seek and returns fewer bytes than asked for, as a
    pipe or a socket does."""

    def __init__(self, data: bytes) -> None:
        self._data = data
        self._position = 0
        self._turn = 0

    def readable(self) -> bool:
        return True

    def seekable(self) -> bool:
        return False

    def read(self, size: int = -1) -> bytes:
        step = SHORT_READ_SIZES[self._turn % len(SHORT_READ_SIZES)]
        self._turn += 1
        count = step if size < 0 else min(size, step)
        piece = self._data[self._position : self._position + count]
        self._position += len(piece)
        return piece


def source_kind(data: bytes) -> SourceKind:
    """The kind of source an input is read from while fuzzing, chosen by its length (the
    replay gives every seed each kind)."""
    return SOURCE_KINDS[len(data) % len(SOURCE_KINDS)]


def make_source(data: bytes, kind: SourceKind) -> bytes | IO[bytes]:
    if kind == "bytes":
        return data
    if kind == "seekable":
        return io.BytesIO(data)
    # pyquarn needs only read (and readable, seekable) of a file object.
    return cast(IO[bytes], ShortReads(data))


@dataclass
class Observed:
    """What a reader gave for one file; lines, blocks and verdict are None where reading them
    raised QuarnError."""

    format: str
    metadata: dict[str, tuple[Pair, ...]]
    thumbnails: list[pyquarn.Thumbnail]
    lines: list[str] | None
    verified: bool
    blocks: list[pyquarn.BlockInfo] | None


def _quarn_error(action: Callable[[], object]) -> bool:
    """Runs `action`; False when it raised QuarnError."""
    try:
        action()
    except QuarnError:
        return False
    return True


def _check_pairs(pairs: pyquarn.MetadataPairs) -> tuple[Pair, ...]:
    every = list(pairs.items())
    expect(len(every) == len(pairs.items()), "items() has the length of its pairs")
    first = dict(pairs)
    for key, value in every:
        expect(isinstance(key, str) and isinstance(value, str), "metadata pairs are str")
        expect(key in first and key in pairs, f"{key!r} is a key")
    for key, value in first.items():
        expect(pairs[key] == value, f"m[{key!r}] is dict(m)[{key!r}]")
        expect(next(v for k, v in every if k == key) == value, f"m[{key!r}] is the first value")
    expect(len(first) == len({key for key, _ in every}), "dict(m) has one entry per key")
    return tuple(every)


def _check_thumbnail(image: pyquarn.Thumbnail) -> None:
    expect(isinstance(image.data, bytes), "thumbnail data is bytes")
    image.extension, image.mime_type  # noqa: B018 - properties read for their own faults
    try:
        png = image.to_png()
    except ValueError:
        # Documented: JPG, unknown formats and damaged QOI images cannot be converted.
        return
    if image.format == EThumbnailFormat.PNG:
        expect(png == image.data, "a PNG thumbnail is given as it is")
    else:
        converted = pyquarn.Thumbnail.from_image(png)
        expect(converted.format == EThumbnailFormat.PNG, "a converted image reads as PNG")


def observe(reader: pyquarn.Reader, streamed: bool) -> Observed:
    """Reads every part of an open reader, checking what can be checked on the way."""
    expect(reader.format in ("binary", "ascii"), "format is binary or ascii")
    metadata = {kind: _check_pairs(reader.metadata[kind]) for kind in KINDS}
    expect(set(reader.metadata) == set(KINDS), "metadata has every kind")
    for image in reader.thumbnails:
        _check_thumbnail(image)
    reader.thumbnail(), reader.thumbnail(64, 64), reader.thumbnail(formats="QOI")
    reader.config, reader.version  # noqa: B018
    summary = reader.summary
    pyquarn.format_summary(summary)
    json.dumps(summary.to_dict())
    repr(reader)

    lines: list[str] | None = []
    try:
        lines = list(reader.lines())
    except QuarnError:
        lines = None
    if lines is not None:
        expect(all(isinstance(line, str) and "\n" not in line for line in lines), "plain lines")
    if streamed and lines is None:
        # The stream was left inside its G-code: verify and blocks would only say so again.
        return Observed(reader.format, metadata, reader.thumbnails, None, False, None)
    verified = _quarn_error(reader.verify)
    blocks: list[pyquarn.BlockInfo] | None = None
    try:
        blocks = reader.blocks
    except QuarnError:
        pass
    if not streamed and lines is not None:
        expect(list(reader.lines()) == lines, "lines() gives the same lines again")
    if verified:
        expect(lines is not None, "a file that verifies gives its lines")
    if reader.format == "ascii":
        expect(verified and blocks == [], "an ASCII file that opens verifies and has no blocks")
    return Observed(reader.format, metadata, reader.thumbnails, lines, verified, blocks)


def view(observed: Observed | None) -> tuple[object, ...] | None:
    """What a file gives whatever its source: format, metadata, thumbnails and lines."""
    if observed is None:
        return None
    return (observed.format, observed.metadata, observed.thumbnails, observed.lines)


def read(data: bytes, kind: SourceKind) -> Observed | None:
    """The observations of `data` read from a source of `kind`; None when it does not open."""
    try:
        reader = pyquarn.open(make_source(data, kind))
    except QuarnError:
        return None
    with reader:
        return observe(reader, streamed=kind == "stream")


def relabelled(pairs: tuple[Pair, ...]) -> list[Pair]:
    """The printer pairs with a new printer_model value (added when there is none)."""
    changed = [(k, NEW_PRINTER_MODEL if k == "printer_model" else v) for k, v in pairs]
    if all(k != "printer_model" for k, _ in pairs):
        changed.append(("printer_model", NEW_PRINTER_MODEL))
    return changed


def check_rewrite(data: bytes, kind: SourceKind, before: Observed) -> None:
    """Rewrites an open binary file with a relabelled printer and no thumbnails, and reads
    the result back: it opens, carries the new metadata, and keeps the G-code."""
    printer = relabelled(before.metadata["printer"])
    out = io.BytesIO()
    try:
        pyquarn.rewrite(make_source(data, kind), out, metadata={"printer": printer}, thumbnails=[])
    except QuarnError as error:
        # A sound file is rewritten unless the writer lacks a kind it requires: a reader
        # takes an empty printer, print or slicer block, the writer does not.
        refused = [kind for kind, result in REQUIRED.items() if error.result == result]
        expect(
            not before.verified or (bool(refused) and before.metadata[refused[0]] == ()),
            f"a file that verifies is rewritten ({error})",
        )
        return
    if before.verified:
        expect(before.lines is not None, "lines of a verified file")
    after = read(out.getvalue(), "bytes")
    expect(after is not None, "a rewritten file opens")
    assert after is not None
    expect(after.format == "binary", "a rewritten file is binary")
    expect(after.metadata["printer"] == tuple(printer), "the new printer metadata is written")
    for kind_name in ("file", "print", "slicer"):
        expect(after.metadata[kind_name] == before.metadata[kind_name], f"{kind_name} is kept")
    expect(after.thumbnails == [], "the thumbnails are dropped")
    if before.lines is not None:
        expect(after.lines == before.lines, "the rewritten file gives the same lines")
    if before.verified:
        expect(after.verified, "the rewrite of a file that verifies verifies")


def check_rewrite_refused(data: bytes, kind: SourceKind) -> None:
    """An ASCII file is not rewritten: rewrite raises QuarnError and writes nothing."""
    out = io.BytesIO()
    try:
        pyquarn.rewrite(make_source(data, kind), out, metadata={"printer": []})
    except QuarnError:
        expect(out.getvalue() == b"", "a refused rewrite writes nothing")
        return
    raise Finding("an ASCII file was rewritten")


def lossless_config() -> pyquarn.BinarizerConfig:
    """The conversion's configuration without MeatPack, which drops comments and blanks."""
    config = pyquarn.get_config()
    config.gcode_encoding = GCodeEncodingType.none
    return config


def check_written_back(before: Observed, config: pyquarn.BinarizerConfig) -> None:
    """Writes what an ASCII file gave (metadata, thumbnails, lines) as a binary file with a
    lossless `config` and reads it back: the same metadata, thumbnails and lines."""
    assert before.lines is not None
    out = io.BytesIO()
    try:
        with pyquarn.open(
            out, "w", config=config, metadata=before.metadata, thumbnails=before.thumbnails
        ) as writer:
            writer.write_lines(before.lines)
    except QuarnError:
        return  # the metadata the writer requires may be missing
    after = read(out.getvalue(), "bytes")
    expect(after is not None, "a written file opens")
    assert after is not None
    expect(after.metadata == before.metadata, "the written metadata reads back")
    expect(after.thumbnails == before.thumbnails, "the written thumbnails read back")
    expect(after.lines == before.lines and after.verified, "the written lines read back")


def run(data: bytes, kind: SourceKind) -> None:
    """Everything one input goes through, from a source of `kind`."""
    before = read(data, kind)
    if kind != "bytes":
        # A file object gives what the same bytes give.
        expect(view(before) == view(read(data, "bytes")), f"a {kind} source reads as bytes")
    if before is None:
        return
    if before.format == "binary":
        check_rewrite(data, kind, before)
    else:
        check_rewrite_refused(data, kind)
        if before.lines is not None:
            check_written_back(before, lossless_config())
