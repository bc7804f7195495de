"""What pyquarn's reader and writer share as file-like objects: `closed`, `with` and the
error for using one once it is closed."""

from __future__ import annotations

from abc import ABC, abstractmethod
from types import TracebackType
from typing import TYPE_CHECKING

if TYPE_CHECKING:  # Python 3.11 has it in typing
    from typing_extensions import Self


class Closable(ABC):
    @property
    @abstractmethod
    def closed(self) -> bool: ...

    @abstractmethod
    def close(self) -> None: ...

    def _close_after_error(self) -> None:
        """How a `with` block that raised closes the object: as `close` unless overridden."""
        self.close()

    def _check_open(self) -> None:
        if self.closed:
            raise ValueError("I/O operation on closed file")

    def __enter__(self) -> Self:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        value: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        if kind is None:
            self.close()
        else:
            self._close_after_error()
