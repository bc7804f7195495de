"""`quarn convert`: files, folders and standard input, one by one or in parallel."""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Iterator
from concurrent.futures import Executor, Future, ThreadPoolExecutor
from pathlib import Path
from typing import BinaryIO

from ..conversion import Direction, default_output
from .converting import Outcome, Target, convert_one, is_binary
from .inputs import Input, add_inputs, expand
from .messages import EXIT_FAILED, EXIT_OK, Messages
from .outputs import STDOUT, Output, add_output, output_of
from .progress import BatchReport
from .settings import Settings, add_options

EXAMPLE = "example: quarn convert -r -d out/ -j auto prints/"


def add_parser(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    conv = commands.add_parser(
        "convert",
        help="convert ASCII G-code to binary or back, as each file's content calls for",
        description="Convert each input: ASCII G-code to binary G-code, binary G-code to "
        "ASCII (or, with --to binary, to binary again with other settings). A folder "
        "stands for its .gcode and .qgcode files; `-` is standard input, whose output goes "
        "to standard output unless -o is given. The output name swaps .gcode and .qgcode "
        "(other names get the suffix appended). Outputs are written atomically: a failed "
        "conversion leaves none. A file named is converted even when its output exists; a "
        "file found in a folder is skipped (said on stderr) when its output exists, unless "
        "-f is given, and always when that output is itself a file of the batch (x.gcode "
        "and x.qgcode side by side). With --to binary a folder stands for its ASCII files "
        "only, and with --to ascii for its binary files: `quarn convert --to binary DIR` "
        "converts the files not converted yet.",
        epilog=EXAMPLE,
    )
    add_inputs(conv, "inputs", "IN", "input files")
    where = conv.add_mutually_exclusive_group()
    add_output(where, "output file, for one input")
    where.add_argument(
        "-d", "--directory", metavar="DIR", help="folder for the outputs (created if needed)"
    )
    conv.add_argument(
        "-f", "--force", action="store_true",
        help="convert the files of folders whose output exists, replacing it",
    )  # fmt: skip
    conv.add_argument(
        "-j", "--jobs", type=_jobs, default=1, metavar="N",
        help="files converted at once, or auto for one per core (default 1)",
    )  # fmt: skip
    conv.add_argument(
        "--to", choices=("auto", "binary", "ascii"), default="auto",
        help="output format; binary on a binary file re-encodes it, keeping its metadata, "
        "thumbnails and every setting not given (default auto: the other format)",
    )  # fmt: skip
    add_options(conv)
    conv.add_argument(
        "--no-verify",
        dest="verify",
        action="store_false",
        help="skip checksum verification (of a binary input, or of the written binary file)",
    )
    conv.set_defaults(run=run)


def _jobs(text: str) -> int:
    if text == "auto":
        # The cores this process may use, where the system tells (os.process_cpu_count from
        # Python 3.13 on).
        if hasattr(os, "sched_getaffinity"):
            return len(os.sched_getaffinity(0)) or 1
        return os.cpu_count() or 1
    try:
        count = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid value {text!r}: a number or auto") from None
    if count < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return count


def run(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    inputs = list(expand(args.inputs, recursive=args.recursive))
    if any(item.is_stdin for item in inputs):
        return _run_stdin(args, parser, inputs)
    if args.output is not None and len(inputs) != 1:
        parser.error("-o/--output takes one input file; use -d/--directory for several")
    settings = Settings.from_args(args)
    messages = Messages(data_on_stdout=args.output == STDOUT)
    if args.output == STDOUT:
        _refuse_binary_on_a_terminal(inputs[0].path, args.to, parser)
    jobs = [(item, _output_for(item, args)) for item in inputs if _taken(item, args.to)]
    skipped: list[str] = []
    if args.output is None:  # an output named with -o is replaced, as for a file named
        jobs, skipped = _without_existing_outputs(jobs, force=args.force)
    _refuse_clashes(jobs, parser, recode=args.to == "binary")
    if args.directory is not None:
        try:
            Path(args.directory).mkdir(parents=True, exist_ok=True)
        except OSError as error:
            parser.error(f"-d/--directory: {args.directory}: {error.strerror}")
    for line in skipped:
        messages.note(line)
    total = sum(_size(item.path) for item, _ in jobs)
    report = BatchReport(messages, len(jobs), total, skipped=len(skipped))
    status = EXIT_OK
    for outcome in _outcomes(jobs, args.to, settings, args.jobs):
        if outcome.problem is None:
            assert outcome.line is not None
            report.succeeded(outcome.line, outcome.bytes_in, outcome.bytes_out)
        else:
            report.failed(outcome.problem, outcome.bytes_in)
            status = EXIT_FAILED
    if len(jobs) + len(skipped) != 1:
        report.finish()
    return status


def _run_stdin(
    args: argparse.Namespace, parser: argparse.ArgumentParser, inputs: list[Input]
) -> int:
    if len(inputs) != 1:
        parser.error("- (standard input) is the only input when given")
    if args.directory is not None:
        parser.error("-d/--directory takes files; standard input goes to -o or stdout")
    output = output_of(STDOUT if args.output is None else args.output)
    if output == STDOUT:
        _refuse_binary_on_a_terminal(sys.stdin.buffer, args.to, parser)
    messages = Messages(data_on_stdout=output == STDOUT)
    outcome = convert_one(sys.stdin.buffer, output, args.to, Settings.from_args(args))
    if outcome.problem is not None:
        messages.error(outcome.problem)
        return EXIT_FAILED
    assert outcome.line is not None
    messages.say(outcome.line)
    return EXIT_OK


def _refuse_binary_on_a_terminal(
    source: Path | BinaryIO, to: Target, parser: argparse.ArgumentParser
) -> None:
    """Binary G-code would garble a terminal (as compressors refuse to, for their output)."""
    if not sys.stdout.isatty():
        return
    try:
        binary = is_binary(source)
    except OSError:
        return  # the conversion reports it
    if to == "binary" or (to == "auto" and not binary):
        parser.error("binary G-code is not written to a terminal: redirect it or use -o FILE")


def _binary(item: Input) -> bool:
    try:
        return is_binary(item.path)
    except OSError:
        return item.path.suffix.lower() == ".qgcode"  # the conversion reports the fault


def _taken(item: Input, to: Target) -> bool:
    """A folder's files are those --to converts: with binary its ASCII files, with ascii its
    binary ones; a file named is always taken (and re-encoded, or refused, as it is)."""
    if item.folder is None or to == "auto":
        return True
    return _binary(item) == (to == "ascii")


def _output_for(item: Input, args: argparse.Namespace) -> Output:
    if args.output is not None:
        return output_of(args.output)
    binary = _binary(item)
    recode = binary and args.to == "binary"
    name = item.path if recode else default_output(item.path, _direction(binary))
    if args.directory is None:
        return name
    return Path(args.directory) / item.relative_parent() / name.name


def _direction(binary: bool) -> Direction:
    return Direction.BINARY_TO_ASCII if binary else Direction.ASCII_TO_BINARY


def _size(path: Path) -> int:
    try:
        return path.stat().st_size
    except OSError:
        return 0


def _outcomes(
    jobs: list[tuple[Input, Output]], to: Target, settings: Settings, workers: int
) -> Iterator[Outcome]:
    """Each job's outcome, in the order of the jobs."""
    if workers == 1 or len(jobs) < 2:
        for item, output in jobs:
            yield _prepared(item, output, to, settings)
        return
    with _pool(min(workers, len(jobs))) as pool:
        futures = [pool.submit(_prepared, item, output, to, settings) for item, output in jobs]
        for (item, _), future in zip(jobs, futures, strict=True):
            yield _collect(item, future)


def _pool(workers: int) -> Executor:
    # The conversions release the interpreter lock: threads run them in parallel.
    return ThreadPoolExecutor(max_workers=workers)


def _prepared(item: Input, output: Output, to: Target, settings: Settings) -> Outcome:
    if isinstance(output, Path):
        output.parent.mkdir(parents=True, exist_ok=True)
    return convert_one(item.path, output, to, settings)


def _collect(item: Input, future: Future[Outcome]) -> Outcome:
    try:
        return future.result()
    except Exception as error:  # a worker that failed outside the conversion
        return Outcome(item.path, problem=f"{item.path}: conversion failed: {error!r}")


def _without_existing_outputs(
    jobs: list[tuple[Input, Output]], *, force: bool
) -> tuple[list[tuple[Input, Output]], list[str]]:
    """The jobs left once the files of folders whose output exists are set aside, and a line
    for each of those. A folder converted a second time holds each file next to its output:
    both are inputs, and converting either would replace the other, so that pair is always
    skipped; -f replaces the other existing outputs."""
    inputs = {os.path.abspath(item.path) for item, _ in jobs}
    kept: list[tuple[Input, Output]] = []
    skipped: list[str] = []
    for item, output in jobs:
        if item.folder is None or not isinstance(output, Path):
            kept.append((item, output))
            continue
        key = os.path.abspath(output)
        if key in inputs and key != os.path.abspath(item.path):
            to = "ascii" if _binary(item) else "binary"
            skipped.append(f"{item.path}: skipped, {output} exists (use --to {to} -f to overwrite)")
        elif output.exists() and not force:
            skipped.append(f"{item.path}: skipped, {output} exists (use -f to overwrite)")
        else:
            kept.append((item, output))
    return kept, skipped


def _refuse_clashes(
    jobs: list[tuple[Input, Output]], parser: argparse.ArgumentParser, *, recode: bool
) -> None:
    """Two inputs writing one output, or an output replacing another input (perhaps while it
    is read), would lose data: refused before anything is converted. Re-encoding a binary
    file with no other output named replaces it, atomically."""
    inputs = {os.path.abspath(item.path): item.path for item, _ in jobs}
    outputs: dict[str, Path] = {}
    for item, output in jobs:
        if output == STDOUT:
            continue
        key = os.path.abspath(output)
        if key in outputs:
            parser.error(f"{outputs[key]} and {item.path} would both be written to {output}")
        same = key == os.path.abspath(item.path)
        if key in inputs and not (same and recode):
            if same:
                parser.error(f"{item.path}: the output is the input file itself")
            parser.error(f"converting {item.path} would overwrite the input {inputs[key]}")
        outputs[key] = item.path
