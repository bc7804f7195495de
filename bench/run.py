"""Runs every benchmark: the C++ programs built into build/bench and the Python scripts here.

Each benchmark prints its own figures and a ratio against a reference measured in the same
run. Usage: make bench (or QUARN_DEV_BUILD=build/bench .venv/bin/python bench/run.py [name...]).
"""

import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def main() -> int:
    build = Path(os.environ.get("QUARN_DEV_BUILD", HERE.parent / "build" / "bench"))
    wanted = set(sys.argv[1:])
    programs = sorted((build / "bench").glob("*_bench"))
    scripts = sorted(HERE.glob("*_bench.py"))
    failed = 0
    for path in [*programs, *scripts]:
        name = path.name.removesuffix(".py")
        if wanted and name not in wanted:
            continue
        print(f"== {name}", flush=True)
        command = [sys.executable, str(path)] if path.suffix == ".py" else [str(path)]
        # From bench/: a Python child started from the repository root would import the
        # source folder's pyquarn, which lacks its extension.
        failed += subprocess.run(command, check=False, cwd=HERE).returncode != 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
