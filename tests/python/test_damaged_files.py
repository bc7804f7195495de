"""Every truncation and every flipped byte of small binary files, through pyquarn: the only
exception a damaged file may raise is QuarnError. Without checksums the damage reaches the
decoders and the text of metadata and thumbnails."""

from pathlib import Path

import pytest

import pyquarn

ROOT = Path(__file__).resolve().parents[2]
FILES = {
    "with checksums": ROOT / "examples" / "sample.qgcode",
    "without checksums": ROOT / "tests" / "fuzz" / "corpus" / "binary_read" / "plain_nocrc.qgcode",
}


def damaged(original: bytes):
    for length in range(len(original)):
        yield f"cut at {length}", original[:length]
    for at in range(len(original)):
        changed = bytearray(original)
        changed[at] ^= 0xFF
        yield f"byte {at} flipped", bytes(changed)


@pytest.mark.parametrize("source", FILES.values(), ids=FILES)
def test_damage_raises_only_quarn_error(tmp_path, source):
    path, out = tmp_path / "damaged.qgcode", tmp_path / "out.gcode"
    calls = {
        "info": lambda: pyquarn.info(path).to_dict(),
        "thumbnails": lambda: [image.extension for image in pyquarn.thumbnails(path)],
        "verify": lambda: pyquarn.verify(path),
        "convert": lambda: pyquarn.convert(path, out, verify=False),
    }
    unexpected = []
    for what, content in damaged(source.read_bytes()):
        path.write_bytes(content)
        for name, call in calls.items():
            try:
                call()
            except pyquarn.QuarnError:
                pass
            except Exception as error:  # noqa: BLE001 - any other exception is the finding
                unexpected.append(f"{name}, {what}: {error!r}")
    assert unexpected == []
