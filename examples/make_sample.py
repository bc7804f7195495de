"""Writes examples/sample.qgcode: a small valid binary G-code file.

It holds every kind of block in the required order: file metadata, printer metadata, one
16x16 PNG thumbnail, print metadata, slicer metadata (Deflate-compressed) and three G-code
blocks of raw text, all closed by CRC-32 checksums. The output is deterministic, so running
the script again reproduces the committed file byte for byte.

Usage: python examples/make_sample.py [output path]
"""

import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "python"))

from gcode_files import (  # noqa: E402
    Compression,
    GCodeFile,
    ThumbnailFormat,
    file_metadata,
    gcode,
    print_metadata,
    printer_metadata,
    slicer_metadata,
    thumbnail,
)


def png(width: int, height: int) -> bytes:
    """A plain RGB PNG of a diagonal gradient."""

    def chunk(kind: bytes, body: bytes) -> bytes:
        return (
            struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        )

    rows = b"".join(
        b"\x00" + b"".join(bytes((x * 16, y * 16, 128)) for x in range(width))
        for y in range(height)
    )
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(rows))
        + chunk(b"IEND", b"")
    )


GCODE = [
    "M140 S60\nM104 S215\nG28\nG90\nM83\n",
    "G1 Z0.2 F720\nG1 X60 Y10 E9 F1000\nG1 X100 Y10 E12.5\n",
    "G1 Z10 F720\nM104 S0\nM140 S0\nM84\n",
]


def sample() -> GCodeFile:
    return GCodeFile(
        [
            file_metadata([("Producer", "quarn sample 0.2.1")]),
            printer_metadata(
                [
                    ("printer_model", "T1"),
                    ("filament_type", "PLA"),
                    ("nozzle_diameter", "0.4"),
                    ("bed_temperature", "60"),
                ]
            ),
            thumbnail(png(16, 16), 16, 16, format=ThumbnailFormat.PNG),
            print_metadata(
                [
                    ("filament used [mm]", "1234.56"),
                    ("filament used [g]", "3.68"),
                    ("estimated printing time (normal mode)", "12m 5s"),
                ]
            ),
            slicer_metadata(
                [("layer_height", "0.2"), ("first_layer_height", "0.2"), ("perimeters", "2")],
                compression=Compression.Deflate,
            ),
            *(gcode(text) for text in GCODE),
        ]
    )


def main() -> None:
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "sample.qgcode"
    sample().write(out)
    print(f"wrote {out} ({out.stat().st_size} bytes)")


if __name__ == "__main__":
    main()
