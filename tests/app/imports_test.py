#!/usr/bin/env python3
"""imports_test.py EXE...: each program imports only system DLLs of Windows itself
(KERNEL32, USER32, GDI32, SHELL32, WSOCK32, VERSION), by name, only functions listed in
win95_nt4_imports.txt, asks for no newer system than 4.0, and is at most 50 KB; the DLLs only
the close needs (WSOCK32, SHELL32, VERSION) are delay-loaded, not loaded at start. Its one
manifest asks to run with the caller's rights and says nothing more. Read from
the file's own import tables, not from a tool's listing of them."""
import os
import struct
import sys
import unittest

ALLOWED_DLLS = {"KERNEL32", "USER32", "GDI32", "SHELL32", "WSOCK32", "VERSION"}
# Loaded at the first call into them (rt/delay_load_win32.cpp): they would delay the start.
DELAY_LOADED_DLLS = {"SHELL32", "WSOCK32", "VERSION"}
SIZE_LIMIT = 50 * 1024
PROGRAMS = sys.argv[1:]


def AllowedFunctions():
    allowed = set()
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "win95_nt4_imports.txt")) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                dll, function = line.split()
                allowed.add((dll, function))
    return allowed


class PeImage:
    """The parts of a 32-bit PE file that say what it needs from the system."""

    def __init__(self, data):
        self.data = data
        header = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optionalSize = struct.unpack_from("<2xH12xH", data, header + 4)
        optional = header + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise ValueError("not a 32-bit image")
        self.subsystemVersion = struct.unpack_from("<HH", data, optional + 48)
        self.dllCharacteristics = struct.unpack_from("<H", data, optional + 70)[0]
        self.resourceRva = struct.unpack_from("<I", data, optional + 96 + 16)[0]
        self.importRva = struct.unpack_from("<I", data, optional + 96 + 8)[0]
        self.sections = []
        for i in range(sections):
            virtualSize, rva, rawSize, raw = struct.unpack_from(
                "<4xIIII", data, optional + optionalSize + 40 * i + 4)
            self.sections.append((rva, max(virtualSize, rawSize), raw))

    def Offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address %#x lies in no section" % rva)

    def Text(self, rva):
        offset = self.Offset(rva)
        return self.data[offset:self.data.index(b"\0", offset)].decode("ascii")

    def Names(self, entry):
        """The function names (or '#ordinal') of the name table at file offset `entry`."""
        names = []
        while True:
            value = struct.unpack_from("<I", self.data, entry)[0]
            if value == 0:
                return names
            names.append("#%d" % (value & 0xFFFF) if value & 0x80000000 else self.Text(value + 2))
            entry += 4

    def DelayImports(self):
        """[(DLL name, function name or '#ordinal')] of the delay-import descriptors. The
        linker leaves their directory entry empty, so they are found by their shape: the
        attribute 1 (addresses relative to the image), then the offset of a DLL's name."""
        imports = []
        for start, size, raw in self.sections:
            for descriptor in range(raw, raw + size - 31, 4):
                attributes, name, _, _, names = struct.unpack_from("<5I", self.data, descriptor)
                if attributes != 1 or not name or not names:
                    continue
                try:
                    dll = self.Text(name)
                    entry = self.Offset(names)
                except (ValueError, UnicodeDecodeError):
                    continue
                if not dll.upper().endswith(".DLL"):
                    continue
                imports += [(dll, name) for name in self.Names(entry)]
        return imports

    def Resources(self):
        """{(type, name, language): bytes} of the resource tree; ids as numbers."""
        root = self.Offset(self.resourceRva)
        found = {}

        def Walk(directory, path):
            named, numbered = struct.unpack_from("<12xHH", self.data, directory)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if key & 0x80000000:
                    length = struct.unpack_from("<H", self.data, root + (key & 0x7FFFFFFF))[0]
                    start = root + (key & 0x7FFFFFFF) + 2
                    key = self.data[start:start + 2 * length].decode("utf-16-le")
                if target & 0x80000000:
                    Walk(root + (target & 0x7FFFFFFF), path + (key,))
                else:
                    rva, size = struct.unpack_from("<II", self.data, root + target)
                    found[path + (key,)] = self.data[self.Offset(rva):self.Offset(rva) + size]
        Walk(root, ())
        return found

    def Imports(self):
        """[(DLL name, function name or '#ordinal')] in the order of the table."""
        imports = []
        descriptor = self.Offset(self.importRva)
        while True:
            lookup, _, _, name, addresses = struct.unpack_from("<5I", self.data, descriptor)
            if name == 0:
                return imports
            dll = self.Text(name)
            entry = self.Offset(lookup or addresses)
            imports += [(dll, name) for name in self.Names(entry)]
            descriptor += 20


def Faults(image, allowed):
    """What keeps the image from running on plain Windows 95 and NT 4.0, as text lines."""
    faults = []
    imports = image.Imports()
    if not imports:
        faults.append("no imports read")
    for dll, name in imports + image.DelayImports():
        base = dll.upper().rsplit(".DLL", 1)[0]
        if base not in ALLOWED_DLLS:
            faults.append("imports from %s (%s)" % (dll, name))
        elif (base, name) not in allowed:
            faults.append("imports %s!%s, not listed (an ordinal shows as #n)" % (dll, name))
    if image.subsystemVersion > (4, 0):
        faults.append("asks for Windows %d.%d" % image.subsystemVersion)
    return faults


class ImportsTest(unittest.TestCase):
    def test_only_system_dlls_and_functions_of_windows_95_and_nt_4(self):
        allowed = AllowedFunctions()
        self.assertTrue(PROGRAMS, "no program given")
        for program in PROGRAMS:
            with self.subTest(program=os.path.basename(program)), open(program, "rb") as f:
                self.assertEqual(Faults(PeImage(f.read()), allowed), [])
                self.assertLessEqual(os.path.getsize(program), SIZE_LIMIT)

    def test_the_dlls_only_the_close_needs_are_not_loaded_at_start(self):
        for program in PROGRAMS:
            with self.subTest(program=os.path.basename(program)), open(program, "rb") as f:
                image = PeImage(f.read())
                def Dlls(imports):
                    return {dll.upper().rsplit(".DLL", 1)[0] for dll, _ in imports}
                self.assertEqual(Dlls(image.Imports()) & DELAY_LOADED_DLLS, set())
                self.assertEqual(Dlls(image.DelayImports()), DELAY_LOADED_DLLS)

    def test_one_manifest_that_asks_for_the_callers_rights_and_nothing_else(self):
        # Exactly this, so that no visual styles, DPI awareness or supportedOS change the
        # look and the version answers; and NX, ASLR and terminal-server awareness.
        manifest = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                    b'<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\n'
                    b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security>'
                    b'<requestedPrivileges>\n'
                    b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>\n'
                    b'</requestedPrivileges></security></trustInfo>\n'
                    b'</assembly>\n')
        for program in PROGRAMS:
            with self.subTest(program=os.path.basename(program)), open(program, "rb") as f:
                image = PeImage(f.read())
                manifests = {key: value for key, value in image.Resources().items()
                             if key[0] == 24}
                self.assertEqual(list(manifests), [(24, 1, 1033)])
                self.assertEqual(manifests[(24, 1, 1033)], manifest)
                self.assertEqual(image.dllCharacteristics & 0x8140, 0x8140,
                                 "NX, ASLR and terminal-server aware")

    def test_a_c_run_time_and_an_unlisted_function_are_seen(self):
        # A copy of the program whose table names msvcrt and a function that Windows 95
        # has only as a stub, made by renaming entries in place.
        with open(PROGRAMS[0], "rb") as f:
            data = bytearray(f.read())
        for old, new in ((b"shell32.dll\0", b"msvcrt.dll\0\0"), (b"lstrcpynA\0", b"lstrcpynW\0")):
            at = data.find(old)
            self.assertGreater(at, 0, old)
            data[at:at + len(new)] = new
        self.assertEqual(Faults(PeImage(bytes(data)), AllowedFunctions()),
                         ["imports KERNEL32.dll!lstrcpynW, not listed (an ordinal shows as #n)",
                          "imports from msvcrt.dll (ShellExecuteA)"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
