"""The one exception of pyquarn: a library result other than Success."""

from __future__ import annotations

from _quarn import EResult, translate_result


class QuarnError(Exception):
    """A file or format failure reported by the library.

    `result` is the `EResult` the library returned and `message` its text from
    `translate_result`. `path` is the file concerned, and `block` and `offset` the index and
    the file offset of the block at fault in a binary file; each is None when not known. The
    text says where: "logo.qgcode: block 12 at offset 40850: InvalidChecksum: Invalid checksum".
    """

    def __init__(
        self,
        result: EResult,
        path: object | None = None,
        block: int | None = None,
        offset: int | None = None,
    ) -> None:
        self.result = result
        self.path = path
        self.block = block
        self.offset = offset
        self.message = translate_result(result)
        where = [] if path is None else [str(path)]
        if block is not None:
            where.append(
                f"block {block}" if offset is None else f"block {block} at offset {offset}"
            )
        super().__init__(": ".join([*where, f"{result.name}: {self.message}"]))


def check(result: EResult, path: object | None = None) -> None:
    """Raises QuarnError unless `result` is Success."""
    if result != EResult.Success:
        raise QuarnError(result, path)
