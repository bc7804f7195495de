"""pyquarn: binary G-code for Python programs.

- ``open(source)``: a reader of either format, from a path, bytes or a file object: its
  ``metadata``, ``thumbnails``, ``blocks``, ``config``, ``lines()`` and ``verify()``;
- ``open(target, "w", config=..., metadata=..., thumbnails=...)``: a writer of binary files;
- ``to_binary(data)``, ``to_ascii(data)``: conversions of bytes;
- ``convert(src, dst=None, *, config=None, verify=True)``: ASCII to binary or back, as the
  content calls for, written atomically;
- ``info(path)``, ``thumbnails(path)``, ``verify(path)``: the layout, images and soundness of
  a binary file;
- ``QuarnError``: raised for every failure the library reports.

The enumerations, ``BinarizerConfig`` and ``get_config`` come from the ``_quarn`` module,
which also keeps the low-level file-handle interface.
"""

from _quarn import (
    BinarizerCompression,
    BinarizerConfig,
    ChecksumType,
    CompressionType,
    EBlockType,
    EResult,
    EThumbnailFormat,
    GCodeEncodingType,
    MetadataEncodingType,
    get_config,
    quarn_version,
    translate_result,
    version,
)
from _quarn import __version__ as __version__

from .conversion import ConversionResult, Direction, convert, default_output, detect_direction
from .errors import QuarnError
from .in_memory import to_ascii, to_binary
from .inspection import BlockInfo, FileInfo, Thumbnail, ThumbnailInfo, info, thumbnails, verify
from .metadata import Metadata, MetadataPairs
from .opening import open
from .reader import Reader
from .rewrite import rewrite
from .writer import Writer

__all__ = [
    "BinarizerCompression",
    "BinarizerConfig",
    "BlockInfo",
    "ChecksumType",
    "CompressionType",
    "ConversionResult",
    "Direction",
    "EBlockType",
    "EResult",
    "EThumbnailFormat",
    "FileInfo",
    "GCodeEncodingType",
    "Metadata",
    "MetadataEncodingType",
    "MetadataPairs",
    "QuarnError",
    "Reader",
    "Thumbnail",
    "ThumbnailInfo",
    "Writer",
    "convert",
    "default_output",
    "detect_direction",
    "get_config",
    "info",
    "open",
    "quarn_version",
    "rewrite",
    "thumbnails",
    "to_ascii",
    "to_binary",
    "translate_result",
    "verify",
    "version",
]
