"""The driver library that kaDriver is linked against, for the calls the
module does not offer (the error texts, the simulated library's
test-control API)."""

from __future__ import annotations

import ctypes
import functools
import os

import kaDriver  # noqa: F401  (loading the module loads the library)

LIBRARY_NAME = "libTarvexmain"


def library_path() -> str:
    """The file of the driver library as the loader found it for kaDriver:
    the simulated one or the maker's, whichever the module was given."""
    with open("/proc/self/maps", encoding="utf-8", errors="surrogateescape") as maps:
        for line in maps:
            fields = line.rstrip("\n").split(maxsplit=5)
            if len(fields) == 6 and os.path.basename(fields[5]).startswith(LIBRARY_NAME):
                return fields[5]
    raise RuntimeError(f"kaDriver is not linked against {LIBRARY_NAME}")


@functools.lru_cache(maxsize=None)
def driver_library() -> ctypes.CDLL:
    """The loaded driver library itself (opening a loaded file again gives the
    same instance, with the state kaDriver sees)."""
    return ctypes.CDLL(library_path())
