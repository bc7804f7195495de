"""QOI decoding, PNG encoding, image sniffing and the Thumbnail helpers.

The slicer renders each file's 160x120 PNG and QOI thumbnails from the same image, so the
QOI decoder is checked against the PNG, read by the small independent reader below."""

import random
import struct
import zlib
from pathlib import Path

import pytest

import pyquarn
from pyquarn import EThumbnailFormat, Thumbnail
from pyquarn.images import decode_qoi, encode_png, image_info

ROOT = Path(__file__).resolve().parents[2]
SLICER_FILES = {
    path.name: path
    for path in [
        ROOT / "examples" / "bracket.gcode",
        *sorted((ROOT.parent / "shared" / "corpus").glob("*.gcode")),
    ]
}


@pytest.fixture(scope="module", params=sorted(SLICER_FILES))
def slicer_thumbnails(request, tmp_path_factory) -> list[Thumbnail]:
    binary = tmp_path_factory.mktemp("thumbnails") / "file.qgcode"
    pyquarn.convert(SLICER_FILES[request.param], binary)
    return list(pyquarn.thumbnails(binary))


def read_png(data: bytes) -> tuple[int, int, int, bytes]:
    """(width, height, channels, pixels) of an 8-bit RGB or RGBA PNG, any row filter, with
    every chunk's CRC checked."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, at = [], 8
    while at < len(data):
        (length,) = struct.unpack_from(">I", data, at)
        kind, body = data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        assert struct.unpack_from(">I", data, at + 8 + length)[0] == zlib.crc32(kind + body)
        chunks.append((kind, body))
        at += 12 + length
    assert chunks[0][0] == b"IHDR" and chunks[-1] == (b"IEND", b"")
    width, height, depth, color, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    assert depth == 8 and interlace == 0
    channels = {2: 3, 6: 4}[color]
    raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    stride = width * channels
    assert len(raw) == (stride + 1) * height
    pixels, previous = bytearray(), bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        filter_type, row = raw[start], bytearray(raw[start + 1 : start + 1 + stride])
        for x in range(stride):
            left = row[x - channels] if x >= channels else 0
            up, corner = previous[x], previous[x - channels] if x >= channels else 0
            estimate = left + up - corner
            paeth = min((abs(estimate - v), i, v) for i, v in enumerate((left, up, corner)))[2]
            row[x] = (row[x] + [0, left, up, (left + up) // 2, paeth][filter_type]) & 255
        pixels += row
        previous = row
    return width, height, channels, bytes(pixels)


def qoi(width: int, height: int, ops: bytes, channels: int = 4, colorspace: int = 0) -> bytes:
    header = b"qoif" + struct.pack(">IIBB", width, height, channels, colorspace)
    return header + ops + b"\x00" * 7 + b"\x01"


# Every op, each value worked out by hand from the previous pixel (and the index of seen
# pixels, where a run's pixel counts as seen).
OPS = bytes(
    [
        0xC0,  # RUN 1 of the start pixel (0, 0, 0, 255), which the index stores at 53
        0x35,  # INDEX 53
        0x01,  # INDEX of a slot never written: (0, 0, 0, 0)
        0x5B,  # DIFF -1, 0, +1, wrapping
        *(0xFF, 10, 20, 30, 40),  # RGBA
        *(0xA5, 0x5A),  # LUMA: green +5, red -3 and blue +2 relative to it
        0xC2,  # RUN 3
        0x0C,  # INDEX 12, where (10, 20, 30, 40) went
        *(0xFE, 1, 2, 3),  # RGB keeps alpha
        0x7F,  # DIFF +1, +1, +1
    ]
)
OPS_PIXELS = [
    (0, 0, 0, 255),
    (0, 0, 0, 255),
    (0, 0, 0, 0),
    (255, 0, 1, 0),
    (10, 20, 30, 40),
    *[(12, 25, 37, 40)] * 4,
    (10, 20, 30, 40),
    (1, 2, 3, 40),
    (2, 3, 4, 40),
]


@pytest.mark.parametrize("channels", [3, 4])
def test_qoi_decodes_every_op(channels):
    expected = b"".join(bytes(pixel[:channels]) for pixel in OPS_PIXELS)
    assert decode_qoi(qoi(4, 3, OPS, channels)) == (4, 3, channels, expected)


def test_qoi_thumbnails_match_the_png_of_the_same_render(slicer_thumbnails):
    [image] = [t for t in slicer_thumbnails if t.format == EThumbnailFormat.QOI]
    [png] = [
        t
        for t in slicer_thumbnails
        if t.format == EThumbnailFormat.PNG and (t.width, t.height) == (image.width, image.height)
    ]
    width, height, channels, pixels = decode_qoi(image.data)
    _, _, _, png_pixels = read_png(png.data)
    rgb = bytearray(pixels)
    del rgb[3::4]
    assert (width, height, channels) == (image.width, image.height, 4)
    assert rgb == png_pixels
    assert read_png(image.to_png()) == (width, height, channels, pixels)


@pytest.mark.parametrize(
    "width, height, channels",
    [(1, 1, 3), (1, 1, 4), (3, 2, 4), (300, 7, 3), (7, 300, 4)],
)
def test_png_round_trip(width, height, channels):
    pixels = random.Random(width * height).randbytes(width * height * channels)
    assert read_png(encode_png(width, height, channels, pixels)) == (
        width,
        height,
        channels,
        pixels,
    )


@pytest.mark.parametrize(
    "args, message",
    [
        ((2, 2, 3, bytes(11)), "11 bytes of pixels"),
        ((2, 2, 2, bytes(8)), "2 channels"),
        ((0, 2, 3, b""), "invalid size"),
    ],
)
def test_png_refuses_inconsistent_pixels(args, message):
    with pytest.raises(ValueError, match=message):
        encode_png(*args)


VALID = qoi(4, 3, OPS)


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", "not a QOI image"),
        (b"qoix" + VALID[4:], "not a QOI image"),
        (VALID[:13], "not a QOI image"),
        (qoi(4, 3, OPS, channels=5), "5 channels"),
        (qoi(4, 3, OPS, colorspace=2), "colour space 2"),
        (qoi(0, 3, OPS), "empty size"),
        (qoi(20001, 20001, OPS), "more than 400000000 pixels"),
        (qoi(1000, 1000, OPS), "cannot be encoded in"),
        (qoi(4, 4, OPS), "ends before the last pixel"),  # four pixels short
        (qoi(4, 3, OPS[:-3]), "ends before the last pixel"),  # RGB reads the end marker
        (VALID[:-8], "ends before the last pixel"),
        (VALID[:-1], "ends before the last pixel"),
        (VALID[:-1] + b"\x02", "no end marker"),
        (qoi(4, 3, OPS + b"\x00"), "no end marker"),  # one op too many
        (qoi(4, 3, OPS[:-1] + b"\xc1"), "a run goes past the last pixel"),
    ],
)
def test_malformed_qoi_is_refused(data, message):
    with pytest.raises(ValueError, match=message):
        decode_qoi(data)


def test_image_info_and_from_image_read_the_slicer_thumbnails(slicer_thumbnails):
    for thumbnail in slicer_thumbnails:
        expected = (thumbnail.format.name, thumbnail.width, thumbnail.height)
        assert image_info(thumbnail.data) == expected
        assert Thumbnail.from_image(thumbnail.data) == thumbnail


def jpeg(*segments: tuple[int, bytes]) -> bytes:
    out = b"\xff\xd8"
    for marker, body in segments:
        out += bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body
    return out


# A progressive frame of 160x120 behind a table segment whose bytes would read as 32x16.
FRAME = bytes([8, 0, 120, 0, 160, 1, 1, 0x11, 0])
PROGRESSIVE = jpeg((0xE0, b"JFIF\x00"), (0xC4, bytes([8, 0, 16, 0, 32, 0, 0])), (0xC2, FRAME))
PNG_HEADER = b"\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR" + struct.pack(">II", 16, 9)


@pytest.mark.parametrize(
    "data, expected",
    [
        (PROGRESSIVE, ("JPG", 160, 120)),
        (PROGRESSIVE[:2] + b"\xff\xff\xd0" + PROGRESSIVE[2:], ("JPG", 160, 120)),  # fill, RST0
        (PNG_HEADER, ("PNG", 16, 9)),
        (VALID[:14], ("QOI", 4, 3)),
    ],
)
def test_image_info_reads_the_header_alone(data, expected):
    assert image_info(data) == expected


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", "not a PNG, JPEG or QOI image"),
        (b"GIF89a\x10\x00\x10\x00", "not a PNG, JPEG or QOI image"),
        (PNG_HEADER[:23], "no IHDR header"),
        (PNG_HEADER[:16] + bytes(8), "empty size 0x0"),
        (PROGRESSIVE[:-5], "truncated or malformed"),
        (PROGRESSIVE[:10], "truncated or malformed"),
        (b"\xff\xd8\xff", "truncated or malformed"),
        (b"\xff\xd8\xff\xe0\x00\x01", "segment length 1"),
        (jpeg((0xDA, b"\x00")), "no frame header before the image data"),
        (jpeg((0xC0, bytes([8, 0, 0, 0, 160, 1, 1, 0x11, 0]))), "empty size 160x0"),
    ],
)
def test_image_info_refuses(data, message):
    with pytest.raises(ValueError, match=message):
        image_info(data)


@pytest.mark.parametrize(
    "format_, extension, mime_type",
    [
        (EThumbnailFormat.PNG, "png", "image/png"),
        (EThumbnailFormat.JPG, "jpg", "image/jpeg"),
        (EThumbnailFormat.QOI, "qoi", "image/qoi"),
    ],
)
def test_thumbnail_format_traits(format_, extension, mime_type):
    thumbnail = Thumbnail(format_, 1, 1, b"")
    assert (thumbnail.extension, thumbnail.mime_type) == (extension, mime_type)


def test_to_png_keeps_a_png_and_refuses_a_jpg():
    png = encode_png(1, 1, 3, b"abc")
    assert Thumbnail(EThumbnailFormat.PNG, 1, 1, png).to_png() is png
    with pytest.raises(ValueError, match="without a JPEG decoder"):
        Thumbnail(EThumbnailFormat.JPG, 1, 1, b"\xff\xd8").to_png()
    with pytest.raises(ValueError, match="no end marker"):
        Thumbnail(EThumbnailFormat.QOI, 4, 3, VALID[:-1] + b"\x02").to_png()


QOI_THUMBNAIL = Thumbnail(EThumbnailFormat.QOI, 4, 3, VALID)


@pytest.mark.parametrize(
    "value",
    [
        QOI_THUMBNAIL,
        (EThumbnailFormat.QOI, 4, 3, VALID),
        ("qoi", 4, 3, bytearray(VALID)),
        ("QOI", 4, 3, memoryview(VALID)),
        [2, 4, 3, VALID],
    ],
)
def test_coerce_accepts_thumbnails_and_tuples(value):
    assert Thumbnail.coerce(value) == QOI_THUMBNAIL


@pytest.mark.parametrize(
    "value, error, message",
    [
        ("QOI", TypeError, "not str"),
        (("QOI", 4, 3), TypeError, "4 items"),
        (("GIF", 4, 3, VALID), ValueError, "unknown thumbnail format 'GIF'"),
        ((7, 4, 3, VALID), ValueError, "unknown thumbnail format 7"),
        ((None, 4, 3, VALID), TypeError, "format must be"),
        (("QOI", "4", 3, VALID), TypeError, "width must be an int"),
        (("QOI", 4, True, VALID), TypeError, "height must be an int"),
        (("QOI", 0, 3, VALID), ValueError, "size 0x3"),
        (("QOI", 4, 65536, VALID), ValueError, "size 4x65536"),
        (("QOI", 4, 3, "qoif"), TypeError, "data must be bytes"),
    ],
)
def test_coerce_refuses(value, error, message):
    with pytest.raises(error, match=message):
        Thumbnail.coerce(value)


def test_from_image_refuses_a_size_a_file_cannot_store():
    with pytest.raises(ValueError, match="70000x9"):
        Thumbnail.from_image(PNG_HEADER[:16] + struct.pack(">II", 70000, 9))
