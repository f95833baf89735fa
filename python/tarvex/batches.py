"""Failed entries of a batch as exceptions: kaIOSingle, kaIOStreamStart and
kaIOStreamStop succeed as calls while single entries fail, each with its
own code in "Errno"; check() raises for the first of them, so that none
goes unnoticed."""

from __future__ import annotations

from typing import Any, Iterable, Mapping

import kaDriver

from .results import result

# The keys that say where an entry acts, in the order they are named.
_PLACE_KEYS = ("Device", "Subdevice", "Channel")


class EntryError(kaDriver.error):
    """kaDriver.error for one failed entry of a batch: args are (code, text)
    as for a failed call, `index` is the entry's place in the list (from 0)
    and `entry` the dictionary itself."""

    def __init__(self, code: int, text: str, index: int, entry: Mapping[str, Any]) -> None:
        super().__init__(code, text)
        self.index = index
        self.entry = entry

    def __str__(self) -> str:
        place = ", ".join(f"{key.lower()} {self.entry[key]}" for key in _PLACE_KEYS
                          if key in self.entry)
        return f"entry {self.index} ({place}): {result(self.args[0])}"


def check(entries: Iterable[Mapping[str, Any]]) -> None:
    """Raises EntryError for the first entry whose "Errno" is not 0, after
    kaIOSingle, kaIOStreamStart or kaIOStreamStop wrote the entries' codes
    back; returns when every entry succeeded."""
    for index, entry in enumerate(entries):
        code = entry["Errno"]
        if code != 0:
            text = result(code).text
            raise EntryError(code, text if text is not None else "no text", index, entry)
