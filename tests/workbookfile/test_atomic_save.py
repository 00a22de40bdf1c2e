"""Kills a process while it saves over an existing workbook, at every step of the save, and
checks that the file on disk is always either the old workbook or the new one, whole."""
import os
import resource
import shutil
import signal
import sys
import unittest

import openpyxl
from tooltest import ToolTest, content

TOOL = sys.argv.pop(1)


class AtomicSave(ToolTest):
    tool, sample_command = TOOL, "sample"

    def copy(self, folder):
        """A copy of the sample alone in a new folder; its path."""
        os.mkdir(self.path(folder))
        return shutil.copy(self.sample, self.path(folder, "book.xlsx"))

    def test_kill_at_every_step(self):
        old = content(self.sample)
        killed_before_rename = killed_after_rename = 0
        for step in range(1, 200):
            target = self.copy(f"run{step}")
            rc, out = self.run_tool("save-die", target, step)
            if content(target) == old:
                self.assertEqual(rc, -signal.SIGKILL, out)
                killed_before_rename += 1
            else:
                wb = openpyxl.load_workbook(target)
                ws = wb.worksheets[0]
                self.assertEqual(ws["A1"].value, 1.5)
                self.assertEqual(ws.cell(200, 50).value, 10000.5)
                self.assertEqual(wb["Data"]["A2"].value, "plain")
                wb.close()
                if rc == 0:
                    # The save ran to its end: no temporary file is left behind.
                    self.assertEqual(os.listdir(self.path(f"run{step}")), ["book.xlsx"])
                    break
                self.assertEqual(rc, -signal.SIGKILL)
                killed_after_rename += 1
            shutil.rmtree(self.path(f"run{step}"))
        else:
            self.fail("the save never finished")
        self.assertGreater(killed_before_rename, 5)
        self.assertGreaterEqual(killed_after_rename, 1)

    def test_write_error_leaves_the_old_file_and_no_temporary(self):
        """A save that fails midway (here: the file size limit is hit) reports an error, leaves
        the previous file as it was and removes its temporary file."""
        target = self.copy("limited")
        old = content(target)

        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (len(old) // 2, len(old) // 2))

        rc, out = self.run_tool("save-die", target, 0, preexec_fn=small_files)
        self.assertEqual(rc, 1, out)
        self.assertIn("Cannot write", out)
        self.assertEqual(content(target), old)
        self.assertEqual(os.listdir(self.path("limited")), ["book.xlsx"])


if __name__ == "__main__":
    unittest.main()
