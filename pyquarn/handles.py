"""Opening files by path for the library, with Python's own exceptions for bad paths.

`_quarn.open` reports a failed open as a RuntimeError with the platform's text, and the C
library happily opens a directory for reading. Checking the path with Python first gives
callers FileNotFoundError, IsADirectoryError or PermissionError instead.
"""

from __future__ import annotations

import errno
import os
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path
from typing import TypeAlias

import _quarn

StrPath: TypeAlias = str | os.PathLike[str]


@contextmanager
def open_handle(path: StrPath, mode: str) -> Iterator[_quarn.FILEWrapper]:
    """A `FILEWrapper` on `path`, closed (and so flushed) when the block ends."""
    name = os.fspath(path)
    if "r" in mode:
        if os.path.isdir(name):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), name)
        with open(name, "rb"):  # raises FileNotFoundError, PermissionError, ...
            pass
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:
        raise ValueError("the library takes only file names that are valid UTF-8") from None
    try:
        handle = _quarn.open(name, mode)
    except RuntimeError as error:
        raise OSError(f"{name}: {error}") from None
    try:
        yield handle
    finally:
        _quarn.close(handle)


# The first bytes of every binary G-code file.
MAGIC = b"GCDE"


def starts_with_magic(path: StrPath) -> bool:
    """True when the file begins with the binary G-code magic; Python's own errors for a
    path that is missing, unreadable or a folder."""
    name = os.fspath(path)
    if os.path.isdir(name):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), name)
    with open(name, "rb") as file:
        return file.read(len(MAGIC)) == MAGIC


def as_path(path: StrPath) -> Path:
    return path if isinstance(path, Path) else Path(path)
