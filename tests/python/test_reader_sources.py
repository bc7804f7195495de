"""Every kind of source gives the same reader; misbehaving file objects give clear errors
or their own exceptions, never a crash; reading many times does not grow the process."""

import io
import os
import threading
import tracemalloc
from pathlib import Path

import pytest
from file_objects import Unseekable
from gcode_files import Compression, gcode, valid_file

import pyquarn
from pyquarn import EResult, QuarnError, _native

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "examples" / "sample.qgcode"
BRACKET = ROOT / "examples" / "bracket.gcode"


class Misbehaving(Unseekable):
    """Reads properly until `after` bytes are out, then does `fault` once."""

    def __init__(self, data: bytes, after: int, fault) -> None:
        super().__init__(data)
        self._after, self._fault = after, fault

    def read(self, size: int = -1) -> bytes:
        if self._at >= self._after:
            return self._fault(size)
        return super().read(min(size, self._after - self._at))


class Boom(Exception):
    pass


def boom(size):
    raise Boom("the network went away")


def pipe_of(data: bytes):
    read_end, write_end = os.pipe()

    def feed():
        with open(write_end, "wb") as w:
            w.write(data)

    thread = threading.Thread(target=feed)
    thread.start()
    return open(read_end, "rb", buffering=0), thread


def sources(path: Path):
    data = path.read_bytes()
    yield "str", str(path)
    yield "Path", path
    yield "bytes", data
    yield "bytearray", bytearray(data)
    yield "memoryview", memoryview(data)
    yield "BytesIO", io.BytesIO(data)
    yield "BytesIO not at 0", _at_offset(data)
    yield "open file", open(path, "rb")
    yield "unseekable", Unseekable(data)
    yield "one byte per read", Unseekable(data, step=1 if len(data) < 10000 else 997)


def _at_offset(data):
    stream = io.BytesIO(b"junk" + data)
    stream.seek(4)
    return stream


def contents(source):
    with pyquarn.open(source) as f:
        return (
            f.format,
            {kind: list(pairs.items()) for kind, pairs in f.metadata.items()},
            f.thumbnails,
            list(f.lines()),
        )


@pytest.mark.parametrize("path", [SAMPLE, BRACKET], ids=["binary", "ascii"])
def test_every_source_reads_alike(path):
    expected = contents(path)
    for name, source in sources(path):
        assert contents(source) == expected, name
        if hasattr(source, "close"):
            source.close()
    pipe, thread = pipe_of(path.read_bytes())
    with pipe:
        assert contents(pipe) == expected
    thread.join()


def test_an_unseekable_binary_source_gives_its_lines_once():
    data = SAMPLE.read_bytes()
    with pyquarn.open(Unseekable(data)) as f:
        lines = list(f.lines())
        assert lines == list(pyquarn.open(data).lines())
        with pytest.raises(ValueError, match="once"):
            f.lines()
        f.verify()  # every block was checked as it was read
        assert f.blocks == pyquarn.info(SAMPLE).blocks
    with pyquarn.open(Unseekable(data)) as f:
        assert f.blocks == pyquarn.info(SAMPLE).blocks  # reads to the end
        with pytest.raises(ValueError, match="once"):
            f.lines()


def test_a_damaged_unseekable_source_raises_quarn_error():
    data = bytearray(SAMPLE.read_bytes())
    data[-2] ^= 0xFF
    with pyquarn.open(Unseekable(bytes(data))) as f:
        with pytest.raises(QuarnError) as raised:
            list(f.lines())
    assert raised.value.result == EResult.InvalidChecksum


@pytest.mark.parametrize("path", [SAMPLE, BRACKET], ids=["binary", "ascii"])
@pytest.mark.parametrize(
    ("fault", "error"),
    [
        (boom, Boom),
        (lambda size: "text", TypeError),
        (lambda size: b"x" * (size + 1), ValueError),
        (lambda size: None, ValueError),
    ],
    ids=["raises", "str", "too many bytes", "None"],
)
@pytest.mark.parametrize("after", [2, 300], ids=["sniffing", "later"])
def test_misbehaving_file_objects(path, fault, error, after):
    source = Misbehaving(path.read_bytes(), after, fault)
    with pytest.raises(error):
        with pyquarn.open(source) as f:
            list(f.lines())


def test_a_file_closed_midway():
    with open(SAMPLE, "rb") as file, pyquarn.open(file) as f:
        file.close()
        if _native.FILE_OBJECT_STREAMS == "spooled":  # its bytes were copied when opened
            assert next(f.lines()) == "M140 S60"
        else:
            with pytest.raises(ValueError, match="closed"):
                list(f.lines())


def test_sources_of_the_wrong_kind():
    for bad in (3, None, "G28\n".split()):
        with pytest.raises(TypeError):
            pyquarn.open(bad)
    with pytest.raises(FileNotFoundError):
        pyquarn.open(Path("/nonexistent/x.qgcode"))
    with pytest.raises(IsADirectoryError):
        pyquarn.open(ROOT)
    with pytest.raises(ValueError, match="mode"):
        pyquarn.open(SAMPLE, "a")
    with open(os.devnull, "wb") as sink, pytest.raises(ValueError, match="reading"):
        pyquarn.open(sink)


def test_bytes_are_content_not_a_file_name():
    with pytest.raises(QuarnError) as raised:
        pyquarn.open(str(SAMPLE).encode())
    assert raised.value.result == EResult.InvalidAsciiGCodeFile


def _rss_kib() -> int:
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS"))


def test_many_open_read_close_cycles_keep_the_size_flat():
    data = SAMPLE.read_bytes()

    def cycle():
        with pyquarn.open(data) as f:
            list(f.lines())
            f.verify()

    for _ in range(500):  # settle allocator pools first
        cycle()
    before = _rss_kib()
    for _ in range(10_000):
        cycle()
    assert _rss_kib() - before < 4096


@pytest.mark.parametrize("seekable", [True, False], ids=["bytes", "unseekable"])
def test_a_small_block_of_many_lines_is_not_made_into_strings_at_once(seekable):
    # Some 3 KB of Deflate data decode to a million short lines, which as Python strings
    # take twenty times the text: lines() makes them a batch at a time, so what it holds is
    # the text and a few batches as strings.
    text = b"G1\n" * 1_000_000
    crafted = valid_file(gcode_blocks=())
    crafted.blocks.append(gcode(text, compression=Compression.Deflate))
    data = crafted.to_bytes()
    assert len(data) < 10_000
    tracemalloc.start()
    try:
        with pyquarn.open(data if seekable else Unseekable(data)) as f:
            count = sum(1 for _ in f.lines())
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert count == 1_000_000
    assert peak < 3 * len(text)
