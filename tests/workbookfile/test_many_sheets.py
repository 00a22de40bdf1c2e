"""A workbook of 5,000 worksheets saves with the open-file limit at 256."""
import resource
import sys
import unittest
import zipfile

import openpyxl
from tooltest import ToolTest

TOOL = sys.argv.pop(1)


class ManySheets(ToolTest):
    tool = TOOL

    def test_5000_sheets_under_256_open_files(self):
        path = self.path("many.xlsx")
        self.assertTool("many-sheets", path, 5000, timeout=600,
                        preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256)))
        with zipfile.ZipFile(path) as z:
            self.assertEqual(sum(n.startswith("xl/worksheets/sheet") for n in z.namelist()), 5000)
        wb = openpyxl.load_workbook(path, read_only=True)
        self.assertEqual(len(wb.sheetnames), 5000)
        self.assertEqual(wb.sheetnames[4999], "Sheet5000")
        last = wb.worksheets[4999]
        self.assertEqual([c.value for c in next(last.iter_rows(max_row=1))], [5000, "sheet 5000"])
        wb.close()


if __name__ == "__main__":
    unittest.main()
