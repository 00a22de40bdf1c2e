"""Replays every fuzz seed and every input that once broke the engine, the way its fuzz target ran
it: each must be read or refused with an error text, never crash or hang."""
import glob
import os
import sys
import unittest

from tooltest import ToolTest

TOOL = sys.argv.pop(1)
FUZZ_DIR = sys.argv.pop(1)


def inputs(*patterns):
    return sorted(p for pattern in patterns for p in glob.glob(os.path.join(FUZZ_DIR, pattern))
                  if not p.endswith(".md"))


class FuzzRegressions(ToolTest):
    tool = TOOL

    def test_replays(self):
        for command, files in [("replay", inputs("seeds/*", "regressions/open-*")),  # whole files
                               ("replay-parts", inputs("seeds-parts/*", "regressions/parts-*")),  # split packages
                               ("replay-xlsb-parts", inputs("seeds-xlsb/*", "regressions/xlsb-*")),
                               ("replay-xls", inputs("seeds-xls/*", "regressions/xls-*"))]:
            self.assertTrue(files, command)
            for path in files:
                with self.subTest(command=command, path=os.path.basename(path)):
                    rc, out = self.run_tool(command, path, self.path("out.xlsx"))
                    self.assertIn(rc, (0, 1), out)
                    self.assertRegex(out, r"^(OK|ERROR .+)")


if __name__ == "__main__":
    unittest.main()
