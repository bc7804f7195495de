"""The files a command works on: names given, folders opened, `-` for standard input."""

from __future__ import annotations

from collections.abc import Iterable, Iterator
from dataclasses import dataclass
from pathlib import Path

STDIN = "-"
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
