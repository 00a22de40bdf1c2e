"""The real executable's window on an X server of its own (run under xvfb-run): started as a
desktop launcher starts it, with a study as its only argument, it converts into an existing
workbook and is closed while it writes. The process must end within 2 s, with status 0 and
nothing shown, and leave the workbook byte for byte as it was. Also: a lone file argument
chooses the window (without a display, the window's one-line complaint), options still the
command line."""

import datetime
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

GRIDWELL = sys.argv.pop(1)
NO_DISPLAY = ("Gridwell: the window needs a display, and none is available; to convert without a window use "
              "the command line, for example: gridwell -i study.pvx -o study.xlsx (gridwell -h lists the "
              "options)\n")
INVALID = "Gridwell: Invalid Usage. Use '-h' for help.\n\n"


def write_study(path, runs, slots, steps):
    """A study of runs x slots x steps daily values."""
    lines = ["name:Closing study", f"number_of_runs:{runs}", "END_PACKAGE_PREAMBLE"]
    start = datetime.date(2000, 1, 2)
    dates = [f"{d.year}-{d.month}-{d.day} 00:00" for d in (start + datetime.timedelta(days=t) for t in range(steps))]
    for r in range(runs):
        lines += ["start:2000-1-1 24:00", "time_step_unit:day", f"time_steps:{steps}", "END_RUN_PREAMBLE"]
        lines += dates
        for k in range(slots):
            lines += [f"object_name: Lake {k}", "slot_name: Outflow", "END_SLOT_PREAMBLE", "units: cfs", "scale: 1"]
            lines += [repr(r * 1000 + k + t * 0.25) for t in range(steps)]
            lines += ["END_COLUMN", "END_SLOT"]
        lines.append("END_RUN")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def headless(env):
    return {k: v for k, v in env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


class CloseWhileConverting(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        # Remembered settings stay in this run's folder.
        self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.dir, "config"))

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_closing_ends_the_process_and_keeps_the_workbook(self):
        if os.environ.get("GRIDWELL_NO_XVFB_RUN") or not os.environ.get("DISPLAY"):
            self.skipTest("xvfb-run is missing: the window needs an X server of its own; install Debian's "
                          "package xvfb")
        study = os.path.join(self.dir, "study.pvx")
        workbook = os.path.join(self.dir, "study.xlsx")
        write_study(study, 2, 3, 10)
        made = subprocess.run([GRIDWELL, "-i", study, "-o", workbook], env=headless(self.env),
                              capture_output=True, timeout=120)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        before = digest(workbook)
        write_study(study, 20, 100, 365)

        env = dict(self.env, GRIDWELL_TEST_CLOSE_WHILE_CONVERTING="1", QT_QPA_PLATFORM="xcb")
        window = subprocess.Popen([GRIDWELL, study], env=env, cwd=self.dir, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True)
        try:
            closed_at = None
            for line in window.stderr:
                if line.strip() == "closing":
                    closed_at = time.monotonic()
                    break
            self.assertIsNotNone(closed_at, "the window never wrote a worksheet")
            status = window.wait(timeout=30)
            seconds = time.monotonic() - closed_at
        finally:
            if window.poll() is None:
                window.kill()
                window.wait()
        print(f"the process ended {seconds:.2f} s after the window was closed")
        self.assertEqual(status, 0)
        self.assertLessEqual(seconds, 2.0)
        self.assertEqual(digest(workbook), before)

    def test_a_lone_file_argument_chooses_the_window(self):
        env = headless(self.env)
        result = subprocess.run([GRIDWELL, "in.pvx"], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual((result.returncode, result.stderr), (1, NO_DISPLAY))
        for args in (["-x"], ["-i", "a.pvx", "b.pvx"], ["in.pvx", "out.xlsx"]):
            with self.subTest(args=args):
                result = subprocess.run([GRIDWELL, *args], env=env, capture_output=True, text=True, timeout=60)
                self.assertEqual((result.returncode, result.stdout), (1, INVALID))


if __name__ == "__main__":
    unittest.main()
