"""What a batch shows while it runs: a progress bar on a terminal, else a line per file;
and a summary line at the end."""

from __future__ import annotations

import sys
import time

from .messages import Messages

_BAR_WIDTH = 24


def _size(count: float) -> str:
    for unit in ("B", "KiB", "MiB", "GiB"):
        if count < 1024 or unit == "GiB":
            return f"{count:.0f} {unit}" if unit == "B" else f"{count:.1f} {unit}"
        count /= 1024
    raise AssertionError("unreachable")


def _duration(seconds: float) -> str:
    seconds = max(0, round(seconds))
    minutes, seconds = divmod(seconds, 60)
    hours, minutes = divmod(minutes, 60)
    return f"{hours}:{minutes:02}:{seconds:02}" if hours else f"{minutes}:{seconds:02}"


class BatchReport:
    """Follows a batch of `files` files of `total_bytes` bytes (`skipped` others were set
    aside before it, for the summary to tell). The bar is drawn on stderr when it is a
    terminal and the batch has more than one file; otherwise each file's outcome is a line."""

    def __init__(
        self, messages: Messages, files: int, total_bytes: int, *, skipped: int = 0
    ) -> None:
        self._messages = messages
        self._files = files
        self._total = total_bytes
        self._bar = files > 1 and sys.stderr.isatty()
        self._started = time.monotonic()
        self._done = self._failed = 0
        self._skipped = skipped
        self._bytes_in = self._bytes_out = 0
        self._shown = False
        if self._bar:
            self._draw()

    def succeeded(self, line: str, bytes_in: int, bytes_out: int) -> None:
        self._done += 1
        self._bytes_in += bytes_in
        self._bytes_out += bytes_out
        if self._bar:
            self._draw()
        else:
            self._messages.say(line)

    def failed(self, problem: str, bytes_in: int) -> None:
        self._done += 1
        self._failed += 1
        self._bytes_in += bytes_in
        self._clear()
        self._messages.error(problem)
        if self._bar:
            self._draw()

    def finish(self) -> None:
        self._clear()
        seconds = time.monotonic() - self._started
        converted = self._done - self._failed
        skipped = f"{self._skipped} skipped, " if self._skipped else ""
        self._messages.say(
            f"{converted} converted, {self._failed} failed, {skipped}{_size(self._bytes_in)} "
            f"in, {_size(self._bytes_out)} out, {seconds:.2f} s"
        )

    def _draw(self) -> None:
        fraction = self._bytes_in / self._total if self._total else self._done / self._files
        filled = round(_BAR_WIDTH * min(fraction, 1.0))
        elapsed = time.monotonic() - self._started
        eta = "--:--"
        if 0 < fraction < 1:
            eta = _duration(elapsed * (1 - fraction) / fraction)
        elif fraction >= 1:
            eta = _duration(0)
        text = (
            f"[{'#' * filled}{'.' * (_BAR_WIDTH - filled)}] {self._done}/{self._files} files, "
            f"{_size(self._bytes_in)}/{_size(self._total)}, ETA {eta}"
        )
        sys.stderr.write(f"\r\x1b[2K{text}")
        sys.stderr.flush()
        self._shown = True

    def _clear(self) -> None:
        if self._shown:
            sys.stderr.write("\r\x1b[2K")
            sys.stderr.flush()
            self._shown = False
