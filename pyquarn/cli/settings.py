"""The encoding options of `convert`: each given one changes the configuration, the others
keep what the source has (a binary file's own, else the defaults)."""

from __future__ import annotations

import argparse
from collections.abc import Mapping
from dataclasses import dataclass
from typing import TypeVar

import _quarn

E = TypeVar("E")


def add_choice(
    parser: argparse.ArgumentParser, flag: str, members: Mapping[str, E], help: str
) -> None:
    """An option taking a member name of a _quarn enumeration, matched case-insensitively;
    a wrong name is answered with the accepted ones."""
    by_name = {name.lower(): name for name in members}

    def parse(text: str) -> str:
        try:
            return by_name[text.lower()]
        except KeyError:
            choices = ", ".join(members)
            raise argparse.ArgumentTypeError(
                f"invalid choice: {text!r} (choose from {choices})"
            ) from None

    parser.add_argument(flag, type=parse, metavar="NAME", help=f"{help}: {', '.join(members)}")


def add_options(parser: argparse.ArgumentParser) -> None:
    defaults = _quarn.get_config()
    compression = _quarn.CompressionType.__members__
    add_choice(
        parser,
        "--gcode-compression",
        compression,
        f"compression of the G-code blocks (default {defaults.compression.gcode.name})",
    )
    add_choice(
        parser,
        "--gcode-encoding",
        _quarn.GCodeEncodingType.__members__,
        f"encoding of the G-code (default {defaults.gcode_encoding.name})",
    )
    add_choice(
        parser,
        "--metadata-compression",
        compression,
        "compression of the slicer metadata block "
        f"(default {defaults.compression.slicer_metadata.name})",
    )
    add_choice(
        parser,
        "--checksum",
        _quarn.ChecksumType.__members__,
        f"block checksum (default {defaults.checksum.name})",
    )


@dataclass(frozen=True)
class Settings:
    """The options given, as member names (None: not given), and whether to verify."""

    gcode_compression: str | None = None
    gcode_encoding: str | None = None
    metadata_compression: str | None = None
    checksum: str | None = None
    verify: bool = True

    @classmethod
    def from_args(cls, args: argparse.Namespace) -> Settings:
        return cls(
            args.gcode_compression,
            args.gcode_encoding,
            args.metadata_compression,
            args.checksum,
            args.verify,
        )

    def applied_to(self, config: _quarn.BinarizerConfig) -> _quarn.BinarizerConfig:
        if self.gcode_compression is not None:
            config.compression.gcode = _quarn.CompressionType.__members__[self.gcode_compression]
        if self.metadata_compression is not None:
            config.compression.slicer_metadata = _quarn.CompressionType.__members__[
                self.metadata_compression
            ]
        if self.gcode_encoding is not None:
            config.gcode_encoding = _quarn.GCodeEncodingType.__members__[self.gcode_encoding]
        if self.checksum is not None:
            config.checksum = _quarn.ChecksumType.__members__[self.checksum]
        return config
