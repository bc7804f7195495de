"""The main job on the bundled sample: slicer G-code to binary G-code and back.

Converts examples/bracket.gcode to build/demo/bracket.qgcode with the default configuration,
validates the result with every block checksum, converts it back to build/demo/bracket.gcode,
and prints the sizes, the compression ratio and the time each direction took.
"""

import importlib.metadata
import sys
import time
from collections.abc import Callable
from pathlib import Path

import _quarn as q

HERE = Path(__file__).resolve().parent
SOURCE = HERE / "bracket.gcode"
OUT = HERE.parent / "build" / "demo"


def run(
    convert: Callable[[q.FILEWrapper, q.FILEWrapper], q.EResult], src: Path, dst: Path
) -> tuple[q.EResult, float]:
    fin, fout = q.open(str(src), "rb"), q.open(str(dst), "wb")
    start = time.perf_counter()
    try:
        result = convert(fin, fout)
    finally:
        q.close(fin)
        q.close(fout)
    return result, time.perf_counter() - start


def check(step: str, result: q.EResult) -> None:
    if result != q.EResult.Success:
        print(f"{step} failed: {result.name} ({q.translate_result(result)})", file=sys.stderr)
        sys.exit(1)


def main() -> None:
    OUT.mkdir(parents=True, exist_ok=True)
    binary, text = OUT / "bracket.qgcode", OUT / "bracket.gcode"

    result, to_binary = run(q.from_ascii_to_binary, SOURCE, binary)
    check("ASCII to binary", result)
    f = q.open(str(binary), "rb")
    valid = q.is_valid_binary_gcode(f, check_contents=True)
    q.close(f)
    check("validation", valid)
    result, to_ascii = run(q.from_binary_to_ascii, binary, text)
    check("binary to ASCII", result)

    ascii_size, binary_size = SOURCE.stat().st_size, binary.stat().st_size
    print(f"quarn {importlib.metadata.version('quarn')}: {SOURCE.name}")
    print(f"  ASCII G-code   {ascii_size:>10,} bytes")
    print(
        f"  binary G-code  {binary_size:>10,} bytes  "
        f"({binary_size / ascii_size:.1%} of the ASCII size, "
        f"ratio {ascii_size / binary_size:.2f}:1)"
    )
    print(f"  validated with checksums: {valid.name}")
    print(f"  ASCII -> binary {to_binary * 1000:8.1f} ms  -> {binary.relative_to(HERE.parent)}")
    print(f"  binary -> ASCII {to_ascii * 1000:8.1f} ms  -> {text.relative_to(HERE.parent)}")


if __name__ == "__main__":
    main()
