"""Timing shared by the Python benchmarks."""

import time
from collections.abc import Callable


def best_of(function: Callable[[], object], repeats: int) -> float:
    """The shortest of `repeats` timed calls, in seconds: the least disturbed by the rest of
    the machine."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def best_of_each(functions: list[Callable[[], object]], repeats: int) -> list[float]:
    """best_of for each function, the calls taking turns, so that a burst of load elsewhere
    on the machine weighs on every side of a ratio alike."""
    best = [float("inf")] * len(functions)
    for _ in range(repeats):
        for i, function in enumerate(functions):
            start = time.perf_counter()
            function()
            best[i] = min(best[i], time.perf_counter() - start)
    return best


def load() -> str:
    """The machine's load averages (1, 5, 15 minutes), to read the figures beside."""
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])
