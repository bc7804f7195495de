"""pyquarn's reader, writer, rewrite and conversions of bytes against the library's own
conversions, on the corpus's largest file and on its 4x file (made as in conversion_bench),
each converted to binary with the default configuration. Every ratio is taken within one
run, the two sides timed in turns (best of REPEATS each):

- lines(): iterating every line of the binary file (checksums verified, each line a str)
  against from_binary_to_ascii of it with verification to /dev/null; and the peak memory
  growth of a fresh process over the iteration;
- the writer: pyquarn.open("/dev/null", "w", ...) with the file's settings, write_lines()
  of the file's lines held in a list, against from_ascii_to_binary of the equivalent ASCII
  file to /dev/null (neither side touches the disk);
- rewrite of one printer metadata value to a new path against pyquarn.convert of the ASCII
  file to binary by path. Both are written as their callers get them: a temporary file,
  fsync, then a rename (convert also reads its output back to verify it; rewrite verifies
  every source checksum as it copies). The same pair is timed without the fsync on either
  side, to show what the disk costs;
- to_binary / to_ascii of bytes in memory against the path conversions of _quarn
  (from_ascii_to_binary; from_binary_to_ascii with verification), file to file.
"""

import subprocess
import sys
import tempfile
from collections import deque
from pathlib import Path

import _quarn as q
from conversion_bench import SOURCE, four_times
from conversion_bench import convert as library_convert
from timing import best_of_each, load

import pyquarn
import pyquarn.conversion
import pyquarn.writer

REPEATS = 5
LIMIT_MB = 32


def iterate_lines(binary: Path) -> None:
    with pyquarn.open(binary) as reader:
        deque(reader.lines(), maxlen=0)


# The child resets its peak RSS (VmHWM) once the file is open, so the figure is what the
# iteration adds to the interpreter with the reader open.
PEAK_SCRIPT = """
import collections, sys, pyquarn
def status(key):
    for line in open("/proc/self/status"):
        if line.startswith(key):
            return int(line.split()[1]) * 1024
with pyquarn.open(sys.argv[1]) as reader:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    base = status("VmRSS:")
    collections.deque(reader.lines(), maxlen=0)
    print(base, status("VmHWM:"))
"""


def lines_peak_mb(binary: Path) -> float:
    out = subprocess.run(
        [sys.executable, "-c", PEAK_SCRIPT, str(binary)],
        check=True,
        capture_output=True,
        text=True,
        cwd=binary.parent,  # not the source folder, whose pyquarn lacks its extension
    ).stdout.split()
    return (int(out[1]) - int(out[0])) / 2**20


def time_writer(binary: Path, text: Path) -> list[float]:
    """The writer given the binary file's settings and lines (held in a list, read before),
    and the conversion of the ASCII file, both to /dev/null."""
    with pyquarn.open(binary) as src:
        settings = {"config": src.config, "metadata": src.metadata, "thumbnails": src.thumbnails}
        lines = list(src.lines())

    def write() -> None:
        with pyquarn.open("/dev/null", "w", **settings) as out:
            out.write_lines(lines)

    to_binary = lambda: library_convert(q.from_ascii_to_binary, text, "/dev/null")  # noqa: E731
    return best_of_each([write, to_binary], REPEATS)


class NoSync:
    """Within it, pyquarn's conversions and writer skip the fsync before their rename."""

    def __enter__(self) -> None:
        self.saved = pyquarn.conversion._sync
        pyquarn.conversion._sync = pyquarn.writer._sync = lambda path: None

    def __exit__(self, *exc: object) -> None:
        pyquarn.conversion._sync = pyquarn.writer._sync = self.saved


def ratio(name: str, value: float, reference: float, target: str) -> str:
    times = f"{value * 1000:8.1f} ms / {reference * 1000:8.1f} ms"
    return f"  {name:<34} {times} = {value / reference:.3f} ({target})"


def measure(label: str, text: Path, work: Path) -> None:
    binary = work / f"{text.stem}.qgcode"
    library_convert(q.from_ascii_to_binary, text, binary)
    print(
        f"{label}: {text.name} {text.stat().st_size / 1e6:.1f} MB ASCII,"
        f" {binary.stat().st_size / 1e6:.1f} MB binary (load {load()})",
        flush=True,
    )
    to_ascii = lambda: library_convert(q.from_binary_to_ascii, binary, "/dev/null", True)  # noqa: E731
    lines_s, reference = best_of_each([lambda: iterate_lines(binary), to_ascii], REPEATS)
    print(ratio("lines() / binary->ASCII", lines_s, reference, "at most 1.3"))
    print(f"  lines() peak memory growth {lines_peak_mb(binary):.1f} MB (under {LIMIT_MB} MB)")

    writer_s, reference = time_writer(binary, text)
    print(ratio("write_lines() / ASCII->binary", writer_s, reference, "at most 1.2"))

    out = work / "out.qgcode"
    with pyquarn.open(binary) as src:
        printer = dict(src.metadata["printer"].items())
    printer["printer_model"] = "relabelled"
    relabel = lambda: pyquarn.rewrite(binary, out, metadata={"printer": printer})  # noqa: E731
    rewrite_s, convert_s = best_of_each([relabel, lambda: pyquarn.convert(text, out)], REPEATS)
    print(ratio("rewrite / convert, with fsync", rewrite_s, convert_s, "at most 0.05"))
    with NoSync():
        rewrite_s, convert_s = best_of_each([relabel, lambda: pyquarn.convert(text, out)], REPEATS)
    print(ratio("rewrite / convert, no fsync", rewrite_s, convert_s, "for comparison"))

    ascii_bytes, binary_bytes = text.read_bytes(), binary.read_bytes()
    memory_s, path_s = best_of_each(
        [
            lambda: pyquarn.to_binary(ascii_bytes),
            lambda: library_convert(q.from_ascii_to_binary, text, work / "path.qgcode"),
        ],
        REPEATS,
    )
    print(ratio("to_binary(bytes) / by path", memory_s, path_s, "at most 1.1"))
    memory_s, path_s = best_of_each(
        [
            lambda: pyquarn.to_ascii(binary_bytes),
            lambda: library_convert(q.from_binary_to_ascii, binary, work / "path.gcode", True),
        ],
        REPEATS,
    )
    print(ratio("to_ascii(bytes) / by path", memory_s, path_s, "at most 1.1"), flush=True)


def main() -> None:
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        measure("1x", SOURCE, work)
        measure("4x", four_times(SOURCE, work / "logo4.gcode"), work)
    print(f"load at the end: {load()}")


if __name__ == "__main__":
    main()
