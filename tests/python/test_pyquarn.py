"""The Python layer of pyquarn: convert, info, thumbnails, verify and QuarnError."""

from __future__ import annotations

import os
from pathlib import Path

import _quarn
import pytest
from gcode_files import (
    Block,
    BlockType,
    GCodeFile,
    ThumbnailFormat,
    thumbnail,
    u16,
    valid_file,
)
from slicer_files import GCODE_LINES, NOT_FROM_THE_SLICER, write_slicer_gcode

import pyquarn
from pyquarn import Direction, EResult, QuarnError

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"

IMAGES = [
    (b"\x89PNG\r\n\x1a\nfake png", 16, 16, ThumbnailFormat.PNG),
    (b"\xff\xd8\xff\xe0fake jpg", 160, 120, ThumbnailFormat.JPG),
    (b"qoiffake qoi", 300, 300, ThumbnailFormat.QOI),
]


def with_thumbnails() -> GCodeFile:
    return valid_file(thumbnails=[thumbnail(d, w, h, format=f) for d, w, h, f in IMAGES])


def files_in(folder: Path) -> list[str]:
    return sorted(os.listdir(folder))


def test_reexports_the_module_but_its_file_handle_functions() -> None:
    handles = {"open", "close", "is_open", "rewind"}
    public = {name for name in dir(_quarn) if not name.startswith("_")} - handles
    assert all(getattr(pyquarn, name) is getattr(_quarn, name) for name in public)
    assert not any(getattr(pyquarn, name, None) is getattr(_quarn, name) for name in handles)


def test_round_trip_through_both_directions(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    binary = pyquarn.convert(source)
    assert binary.direction is Direction.ASCII_TO_BINARY
    assert binary.output == tmp_path / "part.qgcode"
    assert (binary.source_size, binary.output_size) == (
        source.stat().st_size,
        binary.output.stat().st_size,
    )
    assert pyquarn.verify(binary.output) is None

    back = pyquarn.convert(binary.output, tmp_path / "back.gcode")
    assert back.direction is Direction.BINARY_TO_ASCII
    text = back.output.read_text()
    assert all(line + "\n" in text for line in GCODE_LINES)
    assert "; printer_model = X\n" in text and "; layer_height = 0.2\n" in text
    assert files_in(tmp_path) == ["back.gcode", "part.gcode", "part.qgcode"]


@pytest.mark.parametrize(
    ("name", "direction", "expected"),
    [
        ("a.gcode", Direction.ASCII_TO_BINARY, "a.qgcode"),
        ("a.GCODE", Direction.ASCII_TO_BINARY, "a.qgcode"),
        ("a.qgcode", Direction.BINARY_TO_ASCII, "a.gcode"),
        ("a.txt", Direction.ASCII_TO_BINARY, "a.txt.qgcode"),
        ("a", Direction.BINARY_TO_ASCII, "a.gcode"),
        # a binary file named .gcode: never the source's own name
        ("a.gcode", Direction.BINARY_TO_ASCII, "a.gcode.gcode"),
        ("a.qgcode", Direction.ASCII_TO_BINARY, "a.qgcode.qgcode"),
    ],
)
def test_default_output_name(name: str, direction: Direction, expected: str) -> None:
    assert pyquarn.default_output(Path("dir") / name, direction) == Path("dir") / expected


def test_direction_comes_from_the_content_not_the_name(tmp_path: Path) -> None:
    disguised = valid_file().write(tmp_path / "binary.gcode")
    result = pyquarn.convert(disguised)
    assert result.direction is Direction.BINARY_TO_ASCII
    assert result.output == tmp_path / "binary.gcode.gcode"
    assert "G1 X10 Y10\n" in result.output.read_text()


def test_config_chooses_compression_encoding_and_checksum(tmp_path: Path) -> None:
    config = pyquarn.get_config()
    config.compression.gcode = pyquarn.CompressionType.Deflate
    config.compression.slicer_metadata = pyquarn.CompressionType.none
    config.gcode_encoding = pyquarn.GCodeEncodingType.none
    config.checksum = pyquarn.ChecksumType.none
    source = write_slicer_gcode(tmp_path / "part.gcode")
    output = pyquarn.convert(source, config=config).output
    file = pyquarn.info(output)
    assert file.checksum_type == pyquarn.ChecksumType.none
    compressions = {block.type.name: block.compression.name for block in file.blocks}
    assert compressions["GCode"] == "Deflate" and compressions["SlicerMetadata"] == "none"

    default = pyquarn.info(pyquarn.convert(source, tmp_path / "default.qgcode").output)
    assert default.checksum_type == pyquarn.ChecksumType.CRC32
    gcode = [block for block in default.blocks if block.type == pyquarn.EBlockType.GCode]
    assert gcode[0].compression == pyquarn.CompressionType.Heatshrink_12_4


@pytest.mark.parametrize(
    ("field", "value", "result"),
    [
        ("gcode", pyquarn.CompressionType(99), EResult.InvalidCompressionType),
        ("slicer_metadata", pyquarn.CompressionType(4), EResult.InvalidCompressionType),
        ("checksum", pyquarn.ChecksumType(2), EResult.InvalidChecksumType),
    ],
    ids=["gcode compression", "metadata compression", "checksum"],
)
def test_config_values_outside_the_enumerations_are_refused(
    tmp_path: Path, field: str, value: object, result: EResult
) -> None:
    # An enumeration takes any integer: such a value used to give an unreadable file (no G-code
    # at all for an unknown G-code compression) and a conversion reported as done.
    config = pyquarn.get_config()
    setattr(config if field == "checksum" else config.compression, field, value)
    source = write_slicer_gcode(tmp_path / "part.gcode")
    with pytest.raises(QuarnError) as raised:
        pyquarn.convert(source, config=config)
    assert raised.value.result == result
    assert files_in(tmp_path) == ["part.gcode"]


def damaged_gcode_checksum() -> GCodeFile:
    file = valid_file()
    file.blocks[-1].damage_checksum = True
    return file


@pytest.mark.parametrize(
    ("write_source", "result"),
    [
        (lambda p: p.write_text(NOT_FROM_THE_SLICER), EResult.InvalidAsciiGCodeFile),
        (lambda p: p.write_text(""), EResult.InvalidAsciiGCodeFile),
        (lambda p: damaged_gcode_checksum().write(p), EResult.InvalidChecksum),
    ],
    ids=["no producer line", "empty", "damaged checksum"],
)
def test_failed_conversion_leaves_no_file_and_keeps_an_existing_one(
    tmp_path: Path, write_source, result: EResult
) -> None:
    source = tmp_path / "in.src"
    write_source(source)
    with pytest.raises(QuarnError) as raised:
        pyquarn.convert(source, tmp_path / "new.out")
    assert raised.value.result == result
    assert raised.value.message == pyquarn.translate_result(result)
    assert str(source) in str(raised.value) and result.name in str(raised.value)
    assert files_in(tmp_path) == ["in.src"]

    existing = tmp_path / "existing.out"
    existing.write_bytes(b"keep me")
    with pytest.raises(QuarnError):
        pyquarn.convert(source, existing)
    assert existing.read_bytes() == b"keep me"
    assert files_in(tmp_path) == ["existing.out", "in.src"]


def test_verify_false_skips_the_checksums_of_a_binary_source(tmp_path: Path) -> None:
    source = damaged_gcode_checksum().write(tmp_path / "a.qgcode")
    result = pyquarn.convert(source, verify=False)
    assert "G1 X10 Y10\n" in result.output.read_text()


def test_replaces_an_existing_output_on_success(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    existing = tmp_path / "part.qgcode"
    existing.write_bytes(b"old")
    pyquarn.convert(source)
    assert pyquarn.verify(existing) is None
    assert files_in(tmp_path) == ["part.gcode", "part.qgcode"]


def test_writes_into_a_device_or_pipe_instead_of_replacing_it(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    result = pyquarn.convert(source, "/dev/null")
    assert result.output_size > 0
    assert Path("/dev/null").is_char_device()
    pipe = tmp_path / "pipe"
    os.mkfifo(pipe)
    reader = os.open(pipe, os.O_RDONLY | os.O_NONBLOCK)
    try:
        pyquarn.convert(source, pipe)
        assert os.read(reader, 4) == b"GCDE"
    finally:
        os.close(reader)
    assert pipe.is_fifo()
    assert files_in(tmp_path) == ["part.gcode", "pipe"]


def test_refuses_paths_it_cannot_use(tmp_path: Path) -> None:
    source = write_slicer_gcode(tmp_path / "part.gcode")
    for same in (source, tmp_path / "." / "part.gcode"):
        with pytest.raises(ValueError):
            pyquarn.convert(source, same)
    assert source.read_text().startswith("; generated by")
    with pytest.raises(FileNotFoundError):
        pyquarn.convert(tmp_path / "missing.gcode")
    with pytest.raises(IsADirectoryError):
        pyquarn.convert(tmp_path)
    with pytest.raises(IsADirectoryError):
        pyquarn.convert(source, tmp_path)
    with pytest.raises(FileNotFoundError):
        pyquarn.convert(source, tmp_path / "no such folder" / "x.qgcode")
    assert files_in(tmp_path) == ["part.gcode"]


def test_info_describes_every_block(tmp_path: Path) -> None:
    crafted = with_thumbnails()
    crafted.blocks[1] = Block(
        BlockType.PrinterMetadata, data=b"printer_model=T1\nnozzle=0.4\n", params=u16(0)
    )
    path = crafted.write(tmp_path / "a.qgcode")
    file = pyquarn.info(path)
    assert (file.version, file.size) == (1, path.stat().st_size)
    assert file.checksum_type == pyquarn.ChecksumType.CRC32
    assert [block.offset for block in file.blocks] == crafted.offsets()
    assert [int(block.type) for block in file.blocks] == [b.type for b in crafted.blocks]
    assert [block.size for block in file.blocks] == [len(b.to_bytes()) for b in crafted.blocks]
    assert file.metadata(pyquarn.EBlockType.PrinterMetadata) == (
        ("printer_model", "T1"),
        ("nozzle", "0.4"),
    )
    assert [(t.format.name, t.width, t.height, t.size) for t in file.thumbnails] == [
        (f.name, w, h, len(d)) for d, w, h, f in IMAGES
    ]
    assert file.to_dict()["blocks"][0]["metadata"] == [["Producer", "quarn tests"]]


def test_info_of_the_sample_reports_stored_sizes() -> None:
    file = pyquarn.info(SAMPLE)
    slicer = next(b for b in file.blocks if b.type == pyquarn.EBlockType.SlicerMetadata)
    assert slicer.compression == pyquarn.CompressionType.Deflate
    assert slicer.compressed_size < slicer.uncompressed_size
    assert file.metadata(pyquarn.EBlockType.FileMetadata) == (("Producer", "quarn sample 0.2.1"),)
    assert file.blocks[-1].offset + file.blocks[-1].size == file.size


def test_thumbnails_yield_the_images(tmp_path: Path) -> None:
    path = with_thumbnails().write(tmp_path / "a.qgcode")
    images = list(pyquarn.thumbnails(path))
    assert [(i.data, i.width, i.height, i.format.name) for i in images] == [
        (d, w, h, f.name) for d, w, h, f in IMAGES
    ]
    assert [image.extension for image in images] == ["png", "jpg", "qoi"]
    assert list(pyquarn.thumbnails(valid_file().write(tmp_path / "none.qgcode"))) == []


def truncated(path: Path) -> None:
    data = valid_file().to_bytes()
    path.write_bytes(data[:-3])


@pytest.mark.parametrize(
    ("write", "result"),
    [
        (lambda p: write_slicer_gcode(p), EResult.InvalidMagicNumber),
        (lambda p: damaged_gcode_checksum().write(p), EResult.InvalidChecksum),
        (truncated, None),
    ],
    ids=["ascii", "damaged checksum", "truncated"],
)
def test_reading_an_invalid_file_raises_quarn_error(tmp_path: Path, write, result) -> None:
    path = tmp_path / "bad.qgcode"
    write(path)
    for read in (pyquarn.info, lambda p: list(pyquarn.thumbnails(p))):
        with pytest.raises(QuarnError) as raised:
            read(path)
        assert result is None or raised.value.result == result
    with pytest.raises(QuarnError) as verified:
        pyquarn.verify(path)
    assert verified.value.result == raised.value.result


def test_info_keeps_metadata_bytes_that_are_not_utf8(tmp_path: Path) -> None:
    file = valid_file()
    file.blocks[1] = Block(BlockType.PrinterMetadata, data=b"printer_model=\xff\n", params=u16(0))
    path = file.write(tmp_path / "a.qgcode")
    assert pyquarn.verify(path) is None
    printer = pyquarn.info(path).metadata(pyquarn.EBlockType.PrinterMetadata)
    assert printer == (("printer_model", "\udcff"),)


def test_verify_raises_and_returns_none(tmp_path: Path) -> None:
    assert pyquarn.verify(SAMPLE) is None
    with pytest.raises(FileNotFoundError):
        pyquarn.verify(tmp_path / "missing.qgcode")
    with pytest.raises(IsADirectoryError):
        pyquarn.verify(tmp_path)


def test_the_namespace_holds_the_api_and_not_the_file_handles() -> None:
    import _quarn

    namespace: dict[str, object] = {}
    exec("from pyquarn import *", namespace)
    assert namespace["open"] is pyquarn.open is not _quarn.open
    assert not {"close", "rewind", "is_open", "FILEWrapper"} & set(namespace)
    assert set(pyquarn.__all__) <= set(namespace)
    for name in (
        "EResult",
        "BinarizerConfig",
        "BinarizerCompression",
        "get_config",
        "translate_result",
        "QuarnError",
        "to_binary",
        "to_ascii",
        "Reader",
        "Writer",
    ):
        assert name in pyquarn.__all__, name
