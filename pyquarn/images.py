"""The thumbnail image formats, with the standard library alone: QOI decoding, PNG encoding
and the size of a PNG, JPEG or QOI image read from its own header.

Every function takes untrusted bytes: malformed input raises ValueError, and nothing is
allocated beyond what the input can justify.
"""

from __future__ import annotations

import struct
import zlib
from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from typing_extensions import Buffer  # collections.abc.Buffer from Python 3.12 on

QOI_MAGIC = b"qoif"
QOI_HEADER_SIZE = 14
QOI_END_MARKER = b"\x00" * 7 + b"\x01"
# A run op gives at most 62 pixels for one byte, so a header claiming more is lying.
QOI_MAX_PIXELS_PER_BYTE = 62
MAX_PIXELS = 400_000_000

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
PNG_MAX_DIMENSION = 2**31 - 1
_PNG_COLOR_TYPES = {3: 2, 4: 6}  # channels -> truecolour, truecolour with alpha

_JPEG_SOI = b"\xff\xd8"
# Start-of-frame markers carry the image size; C4, C8 and CC share the range but are not frames.
_JPEG_FRAME_MARKERS = frozenset(range(0xC0, 0xD0)) - {0xC4, 0xC8, 0xCC}
# Markers standing alone, without a length field: TEM, RST0..RST7, SOI.
_JPEG_BARE_MARKERS = frozenset([0x01, *range(0xD0, 0xD9)])
_JPEG_EOI, _JPEG_SOS = 0xD9, 0xDA


def decode_qoi(data: Buffer) -> tuple[int, int, int, bytes]:
    """Decodes a QOI image into (width, height, channels, pixels).

    The pixels are rows of RGB (channels 3) or RGBA (channels 4) bytes, top row first. The
    op stream must describe exactly width x height pixels and end with the end marker."""
    data = bytes(data)
    width, height, channels = _qoi_header(data)
    pixel_count = width * height
    ops_end = len(data) - len(QOI_END_MARKER)
    if pixel_count > QOI_MAX_PIXELS_PER_BYTE * (ops_end - QOI_HEADER_SIZE):
        raise ValueError(
            f"QOI image: {width}x{height} pixels cannot be encoded in {len(data)} bytes"
        )

    out = bytearray(pixel_count * 4)
    end = len(out)
    # The index of recently seen pixels, one list per component, all zero at the start.
    index_r, index_g, index_b, index_a = [0] * 64, [0] * 64, [0] * 64, [0] * 64
    r = g = b = 0
    a = 255
    p = QOI_HEADER_SIZE
    i = 0
    try:  # an op reading past the data ends the loop with IndexError
        while i < end:
            op = data[p]
            p += 1
            if op < 0x40:  # INDEX
                r, g, b, a = index_r[op], index_g[op], index_b[op], index_a[op]
            elif op < 0x80:  # DIFF: -2..1 per component
                r = (r + (op >> 4 & 3) - 2) & 255
                g = (g + (op >> 2 & 3) - 2) & 255
                b = (b + (op & 3) - 2) & 255
                h = (r * 3 + g * 5 + b * 7 + a * 11) & 63
                index_r[h], index_g[h], index_b[h], index_a[h] = r, g, b, a
            elif op < 0xC0:  # LUMA: green -32..31, red and blue relative to it -8..7
                dg = (op & 63) - 32
                rb = data[p]
                p += 1
                r = (r + dg - 8 + (rb >> 4)) & 255
                g = (g + dg) & 255
                b = (b + dg - 8 + (rb & 15)) & 255
                h = (r * 3 + g * 5 + b * 7 + a * 11) & 63
                index_r[h], index_g[h], index_b[h], index_a[h] = r, g, b, a
            elif op < 0xFE:  # RUN: the previous pixel 1..62 times
                h = (r * 3 + g * 5 + b * 7 + a * 11) & 63
                index_r[h], index_g[h], index_b[h], index_a[h] = r, g, b, a
                stop = i + ((op & 63) + 1) * 4
                if stop > end:
                    raise ValueError("QOI image: a run goes past the last pixel")
                out[i:stop] = bytes((r, g, b, a)) * ((op & 63) + 1)
                i = stop
                continue
            else:  # RGB, or RGBA
                r, g, b = data[p], data[p + 1], data[p + 2]
                if op == 0xFF:
                    a = data[p + 3]
                    p += 4
                else:
                    p += 3
                h = (r * 3 + g * 5 + b * 7 + a * 11) & 63
                index_r[h], index_g[h], index_b[h], index_a[h] = r, g, b, a
            out[i] = r
            out[i + 1] = g
            out[i + 2] = b
            out[i + 3] = a
            i += 4
    except IndexError:
        p = len(data)  # beyond the ops: reported below
    if p > ops_end:
        raise ValueError("QOI image: the data ends before the last pixel")
    if data[p : p + len(QOI_END_MARKER)] != QOI_END_MARKER:
        raise ValueError(f"QOI image: no end marker after the last pixel (at byte {p})")
    if channels == 3:
        del out[3::4]
    return width, height, channels, bytes(out)


def _qoi_header(data: bytes) -> tuple[int, int, int]:
    """(width, height, channels) of a QOI header, checked."""
    if len(data) < QOI_HEADER_SIZE or data[:4] != QOI_MAGIC:
        raise ValueError("not a QOI image (no 'qoif' header)")
    width, height, channels, colorspace = struct.unpack_from(">IIBB", data, 4)
    if channels not in (3, 4):
        raise ValueError(f"QOI image: {channels} channels (3 or 4 expected)")
    if colorspace > 1:
        raise ValueError(f"QOI image: colour space {colorspace} (0 or 1 expected)")
    _check_size("QOI", width, height)
    return width, height, channels


def encode_png(width: int, height: int, channels: int, pixels: Buffer) -> bytes:
    """An 8-bit RGB (channels 3) or RGBA (channels 4) PNG of rows of pixels, top row first."""
    if channels not in _PNG_COLOR_TYPES:
        raise ValueError(f"PNG: {channels} channels (3 or 4 expected)")
    if not (0 < width <= PNG_MAX_DIMENSION and 0 < height <= PNG_MAX_DIMENSION):
        raise ValueError(f"PNG: invalid size {width}x{height}")
    pixels = memoryview(pixels).cast("B")
    stride = width * channels
    if len(pixels) != stride * height:
        raise ValueError(
            f"PNG: {len(pixels)} bytes of pixels for {width}x{height}x{channels}"
            f" ({stride * height} expected)"
        )
    # Filter type 0 (none) before every row.
    rows = b"".join(b"\x00" + pixels[y : y + stride] for y in range(0, len(pixels), stride))
    header = struct.pack(">IIBBBBB", width, height, 8, _PNG_COLOR_TYPES[channels], 0, 0, 0)
    return b"".join(
        [
            PNG_SIGNATURE,
            _png_chunk(b"IHDR", header),
            _png_chunk(b"IDAT", zlib.compress(rows)),
            _png_chunk(b"IEND", b""),
        ]
    )


def _png_chunk(kind: bytes, body: bytes) -> bytes:
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def image_info(data: Buffer) -> tuple[str, int, int]:
    """(format, width, height) of a PNG, JPEG or QOI image, from its header; the format is
    "PNG", "JPG" or "QOI". Only the header is read: the image itself may still be damaged."""
    data = bytes(data)
    if data.startswith(PNG_SIGNATURE):
        return ("PNG", *_png_size(data))
    if data.startswith(_JPEG_SOI):
        return ("JPG", *_jpeg_size(data))
    if data.startswith(QOI_MAGIC):
        width, height, _ = _qoi_header(data)
        return "QOI", width, height
    raise ValueError("not a PNG, JPEG or QOI image")


def _png_size(data: bytes) -> tuple[int, int]:
    # The first chunk is always IHDR: length 13, type, width, height.
    if len(data) < 24 or data[12:16] != b"IHDR":
        raise ValueError("PNG image: no IHDR header")
    width, height = struct.unpack_from(">II", data, 16)
    _check_size("PNG", width, height)
    return width, height


def _jpeg_size(data: bytes) -> tuple[int, int]:
    p = len(_JPEG_SOI)
    while True:
        if p >= len(data) or data[p] != 0xFF:
            break
        while p < len(data) and data[p] == 0xFF:  # fill bytes may precede a marker
            p += 1
        if p >= len(data):
            break
        marker = data[p]
        p += 1
        if marker in _JPEG_BARE_MARKERS:
            continue
        if marker in (_JPEG_EOI, _JPEG_SOS):
            raise ValueError("JPEG image: no frame header before the image data")
        if p + 2 > len(data):
            break
        (length,) = struct.unpack_from(">H", data, p)
        if marker in _JPEG_FRAME_MARKERS:
            if length < 7 or p + 7 > len(data):
                break
            height, width = struct.unpack_from(">HH", data, p + 3)
            _check_size("JPEG", width, height)
            return width, height
        if length < 2:
            raise ValueError(f"JPEG image: segment length {length} at byte {p}")
        p += length
    raise ValueError("JPEG image: truncated or malformed before the frame header")


def _check_size(kind: str, width: int, height: int) -> None:
    if width == 0 or height == 0:
        raise ValueError(f"{kind} image: empty size {width}x{height}")
    if width * height > MAX_PIXELS:
        raise ValueError(f"{kind} image: {width}x{height} is more than {MAX_PIXELS} pixels")
