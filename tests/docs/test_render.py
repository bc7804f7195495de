"""The built site opens in a real browser: headless Chromium renders the front page and the
API page, leaves a screenshot of each in the build folder and reports the page title."""

import re
import shutil
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SITE = ROOT / "build" / "docs" / "html"
SHOTS = ROOT / "build" / "docs" / "screenshots"
WIDTH, HEIGHT = 1280, 900

PAGES = [
    ("index.html", "quarn", "Convert between ASCII and binary G-code"),
    ("api.html", "The pyquarn API", 'id="pyquarn.open"'),
]


def _chromium() -> str:
    for name in ("chromium", "chromium-browser"):
        found = shutil.which(name)
        if found:
            return found
    pytest.fail("Chromium is not installed (tools/bootstrap installs it as root)")


def _browse(page: Path, profile: Path, *args: str) -> str:
    command = [
        _chromium(),
        "--headless",
        "--no-sandbox",
        "--disable-gpu",
        "--hide-scrollbars",
        f"--user-data-dir={profile}",
        f"--window-size={WIDTH},{HEIGHT}",
        *args,
        page.as_uri(),
    ]
    done = subprocess.run(command, capture_output=True, text=True, timeout=120, check=True)
    return done.stdout


def _png_rows(path: Path) -> tuple[int, int, list[bytes]]:
    """Width, height and the (filtered) pixel rows of an 8-bit RGB or RGBA PNG."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    assert depth == 8 and colour in (2, 6)
    chunks, at = [], 8
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        if data[at + 4 : at + 8] == b"IDAT":
            chunks.append(data[at + 8 : at + 8 + length])
        at += 12 + length
    raw = zlib.decompress(b"".join(chunks))
    stride = 1 + width * (3 if colour == 2 else 4)
    return width, height, [raw[i : i + stride] for i in range(0, len(raw), stride)]


@pytest.mark.parametrize(("name", "title", "content"), PAGES)
def test_page_renders(name: str, title: str, content: str, tmp_path: Path) -> None:
    page = SITE / name
    assert page.is_file(), "build the site first: make docs"
    SHOTS.mkdir(parents=True, exist_ok=True)
    shot = SHOTS / (Path(name).stem + ".png")
    shot.unlink(missing_ok=True)

    dom = _browse(page, tmp_path / "profile", "--dump-dom")
    found = re.search(r"<title>(.*?)</title>", dom, re.S)
    assert found, "the rendered page has no title"
    assert found.group(1).strip() == f"{title} \u2014 quarn documentation"
    assert content in dom

    _browse(page, tmp_path / "profile", f"--screenshot={shot}")
    width, height, rows = _png_rows(shot)
    assert (width, height) == (WIDTH, HEIGHT)
    # A page that failed to render (a blank or error page) is one colour from top to bottom.
    assert len(set(rows)) > HEIGHT // 10, "the screenshot is nearly uniform"
