"""Fuzz target: pyquarn.open on binary G-code files (seeds: small real files, so inputs
mostly start with a valid file header), then everything the reader gives, and a rewrite of
what opens read back. The source is bytes, a seekable file object or a stream of short
reads, by the input's length. Run by tests/fuzz/python/run_fuzzers.sh."""

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
