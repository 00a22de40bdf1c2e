"""Replays every fuzz seed and every input that once broke the engine, the way its fuzz target ran
it: each must be read or refused with an error text, never crash or hang."""
import glob
import os
import subprocess
import sys
import tempfile
import unittest

TOOL = sys.argv.pop(1)
FUZZ_DIR = sys.argv.pop(1)


def inputs(*patterns):
    return sorted(p for pattern in patterns for p in glob.glob(os.path.join(FUZZ_DIR, pattern))
                  if not p.endswith(".md"))


class FuzzRegressions(unittest.TestCase):
    def replay(self, command, files):
        self.assertTrue(files)
        with tempfile.TemporaryDirectory() as tmp:
            for path in files:
                with self.subTest(path=os.path.basename(path)):
                    res = subprocess.run([TOOL, command, path, os.path.join(tmp, "out.xlsx")],
                                         capture_output=True, text=True, timeout=60)
                    self.assertIn(res.returncode, (0, 1), res.stdout + res.stderr)
                    self.assertRegex(res.stdout, r"^(OK|ERROR .+)")

    def test_whole_files(self):
        self.replay("replay", inputs("seeds/*", "regressions/open-*"))

    def test_split_packages(self):
        self.replay("replay-parts", inputs("seeds-parts/*", "regressions/parts-*"))

    def test_binary_workbooks(self):
        self.replay("replay-xlsb-parts", inputs("seeds-xlsb/*", "regressions/xlsb-*"))

    def test_97_2003_workbooks(self):
        self.replay("replay-xls", inputs("seeds-xls/*", "regressions/xls-*"))


if __name__ == "__main__":
    unittest.main()
