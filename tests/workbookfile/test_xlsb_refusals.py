"""Binary workbooks (.xlsb) that are damaged or hostile are refused with a clear sentence and the kind
of failure, never a crash or a hang, and stay as they were; the engine's own .xlsb files open, save
and open again."""
import struct
import sys
import unittest
import zipfile

from tooltest import ToolTest
from xlsbparts import record, records
from zipparts import rewrite

TOOL = sys.argv.pop(1)
BOOK = "xl/workbook.bin"


def joined(recs):
    return b"".join(record(t, body) for t, body in recs)


class XlsbRefusals(ToolTest):
    tool, sample_command = TOOL, "sample-xlsb"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with zipfile.ZipFile(cls.sample) as z:
            cls.sheet = next(n for n in z.namelist() if n.startswith("xl/worksheets/") and
                             any(t == 7 for t, _ in records(z.read(n))))

    def test_own_file_opens(self):
        self.assertEqual(self.run_tool("open", self.sample), (0, "OK 5"))

    def test_damaged_records(self):
        def long_name(b):
            return joined((t, body[:-len(body) + 8] + struct.pack("<I", 0x7FFFFFFF) if t == 156 else body)
                          for t, body in records(b))

        def swap(b):
            recs = records(b)
            rows = [i for i, (t, _) in enumerate(recs) if t == 0]
            t, body = recs[rows[1]]
            recs[rows[1]] = (t, struct.pack("<I", 0) + body[4:])
            return joined(recs)

        cases = [  # (name, changes passed to rewrite, words)
            ("truncated record", {self.sheet: lambda b: b[:len(b) // 2]}, "are malformed"),
            ("size past the part", {self.sheet: lambda b: b + bytes([0x05, 0xFF, 0xFF, 0x7F])}, "claims"),
            ("type that does not end", {self.sheet: lambda b: b + bytes([0x81, 0x81, 0x81])}, "runs past two bytes"),
            ("size that does not end", {self.sheet: lambda b: b + bytes([0x01, 0x81, 0x81, 0x81, 0x81])},
             "runs past four bytes"),
            ("record shorter than its fields",
             {BOOK: lambda b: joined((t, body[:3] if t == 156 else body) for t, body in records(b))},
             "shorter than its fields"),
            ("text longer than its record", {BOOK: long_name}, "longer than its record"),
            ("rows out of order", {self.sheet: swap}, "out of order"),
        ]
        for name, replace, words in cases:
            with self.subTest(name):
                p = self.path("damaged.xlsb")
                rewrite(self.sample, p, replace)
                self.assertRefused(p, "Damaged", words)
        p = self.path("nostrings.xlsb")
        rewrite(self.sample, p, {"xl/_rels/workbook.bin.rels": lambda b: b.replace(b"sharedStrings.bin", b"gone.bin")},
                drop={"xl/sharedStrings.bin"})
        self.assertRefused(p, "Damaged", "has shared-string cells but no shared string table")

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
            return joined(recs[:end]) + extra + joined(recs[end:])
        p = self.path("raw.xlsb")
        rewrite(self.sample, p, {self.sheet: more_cells})
        self.assertEqual([self.run_tool("cell", p, "Data", 30, col)[1] for col in (1, 2, 3)],
                         ["formula", "error #DIV/0!", "text inline"])

    def test_sheet_positions_follow_an_inserted_sheet(self):
        def with_references(b):
            externals = (record(353, b"") + record(357, b"") +
                         record(362, struct.pack("<IIii", 1, 0, 2, 3)) + record(354, b""))
            rgce = b"\x1f" + struct.pack("<d", 1.0)
            name = record(39, struct.pack("<IBI", 0, 0, 2) + struct.pack("<I", 4) + "Here".encode("utf-16-le") +
                          struct.pack("<I", len(rgce)) + rgce + struct.pack("<II", 0, 0xFFFFFFFF))
            return b"".join(record(t, body) + (externals + name if t == 144 else b"") for t, body in records(b))
        src, out = self.path("refs.xlsb"), self.path("refs-added.xlsb")
        rewrite(self.sample, src, {BOOK: with_references})
        self.assertTool("add-sheet", src, out, 0)
        with zipfile.ZipFile(out) as z:
            recs = records(z.read(BOOK))
        self.assertEqual(struct.unpack("<IIii", next(b for t, b in recs if t == 362)), (1, 0, 3, 4))
        self.assertEqual(struct.unpack("<I", next(b for t, b in recs if t == 39)[5:9]), (3,))
        self.assertEqual(self.run_tool("open", out), (0, "OK 6"))

    def test_saved_again_and_reopened(self):
        out = self.path("again.xlsb")
        self.assertTool("replay-xlsb", self.sample, out)
        self.assertEqual(self.run_tool("open", out), (0, "OK 6"))


if __name__ == "__main__":
    unittest.main()
