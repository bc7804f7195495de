"""Writing binary G-code files from Python: metadata and thumbnails up front, then G-code."""

from __future__ import annotations

import os
from collections.abc import Iterable, Mapping
from pathlib import Path
from typing import IO, Any, TypeAlias

import _quarn

from . import _native
from .closing import Closable
from .conversion import _create_temporary, _sync
from .metadata import KINDS, pairs_of
from .sources import is_file_object, is_path
from .thumbnail import Thumbnail

Target: TypeAlias = str | os.PathLike[str] | IO[bytes]
ThumbnailLike: TypeAlias = Thumbnail | tuple[Any, int, int, bytes]


class Writer(Closable):
    """A binary file being written; see `pyquarn.open` with mode "w".

    A path is written to a temporary file beside it and renamed over it only when the
    writer is closed without an error, so a failure leaves no file and keeps an existing
    one as it was. A file object receives the bytes as they are written."""

    def __init__(
        self,
        target: Target,
        *,
        config: _quarn.BinarizerConfig | None = None,
        metadata: Mapping[str, Any] | None = None,
        thumbnails: Iterable[ThumbnailLike] | None = None,
    ) -> None:
        kinds = normalize_metadata(metadata)
        images = [_fields(Thumbnail.coerce(image)) for image in thumbnails or ()]
        chosen = _quarn.get_config() if config is None else config
        if not isinstance(chosen, _quarn.BinarizerConfig):
            raise TypeError(f"config must be a BinarizerConfig, not {type(chosen).__name__}")
        self._path: Path | None = None
        self._temporary: Path | None = None
        if is_path(target):
            path = Path(target)
            if path.is_dir():
                raise IsADirectoryError(21, os.strerror(21), str(path))
            if path.exists() and not path.is_file():
                # A rename would put a plain file in place of a device or a pipe.
                stream = _native.Stream.from_path(os.fsencode(path), "wb")
            else:
                self._path = path
                self._temporary = _create_temporary(path)
                stream = _native.Stream.from_path(os.fsencode(self._temporary), "wb")
            name: object = target
        elif is_file_object(target) or hasattr(target, "write"):
            writable = getattr(target, "writable", None)
            if callable(writable) and not writable():
                raise ValueError("the file object is not open for writing")
            stream = _native.Stream.from_file_object(target, writing=True, seekable=False)
            name = getattr(target, "name", None)
        else:
            kind = type(target).__name__
            raise TypeError(f"target must be a path or a writable binary file object, not {kind}")
        self._stream: _native.Stream | None = stream
        self.name = name
        try:
            self._native = _native.Writer(stream, chosen, kinds, images, name)
        except BaseException:
            self._abandon()
            raise

    def write_lines(self, lines: Iterable[str]) -> None:
        """Writes each line (str, without its line end) followed by a line feed."""
        self._check_open()
        if isinstance(lines, str):
            raise TypeError("write_lines() takes an iterable of lines: use write() for text")
        self._native.write_lines(lines)

    def write(self, text: str) -> None:
        """Writes G-code text; a last line without a line feed waits for the next call (or
        for close, where it is written as a line)."""
        self._check_open()
        self._native.write(text)

    def close(self) -> None:
        """Writes the last block and completes the file; raises when that fails (then a path
        target is left as it was)."""
        if self._stream is None:
            return
        try:
            self._native.finish()
            stream, self._stream = self._stream, None
            stream.close()
            if self._temporary is not None and self._path is not None:
                _sync(self._temporary)
                os.replace(self._temporary, self._path)
                self._temporary = None
        except BaseException:
            self._abandon()
            raise

    def _abandon(self) -> None:
        """Stops writing: the stream is closed and a temporary file removed."""
        stream, self._stream = self._stream, None
        try:
            if stream is not None:
                try:
                    stream.close()
                except Exception:  # noqa: BLE001 - the first failure is the one reported
                    pass
        finally:
            if self._temporary is not None:
                self._temporary.unlink(missing_ok=True)
                self._temporary = None

    @property
    def stream(self) -> _native.Stream:
        """The native stream written to (for copying blocks into it)."""
        self._check_open()
        assert self._stream is not None
        return self._stream

    @property
    def closed(self) -> bool:
        return self._stream is None

    def _close_after_error(self) -> None:
        self._abandon()

    def __del__(self) -> None:
        if getattr(self, "_stream", None) is not None:
            self._abandon()


def normalize_metadata(
    metadata: Mapping[str, Any] | None,
) -> dict[str, tuple[tuple[str, str], ...]]:
    """Kind -> pairs, from the reader's metadata or a mapping of kinds to mappings or to
    sequences of pairs; kinds left out are empty."""
    given = {} if metadata is None else dict(metadata.items())
    unknown = sorted(set(given) - set(KINDS))
    if unknown:
        raise ValueError(f"unknown metadata kind {unknown[0]!r}: use one of {', '.join(KINDS)}")
    return {kind: pairs_of(given.get(kind, ())) for kind in KINDS}


def _fields(image: Thumbnail) -> tuple[int, int, int, bytes]:
    return (int(image.format.value), image.width, image.height, image.data)
