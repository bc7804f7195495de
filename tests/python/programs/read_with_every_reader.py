"""Runs every reader on one file; prints what each answered, how many blocks a walk with the
block classes read before the first failure, and the memory figures before reading (after
the imports) and after.

Usage: read_with_every_reader.py FILE SCRATCH (the path pyquarn.convert may write)"""

import json
import sys
from collections.abc import Callable

import _quarn as q
from hostile_reading import CLASSES, figures, peak_mb, status_mb

import pyquarn


def walk(path: str) -> tuple[int, str]:
    f, file_header, read = q.open(path, "rb"), q.FileHeader(), 0
    try:
        result = q.read_header(f, file_header)
        while result == q.EResult.Success:
            header = q.BlockHeader()
            result = q.read_next_block_header(f, file_header, header)
            if result == q.EResult.Success:
                result = CLASSES[header.type]().read_data(f, file_header, header)
                read += result == q.EResult.Success
        return read, result.name
    finally:
        q.close(f)


def with_handle(path: str, call: Callable[[q.FILEWrapper, q.FILEWrapper], q.EResult]) -> str:
    f, out = q.open(path, "rb"), q.open("/dev/null", "wb")
    try:
        return call(f, out).name
    finally:
        q.close(f)
        q.close(out)


def raised(call: Callable[[], object]) -> str:
    try:
        call()
    except pyquarn.QuarnError as error:
        return error.result.name
    return "Success"


path, scratch = sys.argv[1], sys.argv[2]
before = {"before_mb": peak_mb(), "own_before_mb": status_mb("VmHWM")}
blocks_read, _ = walk(path)
answers = {
    "is_valid_binary_gcode": with_handle(path, lambda f, out: q.is_valid_binary_gcode(f, True)),
    "from_binary_to_ascii": with_handle(path, lambda f, out: q.from_binary_to_ascii(f, out)),
    "from_binary_to_ascii unverified": with_handle(
        path, lambda f, out: q.from_binary_to_ascii(f, out, False)
    ),
    "pyquarn.verify": raised(lambda: pyquarn.verify(path)),
    "pyquarn.info": raised(lambda: pyquarn.info(path)),
    "pyquarn.thumbnails": raised(lambda: list(pyquarn.thumbnails(path))),
    "pyquarn.convert": raised(lambda: pyquarn.convert(path, scratch, verify=False)),
}
print(json.dumps({"answers": answers, "blocks_read": blocks_read, **before, **figures()}))
