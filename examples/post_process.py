"""A post-processor: changes the hotend temperature of the M104 lines of a binary G-code file.

Usage: python examples/post_process.py [FILE] [--add DEGREES | --set DEGREES] [--output-dir DIR]

Reads FILE (default: the bundled examples/sample.qgcode; an ASCII file works too) and writes
the binary file DIR/NAME.qgcode (default DIR: build/examples) with every `M104 S<t>` raised
by DEGREES (--add, default 5) or set to DEGREES (--set); `M104 S0` (heater off) is kept. The
output has the source's own configuration, metadata and thumbnails; the G-code passes one
block at a time, and the output replaces nothing unless it is complete. Prints how many
lines changed and where the file went.
"""

from __future__ import annotations

import argparse
import re
from collections.abc import Callable, Iterable, Iterator
from pathlib import Path

import pyquarn

HERE = Path(__file__).resolve().parent
# The S parameter of an M104 command, before any comment.
M104 = re.compile(r"^(\s*M104\b[^;]*?\bS)(\d+(?:\.\d*)?)")


def retarget(line: str, change: Callable[[float], float]) -> str:
    """The line with its M104 temperature changed; any other line (and heater off) as it is."""
    match = M104.match(line)
    if match is None or float(match.group(2)) == 0:
        return line
    value = change(float(match.group(2)))
    return f"{match.group(1)}{value:g}{line[match.end() :]}"


def temperature_change(add: float, set_to: float | None) -> Callable[[float], float]:
    if set_to is None:
        return lambda value: value + add
    temperature = set_to
    return lambda _: temperature


def post_process(source: Path, target: Path, change: Callable[[float], float]) -> int:
    """Writes `source` to `target` with its M104 lines changed; returns how many changed."""
    changed = 0

    def lines(original: Iterable[str]) -> Iterator[str]:
        nonlocal changed
        for line in original:
            new = retarget(line, change)
            changed += new != line
            yield new

    with (
        pyquarn.open(source) as src,
        pyquarn.open(
            target, "w", config=src.config, metadata=src.metadata, thumbnails=src.thumbnails
        ) as out,
    ):
        out.write_lines(lines(src.lines()))
    return changed


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file", nargs="?", type=Path, default=HERE / "sample.qgcode")
    how = parser.add_mutually_exclusive_group()
    how.add_argument("--add", type=float, default=5.0, help="degrees added (default 5)")
    how.add_argument("--set", type=float, help="the temperature every M104 sets")
    parser.add_argument("--output-dir", type=Path, default=HERE.parent / "build" / "examples")
    args = parser.parse_args(argv)
    args.output_dir.mkdir(parents=True, exist_ok=True)
    target = args.output_dir / args.file.with_suffix(".qgcode").name
    count = post_process(args.file, target, temperature_change(args.add, args.set))
    print(f"{count} M104 lines changed: {target}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
