#!/usr/bin/python3
"""Checks the built uninst_vorlaxen.exe: its headers, imports and size, and every resource in it.

    check_exe.py path/to/uninst_vorlaxen.exe

Each check prints PASS or FAIL with what differs; the last line is "N passed, N failed" and the
exit status is non-zero when anything failed. The dialog templates are parsed here, byte by byte;
everything else is read through pefile, the way the Windows loader and resource functions see it.
"""

import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
IDI_APP, IDD_UNINSTALL, IDD_RESULT, IDC_NOTICE = 107, 129, 130, 1000
IDOK, IDCANCEL, IDC_STATIC = 1, 2, 0xFFFF
BUTTON, EDIT, STATIC = 0x0080, 0x0081, 0x0082  # ordinals of the predefined window classes
JAPANESE = 0x0411  # LANG_JAPANESE, SUBLANG_DEFAULT

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll"}
MAX_FILE_SIZE = 256 * 1024

DIALOG_STYLE = 0x80C800C0  # WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
DS_SETFONT = 0x40
FONT = (9, "ＭＳ Ｐゴシック")

# Each dialog: (style, extended style, x, y, cx, cy, caption, font, controls); each control:
# (style, extended style, x, y, cx, cy, id, class, text).
DIALOGS = {
    IDD_UNINSTALL: (DIALOG_STYLE, 0, 0, 0, 203, 149, "Uninstaller for Vorlaxen", FONT, [
        (0x50010001, 0, 41, 130, 50, 14, IDOK, BUTTON, "OK"),
        (0x50010000, 0, 112, 130, 50, 14, IDCANCEL, BUTTON, "ｷｬﾝｾﾙ"),
        (0x50A00884, 0, 7, 5, 189, 120, IDC_NOTICE, EDIT, ""),
    ]),
    IDD_RESULT: (DIALOG_STYLE, 0, 0, 0, 74, 59, "結果", FONT, [
        (0x50010001, 0, 12, 40, 50, 14, IDOK, BUTTON, "OK"),
        (0x50020000, 0, 16, 18, 41, 10, IDC_STATIC, STATIC, "完了しました。"),
    ]),
}

# The icon group's entries in order: (width, height, colours, planes, bits per pixel, bytes).
ICON_ENTRIES = [(32, 32, 16, 1, 4, 744), (16, 16, 16, 1, 4, 296)]
ICON_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                         "app.ico")

VERSION_FIXED = dict(Signature=0xFEEF04BD, StrucVersion=0x10000,
                     FileVersionMS=0x10000, FileVersionLS=0x1,
                     ProductVersionMS=0x10000, ProductVersionLS=0x1,
                     FileFlagsMask=0x3F, FileFlags=0x28, FileOS=0x40004,
                     FileType=0x1, FileSubtype=0x0, FileDateMS=0, FileDateLS=0)
VERSION_STRINGS = [
    ("Comments", " "),
    ("CompanyName", " "),
    ("FileDescription", "Uninstaller for Vorlaxen"),
    ("FileVersion", "1, 0, 0, 1"),
    ("InternalName", "uninst_vorlaxen"),
    ("LegalCopyright", "Copyright (C) 2026"),
    ("LegalTrademarks", " "),
    ("OriginalFilename", "uninst_vorlaxen.exe"),
    ("PrivateBuild", " "),
    ("ProductName", "Uninstaller for Vorlaxen"),
    ("ProductVersion", "1, 0, 0, 1"),
    ("SpecialBuild", " "),
]
VERSION_TABLE = "041104b0"
TRANSLATION = "0x0411 0x04b0"  # Japanese, Unicode (1200)

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"

# Resource types and the names each must have, and nothing else; the icons' names are whatever
# the icon group refers to, and the icon check compares those.
RESOURCE_NAMES = {RT_DIALOG: [IDD_UNINSTALL, IDD_RESULT], RT_GROUP_ICON: [IDI_APP],
                  RT_VERSION: [1], RT_MANIFEST: [1]}


class Mismatch(Exception):
    """A check found the executable to differ from what it should be."""


def shown(value):
    """Small numbers (sizes, positions) in decimal, styles and the like in hex."""
    if isinstance(value, int):
        return str(value) if value < 0x100 else hex(value)
    return repr(value)


def differences(expected, actual, labels, prefix=""):
    """'label: actual != expected' for each field where the two tuples differ."""
    return [f"{prefix}{label}: {shown(got)}, expected {shown(want)}"
            for label, want, got in zip(labels, expected, actual) if want != got]


# --- Reading resources -----------------------------------------------------------------------

def resource_tree(pe):
    """{type: {name: [(language, data)]}} for every resource; names that are strings stay str."""
    tree = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return tree
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        type_key = type_entry.id if type_entry.name is None else str(type_entry.name)
        names = tree.setdefault(type_key, {})
        for name_entry in type_entry.directory.entries:
            name_key = name_entry.id if name_entry.name is None else str(name_entry.name)
            languages = names.setdefault(name_key, [])
            for lang_entry in name_entry.directory.entries:
                rva, size = lang_entry.data.struct.OffsetToData, lang_entry.data.struct.Size
                languages.append((lang_entry.id, pe.get_data(rva, size)))
    return tree


def resource(tree, type_id, name):
    """The one Japanese resource of that type and name."""
    languages = tree.get(type_id, {}).get(name)
    if not languages:
        raise Mismatch(f"resource type {type_id} name {name} is missing")
    for language, data in languages:
        if language == JAPANESE:
            return data
    raise Mismatch(f"resource type {type_id} name {name} has no language {JAPANESE:#06x}")


# --- Dialog templates ------------------------------------------------------------------------

class TemplateReader:
    """Reads a DLGTEMPLATE and its items; refuses anything that runs past the data."""

    def __init__(self, data):
        self.data = data
        self.offset = 0

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.offset + size > len(self.data):
            raise Mismatch(f"template ends at byte {len(self.data)}, "
                           f"reading {size} more at {self.offset}")
        values = struct.unpack_from(fmt, self.data, self.offset)
        self.offset += size
        return values

    def string(self):
        units = []
        while True:
            (unit,) = self.take("<H")
            if unit == 0:
                return struct.pack(f"<{len(units)}H", *units).decode("utf-16-le", "replace")
            units.append(unit)

    def string_or_ordinal(self, empty=0):
        """A sz_Or_Ord field: `empty` when it is a lone 0, ('ordinal', n), or the string."""
        (first,) = self.take("<H")
        if first == 0x0000:
            return empty
        if first == 0xFFFF:
            return ("ordinal", self.take("<H")[0])
        self.offset -= 2
        return self.string()

    def align(self):
        """Skips to the next DWORD boundary; the padding must be zero."""
        while self.offset % 4:
            (pad,) = self.take("<B")
            if pad:
                raise Mismatch(f"non-zero padding byte at {self.offset - 1}")


def parse_dialog(data):
    """The template as (style, exstyle, x, y, cx, cy, menu, class, caption, font, items)."""
    if data[:4] == b"\x01\x00\xff\xff":
        raise Mismatch("is an extended (DIALOGEX) template, not a plain DIALOG")
    reader = TemplateReader(data)
    style, exstyle, count, x, y, cx, cy = reader.take("<IIHhhhh")
    menu = reader.string_or_ordinal()
    window_class = reader.string_or_ordinal()
    caption = reader.string()
    font = None
    if style & DS_SETFONT:
        (point_size,) = reader.take("<H")
        font = (point_size, reader.string())
    items = []
    for _ in range(count):
        reader.align()
        item_style, item_exstyle, ix, iy, icx, icy, item_id = reader.take("<IIhhhhH")
        item_class = reader.string_or_ordinal()
        if isinstance(item_class, tuple):
            item_class = item_class[1]
        text = reader.string_or_ordinal(empty="")  # a text of 0 is just an empty one
        (extra,) = reader.take("<H")
        reader.offset += extra
        items.append((item_style, item_exstyle, ix, iy, icx, icy, item_id, item_class, text,
                      extra))
    # The data may stop right after the last control or be padded to the next DWORD.
    if reader.offset < len(data):
        reader.align()
    if reader.offset != len(data):
        raise Mismatch(f"{len(data) - reader.offset} bytes after the last control "
                       f"(template is {len(data)} bytes, parsed {reader.offset})")
    return (style, exstyle, x, y, cx, cy, menu, window_class, caption, font, items)


DIALOG_FIELDS = ("style", "exstyle", "x", "y", "cx", "cy", "menu", "class", "caption", "font")
ITEM_FIELDS = ("style", "exstyle", "x", "y", "cx", "cy", "id", "class", "text",
               "creation data size")


def check_dialog(tree, dialog_id):
    style, exstyle, x, y, cx, cy, caption, font, controls = DIALOGS[dialog_id]
    parsed = parse_dialog(resource(tree, RT_DIALOG, dialog_id))
    problems = differences((style, exstyle, x, y, cx, cy, 0, 0, caption, font), parsed[:10],
                           DIALOG_FIELDS)
    items = parsed[10]
    if len(items) != len(controls):
        problems.append(f"{len(items)} controls, expected {len(controls)}")
    for number, (item, control) in enumerate(zip(items, controls), start=1):
        problems += differences(control + (0,), item, ITEM_FIELDS, prefix=f"control {number} ")
    return problems


# --- The checks ------------------------------------------------------------------------------

def check_headers(pe, data, tree):
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    return differences(
        (0x14C, 0x10B, 2, 4, 0),
        (header.Machine, optional.Magic, optional.Subsystem,
         optional.MajorSubsystemVersion, optional.MinorSubsystemVersion),
        ("machine", "optional header magic (PE32)", "subsystem (GUI)",
         "major subsystem version", "minor subsystem version"))


def check_imports(pe, data, tree):
    dlls = []
    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        dlls += [entry.dll.decode("ascii", "replace") for entry in getattr(pe, attribute, [])]
    if not dlls:
        return ["imports nothing at all"]
    return [f"imports from {dll}" for dll in dlls if dll.lower() not in ALLOWED_DLLS]


def check_size(pe, data, tree):
    if len(data) > MAX_FILE_SIZE:
        return [f"{len(data)} bytes, more than {MAX_FILE_SIZE}"]
    return []


def check_resource_list(pe, data, tree):
    problems = []
    expected_types = set(RESOURCE_NAMES) | {RT_ICON}
    for type_id in sorted(set(tree) - expected_types, key=str):
        problems.append(f"unexpected resource type {type_id}: names {sorted(tree[type_id])}")
    for type_id in sorted(expected_types - set(tree)):
        problems.append(f"no resource of type {type_id}")
    for type_id, names in RESOURCE_NAMES.items():
        present = sorted(tree.get(type_id, {}), key=str)
        if type_id in tree and present != sorted(names):
            problems.append(f"type {type_id} has names {present}, expected {sorted(names)}")
    return problems


def check_languages(pe, data, tree):
    problems = []
    for type_id, names in tree.items():
        for name, languages in names.items():
            found = [language for language, _ in languages]
            if found != [JAPANESE]:
                problems.append(f"type {type_id} name {name}: languages "
                                f"{[hex(language) for language in found]}, expected "
                                f"[{JAPANESE:#x}]")
    return problems


def check_main_dialog(pe, data, tree):
    return check_dialog(tree, IDD_UNINSTALL)


def check_result_dialog(pe, data, tree):
    return check_dialog(tree, IDD_RESULT)


def check_icon(pe, data, tree):
    group = resource(tree, RT_GROUP_ICON, IDI_APP)
    if len(group) < 6:
        raise Mismatch(f"icon group is {len(group)} bytes")
    reserved, kind, count = struct.unpack_from("<HHH", group)
    problems = differences((0, 1, len(ICON_ENTRIES)), (reserved, kind, count),
                           ("reserved", "type", "count"))
    if len(group) != 6 + 14 * count:
        problems.append(f"icon group is {len(group)} bytes for {count} entries")
        return problems
    with open(ICON_FILE, "rb") as f:
        icon_file = f.read()
    fields = ("width", "height", "colours", "reserved", "planes", "bits per pixel", "bytes")
    for number, expected in enumerate(ICON_ENTRIES):
        entry = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * number)
        width, height, colours, planes, bits, size = expected
        prefix = f"entry {number + 1} "
        problems += differences((width, height, colours, 0, planes, bits, size), entry[:7],
                                fields, prefix)
        icon_id = entry[7]
        try:
            image = resource(tree, RT_ICON, icon_id)
        except Mismatch as mismatch:
            problems.append(f"{prefix}refers to icon {icon_id}: {mismatch}")
            continue
        if len(image) != entry[6]:
            problems.append(f"{prefix}icon {icon_id} is {len(image)} bytes, "
                            f"the group says {entry[6]}")
        header = struct.unpack_from("<IiiHH", image) if len(image) >= 16 else ()
        problems += differences((40, width, height * 2, planes, bits), header,
                                ("header size", "bitmap width", "bitmap height (colour + mask)",
                                 "bitmap planes", "bitmap bits per pixel"),
                                f"{prefix}icon {icon_id} ")
        # The same picture as in resources/app.ico, whose directory entries give the offsets.
        offset, = struct.unpack_from("<I", icon_file, 6 + 16 * number + 12)
        if image != icon_file[offset:offset + size]:
            problems.append(f"{prefix}icon {icon_id} differs from image {number + 1} of app.ico")
    referenced = sorted(struct.unpack_from("<H", group, 6 + 14 * n + 12)[0]
                        for n in range(count))
    present = sorted(tree.get(RT_ICON, {}), key=str)
    if present != referenced:
        problems.append(f"icons {present} in the file, the group refers to {referenced}")
    return problems


def version_blocks(pe):
    if not hasattr(pe, "VS_FIXEDFILEINFO") or not hasattr(pe, "FileInfo"):
        raise Mismatch("pefile found no version information")
    blocks = {}
    for file_info in pe.FileInfo:
        for block in file_info:
            blocks.setdefault(block.Key.decode("ascii", "replace"), []).append(block)
    return blocks


def check_version_fixed(pe, data, tree):
    resource(tree, RT_VERSION, 1)
    version_blocks(pe)
    fixed = pe.VS_FIXEDFILEINFO
    if len(fixed) != 1:
        return [f"{len(fixed)} VS_FIXEDFILEINFO structures"]
    return differences(tuple(VERSION_FIXED.values()),
                       tuple(getattr(fixed[0], field) for field in VERSION_FIXED),
                       tuple(VERSION_FIXED))


def check_version_strings(pe, data, tree):
    resource(tree, RT_VERSION, 1)
    string_infos = version_blocks(pe).get("StringFileInfo", [])
    tables = [table for info in string_infos for table in info.StringTable]
    found = [table.LangID.decode("ascii", "replace") for table in tables]
    if found != [VERSION_TABLE]:
        return [f"string tables {found}, expected [{VERSION_TABLE!r}]"]
    strings = [(key.decode("utf-8", "replace"), value.decode("utf-8", "replace"))
               for key, value in tables[0].entries.items()]
    if strings == VERSION_STRINGS:
        return []
    problems = []
    for number in range(max(len(strings), len(VERSION_STRINGS))):
        got = strings[number] if number < len(strings) else None
        want = VERSION_STRINGS[number] if number < len(VERSION_STRINGS) else None
        if got != want:
            problems.append(f"string {number + 1}: {got!r}, expected {want!r}")
    return problems


def check_translation(pe, data, tree):
    resource(tree, RT_VERSION, 1)
    var_infos = version_blocks(pe).get("VarFileInfo", [])
    found = [var.entry for info in var_infos for var in info.Var]
    expected = [{b"Translation": TRANSLATION}]
    if found != expected:
        return [f"VarFileInfo {found}, expected {expected}"]
    return []


def check_manifest(pe, data, tree):
    text = resource(tree, RT_MANIFEST, 1)
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return [f"manifest is not well-formed XML: {error}"]
    problems = []
    if root.tag != ASM_V1 + "assembly":
        problems.append(f"root element {root.tag}, expected {ASM_V1}assembly")
    levels = [element.attrib for element in root.iter(ASM_V3 + "requestedExecutionLevel")]
    expected = [{"level": "highestAvailable", "uiAccess": "false"}]
    if levels != expected:
        problems.append(f"requestedExecutionLevel {levels}, expected {expected}")
    # Common Controls 6 would change how every control looks; the program goes without it.
    for dependency in root.iter(ASM_V1 + "dependentAssembly"):
        problems.append(f"depends on an assembly: {ElementTree.tostring(dependency)[:120]!r}")
    return problems


CHECKS = [
    ("PE headers", check_headers),
    ("imports", check_imports),
    ("file size", check_size),
    ("resource list", check_resource_list),
    ("resource languages", check_languages),
    ("dialog IDD_UNINSTALL", check_main_dialog),
    ("dialog IDD_RESULT", check_result_dialog),
    ("icon IDI_APP", check_icon),
    ("version fixed info", check_version_fixed),
    ("version strings", check_version_strings),
    ("version translation", check_translation),
    ("manifest", check_manifest),
]


def run_checks(data):
    """[(check name, [problems])] for the executable's bytes; no problems means it passed."""
    pe = pefile.PE(data=data)
    tree = resource_tree(pe)
    results = []
    for name, check in CHECKS:
        try:
            problems = check(pe, data, tree)
        except Mismatch as mismatch:
            problems = [str(mismatch)]
        results.append((name, problems))
    return results


def main(argv):
    if len(argv) != 2:
        print(f"usage: {argv[0]} path/to/uninst_vorlaxen.exe", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    try:
        results = run_checks(data)
    except pefile.PEFormatError as error:
        print(f"FAIL not a readable PE file: {error}")
        print("0 passed, 1 failed")
        return 1
    failed = 0
    for name, problems in results:
        if problems:
            failed += 1
            print(f"FAIL {name}")
            for problem in problems:
                print(f"     {problem}")
        else:
            print(f"PASS {name}")
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
