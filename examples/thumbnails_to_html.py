"""Thumbnails for a web page: each thumbnail of a G-code file as an image a browser shows.

Usage: python examples/thumbnails_to_html.py [FILE] [--output-dir DIR] [--inline]

Reads FILE (either format; default: the bundled examples/bracket.gcode, which carries PNG,
JPG and QOI thumbnails) and writes DIR/index.html (default DIR: build/examples/thumbnails)
showing every thumbnail at its size. PNG and QOI thumbnails become PNG files (QOI is decoded
by pyquarn, no image library needed); a JPG one is written as it is, browsers show JPEG.
With --inline the images are embedded in the page as data: URIs and no image file is
written. Prints the page's path.
"""

from __future__ import annotations

import argparse
import base64
import html
from pathlib import Path

import pyquarn

HERE = Path(__file__).resolve().parent


def web_image(thumbnail: pyquarn.Thumbnail) -> tuple[str, str, bytes]:
    """The media type, file extension and bytes a browser shows: PNG, or JPEG as it is."""
    if thumbnail.format == pyquarn.EThumbnailFormat.JPG:
        return thumbnail.mime_type, thumbnail.extension, thumbnail.data
    return "image/png", "png", thumbnail.to_png()


def write_page(source: Path, folder: Path, *, inline: bool = False) -> Path:
    """Writes the images (unless `inline`) and index.html into `folder`; returns the page."""
    folder.mkdir(parents=True, exist_ok=True)
    with pyquarn.open(source) as f:
        thumbnails = f.thumbnails
    tags = []
    for n, thumbnail in enumerate(thumbnails, start=1):
        mime_type, extension, data = web_image(thumbnail)
        if inline:
            url = f"data:{mime_type};base64,{base64.b64encode(data).decode('ascii')}"
        else:
            url = f"thumbnail{n}_{thumbnail.width}x{thumbnail.height}.{extension}"
            (folder / url).write_bytes(data)
        alt = f"{thumbnail.format.name} thumbnail, {thumbnail.width}x{thumbnail.height}"
        tags.append(
            f'<img src="{html.escape(url)}" width="{thumbnail.width}"'
            f' height="{thumbnail.height}" alt="{alt}">'
        )
    title = html.escape(source.name)
    page = folder / "index.html"
    page.write_text(
        "<!DOCTYPE html>\n"
        f'<html lang="en">\n<head><meta charset="utf-8"><title>{title}</title></head>\n'
        f"<body>\n<h1>{title}</h1>\n" + "".join(f"{tag}\n" for tag in tags) + "</body>\n</html>\n",
        encoding="utf-8",
    )
    return page


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", nargs="?", type=Path, default=HERE / "bracket.gcode")
    parser.add_argument(
        "--output-dir", type=Path, default=HERE.parent / "build" / "examples" / "thumbnails"
    )
    parser.add_argument("--inline", action="store_true", help="embed the images as data: URIs")
    args = parser.parse_args(argv)
    print(write_page(args.file, args.output_dir, inline=args.inline))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
