"""pyquarn: binary G-code for Python programs.

Everything the ``_quarn`` extension module offers is available here under the same names.
"""

from _quarn import *  # noqa: F403
from _quarn import __version__  # noqa: F401
