"""A workbook that collects successive studies: updates with studies whose slot names change
leave its size where it was, and the worksheets a study no longer writes keep their texts, in
every format. Read back by SheetJS (and opened again by the engine and one more reader)."""
import datetime
import os
import subprocess
import sys
import tempfile
import unittest

GRIDWELL = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "workbookfile")]
import reopen  # noqa: E402
from pvxgen import Package, Run, Slot, steps  # noqa: E402
from readers import have_sheetjs, sheetjs  # noqa: E402

READERS = os.path.join(HERE, "..", "readers")
UPDATES = 10


def study(version, runs):
    """Another version of one model: the same shape, its slots' names carry the version."""
    stamps = steps(datetime.datetime(2021, 1, 2), 30)
    return Package([Run(stamps, [Slot(f"Reservoir {k} v{version}", f"Outflow v{version}",
                                      values=[version + r + k / 8 + t / 4 for t in range(30)])
                                 for k in range(40)]) for r in range(runs)])


@unittest.skipUnless(have_sheetjs(READERS), "SheetJS is not installed (scripts/install-test-readers.sh)")
class CollectingStudies(unittest.TestCase):
    def convert(self, folder, package, target):
        source = os.path.join(folder, "study.pvx")
        package.write(source)
        args = ["-i", source, "-o", target, "-a", "0", "-n", "Full"]
        done = subprocess.run([GRIDWELL, *args], capture_output=True, timeout=300)
        reopen.check_run(args, done.returncode)
        self.assertEqual(done.returncode, 0, done.stdout)
        return os.path.getsize(target)

    def test_updates_keep_the_size_and_the_texts_they_do_not_write(self):
        for extension in ("xlsx", "xlsb", "xls"):
            with self.subTest(extension), tempfile.TemporaryDirectory() as folder:
                target = os.path.join(folder, "collected." + extension)
                # Three runs first; the later studies have two, so "Run2" is never written again.
                self.convert(folder, study(0, 3), target)
                kept = sheetjs(READERS, [target])[target]["cells"]["Run2"]
                sizes = [self.convert(folder, study(version, 2), target) for version in range(1, UPDATES + 1)]
                if extension == "xls":
                    # Not compressed: each string no cell uses still takes the 3 bytes of an empty
                    # one (the study writes at most 160 texts), and streams grow by 512-byte sectors.
                    self.assertLessEqual(sizes[-1], sizes[0] + UPDATES * 160 * 3 + 3 * 512, sizes)
                else:
                    self.assertLessEqual(sizes[-1], sizes[0] * 1.02, sizes)
                read = sheetjs(READERS, [target])[target]["cells"]
                self.assertEqual(read["Run2"], kept)
                self.assertEqual(read["Run2"]["B1"][1], "Reservoir 0 v0Outflow v0")
                self.assertEqual(read["Run0"]["B1"][1], f"Reservoir 0 v{UPDATES}Outflow v{UPDATES}")
                self.assertEqual(read["Run1"]["AO1"][1], f"Reservoir 39 v{UPDATES}Outflow v{UPDATES}")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
