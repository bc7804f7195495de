"""pyquarn.open for reading: what a file holds, the same through both formats, lines that
survive any bytes, and faults reported with where they are."""

import itertools
from pathlib import Path

import pytest

import pyquarn
from pyquarn import CompressionType, EBlockType, EResult, GCodeEncodingType, QuarnError

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
BRACKET = ROOT / "examples" / "bracket.gcode"
CORPUS = ROOT.parent / "shared" / "corpus"


def plain_config(checksum=pyquarn.ChecksumType.CRC32, gcode=CompressionType.none):
    """No MeatPack, so that binary files keep the text exactly."""
    config = pyquarn.get_config()
    config.gcode_encoding = GCodeEncodingType.none
    config.compression.gcode = gcode
    config.checksum = checksum
    return config


def summary(reader):
    return (
        {kind: list(reader.metadata[kind].items()) for kind in reader.metadata},
        reader.thumbnails,
        list(reader.lines()),
    )


@pytest.mark.parametrize("source", [BRACKET, CORPUS / "logo.gcode"], ids=["bracket", "logo"])
def test_an_ascii_file_reads_as_its_conversion(tmp_path, source):
    binary = pyquarn.convert(source, tmp_path / "out.qgcode", config=plain_config()).output
    with pyquarn.open(source) as ascii_file, pyquarn.open(binary) as binary_file:
        assert (ascii_file.format, binary_file.format) == ("ascii", "binary")
        ascii_summary = summary(ascii_file)
        assert ascii_summary == summary(binary_file)
    metadata, thumbnails, lines = ascii_summary
    assert metadata["printer"] and metadata["print"] and metadata["slicer"]
    assert thumbnails and {t.format for t in thumbnails} >= {pyquarn.EThumbnailFormat.QOI}
    assert lines and all("\n" not in line and "\r" not in line for line in lines)


def test_sample_contents():
    with pyquarn.open(SAMPLE) as f:
        assert f.format == "binary" and f.version == 1
        printer = f.metadata["printer"]
        assert printer["printer_model"] == "T1" and dict(printer)["filament_type"] == "PLA"
        assert [t.width for t in f.thumbnails] == [16]
        assert list(itertools.islice(f.lines(), 3)) == ["M140 S60", "M104 S215", "G28"]
        assert list(f.lines()) == list(f.lines()), "a seekable source gives the lines again"
        assert f.blocks == pyquarn.info(SAMPLE).blocks
        assert f.verify() is None


def test_metadata_keeps_repeated_keys_in_order(tmp_path):
    pairs = [("Producer", "a"), ("x", "1"), ("Producer", "b")]
    with pyquarn.open(SAMPLE) as src:
        metadata = dict(src.metadata)
        metadata["file"] = pairs
        path = tmp_path / "twice.qgcode"
        with pyquarn.open(path, "w", metadata=metadata) as out:
            out.write_lines(src.lines())
    with pyquarn.open(path) as f:
        file = f.metadata["file"]
        assert list(file.items()) == pairs and len(file.items()) == 3
        assert file["Producer"] == "a" and dict(file) == {"Producer": "a", "x": "1"}
        assert list(file) == ["Producer", "x"] and "x" in file and "y" not in file
        assert set(f.metadata) == {"file", "printer", "print", "slicer"}
        with pytest.raises(TypeError):
            file["x"] = "2"  # type: ignore[index]


CONFIGS = {
    "default": pyquarn.get_config(),
    "deflate plain": plain_config(gcode=CompressionType.Deflate),
    "heatshrink 11 no checksum": plain_config(
        pyquarn.ChecksumType.none, CompressionType.Heatshrink_11_4
    ),
}


@pytest.mark.parametrize("config", CONFIGS.values(), ids=CONFIGS)
def test_config_reproduces_the_settings(tmp_path, config):
    output = pyquarn.convert(BRACKET, tmp_path / "b.qgcode", config=config).output
    with pyquarn.open(output) as f:
        found = f.config
    fields = ("file_metadata", "printer_metadata", "print_metadata", "slicer_metadata", "gcode")
    for field in fields:
        assert getattr(found.compression, field) == getattr(config.compression, field), field
    assert (found.gcode_encoding, found.checksum) == (config.gcode_encoding, config.checksum)
    assert pyquarn.info(output).gcode_encoding == config.gcode_encoding


def test_lines_keep_bytes_that_are_not_utf8(tmp_path):
    text = BRACKET.read_bytes().replace(b"G28", b"G28 ; caf\xe9 \xff\xfe", 1)
    binary = pyquarn.to_binary(text, plain_config())
    with pyquarn.open(binary) as f:
        lines = list(f.lines())
        assert any("\udce9" in line for line in lines)
        rewritten = tmp_path / "again.qgcode"
        with pyquarn.open(
            rewritten, "w", config=f.config, metadata=f.metadata, thumbnails=f.thumbnails
        ) as out:
            out.write_lines(lines)
    assert rewritten.read_bytes() == binary


def damaged_gcode_checksum() -> tuple[bytes, int, int]:
    """The sample with the last byte of its first G-code block's checksum changed."""
    data = bytearray(SAMPLE.read_bytes())
    block = next(b for b in pyquarn.info(SAMPLE).blocks if b.type == EBlockType.GCode)
    data[block.offset + block.size - 1] ^= 0xFF
    index = pyquarn.info(SAMPLE).blocks.index(block)
    return bytes(data), index, block.offset


def test_faults_say_where():
    data, index, offset = damaged_gcode_checksum()
    with pytest.raises(QuarnError) as raised:
        with pyquarn.open(data) as f:
            f.verify()
    error = raised.value
    assert (error.result, error.block, error.offset, error.path) == (
        EResult.InvalidChecksum,
        index,
        offset,
        None,
    )
    assert error.message == pyquarn.translate_result(EResult.InvalidChecksum)
    assert str(error) == f"block {index} at offset {offset}: InvalidChecksum: Invalid checksum"


def test_a_path_names_itself_in_faults(tmp_path):
    data, index, offset = damaged_gcode_checksum()
    path = tmp_path / "logo.qgcode"
    path.write_bytes(data)
    with pytest.raises(QuarnError, match=rf"^{path}: block {index} at offset {offset}: "):
        pyquarn.verify(path)
    with pytest.raises(QuarnError) as raised, pyquarn.open(SAMPLE.read_bytes()[:-40]) as f:
        f.verify()
    assert raised.value.result == EResult.ReadError and raised.value.block is not None


@pytest.mark.parametrize(
    ("content", "result"),
    [
        (b"", EResult.InvalidAsciiGCodeFile),
        (b"G28\nG1 X1\n", EResult.InvalidAsciiGCodeFile),
        (b"GCDE", EResult.ReadError),
        (b"GCDE\x09\x00\x00\x00\x01\x00", EResult.InvalidVersionNumber),
        (b"GCDE\x01\x00\x00\x00\x01\x00", EResult.MissingPrinterMetadata),
    ],
    ids=["empty", "not from a slicer", "magic only", "future version", "no blocks"],
)
def test_files_that_cannot_be_opened(content, result):
    with pytest.raises(QuarnError) as raised:
        pyquarn.open(content)
    assert raised.value.result == result


def test_blocks_out_of_order_are_refused():
    data = SAMPLE.read_bytes()
    blocks = pyquarn.info(SAMPLE).blocks
    printer, thumbnail = blocks[1], blocks[2]
    assert (printer.type, thumbnail.type) == (EBlockType.PrinterMetadata, EBlockType.Thumbnail)
    swapped = (
        data[: printer.offset]
        + data[thumbnail.offset : thumbnail.offset + thumbnail.size]
        + data[printer.offset : printer.offset + printer.size]
        + data[thumbnail.offset + thumbnail.size :]
    )
    with pytest.raises(QuarnError) as raised:
        pyquarn.open(swapped)
    assert (raised.value.result, raised.value.block) == (EResult.InvalidSequenceOfBlocks, 1)


def test_a_closed_reader_refuses_reading():
    f = pyquarn.open(SAMPLE)
    lines = f.lines()
    f.close()
    f.close()
    assert f.closed
    for call in (f.lines, f.verify, lambda: f.blocks, lambda: next(lines)):
        with pytest.raises(ValueError, match="closed"):
            call()


@pytest.mark.parametrize("source", [SAMPLE, BRACKET], ids=["binary", "ascii"])
def test_iterations_and_other_reads_in_between(source):
    with pyquarn.open(source) as f:
        expected = list(f.lines())
        first, second = f.lines(), f.lines()
        taken = [next(first)]
        f.verify()
        assert f.blocks is not None
        if f.format == "binary":  # each iteration keeps its place
            taken += [next(second)] + list(first)
            assert taken[:1] + taken[2:] == expected and taken[1] == expected[0]
        else:  # the text is read again for each: only the latest goes on
            assert list(second) == expected
            with pytest.raises(RuntimeError, match="again"):
                list(first)
