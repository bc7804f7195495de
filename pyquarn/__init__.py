"""pyquarn: binary G-code for Python programs.

Everything the ``_quarn`` extension module offers is available here under the same names,
together with a small layer that works on paths and raises on failure:

- ``convert(src, dst=None, *, config=None, verify=True)``: ASCII to binary or back, as the
  content calls for, written atomically;
- ``info(path)``, ``thumbnails(path)``: the layout, metadata and images of a binary file;
- ``Thumbnail``: one image, with ``to_png()`` (QOI decoded with the standard library alone),
  ``mime_type``, ``from_image(data)`` and ``coerce(value)``;
- ``verify(path)``: validation with checksums, as an ``EResult``;
- ``QuarnError``: raised with the ``EResult`` of a failed library call.
"""

from importlib.metadata import version as _distribution_version

from _quarn import *  # noqa: F403

# The redundant aliases mark these names as exported for type checkers.
from .conversion import ConversionResult as ConversionResult
from .conversion import Direction as Direction
from .conversion import convert as convert
from .conversion import default_output as default_output
from .conversion import detect_direction as detect_direction
from .errors import QuarnError as QuarnError
from .inspection import BlockInfo as BlockInfo
from .inspection import FileInfo as FileInfo
from .inspection import ThumbnailInfo as ThumbnailInfo
from .inspection import info as info
from .inspection import thumbnails as thumbnails
from .inspection import verify as verify
from .thumbnail import Thumbnail as Thumbnail

# The distribution's version (from CMakeLists.txt); _quarn.__version__ is a fixed text of its own.
__version__ = _distribution_version("quarn")
