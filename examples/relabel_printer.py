"""Relabels the printer model of a binary G-code file in place, without re-encoding its
G-code: pyquarn.rewrite copies the G-code blocks byte for byte.

Usage: python examples/relabel_printer.py [FILE] [--model NAME] [--output-dir DIR | --in-place]

By default FILE (default: the bundled examples/sample.qgcode) is copied into DIR (default
build/examples) and the copy is relabelled in place; --in-place relabels FILE itself. The
printer_model value becomes NAME (default ST2); the rest of the printer metadata, the other
metadata, the thumbnails and the G-code stay as they were. The file is replaced atomically:
a damaged one raises QuarnError and is left untouched. Prints the old and the new model.
"""

from __future__ import annotations

import argparse
import shutil
from pathlib import Path

import pyquarn

HERE = Path(__file__).resolve().parent


def relabel(path: Path, model: str) -> str | None:
    """Sets printer_model of the binary file at `path`; returns the model it had."""
    with pyquarn.open(path) as f:
        pairs = list(f.metadata["printer"].items())
    old = next((value for key, value in pairs if key == "printer_model"), None)
    if old is None:
        pairs.insert(0, ("printer_model", model))
    else:
        pairs = [(key, model if key == "printer_model" else value) for key, value in pairs]
    pyquarn.rewrite(path, metadata={"printer": pairs})
    return old


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", nargs="?", type=Path, default=HERE / "sample.qgcode")
    parser.add_argument("--model", default="ST2", help="the new printer model (default ST2)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--output-dir", type=Path, default=HERE.parent / "build" / "examples")
    where.add_argument("--in-place", action="store_true", help="relabel FILE itself")
    args = parser.parse_args(argv)
    path: Path = args.file
    if not args.in_place:
        args.output_dir.mkdir(parents=True, exist_ok=True)
        path = Path(shutil.copyfile(path, args.output_dir / path.name))
    old = relabel(path, args.model)
    print(f"{path}: printer_model {old} -> {args.model}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
