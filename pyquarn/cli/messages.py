"""Where the command's words go, and exit statuses.

Data owns stdout when a command writes G-code or images there: status lines then go to
stderr, so that the next program in a pipe receives nothing else."""

from __future__ import annotations

import sys
from typing import TextIO

PROGRAM = "quarn"
EXIT_OK, EXIT_FAILED = 0, 1  # argparse exits with 2 for usage errors
EXIT_BROKEN_PIPE = 128 + 13  # as a shell reports a process ended by SIGPIPE


class Messages:
    """Status lines to stdout, or to stderr while stdout carries data; errors to stderr."""

    def __init__(self, data_on_stdout: bool = False) -> None:
        self.data_on_stdout = data_on_stdout

    @property
    def status(self) -> TextIO:
        return sys.stderr if self.data_on_stdout else sys.stdout

    def say(self, text: str) -> None:
        print(text, file=self.status, flush=True)

    def note(self, text: str) -> None:
        """Something left undone on purpose: to stderr, not an error."""
        print(f"{PROGRAM}: {text}", file=sys.stderr, flush=True)

    def error(self, text: str) -> None:
        print(f"{PROGRAM}: error: {text}", file=sys.stderr, flush=True)
