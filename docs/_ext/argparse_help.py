"""The ``quarn-command-help`` directive: the help of the ``quarn`` command and of each of its
subcommands, taken from the parser the command itself builds, so the reference cannot drift
from the program."""

from __future__ import annotations

import argparse
import os

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective
from sphinx.util.nodes import nested_parse_with_titles

from pyquarn.cli import build_parser

HELP_WIDTH = "84"


def _help(parser: argparse.ArgumentParser) -> str:
    # argparse wraps to the terminal width it reads from COLUMNS when formatting.
    saved = os.environ.get("COLUMNS")
    os.environ["COLUMNS"] = HELP_WIDTH
    try:
        return parser.format_help()
    finally:
        if saved is None:
            del os.environ["COLUMNS"]
        else:
            os.environ["COLUMNS"] = saved


def _subcommands(parser: argparse.ArgumentParser) -> dict[str, argparse.ArgumentParser]:
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            return dict(action.choices)
    return {}


def _literal(text: str) -> list[str]:
    return (
        [".. code-block:: text", ""] + ["   " + line for line in text.rstrip().splitlines()] + [""]
    )


class CommandHelp(SphinxDirective):
    has_content = False

    def run(self) -> list[nodes.Node]:
        parser = build_parser()
        lines = _literal(_help(parser))
        for name, sub in _subcommands(parser).items():
            title = f"{parser.prog} {name}"
            lines += [title, "-" * len(title), ""] + _literal(_help(sub))
        container = nodes.section()
        container.document = self.state.document
        nested_parse_with_titles(self.state, StringList(lines, source="pyquarn.cli"), container)
        return container.children


def setup(app: Sphinx) -> dict[str, bool]:
    app.add_directive("quarn-command-help", CommandHelp)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
