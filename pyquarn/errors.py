"""The one exception of pyquarn: a library result other than Success."""

from __future__ import annotations

from _quarn import EResult, translate_result


class QuarnError(Exception):
    """A file or format failure reported by the library.

    `result` is the `EResult` the library returned; the message is its text from
    `translate_result`, prefixed by the file concerned when one is known.
    """

    def __init__(self, result: EResult, path: object | None = None) -> None:
        self.result = result
        self.path = path
        self.message = translate_result(result)
        text = f"{result.name}: {self.message}"
        super().__init__(f"{path}: {text}" if path is not None else text)


def check(result: EResult, path: object | None = None) -> None:
    """Raises QuarnError unless `result` is Success."""
    if result != EResult.Success:
        raise QuarnError(result, path)
