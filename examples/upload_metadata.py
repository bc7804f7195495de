"""What a print host shows of an upload held in memory: the print summary, the printer model
and a thumbnail, read from the uploaded bytes without writing them to disk.

Usage: python examples/upload_metadata.py [FILE | -] [--output-dir DIR] [--size WxH]

Takes the bytes of FILE (either format; default: the bundled examples/bracket.gcode; "-"
reads standard input), as a web handler receives them, and writes into DIR (default
build/examples/upload) summary.json (the print summary as JSON data, the printer model
included) and preview.png (the thumbnail best fitting a WxH display, default 160x120,
as PNG; none when the file carries no PNG or QOI thumbnail). Prints the printer model and
the estimated printing time.
"""

from __future__ import annotations

import argparse
import json
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import pyquarn

HERE = Path(__file__).resolve().parent


@dataclass
class Upload:
    printer_model: str | None
    summary: dict[str, Any]  # JSON-ready
    preview: bytes | None  # PNG


def describe_upload(data: bytes, width: int, height: int) -> Upload:
    """The facts of an uploaded file, read from its bytes (QuarnError if it is not G-code)."""
    with pyquarn.open(data) as f:
        model = f.metadata["printer"].get("printer_model")
        thumbnail = f.thumbnail(width, height, formats=("PNG", "QOI"))
        return Upload(
            model, f.summary.to_dict(), thumbnail.to_png() if thumbnail is not None else None
        )


def size(text: str) -> tuple[int, int]:
    width, _, height = text.partition("x")
    return int(width), int(height)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", nargs="?", default=str(HERE / "bracket.gcode"))
    parser.add_argument(
        "--output-dir", type=Path, default=HERE.parent / "build" / "examples" / "upload"
    )
    parser.add_argument("--size", type=size, default=(160, 120), help="display size, WxH")
    args = parser.parse_args(argv)
    data = sys.stdin.buffer.read() if args.file == "-" else Path(args.file).read_bytes()
    try:
        upload = describe_upload(data, *args.size)
    except pyquarn.QuarnError as error:
        print(f"not a G-code file: {error.message}", file=sys.stderr)
        return 1
    args.output_dir.mkdir(parents=True, exist_ok=True)
    summary = args.output_dir / "summary.json"
    summary.write_text(json.dumps(upload.summary, indent=2) + "\n", encoding="utf-8")
    if upload.preview is not None:
        (args.output_dir / "preview.png").write_bytes(upload.preview)
    print(f"printer model: {upload.printer_model}")
    print(f"estimated time: {upload.summary['estimated_time']} s")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
