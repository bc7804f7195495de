"""Fuzz target: pyquarn.open on ASCII G-code (seeds: small slicer outputs, so inputs carry
the producer line, metadata comments and thumbnails), then everything the reader gives, that
written as a binary file and read back, and rewrite refusing it. The source is bytes, a
seekable file object or a stream of short reads, by the input's length. Run by
tests/fuzz/python/run_fuzzers.sh."""

from __future__ import annotations

import sys

import atheris

with atheris.instrument_imports(include=["pyquarn"]):
    import pyquarn  # noqa: F401 - instrumented before fuzz_checks imports it

import fuzz_checks


def test_one_input(data: bytes) -> None:
    fuzz_checks.run(data, fuzz_checks.source_kind(data))


if __name__ == "__main__":
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
