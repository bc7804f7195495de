"""`convert` with binary file objects for source or destination.

The output is produced in a spooled temporary file and handed over only once the conversion
(and, for a binary output, its validation) has succeeded: a failure writes nothing to the
destination, and a path destination is replaced atomically."""

from __future__ import annotations

import os
import shutil
import tempfile
import time
from pathlib import Path
from typing import IO, Any

import _quarn

from . import _native
from .sources import SPOOL_IN_MEMORY, OpenedSource, is_file_object, is_path, open_source


def convert_objects(
    src: Any, dst: Any, *, config: _quarn.BinarizerConfig | None, verify: bool
) -> Any:
    from .conversion import ConversionResult, Direction, _create_temporary, _sync

    if dst is None:
        raise ValueError("a file object source needs a destination")
    if not (is_path(dst) or is_file_object(dst) or hasattr(dst, "write")):
        raise TypeError(f"dst must be a path or a binary file object, not {type(dst).__name__}")
    started = time.perf_counter()
    source = open_source(src, seekable=True)
    with tempfile.SpooledTemporaryFile(max_size=SPOOL_IN_MEMORY) as spool:
        try:
            source_size = _size(source, src)
            out = _native.Stream.from_file_object(spool, writing=True, seekable=False)
            try:
                if source.binary:
                    direction = Direction.BINARY_TO_ASCII
                    _native.binary_to_ascii(source.stream, out, verify, source.name)
                else:
                    direction = Direction.ASCII_TO_BINARY
                    chosen = _quarn.get_config() if config is None else config
                    _native.ascii_to_binary(source.stream, out, chosen, source.name)
            finally:
                out.close()
        finally:
            source.close()
        output_size = spool.tell()
        if verify and direction is Direction.ASCII_TO_BINARY:
            spool.seek(0)
            written = _native.Stream.from_file_object(spool, writing=False, seekable=True)
            try:
                _native.is_valid_binary(written, dst if is_path(dst) else None)
            finally:
                written.close()
        spool.seek(0)
        if is_path(dst):
            output = Path(dst)
            if output.exists() and not output.is_file():
                with open(output, "wb") as device:
                    shutil.copyfileobj(spool, device)
            else:
                temporary = _create_temporary(output)
                try:
                    with open(temporary, "wb") as file:
                        shutil.copyfileobj(spool, file)
                    _sync(temporary)
                    os.replace(temporary, output)
                finally:
                    temporary.unlink(missing_ok=True)
            destination: Path | IO[bytes] = output
        else:
            shutil.copyfileobj(spool, dst)
            destination = dst
    return ConversionResult(
        source=Path(src) if is_path(src) else src,
        output=destination,
        direction=direction,
        source_size=source_size,
        output_size=output_size,
        seconds=time.perf_counter() - started,
    )


def _size(source: OpenedSource, original: Any) -> int:
    if is_path(original):
        return os.stat(original).st_size
    # From where the stream starts: a spooled stream has read the object already.
    file = source.spool if source.spool is not None else original
    here = file.tell()
    end = file.seek(0, os.SEEK_END)
    file.seek(here)
    return int(end - source.start)
