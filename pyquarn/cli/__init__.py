"""The `quarn` command: convert, print, edit, inspect, verify and extract thumbnails of
G-code files.

Exit status: 0 when every file succeeded, 1 when a file failed, 2 for a usage error, 141
when the reader of standard output went away. Failures are one line on stderr each.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence

from .. import __version__
from . import cat_command, convert_command, edit_command, inspect_commands
from .messages import EXIT_BROKEN_PIPE, PROGRAM


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Convert, print, edit, inspect and verify binary G-code files.",
        epilog="Exit status: 0 success, 1 a file failed, 2 usage error. "
        "Example: quarn convert part.gcode",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    convert_command.add_parser(commands)
    cat_command.add_parser(commands)
    edit_command.add_parser(commands)
    inspect_commands.add_parsers(commands)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    try:
        status: int = args.run(args, parser)
        sys.stdout.flush()
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (quarn cat ... | head): stop quietly, and keep the
        # interpreter's last flush from failing again on the closed pipe.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_BROKEN_PIPE
    return status
