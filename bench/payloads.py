"""The G-code payloads of a converted file, as both heatshrink benchmarks compress them."""

import struct
import tempfile
from pathlib import Path

import _quarn as q


def gcode_payloads(binary: Path) -> list[bytes]:
    """The stored data of every G-code block of a binary file."""
    data, payloads, at = binary.read_bytes(), [], 10
    checksum = struct.unpack_from("<H", data, 8)[0] * 4
    while at < len(data):
        kind, compression, size = struct.unpack_from("<HHI", data, at)
        header = 12 if compression else 8
        stored = struct.unpack_from("<I", data, at + 8)[0] if compression else size
        params = 6 if kind == 5 else 2
        if kind == 1:
            payloads.append(data[at + header + params : at + header + params + stored])
        at += header + params + stored + checksum
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
