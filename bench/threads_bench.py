"""Two threads each converting a different file against the same two conversions one after
the other, in one run (best of REPEATS each, taking turns), on the corpus's largest file and
a copy of it:
- pyquarn.convert by path, ASCII -> binary and binary -> ASCII (each as callers get it: a
  temporary file, fsync, rename; ASCII -> binary also reads its output back to verify it);
- the same without the fsync, which leaves the processors' share alone;
- to_binary and to_ascii of bytes in memory.

The conversions release the interpreter lock for their whole library call and run no Python
per chunk, so on 2 idle cores two threads should take little more than one conversion.
"""

import os
import shutil
import tempfile
import threading
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
    serial, parallel = best_of_each(
        [lambda: one_after_the_other(jobs), lambda: in_threads(jobs)], REPEATS
    )
    print(
        f"  {name:<28} one after the other {serial * 1000:7.1f} ms, two threads"
        f" {parallel * 1000:7.1f} ms: {parallel / serial:.3f} (at most 0.65)",
        flush=True,
    )


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
