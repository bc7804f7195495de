"""Conversions of content held in memory: bytes in, bytes out."""

from __future__ import annotations

from collections.abc import Callable
from typing import TypeAlias

import _quarn

from . import _native

BytesLike: TypeAlias = bytes | bytearray | memoryview


def to_binary(data: BytesLike, config: _quarn.BinarizerConfig | None = None) -> bytes:
    """The binary file that converting the ASCII G-code `data` gives (with `config`, else
    `get_config()`): the same bytes as `convert` on a file holding `data`."""
    chosen = _quarn.get_config() if config is None else config
    return _converted(
        data, lambda source, target: _native.ascii_to_binary(source, target, chosen, None)
    )


def to_ascii(data: BytesLike, *, verify: bool = True) -> bytes:
    """The ASCII G-code that converting the binary file `data` gives, checking every block's
    checksum on the way unless `verify` is False."""
    return _converted(
        data, lambda source, target: _native.binary_to_ascii(source, target, verify, None)
    )


def _converted(
    data: BytesLike, conversion: Callable[[_native.Stream, _native.Stream], object]
) -> bytes:
    source, target = _native.Stream.from_buffer(data), _native.Stream.to_memory()
    try:
        conversion(source, target)
        return target.take()
    finally:
        source.close()
        target.close()
