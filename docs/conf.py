"""Sphinx configuration of the quarn documentation site (built by `make docs`)."""

import sys
from pathlib import Path

import pyquarn

DOCS = Path(__file__).resolve().parent
REPOSITORY = DOCS.parent
sys.path.insert(0, str(DOCS / "_ext"))

project = "quarn"
author = "the quarn developers"
copyright = "the quarn developers"
release = pyquarn.__version__
version = release

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "sphinx.ext.doctest",
    "argparse_help",
]

html_theme = "alabaster"
html_title = "quarn documentation"
html_theme_options = {
    "description": "binary G-code for C++ and Python",
    "fixed_sidebar": True,
    "page_width": "1180px",
}
exclude_patterns = ["_build"]
default_role = "py:obj"
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_default_options = {"members": True, "undoc-members": True}

# Every page's examples run in a fresh temporary folder holding copies of the two bundled
# example files, so they can read, write and overwrite freely.
doctest_global_setup = f"""
import os as _os, shutil as _shutil, tempfile as _tempfile
_docs_home = _os.getcwd()
_docs_work = _tempfile.mkdtemp(prefix="quarn-docs-")
for _name in ("bracket.gcode", "sample.qgcode"):
    _shutil.copy({str(REPOSITORY / "examples")!r} + "/" + _name, _docs_work)
_os.chdir(_docs_work)
"""
doctest_global_cleanup = """
_os.chdir(_docs_home)
_shutil.rmtree(_docs_work)
"""


def _quote_module_docstring(app, what, name, obj, options, lines):
    # The docstring of _quarn is a fixed text written for another documentation tool; it is
    # shown as it is instead of being parsed.
    if what == "module" and name == "_quarn" and lines:
        lines[:] = ["The module's docstring reads:", "", ".. code-block:: text", ""] + [
            "   " + line for line in lines
        ]


def setup(app):
    app.connect("autodoc-process-docstring", _quote_module_docstring)
