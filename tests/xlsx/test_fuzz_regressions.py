"""Opens every fuzz seed and every input that once broke the reader: each must open or be refused
with an error text, never crash or hang."""
import glob
import os
import subprocess
import sys
import unittest

TOOL = sys.argv.pop(1)
FUZZ_DIR = sys.argv.pop(1)


class FuzzRegressions(unittest.TestCase):
    def test_inputs(self):
        files = sorted(glob.glob(os.path.join(FUZZ_DIR, "seeds", "*")) +
                       glob.glob(os.path.join(FUZZ_DIR, "regressions", "*")))
        self.assertTrue(files)
        for path in files:
            with self.subTest(path=os.path.basename(path)):
                res = subprocess.run([TOOL, "open", path, str(8 << 20), str(32 << 20)], capture_output=True,
                                     text=True, timeout=60)
                self.assertIn(res.returncode, (0, 1), res.stdout + res.stderr)
                self.assertRegex(res.stdout, r"^(OK \d+|ERROR .+)")


if __name__ == "__main__":
    unittest.main()
