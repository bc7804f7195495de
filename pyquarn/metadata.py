"""Metadata as a file stores it: per kind, ordered key/value pairs whose keys may repeat."""

from __future__ import annotations

from collections.abc import Iterable, Iterator, Mapping
from typing import Any, TypeAlias

KINDS = ("file", "printer", "print", "slicer")

Pair: TypeAlias = tuple[str, str]


class MetadataPairs(Mapping[str, str]):
    """The pairs of one kind, read-only: `m[key]` is the first value of the key, `items()`
    every pair in file order with repeated keys kept, `dict(m)` the first value per key."""

    __slots__ = ("_first", "_pairs")

    def __init__(self, pairs: Iterable[Pair] = ()) -> None:
        self._pairs = tuple((str(key), str(value)) for key, value in pairs)
        first: dict[str, str] = {}
        for key, value in self._pairs:
            first.setdefault(key, value)
        self._first = first

    @property
    def pairs(self) -> tuple[Pair, ...]:
        return self._pairs

    def __getitem__(self, key: str) -> str:
        return self._first[key]

    def __iter__(self) -> Iterator[str]:
        return iter(self._first)

    def __len__(self) -> int:
        return len(self._first)

    def items(self) -> _AllPairs:  # type: ignore[override]
        return _AllPairs(self)

    def __eq__(self, other: object) -> bool:
        if isinstance(other, MetadataPairs):
            return self._pairs == other._pairs
        return NotImplemented if not isinstance(other, Mapping) else dict(self) == dict(other)

    def __hash__(self) -> int:
        return hash(self._pairs)

    def __repr__(self) -> str:
        return f"MetadataPairs({list(self._pairs)!r})"


class _AllPairs:
    """Every pair, duplicates included, in file order."""

    __slots__ = ("_owner",)

    def __init__(self, owner: MetadataPairs) -> None:
        self._owner = owner

    def __iter__(self) -> Iterator[Pair]:
        return iter(self._owner.pairs)

    def __len__(self) -> int:
        return len(self._owner.pairs)

    def __contains__(self, item: object) -> bool:
        return item in self._owner.pairs

    def __repr__(self) -> str:
        return f"items({list(self._owner.pairs)!r})"


class Metadata(Mapping[str, MetadataPairs]):
    """The metadata of a file by kind: "file", "printer", "print" and "slicer" (each present,
    empty when the file has none of that kind)."""

    __slots__ = ("_kinds",)

    def __init__(self, kinds: Mapping[str, Iterable[Pair]] | None = None) -> None:
        given = dict(kinds or {})
        unknown = set(given) - set(KINDS)
        if unknown:
            raise KeyError(f"unknown metadata kind {sorted(unknown)[0]!r}: use one of {KINDS}")
        self._kinds = {kind: MetadataPairs(given.get(kind, ())) for kind in KINDS}

    def __getitem__(self, kind: str) -> MetadataPairs:
        return self._kinds[kind]

    def __iter__(self) -> Iterator[str]:
        return iter(self._kinds)

    def __len__(self) -> int:
        return len(self._kinds)

    def __repr__(self) -> str:
        return f"Metadata({ {k: list(v.pairs) for k, v in self._kinds.items()}!r})"


def pairs_of(value: Any) -> tuple[Pair, ...]:
    """The pairs of one kind given as a MetadataPairs, a mapping or a sequence of pairs."""
    if isinstance(value, MetadataPairs):
        return value.pairs
    if isinstance(value, Mapping):
        return tuple((_text(k), _text(v)) for k, v in value.items())
    pairs = []
    for item in value:
        key, text = item
        pairs.append((_text(key), _text(text)))
    return tuple(pairs)


def _text(value: object) -> str:
    if not isinstance(value, str):
        raise TypeError(f"metadata keys and values are str, not {type(value).__name__}")
    return value
