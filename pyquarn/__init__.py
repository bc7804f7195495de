"""pyquarn: binary G-code for Python programs.

- ``open(source)``: a reader of either format, from a path, bytes or a file object: its
  ``metadata``, ``thumbnails``, ``blocks``, ``config``, ``lines()`` and ``verify()``;
- ``open(target, "w", config=..., metadata=..., thumbnails=...)``: a writer of binary files;
- ``rewrite(source, target=None, *, metadata=None, thumbnails=None)``: other metadata or
  thumbnails, the G-code blocks copied unchanged;
- ``to_binary(data)``, ``to_ascii(data)``: conversions of bytes;
- ``convert(src, dst=None, *, config=None, verify=True)``: ASCII to binary or back, as the
  content calls for, written atomically;
- ``info(path)``, ``thumbnails(path)``, ``verify(path)``: the layout, images and soundness of
  a binary file;
- ``Thumbnail``: one image, with ``to_png()`` (QOI decoded with the standard library alone),
  ``mime_type``, ``from_image(data)`` and ``coerce(value)``;
- ``summarize(metadata)``, ``choose_thumbnail(...)``: the facts a print host shows, typed, and
  the best thumbnail for a display;
- ``QuarnError``: raised for every failure the library reports.

The enumerations, ``BinarizerConfig`` and ``get_config`` come from the ``_quarn`` module,
which also keeps the low-level file-handle interface.
"""

from importlib.metadata import version as _distribution_version

# The rest of the module stays reachable under the same names but outside the list below;
# its C-style file-handle functions (open, close, is_open, rewind) stay in _quarn.
from _quarn import BaseMetadataBlock as BaseMetadataBlock
from _quarn import Binarizer as Binarizer
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
from _quarn import BinaryData as BinaryData
from _quarn import BlockHeader as BlockHeader
from _quarn import FileHeader as FileHeader
from _quarn import FileMetadataBlock as FileMetadataBlock
from _quarn import FILEWrapper as FILEWrapper
from _quarn import GCodeBlock as GCodeBlock
from _quarn import PrinterMetadataBlock as PrinterMetadataBlock
from _quarn import PrintMetadataBlock as PrintMetadataBlock
from _quarn import SlicerMetadataBlock as SlicerMetadataBlock
from _quarn import ThumbnailBlock as ThumbnailBlock
from _quarn import ThumbnailParams as ThumbnailParams
from _quarn import block_content_size as block_content_size
from _quarn import block_parameters_size as block_parameters_size
from _quarn import block_payload_size as block_payload_size
from _quarn import checksum_size as checksum_size
from _quarn import from_ascii_to_binary as from_ascii_to_binary
from _quarn import from_binary_to_ascii as from_binary_to_ascii
from _quarn import is_valid_binary_gcode as is_valid_binary_gcode
from _quarn import read_header as read_header
from _quarn import read_next_block_header as read_next_block_header
from _quarn import skip_block as skip_block
from _quarn import skip_block_content as skip_block_content
from _quarn import verify_block_checksum as verify_block_checksum

from .conversion import ConversionResult, Direction, convert, default_output, detect_direction
from .errors import QuarnError
from .in_memory import to_ascii, to_binary
from .inspection import BlockInfo, FileInfo, ThumbnailInfo, info, thumbnails, verify
from .metadata import Metadata, MetadataPairs
from .opening import open
from .reader import Reader
from .rewrite import rewrite
from .summary import Summary, choose_thumbnail, format_summary, summarize
from .thumbnail import Thumbnail
from .writer import Writer

# The distribution's version (from CMakeLists.txt); _quarn.__version__ is a fixed text of its own.
__version__ = _distribution_version("quarn")

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
    "Summary",
    "Thumbnail",
    "ThumbnailInfo",
    "Writer",
    "convert",
    "choose_thumbnail",
    "default_output",
    "detect_direction",
    "format_summary",
    "get_config",
    "info",
    "open",
    "quarn_version",
    "rewrite",
    "summarize",
    "thumbnails",
    "to_ascii",
    "to_binary",
    "translate_result",
    "verify",
    "version",
]
