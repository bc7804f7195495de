"""Full validation speed: _quarn.is_valid_binary_gcode(f, True) over a file of 64 KiB G-code
blocks, against reading the same file in 1 MiB chunks and running zlib.crc32 over it.

Both runs walk the same bytes through the same CRC-32, so the ratio (validation / raw) shows
what the walk itself costs: header reads, seeks, and the 2048-byte checksum buffer the
binding hands to the library. Best of several runs each, on a file the page cache holds.
"""

import sys
import tempfile
import time
import zlib
from pathlib import Path

import _quarn

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "python"))

from gcode_files import GCodeFile, gcode, valid_file  # noqa: E402

BLOCK_SIZE = 64 * 1024
BLOCKS = 1600  # about 105 MB
RUNS = 5
TARGET = 0.5


def gcode_text(size: int) -> str:
    lines, length, i = [], 0, 0
    while length < size:
        line = f"G1 X{i % 250}.{i % 7} Y{(i * 3) % 210}.{i % 9} E{i % 97}.0{i % 5}\n"
        lines.append(line)
        length += len(line)
        i += 1
    return "".join(lines)[:size]


def make_file(path: Path) -> int:
    layout: GCodeFile = valid_file(gcode_blocks=[])
    block = gcode(gcode_text(BLOCK_SIZE))
    layout.blocks += [block] * BLOCKS
    layout.write(path)
    return path.stat().st_size


def validate(path: Path) -> None:
    f = _quarn.open(str(path), "rb")
    try:
        result = _quarn.is_valid_binary_gcode(f, True)
    finally:
        _quarn.close(f)
    if result != _quarn.EResult.Success:
        raise SystemExit(f"validation failed: {result}")


def read_and_crc(path: Path) -> None:
    buffer = bytearray(1 << 20)
    view = memoryview(buffer)
    crc = 0
    with open(path, "rb", buffering=0) as f:
        while n := f.readinto(buffer):
            crc = zlib.crc32(view[:n], crc)


def best_seconds(run, path: Path) -> float:
    best = float("inf")
    for _ in range(RUNS):
        start = time.perf_counter()
        run(path)
        best = min(best, time.perf_counter() - start)
    return best


def main() -> int:
    with tempfile.TemporaryDirectory() as tmp:
        path = Path(tmp) / "large.qgcode"
        size = make_file(path)
        read_and_crc(path)  # warm the page cache
        raw = size / best_seconds(read_and_crc, path)
        valid = size / best_seconds(validate, path)
    ratio = valid / raw
    print(f"file: {size / 1e6:.1f} MB in {BLOCKS} G-code blocks of {BLOCK_SIZE // 1024} KiB")
    print(f"read + zlib.crc32 (1 MiB chunks):   {raw / 1e6:8.1f} MB/s")
    print(f"is_valid_binary_gcode(f, True):     {valid / 1e6:8.1f} MB/s")
    verdict = "met" if ratio >= TARGET else "missed"
    print(f"ratio validation / raw: {ratio:.2f} (target {TARGET}: {verdict})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
