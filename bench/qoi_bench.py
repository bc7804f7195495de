"""QOI thumbnail to PNG, in pure Python, against zlib compressing the same pixels.

For the QOI thumbnail of every corpus file, in one run: the time of decode_qoi, of
encode_png and of both (what Thumbnail.to_png does), against zlib.compress of the decoded
pixel bytes at the default level, a C reference that a PNG encoding cannot beat.
"""

import json
import tempfile
import zlib
from pathlib import Path

from timing import best_of

import pyquarn
from pyquarn.images import decode_qoi, encode_png

CORPUS = Path(__file__).resolve().parents[2] / "shared" / "corpus"
REPEATS = 50


def best(function) -> float:
    return best_of(function, REPEATS)


def qoi_thumbnails(source: Path, work: Path) -> list[pyquarn.Thumbnail]:
    binary = work / f"{source.stem}.qgcode"
    pyquarn.convert(source, binary)
    return [t for t in pyquarn.thumbnails(binary) if t.format == pyquarn.EThumbnailFormat.QOI]


def measure(image: pyquarn.Thumbnail) -> dict:
    width, height, channels, pixels = decode_qoi(image.data)
    decode = best(lambda: decode_qoi(image.data))
    encode = best(lambda: encode_png(width, height, channels, pixels))
    to_png = best(image.to_png)
    reference = best(lambda: zlib.compress(pixels))
    return {
        "size": f"{width}x{height}x{channels}",
        "qoi_bytes": len(image.data),
        "png_bytes": len(image.to_png()),
        "decode": decode,
        "encode": encode,
        "to_png": to_png,
        "zlib": reference,
    }


def main() -> None:
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for source in sorted(CORPUS.glob("*.gcode")):
            for index, image in enumerate(qoi_thumbnails(source, Path(tmp))):
                results[f"{source.name}#{index}"] = measure(image)

    for name, r in results.items():
        pixels = r["size"].split("x")
        megapixels = int(pixels[0]) * int(pixels[1]) / 1e6
        print(f"{name}: QOI {r['size']} {r['qoi_bytes']:,} bytes -> PNG {r['png_bytes']:,} bytes")
        print(
            f"  decode {r['decode'] * 1000:6.2f} ms ({megapixels / r['decode']:5.1f} Mpx/s)"
            f"   PNG encode {r['encode'] * 1000:6.2f} ms   to_png {r['to_png'] * 1000:6.2f} ms"
            f"   zlib.compress of the pixels {r['zlib'] * 1000:6.2f} ms"
            f"   ratio {r['to_png'] / r['zlib']:.2f}"
        )
    print(json.dumps(results))


if __name__ == "__main__":
    main()
