"""Converts a study twice into a binary workbook (.xlsb) that SheetJS wrote beforehand, typed as the
spreadsheet application types its workbook part (by the default of its extension), with an extra
worksheet, a formula, a defined name, column widths and a merged range on the worksheet that the
conversion clears. Checks with SheetJS and LibreOffice Calc that the conversion's cells are there and
the rest survives, and that parts the conversion does not touch keep their bytes. Reader checks are
skipped when a reader is not installed (scripts/install-test-readers.sh)."""
import re
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile

import openpyxl
from readers import have_sheetjs, libreoffice_xlsx, sheetjs
from tooltest import ToolTest, convert
from xlsbparts import record, records
from zipparts import rewrite

GRIDWELL = sys.argv.pop(1)
STUDY = sys.argv.pop(1)
READERS = sys.argv.pop(1)

MAKE_BASE = r"""
const XLSX = require("xlsx");
const wb = XLSX.utils.book_new();
const header = XLSX.utils.aoa_to_sheet([["old header", 1], ["stale", 2], [], ["x", "y", "z"]]);
header["!cols"] = [{wch: 30}, {wch: 12}];
header["!merges"] = [XLSX.utils.decode_range("A3:C3")];
header["A1"].c = [{a: "someone", t: "an old note"}];
header["B1"].l = {Target: "https://example.org/"};
XLSX.utils.book_append_sheet(wb, header, "Header");
const notes = XLSX.utils.aoa_to_sheet([["note", 1, 2.5], ["second", 3]]);
notes["!cols"] = [{wch: 25}];
XLSX.utils.book_append_sheet(wb, notes, "Notes");
XLSX.writeFile(wb, process.argv[process.argv.length - 1], {bookType: "xlsb"});
"""


def wide(text):
    return struct.pack("<I", len(text)) + text.encode("utf-16-le")


def with_formula_and_name(src, dst):
    """Adds =B1+C1 at D1 of Notes (cached 3.5) and a workbook name Rate = 0.25."""
    ref = lambda row, col: b"\x24" + struct.pack("<IH", row, col | 0xC000)  # PtgRef, relative
    rgce = ref(0, 1) + ref(0, 2) + b"\x03"  # B1 C1 +
    formula_cell = record(9, struct.pack("<II", 3, 0) + struct.pack("<d", 3.5) + b"\0\0" +
                          struct.pack("<I", len(rgce)) + rgce + struct.pack("<I", 0))
    name_rgce = b"\x1f" + struct.pack("<d", 0.25)  # PtgNum
    name = record(39, struct.pack("<I", 0) + b"\0" + struct.pack("<I", 0xFFFFFFFF) + wide("Rate") +
                  struct.pack("<I", len(name_rgce)) + name_rgce + struct.pack("<I", 0) +
                  struct.pack("<I", 0xFFFFFFFF))

    def notes(data):
        out, rows = b"", 0
        for t, body in records(data):
            rows += t == 0
            out += (formula_cell if t == 0 and rows == 2 else b"") + record(t, body)
        return out

    rewrite(src, dst, {"xl/worksheets/sheet2.bin": notes, "xl/workbook.bin": lambda data: b"".join(
        record(t, body) + (name if t == 144 else b"") for t, body in records(data)),
        "[Content_Types].xml": typed_by_default})


def typed_by_default(types):
    """Types the workbook part as the spreadsheet application does: by the default of its extension,
    with no override for the part itself."""
    main = b"application/vnd.ms-excel.sheet.binary.macroEnabled.main"
    types = re.sub(rb'<Override PartName="/xl/workbook.bin"[^>]*/>', b"", types)
    types = re.sub(rb'<Default Extension="bin"[^>]*/>', b"", types)
    assert b"/xl/workbook.bin" not in types
    return types.replace(b"<Default ", b'<Default Extension="bin" ContentType="' + main + b'"/><Default ', 1)


def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist()}


@unittest.skipUnless(have_sheetjs(READERS), "SheetJS is not installed (scripts/install-test-readers.sh)")
class ConvertIntoBinaryWorkbook(ToolTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        made, cls.base, cls.once, cls.twice, cls.fresh = map(cls.path, ("made.xlsb", "base.xlsb", "once.xlsb",
                                                                        "twice.xlsb", "fresh.xlsx"))
        res = subprocess.run(["node", "-e", MAKE_BASE, made], cwd=READERS, capture_output=True, text=True)
        assert res.returncode == 0, res.stderr
        with_formula_and_name(made, cls.base)
        for source, target in ((cls.base, cls.once), (cls.once, cls.twice), (None, cls.fresh)):
            if source:
                shutil.copy(source, target)
            convert(GRIDWELL, STUDY, target)
        cls.seen = sheetjs(READERS, [cls.base, cls.once, cls.twice, cls.fresh])

    def test_the_conversion_is_there(self):
        fresh = self.seen[self.fresh]
        for path in (self.once, self.twice):
            got = self.seen[path]
            self.assertNotIn("error", got)
            # The data worksheets follow the last worksheet, Notes.
            self.assertEqual(got["sheets"], ["Header", "Notes"] + fresh["sheets"][1:])
            for sheet in fresh["sheets"]:
                self.assertEqual(got["cells"][sheet], fresh["cells"][sheet], sheet)

    def test_the_rest_survives(self):
        base = self.seen[self.base]
        self.assertEqual(base["cells"]["Notes"]["D1"][3], "B1+C1")
        self.assertIn(["Rate", "0.25"], base["names"])
        for path in (self.once, self.twice):
            got = self.seen[path]
            self.assertEqual(got["cells"]["Notes"], base["cells"]["Notes"])
            self.assertEqual(got["names"], base["names"])

    def test_untouched_parts_keep_their_bytes(self):
        base, once, twice = parts(self.base), parts(self.once), parts(self.twice)
        changed = {"xl/workbook.bin", "xl/styles.bin", "xl/sharedStrings.bin", "xl/worksheets/sheet1.bin",
                   "xl/_rels/workbook.bin.rels", "[Content_Types].xml", "xl/worksheets/_rels/sheet1.bin.rels"}
        # Clearing Header took its comment (with the drawing that held only it) and its hyperlink.
        cleared = {"xl/comments1.bin", "xl/drawings/vmlDrawing1.vml"}
        self.assertTrue(cleared <= set(base))
        self.assertFalse(cleared & set(once))
        self.assertNotIn(b"relationships/", once["xl/worksheets/_rels/sheet1.bin.rels"].split(b"<Relationships")[1])
        for name, data in base.items():
            if name not in changed | cleared:
                self.assertEqual(once[name], data, name)
        # A second conversion into the same workbook changes nothing more: strings and formats
        # are found again, not added.
        self.assertEqual(twice, once)

    @unittest.skipUnless(shutil.which("soffice"), "LibreOffice is not installed")
    def test_libreoffice_sees_the_conversion_and_the_rest(self):
        converted = libreoffice_xlsx([self.base, self.twice], self.path("lo"), self.path("profile"))
        before = openpyxl.load_workbook(converted[self.base])
        after = openpyxl.load_workbook(converted[self.twice])
        fresh = openpyxl.load_workbook(self.fresh)
        self.assertEqual(after.sheetnames, ["Header", "Notes"] + fresh.sheetnames[1:])
        self.assertEqual(after["Notes"]["D1"].value, "=B1+C1")
        self.assertEqual([[c.value for c in r] for r in after["Notes"].iter_rows()],
                         [[c.value for c in r] for r in before["Notes"].iter_rows()])
        self.assertIn("Rate", after.defined_names)
        for col in ("A", "B"):
            self.assertEqual(after["Header"].column_dimensions[col].width,
                             before["Header"].column_dimensions[col].width)
        self.assertTrue(list(before["Header"].merged_cells.ranges))
        self.assertEqual(list(after["Header"].merged_cells.ranges), [])
        for sheet in fresh.sheetnames:
            for row in fresh[sheet].iter_rows():
                for c in row:
                    if c.value in (None, ""):
                        continue
                    got = after[sheet][c.coordinate]
                    self.assertEqual(bool(got.font.b), bool(c.font.b), f"{sheet}!{c.coordinate}")
                    if isinstance(c.value, str):
                        self.assertEqual(got.value, c.value, f"{sheet}!{c.coordinate}")


if __name__ == "__main__":
    unittest.main()
