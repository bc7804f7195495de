"""Our heatshrink codec against heatshrink2, the wrapper of the standard encoder and decoder."""

import random
import re
from pathlib import Path

import _quarn
import heatshrink2
import pytest

# The codec on its own is reachable only through the hooks of the C++ build (QUARN_DEV_BUILD).
hooks = pytest.importorskip("_quarn_hooks", reason="needs the C++ build (QUARN_DEV_BUILD)")

SHARED = Path(__file__).resolve().parents[2].parent / "shared"
GCODE = (SHARED / "corpus" / "bracket.gcode").read_bytes()
WINDOWS = (11, 12)


def standard_encode(data: bytes, window_bits: int) -> bytes:
    return heatshrink2.compress(data, window_sz2=window_bits, lookahead_sz2=4)


def standard_decode(stream: bytes, window_bits: int) -> bytes:
    return heatshrink2.decompress(stream, window_sz2=window_bits, lookahead_sz2=4)


def pack_digit_pairs(text: bytes) -> bytes:
    """A stand-in for MeatPack output: two digits share a byte as nibbles ("00" is a zero
    byte), everything else stays whole."""
    return re.sub(rb"[0-9]{2}", lambda m: bytes([(m[0][0] - 48) << 4 | (m[0][1] - 48)]), text)


PACKED_GCODE = pack_digit_pairs(GCODE)
# One context for every test: each check also shows that what it encoded before (other
# sizes, other windows) leaves no trace in the bytes.
ENCODER = hooks.HeatshrinkEncoder()


def random_bytes(size: int, seed: int = 1) -> bytes:
    return random.Random(seed).randbytes(size)


def blocks(data: bytes, size: int = 65536) -> list[bytes]:
    return [data[i : i + size] for i in range(0, len(data), size)]


def assert_conforms(data: bytes, window_bits: int) -> bytes:
    """Our stream equals the standard one, and we decode the standard one."""
    expected = standard_encode(data, window_bits)
    assert ENCODER.encode(data, window_bits) == expected
    assert hooks.heatshrink_decode(expected, len(data), window_bits) == data
    return expected


# Each input spans several chunks of the standard encoder (2^W bytes each).
INPUTS = {
    "gcode text": lambda w: GCODE[:200_000],
    "packed gcode": lambda w: PACKED_GCODE[:300_000],
    "random": lambda w: random_bytes(5 * 2**w + 3),
    "zeros": lambda w: bytes(3 * 2**w + 7),
    # From 2^W - 16 on, the longest match is the farthest: the zeros before the input.
    "zeros a window after those before the input": lambda w: GCODE[: 2**w - 16] + bytes(40),
    "text with zero runs": lambda w: b"".join(
        GCODE[i : i + 50] + bytes(i % 23) for i in range(0, 60_000, 50)
    ),
    "long runs": lambda w: b"".join(bytes([i % 7]) * (i % 300) for i in range(400)),
    "period 2": lambda w: b"\x00a" * 20_000,
    "period 3": lambda w: b"G1 " * 15_000,
}

# Contents that are cut to the lengths around chunk and window edges.
CONTENTS = {
    "gcode text": lambda n: GCODE[:n],
    "packed gcode": lambda n: PACKED_GCODE[:n],
    "random": random_bytes,
    "zeros": bytes,
}


@pytest.mark.parametrize("window_bits", WINDOWS)
@pytest.mark.parametrize("name", INPUTS)
def test_encodes_like_the_standard_encoder(name, window_bits):
    assert_conforms(INPUTS[name](window_bits), window_bits)


@pytest.mark.parametrize("window_bits", WINDOWS)
@pytest.mark.parametrize("content", CONTENTS)
def test_lengths_at_the_edges(content, window_bits):
    window = 2**window_bits
    edges = [window - 16, window - 15, window - 1, window, window + 1, window + 16, 3 * window]
    for size in [*range(1, 41), *edges]:
        assert_conforms(CONTENTS[content](size), window_bits)


@pytest.mark.parametrize("window_bits", WINDOWS)
def test_gcode_blocks_of_the_whole_corpus(window_bits):
    for block in blocks(GCODE):
        assert_conforms(block, window_bits)
        assert_conforms(pack_digit_pairs(block), window_bits)


def test_empty_input():
    assert ENCODER.encode(b"", 12) == b""
    assert hooks.heatshrink_decode(b"", 10, 12) == b""


@pytest.mark.parametrize("window_bits", WINDOWS)
def test_decoder_stops_at_the_callers_size(window_bits):
    data = GCODE[:5000]
    stream = standard_encode(data, window_bits)
    for size in [0, 1, 2, 3, 17, 1000, 4999]:
        assert hooks.heatshrink_decode(stream, size, window_bits) == data[:size]
    assert hooks.heatshrink_decode(stream, len(data) + 1000, window_bits) == data


@pytest.mark.parametrize("window_bits", WINDOWS)
def test_truncated_streams_decode_like_the_standard_decoder(window_bits):
    data = pack_digit_pairs(GCODE[:3000])
    stream = standard_encode(data, window_bits)
    for cut in range(len(stream) + 1):
        part = stream[:cut]
        ours = hooks.heatshrink_decode(part, len(data), window_bits)
        assert ours == standard_decode(part, window_bits)
        assert data.startswith(ours)


@pytest.mark.parametrize("window_bits", WINDOWS)
def test_garbage_decodes_like_the_standard_decoder(window_bits):
    rng = random.Random(window_bits)
    for _ in range(300):
        garbage = rng.randbytes(rng.randrange(600))
        expected = standard_decode(garbage, window_bits)
        assert hooks.heatshrink_decode(garbage, len(expected) + 50, window_bits) == expected
        assert hooks.heatshrink_decode(garbage, 40, window_bits) == expected[:40]


def test_hooks_stay_out_of_the_public_module():
    assert not any("heatshrink" in name for name in dir(_quarn))
