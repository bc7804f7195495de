"""`pyquarn.open`: one entry point for reading and writing, like `gzip.open`."""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from typing import Any, Literal, overload

import _quarn

from .reader import Reader
from .sources import Source
from .writer import Target, ThumbnailLike, Writer


@overload
def open(source: Source, mode: Literal["r"] = "r") -> Reader: ...


@overload
def open(
    source: Target,
    mode: Literal["w"],
    *,
    config: _quarn.BinarizerConfig | None = None,
    metadata: Mapping[str, Any] | None = None,
    thumbnails: Iterable[ThumbnailLike] | None = None,
) -> Writer: ...


def open(
    source: Any,
    mode: str = "r",
    *,
    config: _quarn.BinarizerConfig | None = None,
    metadata: Mapping[str, Any] | None = None,
    thumbnails: Iterable[ThumbnailLike] | None = None,
) -> Reader | Writer:
    """Opens G-code for reading (mode "r": a path, a bytes-like object or a readable binary
    file object, in either format) or a binary file for writing (mode "w": a path or a
    writable binary file object, with the file's configuration, metadata and thumbnails).
    Both are context managers."""
    if mode in ("r", "rb"):
        if config is not None or metadata is not None or thumbnails is not None:
            raise TypeError("config, metadata and thumbnails are for writing (mode 'w')")
        return Reader(source)
    if mode in ("w", "wb"):
        return Writer(source, config=config, metadata=metadata, thumbnails=thumbnails)
    raise ValueError(f"invalid mode {mode!r}: use 'r' or 'w'")
