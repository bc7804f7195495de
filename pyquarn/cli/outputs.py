"""Where a command writes its data: a file named with -o, or `-` for standard output."""

from __future__ import annotations

import argparse
from pathlib import Path
from typing import Final, Literal, TypeAlias

STDOUT: Final = "-"
STDOUT_NAME: Final = "<stdout>"  # standard output, as messages name it
Output: TypeAlias = Path | Literal["-"]


def add_output(
    parser: argparse.ArgumentParser | argparse._MutuallyExclusiveGroup, help: str
) -> None:
    parser.add_argument("-o", "--output", metavar="OUT", help=f"{help} (- for stdout)")


def output_of(text: str) -> Output:
    """The -o value: standard output or a file."""
    return STDOUT if text == STDOUT else Path(text)


def shown(output: Output) -> object:
    return STDOUT_NAME if output == STDOUT else output
