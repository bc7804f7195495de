"""Texts of the format core: result messages, versions and the functions' docstrings."""

import _quarn
import pytest

R = _quarn.EResult


def test_translate_result():
    assert _quarn.translate_result(R.Success) == "Success"
    assert _quarn.translate_result(result=R.InvalidGCodeEncodingType) == (
        "Invalid gcode encoding type"
    )
    assert _quarn.translate_result(R.MissingSlicerMetadat) == "Missing slicer metadata"
    assert _quarn.translate_result(R(30)) == ""
    assert _quarn.translate_result(R(65535)) == ""


def test_versions():
    assert _quarn.quarn_version() == 1
    assert _quarn.version() == "0.2.1"
    with pytest.raises(TypeError):
        _quarn.version(1)


def docstring(*lines):
    return "\n" + "".join(" " * 12 + line + "\n" for line in lines) + " " * 8


DOCSTRINGS = {
    "is_valid_binary_gcode": docstring(
        "Returns EResult.Success if the given file is a valid binary gcode.",
        "If check_contents is set to true, the order of the blocks is checked.",
        "Does not modify the file position.",
        "Caller is responsible for providing buffer for checksum calculation, if needed.",
    ),
    "verify_block_checksum": docstring(
        "Calculates block checksum and verify it against checksum stored in file.",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "skip_block_content": docstring(
        "Skips the content (parameters + data + checksum) of the block with the given block "
        "header.",
        "File position must be at the start of the block parameters.",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "skip_block": docstring(
        "Skips the block with the given block header.",
        "File position must be set by a previous call to BlockHeader::write() or "
        "BlockHeader::read().",
        "If return == EResult.Success:",
        "- file position will be set at the start of the next block header.",
    ),
    "block_parameters_size": docstring(
        "Returns the size of the parameters of the given block type, in bytes."
    ),
    "block_payload_size": docstring(
        "Returns the size of the payload (parameters + data) of the block with the given "
        "header, in bytes."
    ),
    "checksum_size": docstring("Returns the size of the checksum of the given type, in bytes."),
    "block_content_size": docstring(
        "Returns the size of the content (parameters + data + checksum) of the block with the "
        "given header, in bytes."
    ),
    "quarn_version": docstring(
        "Highest version of the binary format supported by this library instance"
    ),
    "version": docstring("Version of the library."),
    "translate_result": "Returns a string description of the given result",
}


@pytest.mark.parametrize("name", DOCSTRINGS)
def test_function_docstrings(name):
    signature, text = getattr(_quarn, name).__doc__.split("\n\n", 1)
    assert signature.startswith(name + "(")
    assert text == DOCSTRINGS[name] + "\n"


def test_overload_docstrings():
    read_header = _quarn.read_header.__doc__
    first, second = read_header.split("\n2. ")
    assert first.endswith(
        docstring(
            "Reads the file header.",
            "If max_version is not null, version is checked against the passed value.",
            "If return == EResult.Success:",
            "- header will contain the file header.",
            "- file position will be set at the start of the 1st block header.",
        )
        + "\n"
    )
    assert second.startswith("read_header(file: _quarn.FILEWrapper, header: _quarn.FileHeader, ")
    assert second.rstrip().endswith("-> _quarn.EResult")  # overload 2 has no docstring

    walk, search = _quarn.read_next_block_header.__doc__.split("\n2. ")
    assert "- block_header will contain the header of the block.\n" in walk
    assert "Caller is responsible for providing buffer" in walk
    assert search.endswith(
        docstring(
            "Searches and reads next block header with the given type from the current file "
            "position.",
            "File position must be at the start of a block header.",
            "If return == EResult.Success:",
            "- block_header will contain the header of the block with the required type.",
            "- file position will be set at the start of the block parameters data.",
            "otherwise:",
            "- file position will keep the current value.",
        )
        + "\n"
    )
