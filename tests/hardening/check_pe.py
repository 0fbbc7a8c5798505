#!/usr/bin/env python3
"""Checks the built executable's PE headers: a 32-bit GUI program with ASLR and DEP, whose every
imported DLL is one Windows loads only from the system folder (a KnownDLL), so nothing planted
beside the elevated executable (in a Downloads folder, say) is ever loaded into it.

    check_pe.py PROGRAM.exe
"""
import struct
import sys

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of current Windows versions,
# plus ntdll, which is always mapped from the system folder.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}

IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = self.pe + 4
        self.machine, self.section_count = struct.unpack_from("<HH", data, coff)
        optional_size = struct.unpack_from("<H", data, coff + 16)[0]
        self.optional = coff + 20
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from(
            "<HH", data, self.optional + 68)
        self.sections = []
        table = self.optional + optional_size
        for i in range(self.section_count):
            entry = table + 40 * i
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from(
                "<IIII", data, entry + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def string_at(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """(DLL, [function names]) for each imported DLL; functions imported by number are left out."""
        # Data directory 1 of a PE32 optional header starts at offset 96 + 8.
        rva, size = struct.unpack_from("<II", self.data, self.optional + 96 + 8)
        found = []
        if size == 0:
            return found
        at = self.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, at)
            if descriptor == (0, 0, 0, 0, 0):
                return found
            functions = []
            thunk = self.offset(descriptor[0] or descriptor[4])
            while (entry := struct.unpack_from("<I", self.data, thunk)[0]) != 0:
                if not entry & 0x80000000:
                    functions.append(self.string_at(entry + 2))  # past the hint
                thunk += 4
            found.append((self.string_at(descriptor[3]), functions))
            at += 20

    def imported_dlls(self):
        return [name for name, _ in self.imports()]


def problems_of(pe):
    found = []
    if pe.machine != IMAGE_FILE_MACHINE_I386:
        found.append(f"machine is {pe.machine:#x}, not i386")
    if pe.magic != PE32_MAGIC:
        found.append(f"optional header magic is {pe.magic:#x}, not PE32")
    if pe.subsystem != SUBSYSTEM_WINDOWS_GUI:
        found.append(f"subsystem is {pe.subsystem}, not the Windows GUI")
    if not pe.dll_characteristics & DYNAMIC_BASE:
        found.append("DYNAMIC_BASE (ASLR) is not set")
    if not pe.dll_characteristics & NX_COMPAT:
        found.append("NX_COMPAT (DEP) is not set")
    for name, functions in pe.imports():
        if name.lower() not in KNOWN_DLLS:
            found.append(f"imports {name}, which Windows may load from beside the executable")
        # A short (8.3) name is not the name the player sees: many volumes have none, and one
        # that is kept can change.
        for function in functions:
            if function.startswith("GetShortPathName"):
                found.append(f"imports {function}: files are reached by their own names only")
    return found


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        pe = PeFile(f.read())
    print(f"{path}: machine {pe.machine:#x}, magic {pe.magic:#x}, subsystem {pe.subsystem}, "
          f"DllCharacteristics {pe.dll_characteristics:#06x}")
    print("imports: " + ", ".join(pe.imported_dlls()))
    found = problems_of(pe)
    for p in found:
        print("FAIL: " + p)
    print(f"{0 if found else 1} passed, {1 if found else 0} failed")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
