"""Kills a process while it saves over an existing workbook, at every step of the save, and
checks that the file on disk is always either the old workbook or the new one, whole."""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import openpyxl

TOOL = sys.argv.pop(1)


class AtomicSave(unittest.TestCase):
    def test_kill_at_every_step(self):
        with tempfile.TemporaryDirectory() as tmp:
            base = os.path.join(tmp, "base.xlsx")
            subprocess.run([TOOL, "sample", base], check=True, capture_output=True)
            with open(base, "rb") as f:
                old = f.read()
            killed_before_rename = killed_after_rename = 0
            for step in range(1, 200):
                work = os.path.join(tmp, f"run{step}")
                os.mkdir(work)
                target = os.path.join(work, "book.xlsx")
                shutil.copy(base, target)
                res = subprocess.run([TOOL, "save-die", target, str(step)], capture_output=True, text=True)
                with open(target, "rb") as f:
                    now = f.read()
                if now == old:
                    self.assertEqual(res.returncode, -signal.SIGKILL, res.stdout + res.stderr)
                    killed_before_rename += 1
                else:
                    wb = openpyxl.load_workbook(target)
                    ws = wb.worksheets[0]
                    self.assertEqual(ws["A1"].value, 1.5)
                    self.assertEqual(ws.cell(200, 50).value, 10000.5)
                    self.assertEqual(wb["Data"]["A2"].value, "plain")
                    wb.close()
                    if res.returncode == 0:
                        # The save ran to its end: no temporary file is left behind.
                        self.assertEqual(os.listdir(work), ["book.xlsx"])
                        break
                    self.assertEqual(res.returncode, -signal.SIGKILL)
                    killed_after_rename += 1
                shutil.rmtree(work)
            else:
                self.fail("the save never finished")
            self.assertGreater(killed_before_rename, 5)
            self.assertGreaterEqual(killed_after_rename, 1)


    def test_write_error_leaves_the_old_file_and_no_temporary(self):
        """A save that fails midway (here: the file size limit is hit) reports an error, leaves
        the previous file as it was and removes its temporary file."""
        with tempfile.TemporaryDirectory() as tmp:
            target = os.path.join(tmp, "book.xlsx")
            subprocess.run([TOOL, "sample", target], check=True, capture_output=True)
            with open(target, "rb") as f:
                old = f.read()

            def small_files():
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (len(old) // 2, len(old) // 2))

            res = subprocess.run([TOOL, "save-die", target, "0"], capture_output=True, text=True,
                                 preexec_fn=small_files)
            self.assertEqual(res.returncode, 1, res.stdout + res.stderr)
            self.assertIn("Cannot write", res.stdout)
            with open(target, "rb") as f:
                self.assertEqual(f.read(), old)
            self.assertEqual(os.listdir(tmp), ["book.xlsx"])


if __name__ == "__main__":
    unittest.main()
