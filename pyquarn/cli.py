"""The `quarn` command: convert, inspect, verify and extract thumbnails of G-code files.

Exit status: 0 when every file succeeded, 1 when a file failed, 2 for a usage error.
Failures are one line on stderr: the file, then the result's name and message.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Iterable, Mapping, Sequence
from concurrent.futures import Future, ProcessPoolExecutor
from dataclasses import dataclass
from pathlib import Path
from typing import TypeVar

import _quarn

from . import __version__
from .conversion import ConversionResult, convert, default_output, detect_direction
from .errors import QuarnError
from .inspection import FileInfo, info, thumbnails, verify

PROGRAM = "quarn"
EXIT_OK, EXIT_FAILED = 0, 1  # argparse exits with 2 for usage errors

# Exceptions that describe a bad input file, reported as one line instead of a traceback.
FileProblem = (QuarnError, OSError, ValueError)

E = TypeVar("E")


def _add_choice(
    parser: argparse.ArgumentParser, flag: str, members: Mapping[str, E], default: E, help: str
) -> None:
    """An option taking a member name of a _quarn enumeration, matched case-insensitively."""
    by_name = {name.lower(): member for name, member in members.items()}
    default_name = next(name for name, member in members.items() if member == default)

    def parse(text: str) -> E:
        try:
            return by_name[text.lower()]
        except KeyError:
            choices = ", ".join(members)
            raise argparse.ArgumentTypeError(
                f"invalid choice: {text!r} (choose from {choices})"
            ) from None

    parser.add_argument(
        flag,
        type=parse,
        default=default,
        metavar="NAME",
        help=f"{help}: {', '.join(members)} (default {default_name})",
    )


def _problem(path: object, error: BaseException) -> str:
    if isinstance(error, QuarnError):
        return f"{path}: {error.result.name}: {error.message}"
    if isinstance(error, OSError) and error.strerror:
        if error.filename is not None and os.fsdecode(error.filename) != str(path):
            return f"{path}: {os.fsdecode(error.filename)}: {error.strerror}"
        return f"{path}: {error.strerror}"
    return f"{path}: {error}"


def _report_problem(path: object, error: BaseException) -> None:
    print(f"{PROGRAM}: error: {_problem(path, error)}", file=sys.stderr)


# --- convert -------------------------------------------------------------------------------


@dataclass(frozen=True)
class _Settings:
    """The conversion options, as plain values that cross into worker processes."""

    gcode_compression: str
    gcode_encoding: str
    metadata_compression: str
    checksum: str
    verify: bool

    def config(self) -> _quarn.BinarizerConfig:
        config = _quarn.get_config()
        config.compression.gcode = _quarn.CompressionType.__members__[self.gcode_compression]
        config.compression.slicer_metadata = _quarn.CompressionType.__members__[
            self.metadata_compression
        ]
        config.gcode_encoding = _quarn.GCodeEncodingType.__members__[self.gcode_encoding]
        config.checksum = _quarn.ChecksumType.__members__[self.checksum]
        return config


@dataclass(frozen=True)
class _Outcome:
    source: Path
    result: ConversionResult | None = None
    problem: str | None = None


def _convert_one(source: Path, output: Path, settings: _Settings) -> _Outcome:
    try:
        result = convert(source, output, config=settings.config(), verify=settings.verify)
    except FileProblem as error:
        return _Outcome(source, problem=_problem(source, error))
    return _Outcome(source, result=result)


def _describe(result: ConversionResult) -> str:
    return (
        f"ok {result.source} -> {result.output} ({result.direction}): "
        f"{result.source_size:,} -> {result.output_size:,} bytes, "
        f"ratio {result.ratio:.3f}, {result.seconds:.3f} s"
    )


def _output_for(source: Path, args: argparse.Namespace) -> Path:
    if args.output is not None:
        return Path(args.output)
    name = default_output(source, detect_direction(source))
    return Path(args.directory) / name.name if args.directory is not None else name


def _run_convert(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    sources = [Path(name) for name in args.inputs]
    if args.output is not None and len(sources) > 1:
        parser.error("-o/--output takes one input; use -d/--directory for several")
    if args.jobs < 1:
        parser.error("-j/--jobs must be at least 1")
    if args.directory is not None and not Path(args.directory).is_dir():
        parser.error(f"-d/--directory: {args.directory} is not a directory")
    settings = _Settings(
        gcode_compression=args.gcode_compression.name,
        gcode_encoding=args.gcode_encoding.name,
        metadata_compression=args.metadata_compression.name,
        checksum=args.checksum.name,
        verify=args.verify,
    )

    status = EXIT_OK
    jobs: list[tuple[Path, Path]] = []
    for source in sources:
        try:
            jobs.append((source, _output_for(source, args)))
        except OSError as error:
            _report_problem(source, error)
            status = EXIT_FAILED
    _refuse_clashes(jobs, parser)

    if args.jobs > 1 and len(jobs) > 1:
        with ProcessPoolExecutor(max_workers=min(args.jobs, len(jobs))) as pool:
            futures = [(src, pool.submit(_convert_one, src, dst, settings)) for src, dst in jobs]
            outcomes = (_collect(src, future) for src, future in futures)
            status = max(status, _print_outcomes(outcomes))
    else:
        outcomes = (_convert_one(src, dst, settings) for src, dst in jobs)
        status = max(status, _print_outcomes(outcomes))
    return status


def _collect(source: Path, future: Future[_Outcome]) -> _Outcome:
    try:
        return future.result()
    except Exception as error:  # a worker process that died (BrokenProcessPool)
        return _Outcome(source, problem=f"{source}: conversion process failed: {error!r}")


def _print_outcomes(outcomes: Iterable[_Outcome]) -> int:
    status = EXIT_OK
    for outcome in outcomes:
        if outcome.result is not None:
            print(_describe(outcome.result), flush=True)
        else:
            print(f"{PROGRAM}: error: {outcome.problem}", file=sys.stderr, flush=True)
            status = EXIT_FAILED
    return status


def _refuse_clashes(jobs: list[tuple[Path, Path]], parser: argparse.ArgumentParser) -> None:
    """Two inputs writing one output, or an output replacing an input (perhaps while another
    process reads it), would lose data: refused before anything is converted."""
    inputs = {os.path.abspath(src): src for src, _ in jobs}
    outputs: dict[str, Path] = {}
    for src, dst in jobs:
        key = os.path.abspath(dst)
        if key in outputs:
            parser.error(f"{outputs[key]} and {src} would both be written to {dst}")
        if key in inputs:
            parser.error(f"converting {src} would overwrite the input {inputs[key]}")
        outputs[key] = src


# --- info, verify, thumbnails ----------------------------------------------------------------


def _format_info(file: FileInfo) -> str:
    heading = ("#", "offset", "type", "compression", "data", "stored", "size")
    rows = [
        (
            str(index),
            str(block.offset),
            block.type.name,
            block.compression.name,
            str(block.uncompressed_size),
            str(block.compressed_size),
            str(block.size),
        )
        for index, block in enumerate(file.blocks)
    ]
    widths = [max(len(row[column]) for row in [heading, *rows]) for column in range(7)]
    left = {2, 3}  # the text columns; numbers are right-aligned

    def line(row: tuple[str, ...]) -> str:
        cells = (
            cell.ljust(width) if column in left else cell.rjust(width)
            for column, (cell, width) in enumerate(zip(row, widths, strict=True))
        )
        return "  " + "  ".join(cells).rstrip()

    lines = [
        f"{file.path}: binary G-code version {file.version}, checksum "
        f"{file.checksum_type.name}, {file.size:,} bytes, {len(file.blocks)} blocks"
        + ("" if file.gcode_encoding is None else f", G-code encoding {file.gcode_encoding.name}"),
        "",
        line(heading),
        *(line(row) for row in rows),
    ]
    for block in file.blocks:
        if block.metadata is not None:
            lines += ["", f"{block.type.name}:"]
            lines += [f"  {key} = {value}" for key, value in block.metadata]
    if file.thumbnails:
        lines += ["", "Thumbnails:"]
        lines += [
            f"  {thumb.format.name} {thumb.width}x{thumb.height}, {thumb.size:,} bytes"
            for thumb in file.thumbnails
        ]
    return "\n".join(lines)


def _run_info(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    try:
        file = info(args.file)
    except FileProblem as error:
        _report_problem(args.file, error)
        return EXIT_FAILED
    if args.json:
        print(json.dumps(file.to_dict(), indent=2, ensure_ascii=False))
    else:
        print(_format_info(file))
    return EXIT_OK


def _run_verify(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    status = EXIT_OK
    for name in args.files:
        try:
            verify(name)
        except FileProblem as error:
            _report_problem(name, error)
            status = EXIT_FAILED
        else:
            print(f"ok {name}")
    return status


def _run_thumbnails(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    out = Path(args.output)
    stem = Path(args.file).stem
    try:
        images = thumbnails(args.file)
        out.mkdir(parents=True, exist_ok=True)
        for index, image in enumerate(images, start=1):
            target = out / f"{stem}_{index}_{image.width}x{image.height}.{image.extension}"
            target.write_bytes(image.data)
            print(
                f"wrote {target} ({image.format.name} {image.width}x{image.height}, "
                f"{len(image.data):,} bytes)"
            )
    except FileProblem as error:
        _report_problem(args.file, error)
        return EXIT_FAILED
    return EXIT_OK


# --- parser ----------------------------------------------------------------------------------


def build_parser() -> argparse.ArgumentParser:
    defaults = _quarn.get_config()
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Convert, inspect and verify binary G-code files.",
        epilog="Exit status: 0 success, 1 a file failed, 2 usage error.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    conv = commands.add_parser(
        "convert",
        help="convert ASCII G-code to binary or back, as each file's content calls for",
        description="Convert each input: ASCII G-code to binary G-code, binary G-code to "
        "ASCII. The output name swaps .gcode and .qgcode (other names get the suffix "
        "appended). Outputs are written atomically: a failed conversion leaves none.",
    )
    conv.add_argument("inputs", nargs="+", metavar="IN", help="input files")
    # The configuration options apply to ASCII inputs (binary output) only.
    where = conv.add_mutually_exclusive_group()
    where.add_argument("-o", "--output", metavar="OUT", help="output file (one input only)")
    where.add_argument("-d", "--directory", metavar="DIR", help="folder for the outputs")
    conv.add_argument(
        "-j", "--jobs", type=int, default=1, metavar="N", help="parallel processes (default 1)"
    )
    _add_choice(
        conv,
        "--gcode-compression",
        _quarn.CompressionType.__members__,
        defaults.compression.gcode,
        "compression of the G-code blocks",
    )
    _add_choice(
        conv,
        "--gcode-encoding",
        _quarn.GCodeEncodingType.__members__,
        defaults.gcode_encoding,
        "encoding of the G-code",
    )
    _add_choice(
        conv,
        "--metadata-compression",
        _quarn.CompressionType.__members__,
        defaults.compression.slicer_metadata,
        "compression of the slicer metadata block",
    )
    _add_choice(
        conv,
        "--checksum",
        _quarn.ChecksumType.__members__,
        defaults.checksum,
        "block checksum",
    )
    conv.add_argument(
        "--no-verify",
        dest="verify",
        action="store_false",
        help="skip checksum verification (of a binary input, or of the written binary file)",
    )
    conv.set_defaults(run=_run_convert)

    show = commands.add_parser(
        "info",
        help="show the blocks and metadata of a binary file",
        description="Show the "
        "header, the blocks, the metadata and the thumbnails of a binary G-code file.",
    )
    show.add_argument("file", metavar="FILE")
    show.add_argument("--json", action="store_true", help="print JSON instead of a table")
    show.set_defaults(run=_run_info)

    check = commands.add_parser(
        "verify",
        help="validate binary files with their checksums",
        description="Validate each binary G-code file: header, block order and every "
        "checksum. Exit status 0 only when all are valid.",
    )
    check.add_argument("files", nargs="+", metavar="FILE")
    check.set_defaults(run=_run_verify)

    thumbs = commands.add_parser(
        "thumbnails",
        help="extract the thumbnails of a binary file",
        description="Write every thumbnail of a binary G-code file as an image file named "
        "<file>_<index>_<width>x<height>.<png|jpg|qoi>.",
    )
    thumbs.add_argument("file", metavar="FILE")
    thumbs.add_argument("-o", "--output", required=True, metavar="DIR", help="output folder")
    thumbs.set_defaults(run=_run_thumbnails)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    try:
        status: int = args.run(args, parser)
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (quarn info ... | head): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_FAILED
    return status
