"""Whole-file conversion by path, in the direction the content calls for, written atomically."""

from __future__ import annotations

import enum
import errno
import os
import secrets
import shutil
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import IO

import _quarn

from . import _native
from .handles import StrPath, as_path, starts_with_magic
from .object_conversion import convert_objects
from .sources import is_file_object, is_path

ASCII_SUFFIX = ".gcode"
BINARY_SUFFIX = ".qgcode"


if sys.version_info >= (3, 11):
    from enum import StrEnum
else:

    class StrEnum(str, enum.Enum):
        """What enum.StrEnum is from Python 3.11 on: members are their values as text."""

        def __str__(self) -> str:
            return str(self.value)


class Direction(StrEnum):
    ASCII_TO_BINARY = "ascii to binary"
    BINARY_TO_ASCII = "binary to ascii"


@dataclass(frozen=True)
class ConversionResult:
    """What `convert` did: the two files, the direction, their sizes and the time taken.
    A file object given as source or destination stands for itself."""

    source: Path | IO[bytes]
    output: Path | IO[bytes]
    direction: Direction
    source_size: int
    output_size: int
    seconds: float

    @property
    def ratio(self) -> float:
        """Output size over source size (0 for an empty source)."""
        return self.output_size / self.source_size if self.source_size else 0.0


def detect_direction(path: StrPath) -> Direction:
    """Binary to ASCII when the file starts with the binary magic, else ASCII to binary."""
    binary = starts_with_magic(path)
    return Direction.BINARY_TO_ASCII if binary else Direction.ASCII_TO_BINARY


def default_output(source: StrPath, direction: Direction) -> Path:
    """The output name for `source`: `.gcode` and `.qgcode` swap (case-insensitively);
    any other name gets the output suffix appended (`part.txt` -> `part.txt.qgcode`)."""
    path = as_path(source)
    if direction is Direction.ASCII_TO_BINARY:
        own, other = ASCII_SUFFIX, BINARY_SUFFIX
    else:
        own, other = BINARY_SUFFIX, ASCII_SUFFIX
    if path.suffix.lower() == own:
        return path.with_suffix(other)
    return path.with_name(path.name + other)


def convert(
    src: StrPath | IO[bytes],
    dst: StrPath | IO[bytes] | None = None,
    *,
    config: _quarn.BinarizerConfig | None = None,
    verify: bool = True,
) -> ConversionResult:
    """Converts `src` to binary G-code or back to ASCII, as its content calls for.

    `dst` defaults to `default_output(src, direction)`. `config` (ASCII to binary only;
    None means `get_config()`) chooses compression, encoding and checksum. `verify` checks
    every block checksum: of the source when it is binary, of the written file when it is
    ASCII (which also catches an output truncated when the file was closed).

    The output is written to a temporary file in the destination's folder and renamed over
    `dst` only on success, so a failed conversion leaves no partial file and keeps an
    existing `dst` as it was. A `dst` that is a device or a pipe (`/dev/null`,
    `/dev/stdout`) is written into instead, once the conversion has succeeded. Raises
    QuarnError for a library failure, FileNotFoundError or another OSError for unusable
    paths (and for a device that refuses the bytes), ValueError when `dst` is `src`.

    `src` and `dst` may also be binary file objects (a source that cannot seek is spooled,
    and `dst` is then required); a destination object receives the output only once the
    conversion has succeeded.
    """
    if is_file_object(src) or (dst is not None and is_file_object(dst)):
        result: ConversionResult = convert_objects(src, dst, config=config, verify=verify)
        return result
    assert is_path(src) and (dst is None or is_path(dst))
    source = as_path(src)
    direction = detect_direction(source)
    source_size = source.stat().st_size
    output = default_output(source, direction) if dst is None else as_path(dst)
    if _same_file(source, output):
        raise ValueError("the output is the input file itself")
    if output.is_dir():
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), str(output))
    folder = output.parent
    if not folder.is_dir():
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), str(folder))

    # A rename over a device or a pipe would put a plain file in its place (in /dev, as
    # root): such an output gets the converted bytes copied into it.
    special = output.exists() and not output.is_file()
    started = time.perf_counter()
    temporary = _create_temporary(Path(tempfile.gettempdir()) / output.name if special else output)
    try:
        _convert_into(source, temporary, output, direction, config, verify)
        output_size = temporary.stat().st_size
        if special:
            _copy_into(temporary, output)
        else:
            _sync(temporary)
            os.replace(temporary, output)
    finally:
        temporary.unlink(missing_ok=True)
    return ConversionResult(
        source=source,
        output=output,
        direction=direction,
        source_size=source_size,
        output_size=output_size,
        seconds=time.perf_counter() - started,
    )


def _convert_into(
    source: Path,
    temporary: Path,
    output: Path,
    direction: Direction,
    config: _quarn.BinarizerConfig | None,
    verify: bool,
) -> None:
    # Native streams: the conversion runs with the interpreter lock released, so that
    # threads convert files in parallel.
    infile = _native.Stream.from_path(os.fsencode(source), "rb")
    try:
        outfile = _native.Stream.from_path(os.fsencode(temporary), "wb")
        try:
            if direction is Direction.ASCII_TO_BINARY:
                chosen = _quarn.get_config() if config is None else config
                _native.ascii_to_binary(infile, outfile, chosen, source)
            else:
                _native.binary_to_ascii(infile, outfile, verify, source)
        finally:
            outfile.close()
    finally:
        infile.close()
    if verify and direction is Direction.ASCII_TO_BINARY:
        # Closing flushes the last buffered bytes and a failure there is not reported, so
        # the written file is read back before it may replace anything.
        written = _native.Stream.from_path(os.fsencode(temporary), "rb")
        try:
            _native.is_valid_binary(written, output)
        finally:
            written.close()


def _sync(path: Path) -> None:
    """Puts the file's data on disk, so that the rename never exposes an empty file after
    a crash."""
    descriptor = os.open(path, os.O_RDONLY)
    try:
        os.fsync(descriptor)
    finally:
        os.close(descriptor)


def _copy_into(temporary: Path, output: Path) -> None:
    with open(temporary, "rb") as converted, open(output, "wb") as device:
        shutil.copyfileobj(converted, device)


def _same_file(a: Path, b: Path) -> bool:
    try:
        return os.path.samefile(a, b)
    except OSError:
        return a.resolve() == b.resolve()


def _create_temporary(output: Path) -> Path:
    """A new empty file beside `output`, created with the usual permissions (umask)."""
    while True:
        candidate = output.with_name(f".{output.name}.{secrets.token_hex(4)}.tmp")
        try:
            os.close(os.open(candidate, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
        except FileExistsError:
            continue
        return candidate
