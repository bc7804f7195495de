"""What the programs reading hostile files share: figures of memory, and the block classes by
type."""

import resource
from collections.abc import Callable
from typing import Protocol

import _quarn as q


class BlockContent(Protocol):
    def read_data(
        self, file: q.FILEWrapper, file_header: q.FileHeader, block_header: q.BlockHeader
    ) -> q.EResult: ...


def peak_mb() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def status_mb(field: str) -> float:
    # This process's own figures since it started (getrusage may count the parent's
    # pages, shared until the exec), and its address space: memory reserved but never
    # touched is not resident, yet no file should make us reserve gigabytes.
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    raise LookupError(f"{field} is not in /proc/self/status")


def figures() -> dict[str, float]:
    return {
        "peak_mb": peak_mb(),
        "own_peak_mb": status_mb("VmHWM"),
        "address_space_peak_mb": status_mb("VmPeak"),
    }


CLASSES: dict[int, Callable[[], BlockContent]] = {
    0: q.FileMetadataBlock,
    1: q.GCodeBlock,
    2: q.SlicerMetadataBlock,
    3: q.PrinterMetadataBlock,
    4: q.PrintMetadataBlock,
    5: q.ThumbnailBlock,
}
