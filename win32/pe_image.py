"""Reads what the Windows loader looks at first in a program or DLL file: the
machine, the versions it asks for and the functions it imports.

    image = PeImage.read("TarvexPreinstall.exe")
    image.machine == I386, image.subsystem_version == (5, 1)
    image.imports  # {"KERNEL32.dll": ["CloseHandle", ...], ...}
"""

import struct

I386, AMD64 = 0x14C, 0x8664
PE32_MAGIC, PE32_PLUS_MAGIC = 0x10B, 0x20B
# Per header kind: where the data directories start in the optional header, and
# the size of a name table entry, whose top bit marks an import by number.
LAYOUTS = {PE32_MAGIC: (96, 4), PE32_PLUS_MAGIC: (112, 8)}


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = self._u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, section_count = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
                         for i in range(section_count)]
        directories, self._thunk_size = LAYOUTS[self.magic]
        os_major, os_minor, _, _, sub_major, sub_minor = struct.unpack_from(
            "<6H", data, optional + 40)
        self.os_version = (os_major, os_minor)
        self.subsystem_version = (sub_major, sub_minor)
        self.imports = self._imports(self._u32(optional + directories + 8))  # directory 1

    @classmethod
    def read(cls, path):
        with open(path, "rb") as image:
            return cls(image.read())

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def _thunk(self, offset):
        return int.from_bytes(self.data[offset:offset + self._thunk_size], "little")

    def _offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def _string(self, rva):
        start = self._offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def _imports(self, table_rva):
        imports = {}
        if table_rva == 0:
            return imports
        descriptor = self._offset(table_rva)
        while True:
            names_rva, _, _, dll_rva, addresses_rva = struct.unpack_from(
                "<5I", self.data, descriptor)
            if dll_rva == 0:
                return imports
            entry = self._offset(names_rva or addresses_rva)
            functions = imports.setdefault(self._string(dll_rva), [])
            by_number = 1 << (8 * self._thunk_size - 1)
            while (thunk := self._thunk(entry)) != 0:
                functions.append(f"#{thunk & 0xFFFF}" if thunk & by_number
                                 else self._string(thunk + 2))  # past the hint
                entry += self._thunk_size
            descriptor += 20
