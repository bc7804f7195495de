"""The quarn command on the corpus, in one run:
- `quarn cat` of the 4x file (the largest corpus file with its G-code body repeated four
  times, in binary) to /dev/null against `quarn convert` of it to an ASCII file, with the
  peak memory of each process (cat should stay flat: one block at a time);
- `quarn convert -j auto` on a batch of 20 corpus files against `-j 1`, and the same batch
  converted by a pool of threads and by a pool of processes, which the command chose from.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import Executor, ProcessPoolExecutor, ThreadPoolExecutor
from pathlib import Path

from conversion_bench import CORPUS

import pyquarn

QUARN = [sys.executable, "-m", "pyquarn"]
BATCH_COPIES = 10  # of each ASCII corpus file
MAKE_4X = """
import sys, pyquarn
from pathlib import Path
from conversion_bench import SOURCE, four_times
work = Path(sys.argv[1])
pyquarn.convert(four_times(SOURCE, work / "logo4.gcode"), work / "logo4.qgcode")
"""


def run_quarn(*args: object, stdout: int | None = subprocess.DEVNULL) -> tuple[float, int]:
    """Wall time and peak resident size (bytes) of one quarn process."""
    started = time.perf_counter()
    process = subprocess.Popen([*QUARN, *map(str, args)], stdout=stdout)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - started
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"quarn {' '.join(map(str, args))} failed")
    return seconds, usage.ru_maxrss * 1024


def best_run(*args: object) -> tuple[float, int]:
    runs = [run_quarn(*args) for _ in range(3)]
    return min(r[0] for r in runs), max(r[1] for r in runs)


def pool_seconds(pool: type[Executor], jobs: list[tuple[Path, Path]]) -> float:
    started = time.perf_counter()
    with pool(max_workers=os.cpu_count()) as executor:
        list(executor.map(pyquarn.convert, *zip(*jobs, strict=True)))
    return time.perf_counter() - started


def main() -> None:
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        # Made in a child: a child forked from a large parent would count its pages.
        binary = work / "logo4.qgcode"
        subprocess.run([sys.executable, "-c", MAKE_4X, str(work)], check=True)
        print(f"4x file: {binary.stat().st_size:,} bytes binary")
        cat_s, cat_rss = best_run("cat", binary)
        conv_s, conv_rss = best_run("convert", binary, "-o", work / "out.gcode")
        print(f"  quarn cat > /dev/null      {cat_s:6.3f} s, peak {cat_rss / 2**20:6.1f} MiB")
        print(f"  quarn convert -> .gcode    {conv_s:6.3f} s, peak {conv_rss / 2**20:6.1f} MiB")
        print(f"  cat / convert: {cat_s / conv_s:.3f} (at most 1.5)")

        batch = work / "batch"
        batch.mkdir()
        for source in sorted(CORPUS.glob("*.gcode")):
            for copy in range(BATCH_COPIES):
                shutil.copy(source, batch / f"{source.stem}_{copy}.gcode")
        files = sorted(batch.iterdir())
        out = work / "out"
        # -f: each run converts the whole batch again, over the outputs of the one before.
        one = min(run_quarn("convert", batch, "-d", out, "-f", "-j", "1")[0] for _ in range(2))
        auto = min(run_quarn("convert", batch, "-d", out, "-f", "-j", "auto")[0] for _ in range(2))
        print(f"batch of {len(files)} files on {os.cpu_count()} cores:")
        print(f"  -j 1 {one:6.3f} s, -j auto {auto:6.3f} s: {auto / one:.3f} (at most 0.65)")
        jobs = [(f, out / f.with_suffix(".qgcode").name) for f in files]
        threads = min(pool_seconds(ThreadPoolExecutor, jobs) for _ in range(2))
        processes = min(pool_seconds(ProcessPoolExecutor, jobs) for _ in range(2))
        print(f"  threads {threads:6.3f} s, processes {processes:6.3f} s")


if __name__ == "__main__":
    main()
