"""The G-code payloads of a converted file, as both heatshrink benchmarks compress them."""

import tempfile
from pathlib import Path

import _quarn as q

from pyquarn.inspection import FILE_HEADER_SIZE


def gcode_payloads(binary: Path) -> list[bytes]:
    """The stored data of every G-code block of a binary file."""
    data, payloads, at = binary.read_bytes(), [], FILE_HEADER_SIZE
    handle, file_header = q.open(str(binary), "rb"), q.FileHeader()
    try:
        if q.read_header(handle, file_header) != q.EResult.Success:
            raise SystemExit(f"reading {binary}: not a binary G-code file")
        while at < len(data):
            header = q.BlockHeader()
            q.read_next_block_header(handle, file_header, header)
            kind = q.EBlockType(header.type)
            start = at + header.get_size() + q.block_parameters_size(kind)
            if kind == q.EBlockType.GCode:
                payloads.append(data[start : at + header.get_size() + q.block_payload_size(header)])
            q.skip_block(handle, file_header, header)
            at += header.get_size() + q.block_content_size(file_header, header)
    finally:
        q.close(handle)
    return payloads


def meatpacked_payloads(source: Path, work: Path | None = None) -> list[bytes]:
    """The MeatPacked G-code blocks of the default conversion of source, before compression:
    exactly what the G-code compression of a conversion is given."""
    config = q.get_config()
    config.compression.gcode = q.CompressionType.none
    with tempfile.TemporaryDirectory(dir=work) as tmp:
        plain = Path(tmp) / "plain.qgcode"
        fin, fout = q.open(str(source), "rb"), q.open(str(plain), "wb")
        result = q.from_ascii_to_binary(fin, fout, config)
        q.close(fin)
        q.close(fout)
        if result != q.EResult.Success:
            raise SystemExit(f"converting {source}: {result.name}")
        return gcode_payloads(plain)
