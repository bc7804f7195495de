"""The shell examples of the site run as written. Python examples are run by Sphinx's doctest
builder and the C++ example is included from examples/cpp, which `make cpp-package` builds
and runs; this covers the `console` blocks: each runs, command after command, in a fresh
folder holding the bundled example files, and every command must succeed."""

import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
EXAMPLES = ("bracket.gcode", "sample.qgcode")
BLOCK = re.compile(r"^\.\. code-block:: (\S+)\n\n((?:   .*\n|\n)+)", re.M)


def _blocks(language: str) -> list[tuple[str, list[str]]]:
    found = []
    for page in sorted(DOCS.rglob("*.rst")):
        for match in BLOCK.finditer(page.read_text()):
            if match.group(1) == language:
                lines = [line.strip() for line in match.group(2).splitlines() if line.strip()]
                found.append((str(page.relative_to(DOCS)), lines))
    return found


def test_python_examples_are_doctests() -> None:
    # A plain Python block would never run: examples go in testcode blocks.
    assert _blocks("python") == [] and _blocks("pycon") == []


CONSOLE = _blocks("console")


@pytest.mark.parametrize(("page", "lines"), CONSOLE, ids=[page for page, _ in CONSOLE])
def test_console_block_runs(page: str, lines: list[str], tmp_path: Path) -> None:
    for name in EXAMPLES:
        shutil.copy(ROOT / "examples" / name, tmp_path)
    commands = [line.removeprefix("$ ") for line in lines if line.startswith("$ ")]
    assert commands, f"a console block of {page} has no commands"
    quarn = str(Path(sys.executable).with_name("quarn"))
    for command in commands:
        argv = shlex.split(command)
        if argv[0] == "quarn":
            argv[0] = quarn
        done = subprocess.run(argv, cwd=tmp_path, capture_output=True, text=True)
        assert done.returncode == 0, f"{page}: {command}\n{done.stderr}"
