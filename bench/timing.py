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
