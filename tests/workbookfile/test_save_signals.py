"""Interrupts saves over an existing workbook with SIGINT, SIGTERM and SIGKILL, at every step of the
save and at random moments. The file on disk is always the old workbook byte for byte or the new
one whole (openpyxl reads it). The new file is written unnamed, so no signal leaves a temporary
file; where the file system has no unnamed files (GRIDWELL_NAMED_TEMP_FILES=1 plays one), SIGINT
and SIGTERM leave none and the one a SIGKILL leaves is removed by the next save into the same
folder. A save that fails to write leaves the old workbook and no temporary file."""
import fcntl
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
import unittest
from unittest import mock

import openpyxl
from tooltest import ToolTest, content

TOOL = sys.argv.pop(1)
TEMP = re.compile(r"^\.gridwell-save-(\d+)-[A-Za-z0-9]{6}$")
SMALL, LARGE = 200, 20000  # rows of 50 numbers written before the save


def replacement_name(name):
    """The one temporary name under which a file that replaces `name` waits for its rename:
    ".gridwell-save-" and the 64-bit FNV-1a hash of the name's bytes in hexadecimal."""
    value = 0xCBF29CE484222325
    for byte in name:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return f".gridwell-save-{value:016x}"


class SignalledSave(ToolTest):
    tool, sample_command, runs = TOOL, "sample", 0

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.old = content(cls.sample)

    def copy(self):
        """A copy of the sample, alone in a folder of its own: (folder, copy)."""
        SignalledSave.runs += 1
        folder = self.path(f"run{self.runs}")
        os.mkdir(folder)
        return folder, shutil.copy(self.sample, os.path.join(folder, "book.xlsx"))

    def start(self, rows, pause_at, handling="default", named=False):
        """A save of rows x 50 numbers over a copy of the sample, in a folder of its own; named: with
        named temporary files."""
        folder, target = self.copy()
        env = dict(os.environ, GRIDWELL_NAMED_TEMP_FILES="1" if named else "0")
        proc = subprocess.Popen([TOOL, "save-signal", target, str(rows), str(pause_at), handling],
                                stdout=subprocess.PIPE, text=True, env=env)
        self.assertEqual(proc.stdout.readline(), "SAVING\n")
        return proc, folder, target

    def paused_at(self, proc):
        """True once the save stands at its pause step, False when it ended without reaching it."""
        line = proc.stdout.readline()
        return line.startswith("STEP ")

    def assertOldOrWholeNew(self, target, rows):
        """Returns "old" or "new"."""
        if content(target) == self.old:
            return "old"
        wb = openpyxl.load_workbook(target, read_only=True)
        ws = wb.worksheets[0]
        self.assertEqual(ws.cell(1, 1).value, 1.5)
        self.assertEqual(ws.cell(rows, 50).value, rows * 50 + 0.5)
        self.assertEqual(wb["Data"]["A2"].value, "plain")
        wb.close()
        return "new"

    def leftovers(self, folder):
        return [name for name in os.listdir(folder) if name != "book.xlsx"]

    def test_signals_at_every_step(self):
        for sig, named in ((signal.SIGKILL, False), (signal.SIGINT, False), (signal.SIGTERM, False),
                           (signal.SIGKILL, True), (signal.SIGTERM, True)):
            outcomes = []
            for step in range(1, 100):
                proc, folder, target = self.start(SMALL, step, named=named)
                if not self.paused_at(proc):
                    # Past the last step: the save ran to its end, leaving no temporary file.
                    self.assertEqual(proc.wait(), 0)
                    self.assertEqual(self.assertOldOrWholeNew(target, SMALL), "new")
                    self.assertEqual(self.leftovers(folder), [])
                    break
                proc.send_signal(sig)
                self.assertEqual(proc.wait(), -sig, (sig, step))
                outcomes.append(self.assertOldOrWholeNew(target, SMALL))
                if sig != signal.SIGKILL or not named:
                    self.assertEqual(self.leftovers(folder), [], (sig, step, named))
                proc.stdout.close()
            else:
                self.fail("the save never finished")
            # Interrupted before the rename, the old file stays; after it, the new one is there.
            self.assertGreater(outcomes.count("old"), 5, outcomes)
            self.assertGreaterEqual(outcomes.count("new"), 1, outcomes)
            self.assertEqual(outcomes, sorted(outcomes, reverse=True), outcomes)

    def test_signals_at_random_moments(self):
        proc, folder, target = self.start(LARGE, 0)
        began = time.monotonic()
        self.assertEqual(proc.wait(), 0)
        duration = time.monotonic() - began
        proc.stdout.close()
        rng = random.Random(20240611)
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGKILL):
            for _ in range(4):
                proc, folder, target = self.start(LARGE, 0)
                time.sleep(rng.uniform(0, duration * 1.1))
                proc.send_signal(sig)
                rc = proc.wait()
                proc.stdout.close()
                self.assertIn(rc, (0, -sig))
                state = self.assertOldOrWholeNew(target, LARGE)
                if rc == 0:
                    self.assertEqual(state, "new")
                if sig != signal.SIGKILL or rc == 0:
                    self.assertEqual(self.leftovers(folder), [], (sig, state))

    def test_sigkill_leftover_is_removed_by_the_next_save(self):
        for step in (1, 3):
            proc, folder, target = self.start(SMALL, step, named=True)
            self.assertTrue(self.paused_at(proc))
            proc.send_signal(signal.SIGKILL)
            self.assertEqual(proc.wait(), -signal.SIGKILL)
            proc.stdout.close()
            self.assertEqual(content(target), self.old)
            left = self.leftovers(folder)
            self.assertEqual(len(left), 1, left)
            self.assertEqual(TEMP.match(left[0]).group(1), str(proc.pid))
            # A temporary file of a running process is left alone.
            alive = os.path.join(folder, f".gridwell-save-{os.getpid()}-AbC123")
            open(alive, "w").close()
            other = os.path.join(folder, "other.xlsx")
            os.environ["GRIDWELL_NAMED_TEMP_FILES"] = "1"  # the same file system for the next save
            try:
                self.assertTool("put-number", target, other, "Data", 1, 1, 7)
            finally:
                del os.environ["GRIDWELL_NAMED_TEMP_FILES"]
            self.assertEqual(sorted(os.listdir(folder)), sorted(["book.xlsx", "other.xlsx", os.path.basename(alive)]))

    def test_replacement_left_in_the_instant_before_its_rename_is_removed(self):
        """A save killed after the finished file took its temporary name and before the rename
        leaves that one name, which the next save of the same file removes, with unnamed files and
        without."""
        for named in ("0", "1"):
            with self.subTest(named=named):
                folder, target = self.copy()
                left = os.path.join(folder, replacement_name(b"book.xlsx"))
                with open(left, "wb") as f:
                    f.write(b"the finished file of a killed save")
                with mock.patch.dict(os.environ, GRIDWELL_NAMED_TEMP_FILES=named):
                    self.assertTool("put-number", target, target, "Data", 1, 1, 7)
                self.assertEqual(self.leftovers(folder), [])
                self.assertNotEqual(content(target), self.old)

    def test_a_running_saves_file_under_that_name_is_left_alone(self):
        """The file under that name of a save still running (it holds the file locked) is never
        removed: the other save takes a name of its own and succeeds; once the lock is gone, the
        next save removes the file."""
        for named in ("0", "1"):
            with self.subTest(named=named):
                folder, target = self.copy()
                running = os.path.join(folder, replacement_name(b"book.xlsx"))
                with open(running, "wb") as f, mock.patch.dict(os.environ, GRIDWELL_NAMED_TEMP_FILES=named):
                    f.write(b"the finished file of a running save")
                    f.flush()
                    fcntl.flock(f.fileno(), fcntl.LOCK_EX)
                    self.assertTool("put-number", target, target, "Data", 1, 1, 7)
                    self.assertEqual(self.leftovers(folder), [os.path.basename(running)])
                    with open(running, "rb") as kept:
                        self.assertEqual(kept.read(), b"the finished file of a running save")
                    fcntl.flock(f.fileno(), fcntl.LOCK_UN)
                    self.assertTool("put-number", target, target, "Data", 1, 1, 8)
                self.assertEqual(self.leftovers(folder), [])

    def test_a_previous_handler_is_called_and_the_save_fails(self):
        proc, folder, target = self.start(SMALL, 3, "own-term")
        self.assertTrue(self.paused_at(proc))
        proc.send_signal(signal.SIGTERM)
        out = proc.stdout.read()
        self.assertEqual(proc.wait(), 1, out)
        proc.stdout.close()
        self.assertIn("HANDLED", out)
        self.assertIn("ERROR Interrupted Cannot save", out)
        self.assertIn("interrupted by a signal", out)
        self.assertEqual(content(target), self.old)
        self.assertEqual(self.leftovers(folder), [])

    def test_an_ignored_signal_stays_ignored(self):
        proc, folder, target = self.start(SMALL, 3, "ignore-int")
        self.assertTrue(self.paused_at(proc))
        proc.send_signal(signal.SIGINT)
        time.sleep(0.3)
        self.assertIsNone(proc.poll())
        proc.send_signal(signal.SIGUSR1)
        self.assertEqual(proc.wait(), 0)
        proc.stdout.close()
        self.assertEqual(self.assertOldOrWholeNew(target, SMALL), "new")
        self.assertEqual(self.leftovers(folder), [])

    def test_write_error_leaves_the_old_file_and_no_temporary(self):
        """Here the file size limit is hit midway; the save reports it, in every format."""
        for extension in ("xlsx", "xlsb", "xls"):
            with self.subTest(extension):
                SignalledSave.runs += 1
                folder = self.path(f"run{self.runs}")
                os.mkdir(folder)
                target = os.path.join(folder, "book." + extension)
                self.run_tool("sample-" + extension if extension != "xlsx" else "sample", target)
                old = content(target)

                def small_files():
                    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                    resource.setrlimit(resource.RLIMIT_FSIZE, (len(old) // 2, len(old) // 2))

                rc, out = self.run_tool("save-signal", target, SMALL, 0, "default", preexec_fn=small_files)
                self.assertEqual(rc, 1, out)
                self.assertIn("Cannot write", out)
                self.assertEqual(content(target), old)
                self.assertEqual(os.listdir(folder), ["book." + extension])  # no temporary file left

if __name__ == "__main__":
    unittest.main()
