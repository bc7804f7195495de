"""The Binarizer, its configuration and BinaryData from Python."""

import _quarn as q
import pytest
from gcode_files import GCodeFile, print_metadata

R = q.EResult
C = q.CompressionType


def test_get_config_and_the_plain_configuration():
    config = q.get_config()
    assert config.compression.slicer_metadata == C.Deflate
    assert config.compression.gcode == C.Heatshrink_12_4
    assert config.gcode_encoding == q.GCodeEncodingType.MeatPackComments
    assert config.metadata_encoding == q.MetadataEncodingType.INI
    assert config.checksum == q.ChecksumType.CRC32
    for name in ["file_metadata", "printer_metadata", "print_metadata"]:
        assert getattr(config.compression, name) == C.none

    plain = q.BinarizerConfig()
    assert plain.compression.slicer_metadata == C.none
    assert plain.compression.gcode == C.none
    assert plain.gcode_encoding == q.GCodeEncodingType.none
    assert plain.checksum == q.ChecksumType.CRC32
    assert q.get_config.__doc__.endswith(
        "Create a default configuration for ascii to binary gcode conversion\n"
    )


def test_configurations_are_independent_and_fields_refer_into_them():
    a, b = q.get_config(), q.get_config()
    assert a is not b
    a.compression.gcode = C.Deflate
    assert b.compression.gcode == C.Heatshrink_12_4

    config = q.BinarizerConfig()
    compression = config.compression
    compression.gcode = C.Deflate  # the record returned is the one inside the configuration
    assert config.compression.gcode == C.Deflate
    replacement = q.BinarizerCompression()
    replacement.print_metadata = C.Heatshrink_11_4
    config.compression = replacement  # assignment copies
    replacement.print_metadata = C.none
    assert config.compression.print_metadata == C.Heatshrink_11_4
    with pytest.raises(TypeError):
        config.checksum = 1


def test_fresh_binarizer():
    b = q.Binarizer()
    assert b.is_enabled() is False
    assert b.get_max_gcode_cache_size() == 65536
    assert b.finalize() == R.Success
    assert b.append_gcode("G28\n") == R.WriteError  # no stream stored
    b.set_enabled(True)
    assert b.is_enabled() is True
    b.set_max_gcode_cache_size(2**64 - 1)
    assert b.get_max_gcode_cache_size() == 2**64 - 1
    for bad in [-1, 2**64]:
        with pytest.raises(TypeError):
            b.set_max_gcode_cache_size(bad)
    with pytest.raises(TypeError):
        b.set_enabled(enabled=True)  # positional only
    with pytest.raises(TypeError):
        b.append_gcode("\udc80")


def test_binary_data_is_a_copy():
    b = q.Binarizer()
    first, second = b.get_binary_data(), b.get_binary_data()
    assert first is not second
    for data in [first, second]:
        for name in ["file_metadata", "printer_metadata", "slicer_metadata", "print_metadata"]:
            assert getattr(data, name).raw_data == []
        assert data.thumbnails == []


def test_binary_data_fields(opened):
    f = opened(GCodeFile([print_metadata([("total toolchanges", "2")])]))
    file_header, block_header = q.FileHeader(), q.BlockHeader()
    assert q.read_header(f, file_header) == R.Success
    assert q.read_next_block_header(f, file_header, block_header) == R.Success
    block = q.PrintMetadataBlock()
    assert block.read_data(f, file_header, block_header) == R.Success

    data = q.BinaryData()
    data.print_metadata = block
    assert data.print_metadata.raw_data == [("total toolchanges", "2")]
    assert data.printer_metadata.raw_data == []
    data.thumbnails = [q.ThumbnailBlock(), q.ThumbnailBlock()]
    listed = data.thumbnails
    listed.pop()
    assert len(data.thumbnails) == 2  # the list is new; the blocks in it are the stored ones


def test_initialize_from_python_misses_printer_metadata(tmp_path):
    path = tmp_path / "out.qgcode"
    out = q.open(str(path), "wb")
    b = q.Binarizer()
    b.set_enabled(True)
    assert b.initialize(out, q.get_config()) == R.MissingPrinterMetadata
    # The failure sticks: no G-code is taken and finalize does not report Success.
    assert b.append_gcode("G28\n") == R.MissingPrinterMetadata
    assert b.finalize() == R.MissingPrinterMetadata
    q.close(out)
    assert path.read_bytes() == b"GCDE\x01\x00\x00\x00\x01\x00"


def test_disabled_initialize_writes_nothing(tmp_path):
    path = tmp_path / "out.qgcode"
    out = q.open(str(path), "wb")
    b = q.Binarizer()
    assert b.initialize(out, q.BinarizerConfig()) == R.Success
    assert b.append_gcode("G28\n") == R.WriteError
    q.close(out)
    assert path.read_bytes() == b""


def test_closed_stream_after_initialize(tmp_path):
    out = q.open(str(tmp_path / "out.qgcode"), "wb")
    b = q.Binarizer()
    b.set_enabled(True)
    b.initialize(out, q.get_config())
    q.close(out)
    assert b.append_gcode("G28\n") == R.WriteError
    assert b.finalize() == R.WriteError
    with pytest.raises(ValueError, match="closed file"):
        b.initialize(out, q.get_config())
    with pytest.raises(RuntimeError):
        b.initialize(None, q.get_config())
    with pytest.raises(RuntimeError):
        b.initialize(q.open(str(tmp_path / "x"), "wb"), None)


def test_initialize_keeps_the_handle_alive(tmp_path):
    import gc
    import weakref

    b = q.Binarizer()
    b.set_enabled(True)
    out = q.open(str(tmp_path / "out.qgcode"), "wb")
    watch = weakref.ref(out)
    b.initialize(out, q.get_config())
    del out
    gc.collect()
    assert watch() is not None
    del b
    gc.collect()
    assert watch() is None
