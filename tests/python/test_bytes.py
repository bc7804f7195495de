"""Conversions of bytes give exactly what the conversions of files give."""

import io
from pathlib import Path

import pytest
from file_objects import Unseekable

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


def test_convert_takes_file_objects(tmp_path):
    binary = pyquarn.convert(BRACKET, tmp_path / "b.qgcode").output
    text = pyquarn.convert(binary, tmp_path / "b.gcode").output
    cases = [
        (lambda: io.BytesIO(BRACKET.read_bytes()), binary),
        (lambda: Unseekable(BRACKET.read_bytes()), binary),
        (lambda: Unseekable(binary.read_bytes()), text),
        (lambda: BRACKET, binary),
    ]
    for source, expected in cases:
        out = io.BytesIO()
        result = pyquarn.convert(source(), out)
        assert out.getvalue() == expected.read_bytes()
        assert (result.output, result.output_size) == (out, len(out.getvalue()))
        assert result.source_size == BRACKET.stat().st_size or expected == text
        path = tmp_path / "from_object"
        pyquarn.convert(source(), path)
        assert path.read_bytes() == expected.read_bytes()


def test_a_failed_conversion_writes_nothing_to_the_destination_object(tmp_path):
    out = io.BytesIO()
    with pytest.raises(QuarnError):
        pyquarn.convert(io.BytesIO(SAMPLE.read_bytes()[:-5]), out)
    with pytest.raises(QuarnError):
        pyquarn.convert(io.BytesIO(b"G28\n"), out)
    assert out.getvalue() == b""
    with pytest.raises(ValueError, match="destination"):
        pyquarn.convert(io.BytesIO(BRACKET.read_bytes()))


def test_threads_convert_side_by_side():
    """The conversions release the interpreter lock; results are those of one thread."""
    import threading

    inputs = [BRACKET.read_bytes(), SAMPLE.read_bytes()] * 2
    expected = [pyquarn.to_ascii(d) if d[:4] == b"GCDE" else pyquarn.to_binary(d) for d in inputs]
    results: list[bytes | None] = [None] * len(inputs)

    def work(i: int) -> None:
        data = inputs[i]
        results[i] = pyquarn.to_ascii(data) if data[:4] == b"GCDE" else pyquarn.to_binary(data)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(inputs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected
