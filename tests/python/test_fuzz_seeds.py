"""The Python fuzz targets' seeds and committed finds (tests/fuzz/python/corpus, with the
seeds of the C++ targets they share), replayed through the targets' checks from every kind
of source: bytes, a seekable file object and a stream of short reads."""

import sys
from pathlib import Path

import pytest

FUZZ = Path(__file__).resolve().parents[1] / "fuzz"
sys.path.insert(0, str(FUZZ / "python"))

import fuzz_checks  # noqa: E402

SEED_FOLDERS = {
    "binary_open": ["python/corpus/binary_open", "corpus/binary_read"],
    "ascii_open": ["python/corpus/ascii_open", "corpus/ascii_convert"],
}
SEEDS = sorted(
    seed
    for folders in SEED_FOLDERS.values()
    for folder in folders
    for seed in (FUZZ / folder).iterdir()
)


def test_every_target_has_seeds():
    for target, folders in SEED_FOLDERS.items():
        assert (FUZZ / "python" / f"{target}.py").is_file()
        assert any((FUZZ / folders[0]).iterdir()), target


@pytest.mark.parametrize("seed", SEEDS, ids=lambda seed: f"{seed.parent.name}/{seed.name}")
def test_seed(seed):
    # Each kind of source also reads as the same bytes do (fuzz_checks.run compares them).
    data = seed.read_bytes()
    for kind in fuzz_checks.SOURCE_KINDS:
        fuzz_checks.run(data, kind)
