"""`quarn info`, `quarn verify` and `quarn thumbnails`: binary files described, checked and
their images extracted, for files and folders."""

from __future__ import annotations

import argparse
import json
import sys
from pathlib import Path
from typing import Any

from _quarn import EBlockType, EThumbnailFormat

from ..images import decode_qoi, encode_png
from ..inspection import FileInfo, Pairs, file_info, open_binary
from ..reader import Reader
from ..summary import Summary, format_summary, summarize
from .diagnostics import FileProblem, describe
from .inputs import (
    BINARY_SUFFIXES,
    STDIN,
    Input,
    add_inputs,
    expand,
    refuse_stdin_twice,
)
from .messages import EXIT_FAILED, EXIT_OK, Messages


def _files(args: argparse.Namespace, parser: argparse.ArgumentParser) -> list[Input]:
    refuse_stdin_twice(args.files, parser)
    if STDIN in args.files and sys.stdin.isatty():
        # Nobody types binary G-code: waiting for it would only look like a hang.
        parser.error("binary G-code is not read from a terminal: redirect standard input")
    return list(expand(args.files, recursive=args.recursive, suffixes=BINARY_SUFFIXES))


def _open(item: Input) -> Reader:
    """A reader on the binary file, or on standard input (read once, as it comes)."""
    return open_binary(sys.stdin.buffer if item.is_stdin else item.path, item.name)


def _add_files(parser: argparse.ArgumentParser) -> None:
    add_inputs(parser, "files", "FILE", "binary files")


def add_parsers(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    show = commands.add_parser(
        "info",
        help="show the summary, blocks and metadata of binary files",
        description="Show the header, a summary (printer, estimated time, filament, ...), the "
        "blocks, the metadata and the thumbnails of each binary G-code file (a folder stands "
        "for its .qgcode files, `-` for standard input). With --json, one JSON object per "
        'file, each on its own line; its "summary" holds the summary\'s facts and its '
        '"metadata" maps each kind (file, printer, print, slicer) to an object from each key '
        "to the list of its values in file order, so a repeated key keeps every value.",
        epilog="example: quarn info --json part.qgcode | jq '.metadata.printer'",
    )
    _add_files(show)
    show.add_argument("--json", action="store_true", help="print JSON instead of a table")
    show.set_defaults(run=run_info)

    check = commands.add_parser(
        "verify",
        help="validate binary files with their checksums",
        description="Validate each binary G-code file (a folder stands for its .qgcode "
        "files, `-` for standard input): header, block order, every checksum and that every "
        "block decodes. Exit status 0 only when all are valid.",
        epilog="example: quarn verify -r prints/",
    )
    _add_files(check)
    check.set_defaults(run=run_verify)

    thumbs = commands.add_parser(
        "thumbnails",
        help="extract the thumbnails of binary files",
        description="Write every thumbnail of each binary G-code file (a folder stands for "
        "its .qgcode files, `-` for standard input) as an image file named "
        "<file>_<index>_<width>x<height>.<png|jpg|qoi>, <file> being stdin for standard "
        "input.",
        epilog="example: quarn thumbnails part.qgcode -o images/ --png",
    )
    _add_files(thumbs)
    thumbs.add_argument("-o", "--output", required=True, metavar="DIR", help="output folder")
    thumbs.add_argument("--png", action="store_true", help="write QOI images as PNG")
    thumbs.set_defaults(run=run_thumbnails)


_KINDS = {
    "file": EBlockType.FileMetadata,
    "printer": EBlockType.PrinterMetadata,
    "print": EBlockType.PrintMetadata,
    "slicer": EBlockType.SlicerMetadata,
}


def _values_by_key(pairs: Pairs) -> dict[str, list[str]]:
    out: dict[str, list[str]] = {}
    for key, value in pairs:
        out.setdefault(key, []).append(value)
    return out


def file_summary(file: FileInfo) -> Summary:
    return summarize({kind: file.metadata(block_type) for kind, block_type in _KINDS.items()})


def info_json(file: FileInfo) -> dict[str, Any]:
    """The file as plain data: blocks as `FileInfo.to_dict` gives them but with metadata as
    objects from key to values, and the metadata of each kind gathered under "metadata"."""
    data = file.to_dict()
    kinds: dict[str, dict[str, list[str]]] = {k: {} for k in ("file", "printer", "print", "slicer")}
    for block, plain in zip(file.blocks, data["blocks"], strict=True):
        if block.metadata is not None:
            plain["metadata"] = _values_by_key(block.metadata)
            kind = block.type.name.removesuffix("Metadata").lower()
            kinds[kind] = plain["metadata"]
    data["metadata"] = kinds
    data["summary"] = file_summary(file).to_dict()
    data["thumbnails"] = [
        {"format": t.format.name, "width": t.width, "height": t.height, "size": t.size}
        for t in file.thumbnails
    ]
    return data


def format_info(file: FileInfo) -> str:
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

    encoding = "none" if file.gcode_encoding is None else file.gcode_encoding.name
    summary = [f"  {text}" for text in format_summary(file_summary(file))]
    lines = [
        f"{file.path}: binary G-code version {file.version}, checksum "
        f"{file.checksum_type.name}, {file.size:,} bytes, {len(file.blocks)} blocks, "
        f"G-code encoding {encoding}",
        *(["", *summary] if summary else []),
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


def run_info(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    messages = Messages()
    status = EXIT_OK
    first = True
    for item in _files(args, parser):
        try:
            with _open(item) as reader:
                size = None if item.is_stdin else item.path.stat().st_size
                file = file_info(reader, Path(item.name), size)
        except FileProblem as error:
            messages.error(describe(item.name, error))
            status = EXIT_FAILED
            continue
        if args.json:
            print(json.dumps(info_json(file), ensure_ascii=False), flush=True)
        else:
            print(("" if first else "\n") + format_info(file), flush=True)
        first = False
    return status


def run_verify(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    messages = Messages()
    status = EXIT_OK
    for item in _files(args, parser):
        try:
            with _open(item) as reader:
                reader.verify()
        except FileProblem as error:
            messages.error(describe(item.name, error))
            status = EXIT_FAILED
        else:
            messages.say(f"ok {item.name}")
    return status


def run_thumbnails(args: argparse.Namespace, parser: argparse.ArgumentParser) -> int:
    messages = Messages()
    out = Path(args.output)
    status = EXIT_OK
    for item in _files(args, parser):
        stem = "stdin" if item.is_stdin else item.path.stem
        try:
            with _open(item) as reader:
                reader.verify()
                images = list(reader.thumbnails)
            out.mkdir(parents=True, exist_ok=True)
            for index, image in enumerate(images, start=1):
                data, extension = image.data, image.extension
                if args.png and image.format == EThumbnailFormat.QOI:
                    data, extension = encode_png(*decode_qoi(image.data)), "png"
                target = out / f"{stem}_{index}_{image.width}x{image.height}.{extension}"
                target.write_bytes(data)
                messages.say(
                    f"wrote {target} ({image.format.name} {image.width}x{image.height}, "
                    f"{len(data):,} bytes)"
                )
        except BrokenPipeError:
            raise  # the reader of stdout went away: the command stops
        except FileProblem as error:
            messages.error(describe(item.name, error))
            status = EXIT_FAILED
    return status
