"""The files a command works on: names given, folders opened, `-` for standard input."""

from __future__ import annotations

import argparse
from collections.abc import Iterable, Iterator
from dataclasses import dataclass
from pathlib import Path

STDIN = "-"
STDIN_NAME = "<stdin>"  # standard input, as messages name it
GCODE_SUFFIXES = (".gcode", ".qgcode")
BINARY_SUFFIXES = (".qgcode",)


@dataclass(frozen=True)
class Input:
    """A file to work on; `folder` is the folder given on the command line that holds it
    (None for a file named directly), for outputs that keep the tree under it."""

    path: Path
    folder: Path | None = None

    @property
    def is_stdin(self) -> bool:
        return self.folder is None and str(self.path) == STDIN

    @property
    def name(self) -> str | Path:
        """The file as messages name it."""
        return STDIN_NAME if self.is_stdin else self.path

    def relative_parent(self) -> Path:
        """The file's folder below the folder given, `.` for a file named directly."""
        return Path(".") if self.folder is None else self.path.parent.relative_to(self.folder)


def expand(
    names: Iterable[str], *, recursive: bool, suffixes: tuple[str, ...] = GCODE_SUFFIXES
) -> Iterator[Input]:
    """Each name as given, except folders: the files inside with one of `suffixes`
    (case-insensitive), in name order; with `recursive`, those of every subfolder too."""
    for name in names:
        path = Path(name)
        if name != STDIN and path.is_dir():
            found = path.rglob("*") if recursive else path.iterdir()
            files = sorted(p for p in found if p.suffix.lower() in suffixes and p.is_file())
            # A folder without such files stays in the list, to be reported as a folder.
            yield from (Input(p, path) for p in files) if files else [Input(path)]
        else:
            yield Input(path)


def add_inputs(parser: argparse.ArgumentParser, dest: str, metavar: str, what: str) -> None:
    """The input names of a command that takes files, folders and `-`, and its -r."""
    parser.add_argument(dest, nargs="+", metavar=metavar, help=f"{what}, folders or -")
    parser.add_argument("-r", "--recursive", action="store_true", help="take subfolders too")


def refuse_stdin_twice(names: Iterable[str], parser: argparse.ArgumentParser) -> None:
    """Standard input can be read once."""
    if list(names).count(STDIN) > 1:
        parser.error("- (standard input) may be given once")
