"""Bad files must be refused with a clear error text and the kind of failure: never a crash, never a
hang, and the refused file stays as it was."""
import io
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

import compoundfile
import openpyxl
from zipparts import rewrite

TOOL = sys.argv.pop(1)


def try_open(path, *limits):
    res = subprocess.run([TOOL, "open", path, *map(str, limits)], capture_output=True, text=True, timeout=60)
    return res.returncode, res.stdout.strip()


def content(path):
    """The file's bytes; None for what is not a readable file."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


class Refusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.good = cls.path("good.xlsx")
        subprocess.run([TOOL, "sample", cls.good], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.tmp.name, name)

    def assertRefused(self, path, kinds, words, *limits):
        """Opening path fails with one of kinds (a name or a tuple of names) and a text holding words."""
        before = content(path)
        rc, out = try_open(path, *limits)
        self.assertEqual(rc, 1, out)
        self.assertRegex(out, r"^ERROR \w+ ")
        self.assertIn(out.split()[1], (kinds,) if isinstance(kinds, str) else kinds, out)
        self.assertIn(words, out)
        self.assertEqual(content(path), before)

    def test_good_file_opens(self):
        rc, out = try_open(self.good)
        self.assertEqual((rc, out), (0, "OK 5"))

    def test_missing_file(self):
        self.assertRefused(self.path("nothing.xlsx"), "FileSystem", "Cannot open")

    def test_folder(self):
        self.assertRefused(self.tmp.name, "FileSystem", "is a folder")

    def test_not_a_zip(self):
        p = self.path("text.xlsx")
        with open(p, "w") as f:
            f.write("Name,Value\n1,2\n")
        self.assertRefused(p, "NotAWorkbook", "not a zip package")
        open(self.path("empty.xlsx"), "wb").close()
        self.assertRefused(self.path("empty.xlsx"), "NotAWorkbook", "not a zip package")

    def test_zip_that_is_not_a_workbook(self):
        p = self.path("other.xlsx")
        with zipfile.ZipFile(p, "w") as z:
            z.writestr("readme.txt", "hello")
        self.assertRefused(p, "NotAWorkbook", "is not a workbook")

    def test_encrypted_workbook(self):
        p = self.path("encrypted.xlsx")
        # A password-protected workbook is a compound file holding the encrypted package.
        with open(p, "wb") as f:
            f.write(compoundfile.build([("EncryptionInfo", b"\x04\x00\x04\x00"), ("EncryptedPackage", bytes(8))]))
        self.assertRefused(p, "Encrypted", "encrypted")

    def test_encrypted_zip_entry(self):
        p = self.path("entry-encrypted.xlsx")
        blob = bytearray(open(self.good, "rb").read())
        # Set the "encrypted" flag of every entry in the local and central headers.
        for sig in (b"PK\x03\x04", b"PK\x01\x02"):
            start = 0
            while (i := blob.find(sig, start)) >= 0:
                flag_at = i + (6 if sig == b"PK\x03\x04" else 8)
                blob[flag_at] |= 1
                start = i + 4
        open(p, "wb").write(blob)
        self.assertRefused(p, "Encrypted", "encrypted")

    def test_truncated_zip(self):
        blob = open(self.good, "rb").read()
        for cut in (10, len(blob) // 3, len(blob) - 30):
            p = self.path(f"cut{cut}.xlsx")
            open(p, "wb").write(blob[:cut])
            self.assertRefused(p, ("NotAWorkbook", "Damaged"), "\"" + p + "\"")

    def test_malformed_and_truncated_xml(self):
        p = self.path("badxml.xlsx")
        rewrite(self.good, p, lambda n, b: b.replace(b"<sheets>", b"<sheets><broken>") if n == "xl/workbook.xml" else b)
        self.assertRefused(p, "Damaged", "not well-formed")
        p = self.path("cutsheet.xlsx")
        rewrite(self.good, p, lambda n, b: b[: len(b) // 2] if n == "xl/worksheets/sheet2.xml" else b)
        self.assertRefused(p, "Damaged", "sheet2.xml")

    def test_missing_part(self):
        p = self.path("missing.xlsx")
        rewrite(self.good, p, drop={"xl/worksheets/sheet2.xml"})
        self.assertRefused(p, "Damaged", "lacks the part")
        p = self.path("nowb.xlsx")
        rewrite(self.good, p, drop={"xl/workbook.xml"})
        self.assertRefused(p, "NotAWorkbook", "no workbook part")

    def test_doctype_is_refused(self):
        laughs = (b'<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">'
                  b'<!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">]>')
        for part in ("xl/workbook.xml", "xl/styles.xml", "xl/worksheets/sheet2.xml", "[Content_Types].xml"):
            p = self.path("doctype.xlsx")
            rewrite(self.good, p, lambda n, b: laughs + b[b.index(b"?>") + 2:] if n == part else b)
            self.assertRefused(p, "Damaged", "document type declaration")

    def test_unsafe_entry_names(self):
        for name in ("../evil.xml", "/etc/evil.xml", "xl/../../evil.xml", "C:/evil.xml"):
            p = self.path("unsafe.xlsx")
            rewrite(self.good, p, add=[(name, b"<x/>")])
            self.assertRefused(p, "Damaged", "unsafe name")

    def test_zip_bomb_entry_and_total_caps(self):
        p = self.path("bomb.xlsx")
        rewrite(self.good, p, add=[("xl/media/zeros.bin", b"\0" * 0)],
                replace=lambda n, b: b + b" " * (30 << 20) if n == "xl/worksheets/sheet2.xml" else b)
        self.assertRefused(p, "TooLarge", "possible zip bomb", 16 << 20, 1 << 30)
        self.assertRefused(p, "TooLarge", "possible zip bomb", 1 << 30, 20 << 20)
        rc, out = try_open(p, 1 << 30, 1 << 30)
        self.assertEqual(rc, 0, out)

    def test_lying_size_headers_do_not_lift_the_cap(self):
        p = self.path("liar.xlsx")
        rewrite(self.good, p, replace=lambda n, b: b + b" " * (30 << 20) if n == "xl/worksheets/sheet2.xml" else b)
        blob = bytearray(open(p, "rb").read())
        name = b"xl/worksheets/sheet2.xml"
        for sig, size_at, name_at in ((b"PK\x03\x04", 22, 30), (b"PK\x01\x02", 24, 46)):
            start = 0
            while (i := blob.find(sig, start)) >= 0:
                if blob[i + name_at:i + name_at + len(name)] == name:
                    blob[i + size_at:i + size_at + 4] = (100).to_bytes(4, "little")
                start = i + 4
        open(p, "wb").write(blob)
        self.assertRefused(p, ("TooLarge", "Damaged"), "sheet2.xml", 16 << 20, 1 << 30)

    def test_binary_workbook_with_xml_parts_is_malformed(self):
        p = self.path("binary.xlsx")
        rewrite(self.good, p, lambda n, b: b.replace(b"officedocument.spreadsheetml.sheet.main+xml",
                                                     b"ms-excel.sheet.binary.macroEnabled.main")
                if n == "[Content_Types].xml" else b)
        self.assertRefused(p, "Damaged", "is malformed")


class RefusedChanges(unittest.TestCase):
    """Changes that protection refuses fail with their kind; nothing is written."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.source = os.path.join(self.tmp.name, "protected.xlsx")
        wb = openpyxl.Workbook()
        wb.active.title = "Data"
        wb.active["A1"] = 1
        wb.active.protection.sheet = True
        wb.security.lockStructure = True
        wb.save(self.source)
        self.before = content(self.source)

    def assertRefusedChange(self, *args):
        out = os.path.join(self.tmp.name, "out.xlsx")
        res = subprocess.run([TOOL, args[0], self.source, out, *args[1:]], capture_output=True, text=True,
                             timeout=60)
        self.assertEqual(res.returncode, 1, res.stdout + res.stderr)
        self.assertTrue(res.stdout.startswith("ERROR Protected "), res.stdout)
        self.assertFalse(os.path.exists(out))
        self.assertEqual(content(self.source), self.before)

    def test_locked_cell(self):
        self.assertRefusedChange("put-number", "Data", "1", "1", "7")

    def test_locked_structure(self):
        self.assertRefusedChange("add-sheet", "0")


if __name__ == "__main__":
    unittest.main()
