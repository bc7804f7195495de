"""File objects the tests read from: one that cannot seek, as a pipe or a socket is."""

import io


class Unseekable(io.RawIOBase):
    """A stream of the bytes that cannot seek, giving at most `step` bytes per read."""

    def __init__(self, data: bytes, step: int = 1 << 20) -> None:
        self._data, self._at, self._step = data, 0, step

    def readable(self) -> bool:
        return True

    def read(self, size: int = -1) -> bytes:
        size = len(self._data) if size < 0 else min(size, self._step)
        piece = self._data[self._at : self._at + size]
        self._at += len(piece)
        return piece
