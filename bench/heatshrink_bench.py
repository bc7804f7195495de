"""Our heatshrink codec against heatshrink2 (the standard C coder) in the same process.

Payloads are the G-code blocks of a conversion of the corpus's largest file (64 KiB of text
each, MeatPacked as blocks are stored before compression) and plain text for comparison.
Prints MB/s of uncompressed bytes for each coder and our speed-up; targets: encoder 10x,
decoder 3x. Best of REPEATS runs, to keep other load on the machine out.
Exits non-zero when the two coders disagree on a single byte.
"""

import os
import sys
import time
from pathlib import Path

import heatshrink2

ROOT = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("QUARN_DEV_BUILD", ROOT / "build" / "bench"))
sys.path.insert(0, str(BUILD / "tests" / "hooks"))

import _quarn_hooks as hooks  # noqa: E402
from payloads import meatpacked_payloads  # noqa: E402

CORPUS = ROOT.parent / "shared" / "corpus" / "logo.gcode"
BLOCK = 65536
BLOCKS = 32
REPEATS = 5
TARGETS = {"encode": 10.0, "decode": 3.0}


def payloads() -> dict[str, list[bytes]]:
    """The blocks to compress, by kind: the MeatPacked G-code blocks of a real conversion (as
    stored before compression), and the same amount of plain text."""
    packed = meatpacked_payloads(CORPUS)[:BLOCKS]
    text = CORPUS.read_bytes()[: BLOCK * BLOCKS]
    return {
        "MeatPacked": packed,
        "plain text": [text[i : i + BLOCK] for i in range(0, len(text), BLOCK)],
    }


def best_time(function, items) -> float:
    best = float("inf")
    for _ in range(REPEATS):
        start = time.perf_counter()
        for item in items:
            function(item)
        best = min(best, time.perf_counter() - start)
    return best


def run(kind: str, blocks: list[bytes], window_bits: int) -> bool:
    size = sum(map(len, blocks))
    theirs = [heatshrink2.compress(b, window_sz2=window_bits, lookahead_sz2=4) for b in blocks]
    encoder = hooks.HeatshrinkEncoder()
    ours = [encoder.encode(b, window_bits) for b in blocks]
    decoded = [
        hooks.heatshrink_decode(s, len(b), window_bits) for s, b in zip(theirs, blocks, strict=True)
    ]
    if ours != theirs or decoded != blocks:
        print(f"{kind}, W={window_bits}: MISMATCH with heatshrink2")
        return False

    streams = [(s, len(b)) for s, b in zip(theirs, blocks, strict=True)]
    times = {
        ("encode", "heatshrink2"): best_time(
            lambda b: heatshrink2.compress(b, window_sz2=window_bits, lookahead_sz2=4), blocks
        ),
        ("encode", "ours"): best_time(lambda b: encoder.encode(b, window_bits), blocks),
        ("decode", "heatshrink2"): best_time(
            lambda s: heatshrink2.decompress(s[0], window_sz2=window_bits, lookahead_sz2=4),
            streams,
        ),
        ("decode", "ours"): best_time(
            lambda s: hooks.heatshrink_decode(s[0], s[1], window_bits), streams
        ),
    }
    ratio = sum(map(len, theirs)) / size
    print(f"{kind}, W={window_bits}: {len(blocks)} blocks, {size} bytes, ratio {ratio:.3f}")
    for direction, target in TARGETS.items():
        reference = size / times[direction, "heatshrink2"] / 1e6
        own = size / times[direction, "ours"] / 1e6
        speedup = own / reference
        verdict = "ok" if speedup >= target else f"BELOW the {target:.0f}x target"
        print(
            f"  {direction}: heatshrink2 {reference:7.1f} MB/s, ours {own:7.1f} MB/s, "
            f"{speedup:5.1f}x ({verdict})"
        )
    return True


def main() -> int:
    same = True
    for kind, blocks in payloads().items():
        for window_bits in (11, 12):
            same &= run(kind, blocks, window_bits)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
