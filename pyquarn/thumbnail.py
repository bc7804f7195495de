"""A thumbnail image as a binary G-code file stores it: format, size and the image's bytes."""

from __future__ import annotations

from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, NamedTuple

from _quarn import EThumbnailFormat

from .images import decode_qoi, encode_png, image_info

if TYPE_CHECKING:
    from typing_extensions import Buffer  # collections.abc.Buffer from Python 3.12 on

MAX_DIMENSION = 0xFFFF  # width and height are stored in 16 bits


class _FormatTraits(NamedTuple):
    extension: str
    mime_type: str


_FORMATS: dict[EThumbnailFormat, _FormatTraits] = {
    EThumbnailFormat.PNG: _FormatTraits("png", "image/png"),
    EThumbnailFormat.JPG: _FormatTraits("jpg", "image/jpeg"),
    EThumbnailFormat.QOI: _FormatTraits("qoi", "image/qoi"),
}


@dataclass(frozen=True)
class Thumbnail:
    """One thumbnail: `data` is the image file's bytes in `format`; `width` and `height` are
    the size the file declares for it."""

    format: EThumbnailFormat
    width: int
    height: int
    data: bytes

    @property
    def extension(self) -> str:
        """The usual file extension of the image format ("bin" for an unknown one)."""
        traits = _FORMATS.get(self.format)
        return traits.extension if traits else "bin"

    @property
    def mime_type(self) -> str:
        """The media type of `data` ("application/octet-stream" for an unknown format)."""
        traits = _FORMATS.get(self.format)
        return traits.mime_type if traits else "application/octet-stream"

    def to_png(self) -> bytes:
        """The image as PNG bytes, for a browser: a PNG is returned as it is, a QOI image is
        decoded and encoded as PNG (at the size of its own header).

        Raises ValueError for a JPG thumbnail, which would need a JPEG decoder: serve its
        `data` as image/jpeg instead. A damaged QOI image raises ValueError too."""
        if self.format == EThumbnailFormat.PNG:
            return self.data
        if self.format == EThumbnailFormat.QOI:
            return encode_png(*decode_qoi(self.data))
        if self.format == EThumbnailFormat.JPG:
            raise ValueError(
                "JPG thumbnails cannot be converted to PNG without a JPEG decoder;"
                " use .data as image/jpeg"
            )
        raise ValueError(f"thumbnail format {self.format!r} cannot be converted to PNG")

    @classmethod
    def from_image(cls, data: Buffer) -> Thumbnail:
        """A thumbnail of a PNG, JPEG or QOI image, with the size its header gives."""
        name, width, height = image_info(data)
        _check_dimensions(width, height)
        return cls(_thumbnail_format(name), width, height, bytes(data))

    @classmethod
    def coerce(cls, value: Any) -> Thumbnail:
        """`value` as a Thumbnail: a Thumbnail, or a (format, width, height, data) tuple whose
        format is an EThumbnailFormat, its int value or its name in any case ("png").

        Raises TypeError for a value of the wrong shape or types, ValueError for an unknown
        format or a size a file cannot store."""
        if isinstance(value, cls):
            return value
        if not isinstance(value, tuple | list):
            raise TypeError(
                "a thumbnail is a Thumbnail or a (format, width, height, data) tuple,"
                f" not {_describe(value)}"
            )
        if len(value) != 4:
            raise TypeError(
                f"a thumbnail tuple has 4 items (format, width, height, data), not {len(value)}"
            )
        format_, width, height, data = value
        for name, number in (("width", width), ("height", height)):
            if not isinstance(number, int) or isinstance(number, bool):
                raise TypeError(f"thumbnail {name} must be an int, not {_describe(number)}")
        _check_dimensions(width, height)
        if isinstance(data, str) or not _is_buffer(data):
            raise TypeError(f"thumbnail data must be bytes, not {_describe(data)}")
        return cls(_thumbnail_format(format_), width, height, bytes(data))


def _is_buffer(value: object) -> bool:
    """Whether `value` exposes the buffer protocol (isinstance of Buffer needs Python 3.12)."""
    try:
        with memoryview(value):  # type: ignore[arg-type]
            return True
    except TypeError:
        return False


def _thumbnail_format(value: Any) -> EThumbnailFormat:
    if isinstance(value, EThumbnailFormat):
        return value
    if isinstance(value, str):
        member = EThumbnailFormat.__members__.get(value.upper())
        if member is None:
            raise ValueError(f"unknown thumbnail format {value!r} (PNG, JPG or QOI)")
        return member
    if isinstance(value, int) and not isinstance(value, bool):
        for member in EThumbnailFormat.__members__.values():
            if member.value == value:
                return member
        raise ValueError(f"unknown thumbnail format {value} (0 PNG, 1 JPG, 2 QOI)")
    raise TypeError(
        f"thumbnail format must be an EThumbnailFormat, an int or a name, not {_describe(value)}"
    )


def _check_dimensions(width: int, height: int) -> None:
    if not (0 < width <= MAX_DIMENSION and 0 < height <= MAX_DIMENSION):
        raise ValueError(f"thumbnail size {width}x{height} (1 to {MAX_DIMENSION} each)")


def _describe(value: Any) -> str:
    return type(value).__name__
