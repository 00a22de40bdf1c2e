"""Bad files must be refused with a clear error text and the kind of failure: never a crash, never a
hang, and the refused file stays as it was."""
import io
import os
import sys
import unittest
import zipfile

import compoundfile
import openpyxl
from tooltest import ToolTest, content
from zipparts import headers, rewrite

TOOL = sys.argv.pop(1)
SHEET2 = "xl/worksheets/sheet2.xml"


class Refusals(ToolTest):
    tool, sample_command = TOOL, "sample"

    def test_good_file_opens(self):
        self.assertEqual(self.run_tool("open", self.sample), (0, "OK 5"))

    def test_missing_file_and_folder(self):
        self.assertRefused(self.path("nothing.xlsx"), "FileSystem", "Cannot open")
        self.assertRefused(self.tmp.name, "FileSystem", "is a folder")

    def test_files_that_are_no_workbook_or_are_encrypted(self):
        other = io.BytesIO()
        with zipfile.ZipFile(other, "w") as z:
            z.writestr("readme.txt", "hello")
        flagged = bytearray(content(self.sample))
        for i, local in headers(flagged):
            flagged[i + (6 if local else 8)] |= 1  # the "encrypted" flag of every entry
        cases = [  # (file name, bytes, kind, words)
            ("text.xlsx", b"Name,Value\n1,2\n", "NotAWorkbook", "not a zip package"),
            ("empty.xlsx", b"", "NotAWorkbook", "not a zip package"),
            ("other.xlsx", other.getvalue(), "NotAWorkbook", "is not a workbook"),
            # A password-protected workbook is a compound file holding the encrypted package.
            ("encrypted.xlsx", compoundfile.build([("EncryptionInfo", b"\x04\x00\x04\x00"),
                                                   ("EncryptedPackage", bytes(8))]), "Encrypted", "encrypted"),
            ("entry-encrypted.xlsx", flagged, "Encrypted", "encrypted"),
        ]
        for name, data, kind, words in cases:
            with self.subTest(name):
                self.assertRefused(self.write(name, data), kind, words)

    def test_truncated_zip(self):
        blob = content(self.sample)
        for cut in (10, len(blob) // 3, len(blob) - 30):
            p = self.write(f"cut{cut}.xlsx", blob[:cut])
            self.assertRefused(p, ("NotAWorkbook", "Damaged"), "\"" + p + "\"")

    def test_damaged_parts(self):
        laughs = (b'<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">'
                  b'<!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">]>')
        cases = [  # (name, changes passed to rewrite, kind, words)
            ("malformed", {"replace": {"xl/workbook.xml": lambda b: b.replace(b"<sheets>", b"<sheets><broken>")}},
             "Damaged", "not well-formed"),
            ("truncated", {"replace": {SHEET2: lambda b: b[: len(b) // 2]}}, "Damaged", "sheet2.xml"),
            ("missing part", {"drop": {SHEET2}}, "Damaged", "lacks the part"),
            ("no workbook part", {"drop": {"xl/workbook.xml"}}, "NotAWorkbook", "no workbook part"),
            # Two sheets of one part: writing one would lose the other's cells.
            ("sheets sharing a part", {"replace": {"xl/_rels/workbook.xml.rels": lambda b: b.replace(
                b'Target="worksheets/sheet2.xml"', b'Target="worksheets/sheet1.xml"')}}, "Damaged", "name one part"),
            ("binary workbook with XML parts", {"replace": {"[Content_Types].xml": lambda b: b.replace(
                b"officedocument.spreadsheetml.sheet.main+xml", b"ms-excel.sheet.binary.macroEnabled.main")}},
             "Damaged", "are malformed"),
        ] + [(f"doctype in {part}", {"replace": {part: lambda b: laughs + b[b.index(b"?>") + 2:]}}, "Damaged",
              "document type declaration")
             for part in ("xl/workbook.xml", "xl/styles.xml", SHEET2, "[Content_Types].xml")
             ] + [(f"unsafe name {name}", {"add": [(name, b"<x/>")]}, "Damaged", "unsafe name")
                  for name in ("../evil.xml", "/etc/evil.xml", "xl/../../evil.xml", "C:/evil.xml")]
        for name, changes, kind, words in cases:
            with self.subTest(name):
                p = self.path("damaged.xlsx")
                rewrite(self.sample, p, **changes)
                self.assertRefused(p, kind, words)

    def test_zip_bomb_entry_and_total_caps(self):
        p = self.path("bomb.xlsx")
        rewrite(self.sample, p, {SHEET2: lambda b: b + b" " * (30 << 20)}, add=[("xl/media/zeros.bin", b"")])
        self.assertRefused(p, "TooLarge", "possible zip bomb", 16 << 20, 1 << 30)
        self.assertRefused(p, "TooLarge", "possible zip bomb", 1 << 30, 20 << 20)
        self.assertTool("open", p, 1 << 30, 1 << 30)

    def test_lying_size_headers_do_not_lift_the_cap(self):
        p = self.path("liar.xlsx")
        rewrite(self.sample, p, {SHEET2: lambda b: b + b" " * (30 << 20)})
        blob, name = bytearray(content(p)), SHEET2.encode()
        for i, local in headers(blob):
            size_at = i + (22 if local else 24)
            if blob.startswith(name, i + (30 if local else 46)):
                blob[size_at:size_at + 4] = (100).to_bytes(4, "little")
        self.write("liar.xlsx", blob)
        self.assertRefused(p, ("TooLarge", "Damaged"), "sheet2.xml", 16 << 20, 1 << 30)

    def test_changes_protection_refuses(self):
        """Changes that protection refuses fail with their kind; nothing is written."""
        source, out = self.path("protected.xlsx"), self.path("out.xlsx")
        wb = openpyxl.Workbook()
        wb.active.title = "Data"
        wb.active["A1"] = 1
        wb.active.protection.sheet = True
        wb.security.lockStructure = True
        wb.save(source)
        before = content(source)
        for command, *args in (("put-number", "Data", 1, 1, 7), ("add-sheet", 0)):
            with self.subTest(command):
                rc, text = self.run_tool(command, source, out, *args)
                self.assertEqual(rc, 1, text)
                self.assertTrue(text.startswith("ERROR Protected "), text)
                self.assertFalse(os.path.exists(out))
                self.assertEqual(content(source), before)


if __name__ == "__main__":
    unittest.main()
