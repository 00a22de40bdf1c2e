"""Binary workbooks (.xlsb) that are damaged or hostile are refused with a clear sentence and the kind
of failure, never a crash or a hang, and stay as they were; the engine's own .xlsb files open, save
and open again."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from xlsbparts import record, records

TOOL = sys.argv.pop(1)


def try_open(path):
    res = subprocess.run([TOOL, "open", path], capture_output=True, text=True, timeout=60)
    return res.returncode, res.stdout.strip()


def rewrite(src, dst, name, change):
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            body = zin.read(item.filename)
            zout.writestr(item.filename, change(body) if item.filename == name else body)


class XlsbRefusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.good = cls.path("good.xlsb")
        subprocess.run([TOOL, "sample-xlsb", cls.good], check=True, capture_output=True)
        with zipfile.ZipFile(cls.good) as z:
            cls.sheet = next(n for n in z.namelist() if n.startswith("xl/worksheets/") and
                             any(t == 7 for t, _ in records(z.read(n))))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.tmp.name, name)

    def refused(self, name, part, change, words):
        p = self.path(name)
        rewrite(self.good, p, part, change)
        self.assertRefused(p, "Damaged", words)

    def assertRefused(self, path, kind, words):
        with open(path, "rb") as f:
            before = f.read()
        rc, out = try_open(path)
        self.assertEqual(rc, 1, out)
        self.assertTrue(out.startswith("ERROR " + kind + " "), out)
        self.assertIn(words, out)
        with open(path, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_own_file_opens(self):
        self.assertEqual(try_open(self.good), (0, "OK 5"))

    def test_truncated_record(self):
        self.refused("cut.xlsb", self.sheet, lambda b: b[:len(b) // 2], "is malformed")

    def test_size_past_the_part(self):
        self.refused("long.xlsb", self.sheet, lambda b: b + bytes([0x05, 0xFF, 0xFF, 0x7F]), "claims")

    def test_header_that_does_not_end(self):
        self.refused("type.xlsb", self.sheet, lambda b: b + bytes([0x81, 0x81, 0x81]), "runs past two bytes")
        self.refused("size.xlsb", self.sheet, lambda b: b + bytes([0x01, 0x81, 0x81, 0x81, 0x81]),
                     "runs past four bytes")

    def test_record_shorter_than_its_fields(self):
        self.refused("short.xlsb", "xl/workbook.bin",
                     lambda b: b"".join(record(t, body[:3] if t == 156 else body) for t, body in records(b)),
                     "shorter than its fields")

    def test_text_longer_than_its_record(self):
        def long_name(b):
            out = b""
            for t, body in records(b):
                if t == 156:
                    body = body[:-len(body) + 8] + struct.pack("<I", 0x7FFFFFFF)
                out += record(t, body)
            return out
        self.refused("text.xlsb", "xl/workbook.bin", long_name, "longer than its record")

    def test_rows_out_of_order(self):
        def swap(b):
            recs = records(b)
            rows = [i for i, (t, _) in enumerate(recs) if t == 0]
            t, body = recs[rows[1]]
            recs[rows[1]] = (t, struct.pack("<I", 0) + body[4:])
            return b"".join(record(t, body) for t, body in recs)
        self.refused("rows.xlsb", self.sheet, swap, "out of order")

    def test_string_cells_without_a_table(self):
        p = self.path("nostrings.xlsb")
        with zipfile.ZipFile(self.good) as zin, zipfile.ZipFile(p, "w") as zout:
            for item in zin.infolist():
                body = zin.read(item.filename)
                if item.filename == "xl/_rels/workbook.bin.rels":
                    body = body.replace(b"sharedStrings.bin", b"gone.bin")
                if item.filename != "xl/sharedStrings.bin":
                    zout.writestr(item.filename, body)
        self.assertRefused(p, "Damaged", "has shared-string cells but no shared string table")

    def test_unsafe_entry_names(self):
        p = self.path("escape.xlsb")
        with zipfile.ZipFile(self.good) as zin, zipfile.ZipFile(p, "w") as zout:
            for item in zin.infolist():
                zout.writestr(item.filename, zin.read(item.filename))
            zout.writestr("../../evil.bin", b"x")
        self.assertRefused(p, "Damaged", "unsafe name")

    def test_cells_kept_as_records_are_described(self):
        def more_cells(b):
            cell = lambda col: struct.pack("<II", col, 0)
            rgce = b"\x1f" + struct.pack("<d", 2.0)  # =2
            extra = (record(0, struct.pack("<IIHBBBI", 29, 0, 300, 0, 0, 0, 0)) +
                     record(9, cell(0) + struct.pack("<d", 2.0) + b"\0\0" + struct.pack("<I", len(rgce)) +
                            rgce + struct.pack("<I", 0)) +
                     record(3, cell(1) + b"\x07") +
                     record(6, cell(2) + struct.pack("<I", 6) + "inline".encode("utf-16-le")))
            recs = records(b)
            end = next(i for i, (t, _) in enumerate(recs) if t == 146)
            return b"".join(record(t, body) for t, body in recs[:end]) + extra + \
                b"".join(record(t, body) for t, body in recs[end:])
        p = self.path("raw.xlsb")
        rewrite(self.good, p, self.sheet, more_cells)
        cell = lambda col: subprocess.run([TOOL, "cell", p, "Data", "30", str(col)], capture_output=True,
                                          text=True, timeout=60).stdout.strip()
        self.assertEqual([cell(1), cell(2), cell(3)], ["formula", "error #DIV/0!", "text inline"])

    def test_sheet_positions_follow_an_inserted_sheet(self):
        def with_references(b):
            externals = (record(353, b"") + record(357, b"") +
                         record(362, struct.pack("<IIii", 1, 0, 2, 3)) + record(354, b""))
            rgce = b"\x1f" + struct.pack("<d", 1.0)
            name = record(39, struct.pack("<IBI", 0, 0, 2) + struct.pack("<I", 4) + "Here".encode("utf-16-le") +
                          struct.pack("<I", len(rgce)) + rgce + struct.pack("<II", 0, 0xFFFFFFFF))
            return b"".join(record(t, body) + (externals + name if t == 144 else b"") for t, body in records(b))
        src, out = self.path("refs.xlsb"), self.path("refs-added.xlsb")
        rewrite(self.good, src, "xl/workbook.bin", with_references)
        res = subprocess.run([TOOL, "add-sheet", src, out, "0"], capture_output=True, text=True, timeout=60)
        self.assertEqual(res.returncode, 0, res.stdout + res.stderr)
        with zipfile.ZipFile(out) as z:
            recs = records(z.read("xl/workbook.bin"))
        self.assertEqual(struct.unpack("<IIii", next(b for t, b in recs if t == 362)), (1, 0, 3, 4))
        self.assertEqual(struct.unpack("<I", next(b for t, b in recs if t == 39)[5:9]), (3,))
        self.assertEqual(try_open(out), (0, "OK 6"))

    def test_saved_again_and_reopened(self):
        out = self.path("again.xlsb")
        res = subprocess.run([TOOL, "replay-xlsb", self.good, out], capture_output=True, text=True, timeout=60)
        self.assertEqual(res.returncode, 0, res.stdout + res.stderr)
        self.assertEqual(try_open(out), (0, "OK 6"))


if __name__ == "__main__":
    unittest.main()
