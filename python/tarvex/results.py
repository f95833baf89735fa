"""Names and texts of the driver library's result codes."""

from __future__ import annotations

import ctypes
import operator
from typing import NamedTuple, Optional

from .library import driver_library

# The buffer size kaDriver passes as well (KA_ERROR_MSG_MAX_COUNT).
_TEXT_CAPACITY = 256


class Result(NamedTuple):
    """A result code with its name and text; str() gives "23 INVALID_DIRECTION:
    Direction not supported by the subdevice"."""

    code: int
    name: Optional[str]
    text: Optional[str]

    def __str__(self) -> str:
        if self.code == 0:
            return "0: success"
        head = f"{self.code} {self.name}" if self.name else str(self.code)
        return f"{head}: {self.text}" if self.text is not None else f"{head}: no text"


def result(code: int) -> Result:
    """The result code of a failed call (kaDriver.error's first argument) or
    of one transfer (an entry's "Errno"), with its text from the library's
    kaErrorGetMessage, as kaDriver.error carries it.

    Names exist only for the simulated library, which tells them
    (kaSimResultName); a maker's library has texts but no names, so name is
    None there, as it is for code 0 (success) and for codes without a text.
    """
    code = operator.index(code)
    if not -2**31 <= code < 2**31:
        raise OverflowError(f"result codes are 32-bit signed integers, not {code}")
    library = driver_library()
    buffer = ctypes.create_string_buffer(_TEXT_CAPACITY)
    found = library.kaErrorGetMessage(ctypes.c_int(code), buffer, _TEXT_CAPACITY) == 0
    text = buffer.value.decode("latin-1") if found else None
    return Result(code, _simulated_name(library, code), text)


def _simulated_name(library: ctypes.CDLL, code: int) -> Optional[str]:
    try:
        name_of = library.kaSimResultName
    except AttributeError:
        return None
    name_of.restype = ctypes.c_char_p
    name: Optional[bytes] = name_of(ctypes.c_int(code))
    return name.decode("ascii") if name else None
