#!/usr/bin/python3
"""Shows that check_exe.py catches faults: copies of the built executable with one thing wrong
in each must fail exactly the checks that cover it, and the unchanged one must pass them all.

    test_check_exe.py path/to/uninst_vorlaxen.exe
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

import check_exe
from check_exe import (IDD_RESULT, IDD_UNINSTALL, IDI_APP, MAX_FILE_SIZE, RT_DIALOG,
                       RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION)

EXE = None  # set from the command line


def utf16(text):
    return text.encode("utf-16-le")


def dword(value):
    return struct.pack("<I", value)


def language_entry(pe, type_id, name):
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id == type_id:
            for name_entry in type_entry.directory.entries:
                if name_entry.id == name:
                    return name_entry, name_entry.directory.entries[0]
    raise AssertionError(f"no resource type {type_id} name {name} in {EXE}")


def resource_offset(pe, type_id, name):
    """File offset and size of a resource's data."""
    _, entry = language_entry(pe, type_id, name)
    return pe.get_offset_from_rva(entry.data.struct.OffsetToData), entry.data.struct.Size


def first_icon(pe):
    group_offset, _ = resource_offset(pe, RT_GROUP_ICON, IDI_APP)
    return struct.unpack_from("<H", pe.__data__, group_offset + 6 + 12)[0]


# Each fault edits a copy of the file (a bytearray) with the help of the original, parsed.

def replace_in_resource(type_id, name, old, new):
    """Replaces the first `old` in one resource's data with `new`, of the same length."""
    assert len(old) == len(new)

    def fault(data, pe):
        offset, size = resource_offset(pe, type_id, name)
        found = bytes(data[offset:offset + size]).find(old)
        if found < 0:
            raise AssertionError(f"{old!r} not in resource {type_id}/{name}")
        data[offset + found:offset + found + len(new)] = new
    return fault


def replace_in_icon(position):
    """Inverts one byte of the first icon's picture."""
    def fault(data, pe):
        offset, _ = resource_offset(pe, RT_ICON, first_icon(pe))
        data[offset + position] ^= 0xFF
    return fault


def set_field(structure_of, field, value, fmt):
    """Overwrites a field of a header or directory entry that pefile has located."""
    def fault(data, pe):
        offset = structure_of(pe).get_field_absolute_offset(field)
        struct.pack_into(fmt, data, offset, value)
    return fault


def language_of(type_id, name):
    return lambda pe: language_entry(pe, type_id, name)[1].struct


def name_of(type_id, name):
    return lambda pe: language_entry(pe, type_id, name)[0].struct


def replace_in_file(old, new):
    def fault(data, pe):
        found = bytes(data).find(old)
        assert found >= 0, f"{old!r} not in {EXE}"
        data[found:found + len(new)] = new
    return fault


def grow_to(size):
    def fault(data, pe):
        data.extend(bytes(size - len(data)))
    return fault


FACE = utf16("ＭＳ Ｐゴシック\0")

# (what is wrong, how to make it so, the checks that must fail).
FAULTS = [
    ("OK is no longer the default button",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, dword(0x50010001), dword(0x50010000)),
     {"dialog IDD_UNINSTALL"}),
    ("the notice became a tab stop",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, dword(0x50A00884), dword(0x50A10884)),
     {"dialog IDD_UNINSTALL"}),
    ("the dialog has an extended style",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, dword(0x80C800C0) + dword(0),
                         dword(0x80C800C0) + dword(0x8)),
     {"dialog IDD_UNINSTALL"}),
    ("the font is 10 points",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, b"\x09\x00" + FACE, b"\x0a\x00" + FACE),
     {"dialog IDD_UNINSTALL"}),
    ("the font's Ｐ is a half-width P",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, utf16("Ｐ"), utf16("P")),
     {"dialog IDD_UNINSTALL"}),
    ("the cancel button's text is different",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, utf16("ｷｬﾝｾﾙ"), utf16("ｷｬﾝｾﾚ")),
     {"dialog IDD_UNINSTALL"}),
    ("the cancel button has the id of OK",
     replace_in_resource(RT_DIALOG, IDD_UNINSTALL, b"\x02\x00\xff\xff\x80\x00",
                         b"\x01\x00\xff\xff\x80\x00"),
     {"dialog IDD_UNINSTALL"}),
    ("the result dialog is one unit wider",
     replace_in_resource(RT_DIALOG, IDD_RESULT, struct.pack("<hh", 74, 59),
                         struct.pack("<hh", 75, 59)),
     {"dialog IDD_RESULT"}),
    ("the completion text is an edit control",
     replace_in_resource(RT_DIALOG, IDD_RESULT, b"\xff\xff\x82\x00", b"\xff\xff\x81\x00"),
     {"dialog IDD_RESULT"}),
    ("the completion text is moved",
     replace_in_resource(RT_DIALOG, IDD_RESULT, struct.pack("<hh", 16, 18),
                         struct.pack("<hh", 17, 18)),
     {"dialog IDD_RESULT"}),
    ("the result dialog's caption is different",
     replace_in_resource(RT_DIALOG, IDD_RESULT, utf16("結果"), utf16("結末")),
     {"dialog IDD_RESULT"}),
    ("the large icon claims 8 bits per pixel",
     replace_in_resource(RT_GROUP_ICON, IDI_APP, struct.pack("<HHI", 1, 4, 744),
                         struct.pack("<HHI", 1, 8, 744)),
     {"icon IDI_APP"}),
    ("the icon group refers to an icon that is not there",
     replace_in_resource(RT_GROUP_ICON, IDI_APP, struct.pack("<IH", 296, 2),
                         struct.pack("<IH", 296, 9)),
     {"icon IDI_APP"}),
    ("a pixel of the large icon differs from app.ico",
     replace_in_icon(40 + 64 + 200),
     {"icon IDI_APP"}),
    ("the file flags lost VS_FF_SPECIALBUILD",
     replace_in_resource(RT_VERSION, 1, dword(0x3F) + dword(0x28), dword(0x3F) + dword(0x08)),
     {"version fixed info"}),
    ("the file version is 1.0.0.2",
     replace_in_resource(RT_VERSION, 1, dword(0x10000) + dword(1) + dword(0x10000),
                         dword(0x10000) + dword(2) + dword(0x10000)),
     {"version fixed info"}),
    ("the FileVersion string is different",
     replace_in_resource(RT_VERSION, 1, utf16("1, 0, 0, 1"), utf16("1, 0, 0, 2")),
     {"version strings"}),
    ("a string's name is misspelt",
     replace_in_resource(RT_VERSION, 1, utf16("LegalTrademarks"), utf16("LegalTrademarkz")),
     {"version strings"}),
    ("the string table is for US English",
     replace_in_resource(RT_VERSION, 1, utf16("041104b0"), utf16("040904b0")),
     {"version strings"}),
    ("the translation is US English",
     replace_in_resource(RT_VERSION, 1, struct.pack("<HH", 0x0411, 1200),
                         struct.pack("<HH", 0x0409, 1200)),
     {"version translation"}),
    ("the manifest asks for nothing",
     replace_in_resource(RT_MANIFEST, 1, b'level="highestAvailable"',
                         b'level="asInvoker"       '),
     {"manifest"}),
    ("the manifest is cut short",
     replace_in_resource(RT_MANIFEST, 1, b"</assembly>", b"</assembl>\n"),
     {"manifest"}),
    ("the manifest is US English",
     set_field(language_of(RT_MANIFEST, 1), "Name", 0x0409, "<I"),
     {"resource languages", "manifest"}),
    ("the small icon is language neutral",
     set_field(language_of(RT_ICON, 2), "Name", 0x0000, "<I"),
     {"resource languages", "icon IDI_APP"}),
    ("the result dialog has another number",
     set_field(name_of(RT_DIALOG, IDD_RESULT), "Name", 131, "<I"),
     {"resource list", "dialog IDD_RESULT"}),
    ("it is a console program",
     set_field(lambda pe: pe.OPTIONAL_HEADER, "Subsystem", 3, "<H"), {"PE headers"}),
    ("it needs subsystem version 5.0",
     set_field(lambda pe: pe.OPTIONAL_HEADER, "MajorSubsystemVersion", 5, "<H"),
     {"PE headers"}),
    ("it is for x64",
     set_field(lambda pe: pe.FILE_HEADER, "Machine", 0x8664, "<H"), {"PE headers"}),
    ("it imports from another DLL",
     replace_in_file(b"ADVAPI32.dll", b"ADVAPI64.dll"), {"imports"}),
    ("it is one byte too large",
     grow_to(MAX_FILE_SIZE + 1), {"file size"}),
    ("it is exactly as large as it may be",
     grow_to(MAX_FILE_SIZE), set()),
]


def failing(data):
    return {name for name, problems in check_exe.run_checks(bytes(data)) if problems}


class CheckerCatchesFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.original = f.read()
        cls.pe = pefile.PE(data=cls.original)

    def test_the_built_executable_passes_every_check(self):
        results = check_exe.run_checks(self.original)
        self.assertEqual([name for name, _ in results], [name for name, _ in check_exe.CHECKS])
        self.assertEqual({name: problems for name, problems in results if problems}, {})

    def test_each_fault_fails_the_checks_that_cover_it(self):
        for what, fault, expected in FAULTS:
            with self.subTest(what):
                data = bytearray(self.original)
                fault(data, self.pe)
                self.assertNotEqual(bytes(data), self.original)
                self.assertEqual(failing(data), expected)


class DialogTemplateParsing(unittest.TestCase):
    """parse_dialog accepts only a whole plain template: nothing missing and nothing left over."""

    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            pe = pefile.PE(data=f.read())
        cls.template = check_exe.resource(check_exe.resource_tree(pe), RT_DIALOG, IDD_RESULT)

    def test_refuses_damaged_templates(self):
        cases = [
            ("cut short by one character", self.template[:-2], "template ends"),
            ("one control too many in the count",
             self.template[:8] + b"\x03" + self.template[9:], "template ends"),
            ("data after the last control", self.template + bytes(6), "bytes after"),
            ("an extended template", b"\x01\x00\xff\xff" + self.template[4:], "DIALOGEX"),
        ]
        for what, template, message in cases:
            with self.subTest(what):
                with self.assertRaises(check_exe.Mismatch) as raised:
                    check_exe.parse_dialog(template)
                self.assertIn(message, str(raised.exception))

    def test_accepts_padding_to_the_next_dword(self):
        padding = bytes(-len(self.template) % 4)
        self.assertEqual(check_exe.parse_dialog(self.template + padding),
                         check_exe.parse_dialog(self.template))


class CommandLine(unittest.TestCase):
    """The script's own output and exit status, as ctest sees them."""

    def run_script(self, data):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "uninst_vorlaxen.exe")
            with open(path, "wb") as f:
                f.write(data)
            return subprocess.run([sys.executable, check_exe.__file__, path],
                                  capture_output=True, text=True)

    def test_reports_success_and_failure(self):
        with open(EXE, "rb") as f:
            original = f.read()
        broken = bytearray(original)
        replace_in_resource(RT_DIALOG, IDD_RESULT, utf16("結果"), utf16("結末"))(
            broken, pefile.PE(data=original))
        total = len(check_exe.CHECKS)
        cases = [
            ("the built executable", original, 0, f"{total} passed, 0 failed", None),
            ("a broken caption", bytes(broken), 1, f"{total - 1} passed, 1 failed",
             "caption: '結末', expected '結果'"),
            ("not a PE file", b"MZ" + bytes(100), 1, "0 passed, 1 failed", None),
        ]
        for what, data, status, last_line, detail in cases:
            with self.subTest(what):
                run = self.run_script(data)
                self.assertEqual(run.returncode, status, run.stdout + run.stderr)
                self.assertEqual(run.stdout.splitlines()[-1], last_line)
                if detail:
                    self.assertIn(detail, run.stdout)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} path/to/uninst_vorlaxen.exe [unittest options]")
    EXE = sys.argv.pop(1)
    unittest.main()
