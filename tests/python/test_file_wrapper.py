"""The module frame and the FILEWrapper handle: texts, opening, closing, rewinding."""

import errno
import gc
import os

import _quarn
import pytest
from gcode_files import valid_file

MODULE_DOC = "\n".join(
    [
        "",
        " " * 8 + "Python binding of the libquarn conversion functions",
        " " * 8 + "-" * 23,
        "",
        " " * 8 + ".. currentmodule:: pyquarn",
        "",
        " " * 8 + ".. autosummary::",
        " " * 11 + ":toctree: _generate",
        "",
        *(
            " " * 11 + name
            for name in (
                "open",
                "close",
                "is_open",
                "translate_result",
                "is_valid_binary_gcode",
                "read_header",
                "get_config",
                "from_ascii_to_binary",
                "from_binary_to_ascii",
            )
        ),
        " " * 4,
    ]
)

# Everything the frame, the enumerations and the core register, in registration order.
REGISTRATION_ORDER = [
    *("FILEWrapper", "open", "close", "is_open", "rewind"),
    *("EResult", "CompressionType", "GCodeEncodingType", "MetadataEncodingType"),
    *("ChecksumType", "EBlockType", "EThumbnailFormat"),
    *("FileHeader", "BlockHeader", "ThumbnailParams", "translate_result"),
    *("is_valid_binary_gcode", "read_header", "read_next_block_header"),
    *("verify_block_checksum", "skip_block_content", "skip_block", "block_parameters_size"),
    *("block_payload_size", "checksum_size", "block_content_size", "quarn_version", "version"),
]

HEADER_BYTES = b"GCDE\x01\x00\x00\x00\x00\x00"  # FileHeader() as written


def test_registration_order():
    names = [name for name in vars(_quarn) if name in REGISTRATION_ORDER]
    assert names == REGISTRATION_ORDER


def test_module_texts():
    assert _quarn.__doc__ == MODULE_DOC
    assert len(_quarn.__doc__.split("\n")) == 19
    assert _quarn.__version__ == "0.2.1"
    assert _quarn.FILEWrapper.__doc__ == "A FILE* wrapper to pass around in Python code"


@pytest.mark.parametrize(
    ("function", "doc"),
    [
        ("open", "Open a gcode file to process using pyquarn"),
        ("close", "Close a previously opened file"),
        ("is_open", "Check if file is open"),
        ("rewind", "Moves the file position indicator to the beginning of the given file stream"),
    ],
)
def test_function_docstrings(function, doc):
    signature, text = getattr(_quarn, function).__doc__.split("\n\n", 1)
    assert signature.startswith(function + "(")
    assert text == doc + "\n"


def test_no_constructor():
    with pytest.raises(TypeError):
        _quarn.FILEWrapper()


def test_open_close_lifecycle(tmp_path):
    path = valid_file().write(tmp_path / "a.qgcode")
    f = _quarn.open(str(path), "rb")
    assert isinstance(f, _quarn.FILEWrapper)
    assert _quarn.is_open(f) is True
    assert _quarn.close(f) is None
    assert _quarn.is_open(file=f) is False
    _quarn.close(file=f)  # a second close does nothing
    assert _quarn.rewind(f) is None  # nor does rewinding a closed handle
    assert _quarn.is_open(f) is False


def test_missing_file_raises_platform_text(tmp_path):
    with pytest.raises(RuntimeError) as caught:
        _quarn.open(str(tmp_path / "missing.qgcode"), "rb")
    assert str(caught.value) == os.strerror(errno.ENOENT) == "No such file or directory"


def test_invalid_mode_raises_platform_text(tmp_path):
    path = valid_file().write(tmp_path / "a.qgcode")
    with pytest.raises(RuntimeError) as caught:
        _quarn.open(str(path), "z")
    assert str(caught.value) == os.strerror(errno.EINVAL)


@pytest.mark.parametrize(("name", "mode"), [(None, "rb"), ("x.qgcode", None), (None, None)])
def test_open_refuses_none(tmp_path, monkeypatch, name, mode):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(TypeError, match="not None"):
        _quarn.open(name, mode)
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize(("name", "mode"), [("a\0b", "wb"), ("ab", "w\0b")])
def test_open_refuses_embedded_nul(tmp_path, monkeypatch, name, mode):
    # The C call would stop at the NUL and create or truncate a file of another name.
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError, match="embedded null character"):
        _quarn.open(name, mode)
    assert os.listdir(tmp_path) == []


def test_non_ascii_names(tmp_path):
    name = tmp_path / "Prüfstück €-😀.qgcode"
    f = _quarn.open(str(name), "wb")
    assert _quarn.FileHeader().write(f) == _quarn.EResult.Success
    _quarn.close(f)
    assert name.read_bytes() == HEADER_BYTES

    f = _quarn.open(str(name), "rb")
    header = _quarn.FileHeader()
    assert _quarn.read_header(f, header) == _quarn.EResult.Success
    _quarn.close(f)


def test_garbage_collection_closes_and_flushes(tmp_path):
    path = tmp_path / "dropped.qgcode"
    f = _quarn.open(str(path), "wb")
    assert _quarn.FileHeader().write(f) == _quarn.EResult.Success
    assert path.read_bytes() == b""  # still in the stream's buffer
    del f
    gc.collect()
    assert path.read_bytes() == HEADER_BYTES


def test_rewind_returns_to_start_and_clears_error(tmp_path):
    path = valid_file().write(tmp_path / "a.qgcode")
    f = _quarn.open(str(path), "rb")
    header = _quarn.FileHeader()
    assert header.read(f) == _quarn.EResult.Success  # now at byte 10
    assert header.read(f) == _quarn.EResult.InvalidMagicNumber
    # A write on a read-only stream sets its sticky error indicator: every read fails after.
    assert _quarn.FileHeader().write(f) == _quarn.EResult.WriteError
    assert header.read(f) == _quarn.EResult.ReadError
    assert _quarn.rewind(f) is None
    assert header.read(f) == _quarn.EResult.Success
    _quarn.close(f)


def test_rewind_clears_end_of_file(tmp_path):
    path = valid_file().write(tmp_path / "a.qgcode")
    f = _quarn.open(str(path), "rb")
    file_header, block = _quarn.FileHeader(), _quarn.BlockHeader()
    assert _quarn.read_header(f, file_header) == _quarn.EResult.Success
    while _quarn.read_next_block_header(f, file_header, block) == _quarn.EResult.Success:
        assert _quarn.skip_block_content(f, file_header, block) == _quarn.EResult.Success
    _quarn.rewind(f)
    assert file_header.read(f) == _quarn.EResult.Success
    _quarn.close(f)


def test_rewind_is_positional_only(tmp_path):
    f = _quarn.open(str(valid_file().write(tmp_path / "a.qgcode")), "rb")
    with pytest.raises(TypeError):
        _quarn.rewind(file=f)
    _quarn.rewind(f)
    _quarn.close(file=f)


@pytest.mark.parametrize("function", [_quarn.close, _quarn.is_open, _quarn.rewind])
def test_argument_types(function):
    with pytest.raises(RuntimeError):  # None where a handle is expected
        function(None)
    with pytest.raises(TypeError):
        function("a.qgcode")
