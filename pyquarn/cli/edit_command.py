"""`quarn edit`: other metadata or thumbnails for a binary file, its G-code blocks copied."""

from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import TypeAlias

from _quarn import EThumbnailFormat

from .. import Thumbnail
from ..images import image_info
from ..metadata import KINDS, Metadata, Pair
from ..reader import Reader
from ..rewrite import rewrite
from .diagnostics import FileProblem, describe
from .inputs import STDIN, STDIN_NAME
from .messages import EXIT_FAILED, EXIT_OK, Messages
from .outputs import STDOUT, add_output, output_of

EXAMPLE = "example: quarn edit part.qgcode --set printer.printer_model=T2 --drop-thumbnails"


def add_parser(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    edit = commands.add_parser(
        "edit",
        help="change the metadata or thumbnails of a binary file",
        description="Change metadata values and thumbnails of a binary G-code file; its "
        "G-code blocks are copied unchanged. Without -o the file is replaced atomically. "
        f"KIND is one of {', '.join(KINDS)}. --set replaces every value of the key with "
        "one (added at the end when the key is new), --unset removes them.",
        epilog=EXAMPLE,
    )
    edit.add_argument("file", metavar="FILE", help="a binary G-code file (- for stdin, with -o)")
    add_output(edit, "write here instead")
    edit.add_argument(
        "--set", dest="changes", action="append", type=_setting, default=[],
        metavar="KIND.KEY=VALUE", help="set a metadata value",
    )  # fmt: skip
    edit.add_argument(
        "--unset", dest="changes", action="append", type=_unsetting,
        metavar="KIND.KEY", help="remove a metadata key",
    )  # fmt: skip
    edit.add_argument("--drop-thumbnails", action="store_true", help="remove every thumbnail")
    edit.add_argument(
        "--add-thumbnail", action="append", default=[], metavar="IMAGE",
        help="add a PNG, JPG or QOI image as a thumbnail (its size is read from the image)",
    )  # fmt: skip
    edit.set_defaults(run=run)


Change: TypeAlias = tuple[str, str, str | None]  # kind, key, value (None: remove)


def _kind_and_key(text: str) -> tuple[str, str]:
    kind, dot, key = text.partition(".")
    if not dot or not key:
        raise argparse.ArgumentTypeError(
            f"{text!r}: expected KIND.KEY, KIND one of {', '.join(KINDS)}"
        )
    if kind not in KINDS:
        raise argparse.ArgumentTypeError(
            f"unknown metadata kind {kind!r} (choose from {', '.join(KINDS)})"
        )
    return kind, key


def _setting(text: str) -> Change:
    name, equals, value = text.partition("=")
    if not equals:
        raise argparse.ArgumentTypeError(f"{text!r}: expected KIND.KEY=VALUE")
    return (*_kind_and_key(name), value)


def _unsetting(text: str) -> Change:
    return (*_kind_and_key(text), None)


def edited(metadata: Metadata, changes: list[Change]) -> dict[str, list[Pair]]:
    """The pairs of every kind after the changes, in order: a set key keeps the place of its
    first occurrence."""
    kinds = {kind: list(metadata[kind].pairs) for kind in KINDS}
    for kind, key, value in changes:
        pairs = kinds[kind]
        place = next((i for i, (k, _) in enumerate(pairs) if k == key), len(pairs))
        kept = [pair for pair in pairs if pair[0] != key]
        if value is not None:
            kept.insert(min(place, len(kept)), (key, value))
        kinds[kind] = kept
    return kinds


def thumbnail_of(path: Path) -> Thumbnail:
    data = path.read_bytes()
    try:
        name, width, height = image_info(data)
    except ValueError as error:
        raise ValueError(f"{path}: {error}") from None
    return Thumbnail(EThumbnailFormat.__members__[name], width, height, data)


def run(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    stdin = args.file == STDIN
    if stdin and args.output is None:
        parser.error("editing standard input needs -o (a file, or - for stdout)")
    output = None if args.output is None else output_of(args.output)
    to_stdout = output == STDOUT
    messages = Messages(data_on_stdout=to_stdout)
    name = STDIN_NAME if stdin else args.file
    try:
        added = [thumbnail_of(Path(image)) for image in args.add_thumbnail]
        # Standard input is read once; the metadata is known before the copy starts.
        source: bytes | Path = sys.stdin.buffer.read() if stdin else Path(args.file)
        with Reader(source) as reader:
            metadata = edited(reader.metadata, args.changes)
            images = [] if args.drop_thumbnails else list(reader.thumbnails)
        target = sys.stdout.buffer if to_stdout else output
        rewrite(source, target, metadata=metadata, thumbnails=images + added)
    except BrokenPipeError:
        raise  # the reader of stdout went away: the command stops
    except FileProblem as error:
        messages.error(describe(name, error))
        return EXIT_FAILED
    if to_stdout:
        sys.stdout.buffer.flush()
    else:
        messages.say(f"ok {name} -> {args.output or name}")
    return EXIT_OK
