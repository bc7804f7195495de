"""What pyquarn reads from: a path, a bytes-like object or a readable binary file object
(seekable or not), turned into a native stream with the format its content shows."""

from __future__ import annotations

import os
import shutil
import tempfile
from dataclasses import dataclass
from typing import IO, TYPE_CHECKING, Any, TypeAlias

if TYPE_CHECKING:  # Python 3.13 has it in typing
    from typing_extensions import TypeIs

from . import _native
from .handles import MAGIC, starts_with_magic

# An ASCII source that cannot seek is read twice (its print metadata and configuration
# stand at its end): it is kept in memory up to this size, beyond it in a temporary file.
SPOOL_IN_MEMORY = 16 << 20

Source: TypeAlias = str | os.PathLike[str] | bytes | bytearray | memoryview | IO[bytes]


@dataclass
class OpenedSource:
    stream: _native.Stream
    name: object | None  # the path, for messages; None when unknown
    binary: bool
    seekable: bool
    spool: IO[bytes] | None = None
    start: int = 0  # where a seekable file object stood when the stream was made over it

    def close(self) -> None:
        try:
            self.stream.close()
        finally:
            if self.spool is not None:
                self.spool.close()


def is_path(source: object) -> TypeIs[str | os.PathLike[str]]:
    return isinstance(source, (str, os.PathLike))


def is_file_object(source: object) -> bool:
    return not isinstance(source, (str, bytes, bytearray, memoryview)) and hasattr(source, "read")


def open_source(source: Any, *, seekable: bool = False) -> OpenedSource:
    """A read stream on `source`; with `seekable`, a file object that cannot seek is spooled
    whatever its format. Raises TypeError for anything pyquarn cannot read."""
    if is_path(source):
        return _open_path(source)
    if is_file_object(source):
        return _open_file_object(source, seekable)
    try:
        view = memoryview(source)
    except TypeError:
        raise TypeError(
            "source must be a path, a bytes-like object or a binary file object, "
            f"not {type(source).__name__}"
        ) from None
    with view:
        head = view.cast("B")[: len(MAGIC)].tobytes() if view.nbytes else b""
    return OpenedSource(_native.Stream.from_buffer(source), None, head == MAGIC, True)


def _open_path(source: str | os.PathLike[str]) -> OpenedSource:
    name = os.fspath(source)
    binary = starts_with_magic(name)
    stream = _native.Stream.from_path(os.fsencode(name), "rb")
    return OpenedSource(stream, source, binary, True)


def _open_file_object(file: IO[bytes], spool_binary: bool) -> OpenedSource:
    readable = getattr(file, "readable", None)
    if callable(readable) and not readable():
        raise ValueError("the file object is not open for reading")
    name = getattr(file, "name", None)
    name = name if isinstance(name, str) else None
    if _seekable(file):
        start = file.tell()
        head = read_exactly(file, len(MAGIC))
        file.seek(start)
        stream = _native.Stream.from_file_object(file, writing=False, seekable=True)
        return OpenedSource(stream, name, head == MAGIC, True, start=start)
    head = read_exactly(file, len(MAGIC))
    if head == MAGIC and not spool_binary:
        stream = _native.Stream.from_file_object(file, writing=False, seekable=False, prefix=head)
        return OpenedSource(stream, name, True, False)
    spool = tempfile.SpooledTemporaryFile(max_size=SPOOL_IN_MEMORY)
    try:
        spool.write(head)
        shutil.copyfileobj(_Checked(file), spool)
        spool.seek(0)
        stream = _native.Stream.from_file_object(spool, writing=False, seekable=True)
    except BaseException:
        spool.close()
        raise
    return OpenedSource(stream, name, head == MAGIC, True, spool)


def _seekable(file: IO[bytes]) -> bool:
    try:
        return bool(file.seekable())
    except (AttributeError, OSError, ValueError):
        return False


def read_exactly(file: IO[bytes], size: int) -> bytes:
    """Up to `size` bytes, fewer only at the end: a file object may return short counts."""
    data = b""
    while len(data) < size:
        piece = _checked_read(file, size - len(data))
        if not piece:
            break
        data += piece
    return data


def _checked_read(file: IO[bytes], size: int) -> bytes:
    piece = file.read(size)
    if piece is None:
        raise ValueError("read() returned None: the file is non-blocking")
    if isinstance(piece, str):
        raise TypeError("read() returned str: open the file in binary mode")
    piece = bytes(piece)
    if len(piece) > size:
        raise ValueError("read() returned more bytes than asked for")
    return piece


class _Checked:
    """A file object's read, held to the rules of _checked_read (for copyfileobj)."""

    def __init__(self, file: IO[bytes]) -> None:
        self._file = file

    def read(self, size: int = -1) -> bytes:
        return _checked_read(self._file, size if size >= 0 else 1 << 16)
