"""Conversions of bytes give exactly what the conversions of files give."""

import io
from pathlib import Path

import pytest

import pyquarn
from pyquarn import EResult, QuarnError

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
BRACKET = ROOT / "examples" / "bracket.gcode"


def deflate_config():
    config = pyquarn.get_config()
    config.compression.gcode = pyquarn.CompressionType.Deflate
    config.gcode_encoding = pyquarn.GCodeEncodingType.none
    return config


@pytest.mark.parametrize("config", [None, deflate_config()], ids=["default", "deflate"])
def test_to_binary_and_back_match_the_file_conversions(tmp_path, config):
    binary = pyquarn.convert(BRACKET, tmp_path / "b.qgcode", config=config).output
    ascii_again = pyquarn.convert(binary, tmp_path / "b.gcode").output
    data = BRACKET.read_bytes()
    assert pyquarn.to_binary(data, config) == binary.read_bytes()
    assert pyquarn.to_binary(bytearray(data), config) == binary.read_bytes()
    assert pyquarn.to_ascii(binary.read_bytes()) == ascii_again.read_bytes()
    assert pyquarn.to_ascii(memoryview(binary.read_bytes()), verify=False) == (
        ascii_again.read_bytes()
    )


@pytest.mark.parametrize(
    ("call", "result"),
    [
        (lambda: pyquarn.to_binary(SAMPLE.read_bytes()), EResult.AlreadyBinarized),
        (lambda: pyquarn.to_binary(b"G28\n"), EResult.InvalidAsciiGCodeFile),
        (lambda: pyquarn.to_ascii(BRACKET.read_bytes()), EResult.InvalidMagicNumber),
        (lambda: pyquarn.to_ascii(SAMPLE.read_bytes()[:-9]), None),
        (lambda: pyquarn.to_ascii(b""), EResult.ReadError),
    ],
    ids=["binary to binary", "no slicer text", "ascii to ascii", "truncated", "empty"],
)
def test_conversion_failures_raise(call, result):
    with pytest.raises(QuarnError) as raised:
        call()
    assert result is None or raised.value.result == result


def test_wrong_arguments():
    with pytest.raises(TypeError):
        pyquarn.to_binary("G28\n")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        pyquarn.to_ascii(io.BytesIO())  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        pyquarn.to_binary(BRACKET.read_bytes(), config=1)  # type: ignore[arg-type]
