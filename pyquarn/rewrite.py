"""Editing the metadata and thumbnails of a binary file without re-encoding its G-code."""

from __future__ import annotations

import shutil
import tempfile
from collections.abc import Iterable, Mapping
from typing import Any

from _quarn import EResult

from .errors import QuarnError
from .metadata import KINDS
from .reader import Reader, _BinaryFile
from .sources import SPOOL_IN_MEMORY, Source, is_path
from .writer import Target, ThumbnailLike, Writer


def rewrite(
    source: Source,
    target: Target | None = None,
    *,
    metadata: Mapping[str, Any] | None = None,
    thumbnails: Iterable[ThumbnailLike] | None = None,
) -> None:
    """Writes `source` (a binary file) to `target` with other metadata or thumbnails, its
    G-code blocks copied byte for byte. `metadata` maps kinds to replacements (a kind left
    out is kept); `thumbnails` replaces the list ([] removes them all). `target=None`
    rewrites a path source in place, atomically.

    Every block's checksum is verified as it is copied, and the target receives the file
    only when all went well: a damaged source raises QuarnError and nothing is written."""
    if target is None:
        if not is_path(source):
            raise TypeError("rewriting in place needs a path source: give a target")
        target = source
    replacements = dict(metadata or {})
    unknown = sorted(set(replacements) - set(KINDS))
    if unknown:
        raise ValueError(f"unknown metadata kind {unknown[0]!r}: use one of {', '.join(KINDS)}")
    with Reader(source) as reader:
        impl = reader._impl
        if not isinstance(impl, _BinaryFile):
            raise QuarnError(EResult.InvalidMagicNumber, reader.name)
        kinds = {kind: replacements.get(kind, reader.metadata[kind]) for kind in KINDS}
        images = reader.thumbnails if thumbnails is None else list(thumbnails)
        settings: dict[str, Any] = {
            "config": reader.config,
            "metadata": kinds,
            "thumbnails": images,
        }
        if is_path(target):
            # The writer renames its temporary file over the path only on success.
            with Writer(target, **settings) as out:
                impl.copy_gcode(out.stream)
            return
        with tempfile.SpooledTemporaryFile(max_size=SPOOL_IN_MEMORY) as spool:
            with Writer(spool, **settings) as out:
                impl.copy_gcode(out.stream)
            spool.seek(0)
            shutil.copyfileobj(spool, target)
