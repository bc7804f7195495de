"""pyquarn.rewrite: new metadata or thumbnails, the G-code blocks copied byte for byte."""

import io
from pathlib import Path

import pytest
from file_objects import Unseekable

import pyquarn
from pyquarn import EBlockType, EResult, QuarnError

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
BRACKET = ROOT / "examples" / "bracket.gcode"


def gcode_bytes(data: bytes) -> bytes:
    with pyquarn.open(data) as f:
        blocks = [b for b in f.blocks if b.type == EBlockType.GCode]
    return b"".join(data[b.offset : b.offset + b.size] for b in blocks)


@pytest.fixture
def bracket(tmp_path) -> Path:
    return pyquarn.convert(BRACKET, tmp_path / "bracket.qgcode").output


def test_in_place_relabel_keeps_the_rest(bracket):
    before = bracket.read_bytes()
    with pyquarn.open(before) as f:
        printer = list(f.metadata["printer"].items())
        thumbnails, lines = f.thumbnails, list(f.lines())
    relabelled = [(k, "XL" if k == "printer_model" else v) for k, v in printer]
    pyquarn.rewrite(bracket, metadata={"printer": relabelled})
    after = bracket.read_bytes()
    assert gcode_bytes(after) == gcode_bytes(before)
    with pyquarn.open(after) as f:
        assert f.metadata["printer"]["printer_model"] == "XL"
        assert list(f.metadata["printer"].items()) == relabelled
        assert f.thumbnails == thumbnails and list(f.lines()) == lines
        f.verify()
    assert sorted(p.name for p in bracket.parent.iterdir()) == ["bracket.qgcode"]


@pytest.mark.parametrize(
    "source_kind", ["path", "bytes", "unseekable"], ids=["path", "bytes", "unseekable"]
)
def test_thumbnails_replaced_or_removed(bracket, tmp_path, source_kind):
    data = bracket.read_bytes()
    sources = {
        "path": lambda: bracket,
        "bytes": lambda: data,
        "unseekable": lambda: Unseekable(data),
    }
    for replacement in ([], [(pyquarn.EThumbnailFormat.PNG, 2, 2, b"png")]):
        out = io.BytesIO()
        source = sources[source_kind]()
        pyquarn.rewrite(source, out, thumbnails=replacement)
        with pyquarn.open(out.getvalue()) as f:
            assert [(t.format, t.width, t.height, t.data) for t in f.thumbnails] == replacement
            assert f.metadata == pyquarn.open(data).metadata
            f.verify()
        assert gcode_bytes(out.getvalue()) == gcode_bytes(data)


def test_nothing_given_copies_the_file(bracket, tmp_path):
    target = tmp_path / "copy.qgcode"
    pyquarn.rewrite(bracket, target)
    assert target.read_bytes() == bracket.read_bytes()


def test_a_damaged_source_writes_nothing(bracket, tmp_path):
    data = bytearray(bracket.read_bytes())
    data[-1] ^= 0xFF  # the last G-code block's checksum
    bracket.write_bytes(bytes(data))
    for target in (None, tmp_path / "out.qgcode"):
        with pytest.raises(QuarnError) as raised:
            pyquarn.rewrite(bracket, target, metadata={"file": {"k": "v"}})
        assert raised.value.result == EResult.InvalidChecksum
    assert bracket.read_bytes() == bytes(data)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["bracket.qgcode"]


def test_wrong_arguments(bracket):
    with pytest.raises(QuarnError) as raised:
        pyquarn.rewrite(BRACKET, io.BytesIO())
    assert raised.value.result == EResult.InvalidMagicNumber
    with pytest.raises(TypeError):
        pyquarn.rewrite(bracket.read_bytes())
    with pytest.raises(ValueError, match="kind"):
        pyquarn.rewrite(bracket, io.BytesIO(), metadata={"slicers": {}})
    with pytest.raises(QuarnError) as raised:
        pyquarn.rewrite(bracket, io.BytesIO(), metadata={"printer": {}})
    assert raised.value.result == EResult.MissingPrinterMetadata
