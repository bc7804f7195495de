"""Converting one file: ASCII to binary, binary to ASCII, or a binary file re-encoded with
other settings. Safe to run in worker threads: each call owns its files."""

from __future__ import annotations

import os
import shutil
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import IO, Literal, TypeAlias

import _quarn

from ..conversion import ConversionResult, Direction, convert, detect_direction
from ..handles import MAGIC
from ..reader import Reader
from ..sources import SPOOL_IN_MEMORY
from ..writer import Writer
from .diagnostics import FileProblem, describe
from .inputs import STDIN_NAME
from .outputs import STDOUT, Output, shown
from .settings import Settings

Target: TypeAlias = Literal["auto", "binary", "ascii"]


@dataclass(frozen=True)
class Outcome:
    source: object
    line: str | None = None  # the status line of a success
    problem: str | None = None
    bytes_in: int = 0
    bytes_out: int = 0


def is_binary(source: Path | IO[bytes]) -> bool:
    if isinstance(source, Path):
        return detect_direction(source) is Direction.BINARY_TO_ASCII
    peek = getattr(source, "peek", None)
    return bool(peek is not None and peek(len(MAGIC))[: len(MAGIC)] == MAGIC)


def convert_one(
    source: Path | IO[bytes], output: Output, to: Target, settings: Settings
) -> Outcome:
    name = source if isinstance(source, Path) else STDIN_NAME
    size = source.stat().st_size if isinstance(source, Path) and source.is_file() else 0
    try:
        binary = is_binary(source)
        if to == "ascii" and not binary:
            raise ValueError("already ASCII G-code: nothing to convert to ASCII")
        if binary and to == "binary":
            return _recode(source, name, output, settings, size)
        config = None if binary else settings.applied_to(_quarn.get_config())
        dst: Path | IO[bytes] = output if isinstance(output, Path) else sys.stdout.buffer
        result = convert(source, dst, config=config, verify=settings.verify)
    except BrokenPipeError:
        raise  # the reader of stdout went away: the command stops
    except FileProblem as error:
        return Outcome(name, problem=describe(name, error), bytes_in=size)
    return Outcome(
        name, _describe(result, name, output), None, result.source_size, result.output_size
    )


def _recode(
    source: Path | IO[bytes], name: object, output: Output, settings: Settings, size: int
) -> Outcome:
    """A binary file written again with other settings: metadata and thumbnails kept, the
    G-code decoded (checksums checked on the way) and encoded anew."""
    started = time.perf_counter()
    with Reader(source) as reader:
        config = settings.applied_to(reader.config)
        metadata, images = reader.metadata, reader.thumbnails
        if output == STDOUT:
            with tempfile.SpooledTemporaryFile(max_size=SPOOL_IN_MEMORY) as spool:
                with Writer(spool, config=config, metadata=metadata, thumbnails=images) as writer:
                    writer.write_lines(reader.lines())
                written = spool.tell()
                spool.seek(0)
                shutil.copyfileobj(spool, sys.stdout.buffer)
                sys.stdout.buffer.flush()
        else:
            with Writer(output, config=config, metadata=metadata, thumbnails=images) as writer:
                writer.write_lines(reader.lines())
            written = os.stat(output).st_size
    seconds = time.perf_counter() - started
    ratio = written / size if size else 0.0
    return Outcome(
        name,
        f"ok {name} -> {shown(output)} (binary to binary): {size:,} -> {written:,} bytes, "
        f"ratio {ratio:.3f}, {seconds:.3f} s",
        None,
        size,
        written,
    )


def _describe(result: ConversionResult, name: object, output: Output) -> str:
    return (
        f"ok {name} -> {shown(output)} ({result.direction}): "
        f"{result.source_size:,} -> {result.output_size:,} bytes, "
        f"ratio {result.ratio:.3f}, {result.seconds:.3f} s"
    )
