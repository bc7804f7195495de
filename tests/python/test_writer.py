"""pyquarn.open(target, "w"): files written from Python, reproduced byte for byte, atomic
for paths, refused before anything is written when they could not be read."""

import io
from pathlib import Path

import pytest

import pyquarn
from pyquarn import EResult, QuarnError

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
BRACKET = ROOT / "examples" / "bracket.gcode"
CORPUS = ROOT.parent / "shared" / "corpus"


def settings(reader):
    return {"config": reader.config, "metadata": reader.metadata, "thumbnails": reader.thumbnails}


def encoding_config(encoding):
    config = pyquarn.get_config()
    config.gcode_encoding = encoding
    return config


ENCODINGS = [
    pyquarn.GCodeEncodingType.none,
    pyquarn.GCodeEncodingType.MeatPack,
    pyquarn.GCodeEncodingType.MeatPackComments,
]


@pytest.mark.parametrize("encoding", ENCODINGS, ids=lambda e: e.name)
@pytest.mark.parametrize("source", [BRACKET, CORPUS / "logo.gcode"], ids=["bracket", "logo"])
def test_lines_of_a_file_write_it_again(tmp_path, source, encoding):
    """A file written from decoded lines (a second conversion) is reproduced exactly."""
    once = pyquarn.to_binary(source.read_bytes(), encoding_config(encoding))
    twice = pyquarn.to_binary(pyquarn.to_ascii(once), encoding_config(encoding))
    target = tmp_path / "copy.qgcode"
    with pyquarn.open(twice) as src, pyquarn.open(target, "w", **settings(src)) as out:
        out.write_lines(src.lines())
    assert target.read_bytes() == twice


def test_an_ascii_file_written_from_its_lines_is_its_conversion():
    expected = pyquarn.to_binary(BRACKET.read_bytes())
    out = io.BytesIO()
    with pyquarn.open(BRACKET) as src, pyquarn.open(out, "w", **settings(src)) as writer:
        writer.write_lines(src.lines())
    assert out.getvalue() == expected


def test_text_in_any_pieces_writes_the_same_file():
    with pyquarn.open(SAMPLE) as src:
        lines = list(src.lines())
        by_lines, by_text = io.BytesIO(), io.BytesIO()
        with pyquarn.open(by_lines, "w", **settings(src)) as out:
            out.write_lines(lines)
        text = "\n".join(lines)  # the last line without its line feed
        with pyquarn.open(by_text, "w", **settings(src)) as out:
            for start in range(0, len(text), 7):
                out.write(text[start : start + 7])
    assert by_text.getvalue() == by_lines.getvalue()


def test_metadata_and_thumbnails_in_plain_forms():
    with pyquarn.open(SAMPLE) as src:
        metadata = {kind: dict(pairs) for kind, pairs in src.metadata.items()}
        metadata["printer"] = list(src.metadata["printer"].items())
        thumbnails = [(t.format, t.width, t.height, t.data) for t in src.thumbnails]
        out = io.BytesIO()
        with pyquarn.open(
            out, "w", config=src.config, metadata=metadata, thumbnails=thumbnails
        ) as writer:
            writer.write_lines(src.lines())
        with pyquarn.open(out.getvalue()) as copy:
            assert copy.metadata == src.metadata and copy.thumbnails == src.thumbnails


REQUIRED = {
    "printer": EResult.MissingPrinterMetadata,
    "print": EResult.MissingPrintMetadata,
    "slicer": EResult.MissingSlicerMetadat,
}


@pytest.mark.parametrize("kind", REQUIRED, ids=REQUIRED)
def test_missing_metadata_is_refused_before_writing(tmp_path, kind):
    with pyquarn.open(SAMPLE) as src:
        metadata = {k: v for k, v in src.metadata.items() if k != kind}
    out, path = io.BytesIO(), tmp_path / "x.qgcode"
    for target in (out, path):
        with pytest.raises(QuarnError) as raised:
            pyquarn.open(target, "w", metadata=metadata)
        assert raised.value.result == REQUIRED[kind]
    assert out.getvalue() == b""
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    ("bad", "error"),
    [
        # Thumbnail.coerce's rules (test_images.py has them all), before anything is written.
        ((7, 16, 16, b"x"), ValueError),  # no such format
        ((0, 1 << 16, 16, b"x"), ValueError),  # wider than a file can say
        ((0, 16, 16), TypeError),
    ],
)
def test_bad_thumbnails_are_refused_before_writing(tmp_path, bad, error):
    with pyquarn.open(SAMPLE) as src:
        metadata = src.metadata
    out, path = io.BytesIO(), tmp_path / "part.qgcode"
    for target in (out, path):
        with pytest.raises(error, match="thumbnail"):
            pyquarn.open(target, "w", metadata=metadata, thumbnails=[bad])
    assert out.getvalue() == b"" and list(tmp_path.iterdir()) == []


def test_a_failure_inside_the_block_leaves_no_file_and_keeps_an_old_one(tmp_path):
    path = tmp_path / "part.qgcode"
    with pyquarn.open(SAMPLE) as src:
        with pytest.raises(RuntimeError):
            with pyquarn.open(path, "w", **settings(src)) as out:
                out.write_lines(src.lines())
                raise RuntimeError("stop")
        assert list(tmp_path.iterdir()) == []
        path.write_bytes(b"old")
        with pytest.raises(ValueError):
            with pyquarn.open(path, "w", **settings(src)) as out:
                out.write_lines(["G1 X1\nG1 X2"])
    assert path.read_bytes() == b"old" and list(tmp_path.iterdir()) == [path]


def test_a_target_that_fails_to_write_raises_its_own_exception():
    class Full(io.RawIOBase):
        def writable(self):
            return True

        def write(self, data):
            raise OSError(28, "No space left on device")

    with pyquarn.open(SAMPLE) as src:
        with pytest.raises(OSError, match="No space"):
            with pyquarn.open(Full(), "w", **settings(src)) as out:
                out.write_lines(src.lines())


def test_wrong_arguments():
    with pyquarn.open(SAMPLE) as src:
        metadata = src.metadata
    with pytest.raises(ValueError, match="kind"):
        pyquarn.open(io.BytesIO(), "w", metadata={"printers": {}})
    with pytest.raises(TypeError):
        pyquarn.open(io.BytesIO(), "w", metadata={"printer": {"k": 1}})
    with pytest.raises(TypeError):
        pyquarn.open(io.BytesIO(), "w", metadata=metadata, config="fast")
    with pyquarn.open(io.BytesIO(), "w", metadata=metadata) as out:
        with pytest.raises(TypeError):
            out.write_lines("G28")
        with pytest.raises(TypeError):
            out.write_lines([b"G28"])
        with pytest.raises(TypeError):
            out.write(b"G28\n")
    with pytest.raises(ValueError, match="closed"):
        out.write("G28\n")


def test_a_device_is_written_into_not_replaced():
    with pyquarn.open(SAMPLE) as src, pyquarn.open("/dev/null", "w", **settings(src)) as out:
        out.write_lines(src.lines())
    assert Path("/dev/null").is_char_device()
