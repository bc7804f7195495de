"""Whole-file conversion against the compression step of the standard heatshrink library.

On the corpus's largest file and on a file four times as large (its G-code body repeated),
in one run:
- ASCII -> binary with the default configuration, the whole call from Python, against
  heatshrink2 (window 12) compressing the same file's MeatPacked G-code payloads alone;
- binary -> ASCII with checksum verification against heatshrink2 decompressing them;
- the peak memory of each direction in a fresh process, above the interpreter's baseline;
- throughput at 1x and 4x, which should agree within 15% (cost grows linearly).
"""

import json
import subprocess
import sys
import tempfile
from pathlib import Path

import _quarn as q
import heatshrink2
from payloads import meatpacked_payloads
from timing import best_of

CORPUS = Path(__file__).resolve().parents[2] / "shared" / "corpus"
SOURCE = CORPUS / "logo.gcode"
REPEATS = 3


def best(function) -> float:
    return best_of(function, REPEATS)


def convert(function, src: Path, dst: Path | str, *args) -> None:
    """One of _quarn's conversions, file to file, the way a C++ caller runs it."""
    fin, fout = q.open(str(src), "rb"), q.open(str(dst), "wb")
    result = function(fin, fout, *args)
    q.close(fin)
    q.close(fout)
    if result != q.EResult.Success:
        raise SystemExit(f"{function.__name__} of {src}: {result.name}")


def four_times(source: Path, target: Path) -> Path:
    """The source with its G-code body (between the thumbnails and the trailing metadata)
    repeated four times."""
    lines = source.read_bytes().splitlines(keepends=True)
    start = max(i for i, line in enumerate(lines) if b"thumbnail" in line and b" end" in line) + 1
    end = next(i for i, line in enumerate(lines) if line.startswith(b"; filament used [mm]"))
    target.write_bytes(b"".join(lines[:start] + lines[start:end] * 4 + lines[end:]))
    return target


# The child resets its peak RSS (VmHWM) right before the call, so the figure is the growth
# above the interpreter's resident size at that moment, not above its start-up peak.
PEAK_SCRIPT = """
import sys, _quarn as q
def status(key):
    for line in open("/proc/self/status"):
        if line.startswith(key):
            return int(line.split()[1]) * 1024
src, dst, direction = sys.argv[1:4]
fin, fout = q.open(src, "rb"), q.open(dst, "wb")
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
base = status("VmRSS:")
if direction == "a2b":
    r = q.from_ascii_to_binary(fin, fout)
else:
    r = q.from_binary_to_ascii(fin, fout, True)
q.close(fin)
q.close(fout)
print(base, status("VmHWM:"), r.name)
"""


def peak_memory(src: Path, dst: Path, direction: str) -> float:
    """Peak RSS of a fresh process during the conversion, above its RSS just before it."""
    out = subprocess.run(
        [sys.executable, "-c", PEAK_SCRIPT, str(src), str(dst), direction],
        check=True,
        capture_output=True,
        text=True,
    ).stdout.split()
    if out[2] != "Success":
        raise SystemExit(f"peak run {direction}: {out[2]}")
    return (int(out[1]) - int(out[0])) / 2**20


def measure(source: Path, work: Path) -> dict:
    binary, text = work / "b.qgcode", work / "t.gcode"
    to_binary = best(lambda: convert(q.from_ascii_to_binary, source, binary))
    to_ascii = best(lambda: convert(q.from_binary_to_ascii, binary, text, True))

    payloads = meatpacked_payloads(source, work)
    compressed = [heatshrink2.compress(p, window_sz2=12, lookahead_sz2=4) for p in payloads]
    compress = best_of(
        lambda: [heatshrink2.compress(p, window_sz2=12, lookahead_sz2=4) for p in payloads], 1
    )
    decompress = best(
        lambda: [heatshrink2.decompress(c, window_sz2=12, lookahead_sz2=4) for c in compressed]
    )
    size = source.stat().st_size
    return {
        "size": size,
        "binary_size": binary.stat().st_size,
        "to_binary": to_binary,
        "to_ascii": to_ascii,
        "compress": compress,
        "decompress": decompress,
        "payload_bytes": sum(map(len, payloads)),
        "peak_to_binary": peak_memory(source, binary, "a2b"),
        "peak_to_ascii": peak_memory(binary, text, "b2a"),
    }


def main() -> None:
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        results["1x"] = measure(SOURCE, work)
        results["4x"] = measure(four_times(SOURCE, work / "logo4.gcode"), work)

    for name, r in results.items():
        mb = r["size"] / 1e6
        print(f"{name}: {SOURCE.name} {mb:.1f} MB -> {r['binary_size'] / 1e6:.2f} MB binary")
        print(
            f"  ASCII->binary {r['to_binary'] * 1000:8.1f} ms ({mb / r['to_binary']:6.1f} MB/s)"
            f"   heatshrink2 compress of {r['payload_bytes'] / 1e6:.1f} MB payloads"
            f" {r['compress'] * 1000:8.1f} ms   ratio {r['to_binary'] / r['compress']:.3f}"
            " (target <= 0.25, aim 0.1)"
        )
        print(
            f"  binary->ASCII {r['to_ascii'] * 1000:8.1f} ms ({mb / r['to_ascii']:6.1f} MB/s)"
            f"   heatshrink2 decompress {r['decompress'] * 1000:8.1f} ms"
            f"   ratio {r['to_ascii'] / r['decompress']:.3f} (target <= 1, aim 0.5)"
        )
        print(
            f"  peak memory above baseline: ASCII->binary {r['peak_to_binary']:.1f} MB,"
            f" binary->ASCII {r['peak_to_ascii']:.1f} MB (limit 64 MB)"
        )
    one, four = results["1x"], results["4x"]
    for key, label in [("to_binary", "ASCII->binary"), ("to_ascii", "binary->ASCII")]:
        rate1, rate4 = one["size"] / one[key], four["size"] / four[key]
        print(f"  {label} throughput 4x / 1x: {rate4 / rate1:.3f} (within 0.85..1.15)")
    print(json.dumps(results))


if __name__ == "__main__":
    main()
