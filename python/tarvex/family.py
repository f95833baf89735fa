"""The base classes of the constant families in tarvex.families."""

from __future__ import annotations

from enum import IntEnum, IntFlag
from typing import ClassVar


class _Named:
    """str() and an empty format give a member's constant name; any other
    format the number."""

    _prefix: ClassVar[str]

    def __init_subclass__(cls, prefix: str = "", **kwargs: object) -> None:
        super().__init_subclass__(**kwargs)
        cls._prefix = prefix

    def __format__(self, spec: str) -> str:
        # Only mixed into the int families below.
        return str(self) if not spec else format(int(self), spec)  # type: ignore[call-overload]


class DriverEnum(_Named, IntEnum):
    """A family of enumerated driver constants: ints equal to the kaDriver
    constants, str(SubdeviceType.AI) == "KA_TYPE_AI"."""

    def __str__(self) -> str:
        return self._prefix + self.name

    @classmethod
    def name_of(cls, value: int) -> str:
        """The constant's name for a value of this family, else the value in hex
        (a library may report values this list does not know)."""
        try:
            return str(cls(value))
        except ValueError:
            return hex(value)


# The stubs of IntFlag itself need the same exemption: int's and Flag's
# operators differ in their types.
class DriverFlag(_Named, IntFlag):  # type: ignore[misc]
    """A family of driver flag bits; str() of a combination joins the names
    with "|" ("KA_CAPS_AI_FIFO|KA_CAPS_AI_FIFO_THRESHOLD") and shows bits
    without a name in hex."""

    def __str__(self) -> str:
        bits = [member for member in type(self) if member.value and self & member == member]
        names = [self._prefix + str(member.name) for member in bits]
        rest = self.value & ~sum(member.value for member in bits)
        if rest:
            names.append(hex(rest))
        if names:
            return "|".join(names)
        return self._prefix + "NO_FLAGS" if "NO_FLAGS" in type(self).__members__ else "0"

    @classmethod
    def name_of(cls, value: int) -> str:
        """The names of the bits of a value of this family, as str()."""
        return str(cls(value))
