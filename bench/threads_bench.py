"""Two threads each converting a different file against the same two conversions one after
the other, in one run (best of REPEATS each, taking turns), on the corpus's largest file and
a copy of it:
- pyquarn.convert by path, ASCII -> binary and binary -> ASCII (each as callers get it: a
  temporary file, fsync, rename; ASCII -> binary also reads its output back to verify it);
- the same without the fsync, which leaves the processors' share alone;
- to_binary and to_ascii of bytes in memory.

The conversions release the interpreter lock for their whole library call and run no Python
per chunk, so on 2 idle cores two threads should take little more than one conversion. On a
machine busy with other work the wall-time ratio shows the cores it was given rather than
the code, so two figures stand beside it: the processor time the threaded runs used per
second of wall time (2.0 with both cores to themselves), and how fast a Python thread counts
while one conversion runs, against counting alone (near 0 if the conversion held the lock).
"""

import os
import shutil
import tempfile
import threading
import time
from collections.abc import Callable
from pathlib import Path

from conversion_bench import SOURCE
from reader_writer_bench import NoSync
from timing import best_of_each, load

import pyquarn

REPEATS = 5


def one_after_the_other(jobs: list[Callable[[], object]]) -> None:
    for job in jobs:
        job()


def in_threads(jobs: list[Callable[[], object]]) -> None:
    threads = [threading.Thread(target=job) for job in jobs]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def compare(name: str, jobs: list[Callable[[], object]]) -> None:
    used: list[float] = []

    def threaded() -> None:
        wall, cpu = time.perf_counter(), time.process_time()
        in_threads(jobs)
        used.append((time.process_time() - cpu) / (time.perf_counter() - wall))

    serial, parallel = best_of_each([lambda: one_after_the_other(jobs), threaded], REPEATS)
    print(
        f"  {name:<24} one after the other {serial * 1000:7.1f} ms, two threads"
        f" {parallel * 1000:7.1f} ms: {parallel / serial:.3f} (at most 0.65);"
        f" cores used {max(used):.2f}, a Python thread beside one conversion counts at"
        f" {counting_beside(jobs[0]):.2f} of its rate alone",
        flush=True,
    )


def count_until(stop: threading.Event, counts: list[int]) -> None:
    n = 0
    while not stop.is_set():
        n += 1
    counts.append(n)


def counting_rate(job: Callable[[], object] | None) -> float:
    """Counts per second of a Python thread while `job` runs (or for 0.3 s)."""
    stop, counts = threading.Event(), []
    counter = threading.Thread(target=count_until, args=(stop, counts))
    started = time.perf_counter()
    counter.start()
    if job is None:
        time.sleep(0.3)
    else:
        job()
    stop.set()
    counter.join()
    return counts[0] / (time.perf_counter() - started)


def counting_beside(job: Callable[[], object]) -> float:
    return counting_rate(job) / counting_rate(None)


def main() -> None:
    print(f"{os.cpu_count()} cores, load {load()}")
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        texts = [work / "a.gcode", work / "b.gcode"]
        for text in texts:
            shutil.copy(SOURCE, text)
        binaries = [pyquarn.convert(text).output for text in texts]
        datas = [text.read_bytes() for text in texts]
        binary_datas = [binary.read_bytes() for binary in binaries]

        def to_binary(i: int) -> Callable[[], object]:
            return lambda: pyquarn.convert(texts[i], work / f"out{i}.qgcode")

        def to_ascii(i: int) -> Callable[[], object]:
            return lambda: pyquarn.convert(binaries[i], work / f"out{i}.gcode")

        print(f"{SOURCE.name} and a copy, {SOURCE.stat().st_size / 1e6:.1f} MB each")
        compare("convert ASCII->binary", [to_binary(0), to_binary(1)])
        compare("convert binary->ASCII", [to_ascii(0), to_ascii(1)])
        with NoSync():
            compare("ASCII->binary, no fsync", [to_binary(0), to_binary(1)])
            compare("binary->ASCII, no fsync", [to_ascii(0), to_ascii(1)])
        compare("to_binary(bytes)", [lambda d=d: pyquarn.to_binary(d) for d in datas])
        compare("to_ascii(bytes)", [lambda d=d: pyquarn.to_ascii(d) for d in binary_datas])
    print(f"load at the end: {load()}")


if __name__ == "__main__":
    main()
