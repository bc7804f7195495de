"""Typed use of pyquarn and of the _quarn module underneath, kept clean under mypy --strict.

Usage: python examples/typed_usage.py FILE.qgcode
Prints the blocks of the file twice, once through pyquarn.info and once by walking the
blocks with the _quarn navigation functions, then the result of the checksum validation.
"""

from __future__ import annotations

import sys
from collections.abc import Iterator
from pathlib import Path

import _quarn

import pyquarn
from pyquarn.inspection import FILE_HEADER_SIZE


def summary(path: Path) -> list[str]:
    file: pyquarn.FileInfo = pyquarn.info(path)
    lines = [f"{block.type.name} at {block.offset}, {block.size} bytes" for block in file.blocks]
    printer: tuple[tuple[str, str], ...] = file.metadata(pyquarn.EBlockType.PrinterMetadata)
    lines += [f"{key} = {value}" for key, value in printer]
    return lines


def walk(path: Path) -> Iterator[tuple[_quarn.EBlockType, int]]:
    """Block types and sizes straight from the navigation functions."""
    handle = _quarn.open(str(path), "rb")
    try:
        header = _quarn.FileHeader()
        if _quarn.read_header(handle, header) != _quarn.EResult.Success:
            raise pyquarn.QuarnError(_quarn.EResult.InvalidBinaryGCodeFile, path)
        end = path.stat().st_size
        offset = FILE_HEADER_SIZE
        while offset < end:
            block = _quarn.BlockHeader()
            result: _quarn.EResult = _quarn.read_next_block_header(handle, header, block)
            if result != _quarn.EResult.Success:
                raise pyquarn.QuarnError(result, path)
            yield _quarn.EBlockType(block.type), block.uncompressed_size
            offset += block.get_size() + _quarn.block_content_size(header, block)
            _quarn.skip_block(handle, header, block)
    finally:
        _quarn.close(handle)


def binary_copy_config() -> _quarn.BinarizerConfig:
    config = pyquarn.get_config()
    config.compression.gcode = pyquarn.CompressionType.Deflate
    config.gcode_encoding = pyquarn.GCodeEncodingType.none
    return config


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path = Path(argv[1])
    for line in summary(path):
        print(line)
    for block_type, size in walk(path):
        print(f"{block_type.name}: {size} bytes")
    assert binary_copy_config().compression.gcode == pyquarn.CompressionType.Deflate
    with pyquarn.open(path) as reader:
        first: str = next(reader.lines(), "")
        print(f"{reader.format}, first line {first!r}")
    try:
        pyquarn.verify(path)
    except pyquarn.QuarnError as error:
        print(f"{error.result.name}: {error.message}")
        return 1
    print("Success")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
