"""`quarn cat`: the G-code of files to standard output, one block at a time."""

from __future__ import annotations

import argparse
import sys
from collections.abc import Iterator
from itertools import islice
from typing import BinaryIO

from ..reader import Reader
from .diagnostics import FileProblem, describe
from .inputs import add_inputs, expand, refuse_stdin_twice
from .messages import EXIT_FAILED, EXIT_OK, Messages

EXAMPLE = "example: quarn cat part.qgcode | grep -c '^G1'"
_LINES_PER_WRITE = 4096


def add_parser(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    cat = commands.add_parser(
        "cat",
        help="write the G-code of files to standard output",
        description="Write the decoded G-code of each file to standard output, in order: "
        "of a binary file its G-code blocks, of an ASCII file its G-code lines. A folder "
        "stands for its .gcode and .qgcode files; `-` is standard input.",
        epilog=EXAMPLE,
    )
    add_inputs(cat, "files", "FILE", "files")
    cat.set_defaults(run=run)


def run(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    messages = Messages(data_on_stdout=True)
    out = sys.stdout.buffer
    status = EXIT_OK
    refuse_stdin_twice(args.files, parser)
    for item in expand(args.files, recursive=args.recursive):
        try:
            with Reader(sys.stdin.buffer if item.is_stdin else item.path) as reader:
                _write_lines(reader, out)
        except BrokenPipeError:
            raise  # the reader of stdout went away: the command stops
        except FileProblem as error:
            out.flush()
            messages.error(describe(item.name, error))
            status = EXIT_FAILED
    out.flush()
    return status


def _write_lines(reader: Reader, out: BinaryIO) -> None:
    """Writes the lines in large writes (join and encode run in C); the lines decoded before
    a fault are written before it is raised."""
    failure: list[BaseException] = []
    lines_left = _until_failure(reader.lines(), failure)
    while lines := tuple(islice(lines_left, _LINES_PER_WRITE)):
        text = "\n".join(lines) + "\n"
        try:
            data = text.encode()
        except UnicodeEncodeError:  # bytes that are not UTF-8 come as lone surrogates
            data = text.encode("utf-8", "surrogateescape")
        out.write(data)
    if failure:
        raise failure[0]


def _until_failure(lines: Iterator[str], failure: list[BaseException]) -> Iterator[str]:
    try:
        yield from lines
    except FileProblem as error:
        failure.append(error)
