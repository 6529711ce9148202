#!/usr/bin/python3
"""Reads the resources built into SMorvala.exe and checks each against what the program
needs: ids, types and language, the About box template item by item, the menu, the sounds,
the icon, the manifest and the version block; and the publisher's details, as the program's
build was configured with them, in the About box, the version block and the two links.

    tests/resources/exe_resources_test.py [path/to/SMorvala.exe] [unittest options]

Without a path it takes $SMORVALA_EXE, else build/windows/SMorvala.exe. Runs under
Debian's /usr/bin/python3, which has python3-pefile.
"""
import os
import pathlib
import re
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

ROOT = pathlib.Path(__file__).resolve().parents[2]

RT_ICON = 3
RT_MENU = 4
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
CHINESE_PRC = 0x0804

BUTTON_CLASS = 0x0080
STATIC_CLASS = 0x0082
NO_ID = 0xFFFF  # -1 as the 16-bit id of a classic dialog item

GROUP_BOX = 0x50000007  # WS_CHILD | WS_VISIBLE | BS_GROUPBOX
LEFT_TEXT = 0x50020000  # WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
PUSH_BUTTON = 0x50010000  # WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON
WS_TABSTOP = 0x00010000


# The program named on the command line, before the details of its build are read.
if __name__ == "__main__" and len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
    os.environ["SMORVALA_EXE"] = sys.argv.pop(1)


def exe_path():
    if os.environ.get("SMORVALA_EXE"):
        return pathlib.Path(os.environ["SMORVALA_EXE"])
    return ROOT / "build" / "windows" / "SMorvala.exe"


def publisher_details():
    """The SMORVALA_HOMEPAGE, _EMAIL, _IM and _PUBLISHER that the program's build was configured
    with, as its CMake cache holds them."""
    cache = (exe_path().parent / "CMakeCache.txt").read_text(encoding="utf-8")
    return dict(re.findall(r"^SMORVALA_(HOMEPAGE|EMAIL|IM|PUBLISHER):STRING=(.*)$", cache, re.M))


PUBLISHER = publisher_details()
# The About box, item by item in template order: class, text, style, x, y, cx, cy, id.
# Items 6 and 7 are the maker's contact lines.
ABOUT_ITEMS = [
    (BUTTON_CLASS, "游戏说明", GROUP_BOX, 14, 10, 159, 50, NO_ID),
    (STATIC_CLASS, "w 或 ↑改变形状.   a 或 ←向左移动", LEFT_TEXT, 26, 28, 141, 11, NO_ID),
    (STATIC_CLASS, "d 或 →向右移动.   s 或 ↓向下加速", LEFT_TEXT, 25, 42, 141, 11, NO_ID),
    (BUTTON_CLASS, "", GROUP_BOX, 14, 66, 159, 76, NO_ID),
    (STATIC_CLASS, "版本： SMorvala1.0", LEFT_TEXT, 40, 76, 98, 10, NO_ID),
    (STATIC_CLASS, "邮箱： " + PUBLISHER["EMAIL"], LEFT_TEXT, 40, 106, 102, 10, NO_ID),
    (STATIC_CLASS, PUBLISHER["IM"], LEFT_TEXT, 40, 91, 83, 11, NO_ID),
    (BUTTON_CLASS, "访问主页", PUSH_BUTTON, 38, 121, 46, 15, 1002),
]


class Reader:
    """Walks a little-endian byte string."""

    def __init__(self, data, offset=0):
        self.data = data
        self.offset = offset

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.offset)
        self.offset += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.offset
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.offset:end].decode("utf-16-le")
        self.offset = end + 2
        return value

    def name_or_ordinal(self):
        first = struct.unpack_from("<H", self.data, self.offset)[0]
        if first == 0:
            self.offset += 2
            return None
        if first == 0xFFFF:
            self.offset += 2
            return self.take("H")
        return self.text()

    def align(self, boundary):
        self.offset = (self.offset + boundary - 1) // boundary * boundary


def parse_dialog(data):
    reader = Reader(data)
    style, ex_style, count, x, y, cx, cy = reader.take("IIHhhhh")
    dialog = {"style": style, "ex_style": ex_style, "rect": (x, y, cx, cy),
              "menu": reader.name_or_ordinal(), "class": reader.name_or_ordinal(),
              "caption": reader.text(), "font": None, "items": []}
    if style & 0x40:  # DS_SETFONT
        points = reader.take("H")
        dialog["font"] = (points, reader.text())
    for _ in range(count):
        reader.align(4)
        item_style, item_ex_style, ix, iy, icx, icy, item_id = reader.take("IIhhhhH")
        item_class = reader.name_or_ordinal()
        item_text = reader.name_or_ordinal()
        extra = reader.take("H")
        reader.offset += extra
        dialog["items"].append({"class": item_class, "text": item_text, "style": item_style,
                                "ex_style": item_ex_style, "rect": (ix, iy, icx, icy),
                                "id": item_id})
    return dialog


def parse_menu(data):
    reader = Reader(data)
    version, header_size = reader.take("HH")
    reader.offset += header_size
    items = []
    while True:
        flags = reader.take("H")
        if flags & 0x10:  # MF_POPUP: a drop-down, which has no id
            items.append((flags, None, reader.text()))
        else:
            item_id = reader.take("H")
            items.append((flags, item_id, reader.text()))
        if flags & 0x80:  # MF_END
            break
    return version, items, reader.offset


def riff_chunks(data):
    kind, size, form = struct.unpack_from("<4sI4s", data, 0)
    chunks = []
    offset = 12
    while offset < len(data):
        name, length = struct.unpack_from("<4sI", data, offset)
        chunks.append((name, data[offset + 8:offset + 8 + length]))
        offset += 8 + length + (length & 1)
    return kind, size, form, chunks


class ExeResources(unittest.TestCase):
    pe = None
    resources = {}  # (type, name) -> list of (language, bytes)

    @classmethod
    def setUpClass(cls):
        path = exe_path()
        if not path.is_file():
            raise FileNotFoundError(f"no program at {path}: build the windows preset first")
        cls.pe = pefile.PE(str(path))
        cls.resources = {}
        for type_entry in cls.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            type_key = type_entry.id if type_entry.name is None else str(type_entry.name)
            for name_entry in type_entry.directory.entries:
                name_key = name_entry.id if name_entry.name is None else str(name_entry.name)
                for language_entry in name_entry.directory.entries:
                    rva = language_entry.data.struct.OffsetToData
                    size = language_entry.data.struct.Size
                    content = cls.pe.get_data(rva, size)
                    cls.resources.setdefault((type_key, name_key), []).append(
                        (language_entry.id, content))

    def resource(self, type_key, name_key):
        entries = self.resources.get((type_key, name_key))
        self.assertIsNotNone(entries, f"resource {name_key} of type {type_key} is missing")
        self.assertEqual(len(entries), 1, f"resource {name_key} of type {type_key}: one language only")
        return entries[0][1]


class ResourceDirectoryTest(ExeResources):
    def test_exactly_the_programs_resources_are_present(self):
        group = self.resource(RT_GROUP_ICON, 101)
        icon_id = struct.unpack_from("<H", group, 6 + 12)[0]
        expected = {(RT_ICON, icon_id), (RT_GROUP_ICON, 101), (RT_MENU, 103), (RT_DIALOG, 110),
                    ("WAVE", 105), ("WAVE", 107), (RT_MANIFEST, 1), (RT_VERSION, 1)}
        self.assertEqual(set(self.resources), expected)

    def test_every_resource_is_chinese_prc(self):
        for key, entries in self.resources.items():
            with self.subTest(resource=key):
                self.assertEqual([language for language, _ in entries], [CHINESE_PRC])


class AboutBoxTemplateTest(ExeResources):
    def setUp(self):
        data = self.resource(RT_DIALOG, 110)
        self.assertNotEqual(struct.unpack_from("<HH", data, 0), (1, 0xFFFF),
                            "the About box must be a classic DIALOG template, not DIALOGEX")
        self.dialog = parse_dialog(data)

    def test_frame_caption_and_font(self):
        self.assertEqual(self.dialog["style"], 0x80C808C0)
        self.assertEqual(self.dialog["ex_style"], 0)
        self.assertEqual(self.dialog["rect"], (0, 0, 187, 151))
        self.assertIsNone(self.dialog["menu"])
        self.assertIsNone(self.dialog["class"])
        self.assertEqual(self.dialog["caption"], "关于")
        self.assertEqual(self.dialog["font"], (9, "新宋体"))

    def test_items_in_order(self):
        self.assertEqual(len(self.dialog["items"]), len(ABOUT_ITEMS))
        for number, (item, expected) in enumerate(zip(self.dialog["items"], ABOUT_ITEMS), 1):
            item_class, text, style, x, y, cx, cy, item_id = expected
            with self.subTest(item=number):
                self.assertEqual(item["class"], item_class)
                self.assertEqual(item["text"] or "", text)
                self.assertEqual(item["style"], style, hex(item["style"]))
                self.assertEqual(item["ex_style"], 0)
                self.assertEqual(item["rect"], (x, y, cx, cy))
                self.assertEqual(item["id"], item_id)

    def test_visit_button_is_the_only_tab_stop(self):
        stops = [item["id"] for item in self.dialog["items"] if item["style"] & WS_TABSTOP]
        self.assertEqual(stops, [1002])

    def test_contact_lines_name_the_maker(self):
        mail = self.dialog["items"][5]["text"]
        messenger = self.dialog["items"][6]["text"]
        self.assertRegex(mail, r"^邮箱： \S+@\S+\.\S+$")
        self.assertTrue(messenger.strip())
        self.assertLess(self.dialog["items"][6]["rect"][1], self.dialog["items"][5]["rect"][1],
                        "the messenger line stands above the e-mail line")


class MenuTest(ExeResources):
    def test_bar_has_two_plain_commands(self):
        data = self.resource(RT_MENU, 103)
        version, items, end = parse_menu(data)
        self.assertEqual(version, 0, "a normal MENU template, not MENUEX")
        self.assertEqual(items, [(0x00, 65535, "网址导航(&E)"), (0x80, 40001, "关于(&A)")])
        self.assertEqual(end, len(data), "nothing follows the last item")


class SoundTest(ExeResources):
    def check_wave(self, resource_id, channels, data_bytes, committed_file):
        content = self.resource("WAVE", resource_id)
        kind, size, form, chunks = riff_chunks(content)
        self.assertEqual((kind, form), (b"RIFF", b"WAVE"))
        self.assertEqual(size, len(content) - 8)
        self.assertEqual([name for name, _ in chunks], [b"fmt ", b"data"])
        fmt = chunks[0][1]
        self.assertEqual(len(fmt), 16)
        tag, fmt_channels, rate, byte_rate, block_align, bits = struct.unpack("<HHIIHH", fmt)
        self.assertEqual((tag, fmt_channels, rate, bits), (1, channels, 22050, 16))
        self.assertEqual(block_align, channels * 2)
        self.assertEqual(byte_rate, 22050 * channels * 2)
        self.assertEqual(len(chunks[1][1]), data_bytes)
        self.assertEqual(content, (ROOT / "res" / committed_file).read_bytes())
        self.assertTrue(any(chunks[1][1]), "the sound is not silence")

    def test_row_clear_sound(self):
        self.check_wave(105, channels=1, data_bytes=22772, committed_file="clear.wav")

    def test_turn_sound(self):
        self.check_wave(107, channels=2, data_bytes=16128, committed_file="rotate.wav")


class IconTest(ExeResources):
    def test_one_image_of_32_by_32_in_16_colours(self):
        group = self.resource(RT_GROUP_ICON, 101)
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, planes, bits), (32, 32, 16, 1, 4))
        image = self.resource(RT_ICON, icon_id)
        self.assertEqual(len(image), size)
        header_size, bmp_width, bmp_height, bmp_planes, bmp_bits, compression = struct.unpack_from(
            "<IiiHHI", image, 0)
        self.assertEqual((header_size, bmp_width, bmp_height, bmp_planes, bmp_bits, compression),
                         (40, 32, 64, 1, 4, 0))
        # Header, 16 palette entries, 4-bit colour rows and the 1-bit mask.
        self.assertEqual(len(image), 40 + 16 * 4 + 32 * 16 + 32 * 4)
        colour_bytes = image[40 + 64:40 + 64 + 512]
        used = {b >> 4 for b in colour_bytes} | {b & 15 for b in colour_bytes}
        self.assertGreater(len(used), 2, "the image is more than a blank square")


class ManifestTest(ExeResources):
    NS = {"asm": "urn:schemas-microsoft-com:asm.v1"}
    # The manifest's name of the program's own processor, by the machine in the file's header.
    ARCHITECTURES = {0x014C: "X86", 0x8664: "amd64"}

    def setUp(self):
        self.root = ElementTree.fromstring(self.resource(RT_MANIFEST, 1))
        self.architecture = self.ARCHITECTURES[self.pe.FILE_HEADER.Machine]

    def test_own_identity(self):
        identity = self.root.find("asm:assemblyIdentity", self.NS)
        self.assertIsNotNone(identity)
        self.assertTrue(identity.get("name"))
        self.assertNotIn("Microsoft", identity.get("name"))
        self.assertEqual(identity.get("version"), "1.0.0.0")
        self.assertEqual(identity.get("processorArchitecture"), self.architecture)
        self.assertEqual(identity.get("type"), "win32")
        description = self.root.find("asm:description", self.NS)
        self.assertIsNotNone(description)
        self.assertFalse(description.text)

    def test_depends_on_common_controls_6_only(self):
        dependencies = self.root.findall("asm:dependency/asm:dependentAssembly/asm:assemblyIdentity",
                                         self.NS)
        self.assertEqual(len(dependencies), 1)
        self.assertEqual(dependencies[0].attrib, {
            "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "processorArchitecture": self.architecture, "publicKeyToken": "6595b64144ccf1df",
            "language": "*"})

    def test_no_execution_level_or_dpi_setting(self):
        tags = {element.tag.split("}")[-1] for element in self.root.iter()}
        self.assertEqual(tags & {"trustInfo", "requestedExecutionLevel", "dpiAware",
                                 "dpiAwareness", "application", "windowsSettings"}, set())


class VersionTest(ExeResources):
    FIELDS = ["Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
              "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
              "ProductName", "ProductVersion", "SpecialBuild"]

    def setUp(self):
        self.resource(RT_VERSION, 1)
        self.tables = {}
        self.translations = []
        for info_list in self.pe.FileInfo:
            for info in info_list:
                if info.Key == b"StringFileInfo":
                    for table in info.StringTable:
                        self.tables[table.LangID] = {k.decode(): v.decode() for k, v in
                                                     table.entries.items()}
                elif info.Key == b"VarFileInfo":
                    for var in info.Var:
                        self.translations.append(var.entry)

    def test_numeric_versions(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))

    def test_one_chinese_unicode_string_table_with_all_fields(self):
        self.assertEqual(list(self.tables), [b"080404b0"])
        table = self.tables[b"080404b0"]
        self.assertEqual(sorted(table), sorted(self.FIELDS))
        self.assertEqual(table["FileDescription"], "SMorvala")
        self.assertEqual(table["InternalName"], "Morvala")
        self.assertEqual(table["FileVersion"], "1, 0, 0, 0")
        self.assertEqual(table["ProductVersion"], "1, 0, 0, 0")
        self.assertEqual(table["CompanyName"], PUBLISHER["PUBLISHER"])
        self.assertEqual(table["LegalCopyright"], "版权所有 (C) " + PUBLISHER["PUBLISHER"])

    def test_translation(self):
        self.assertEqual(self.translations, [{b"Translation": "0x0804 0x04b0"}])


class LinksTest(unittest.TestCase):
    def test_the_program_holds_the_site_and_the_games_page_on_it(self):
        program = exe_path().read_bytes()
        for address in (PUBLISHER["HOMEPAGE"] + "\0", PUBLISHER["HOMEPAGE"] + "morvala.htm\0"):
            with self.subTest(address=address):
                self.assertIn(address.encode("utf-16-le"), program)


if __name__ == "__main__":
    unittest.main()
