"""What the engine's test scripts share: running a program, a temporary folder per test class,
the check of a refused file, and conversions of a study with the built executable."""
import os
import subprocess
import tempfile
import unittest


def content(path):
    """The file's bytes; None for what is not a readable file."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def run(*command, timeout=60, **kwargs):
    """Exit status and output (standard output, then error output, stripped) of a command."""
    res = subprocess.run([str(c) for c in command], capture_output=True, text=True, timeout=timeout, **kwargs)
    return res.returncode, (res.stdout.strip() + res.stderr.strip())


def convert(gridwell, study, workbook, arrangement=1, names="Short"):
    """Converts study into workbook; a failure raises with the output and the log."""
    rc, out = run(gridwell, "-i", study, "-o", workbook, "-a", arrangement, "-n", names, timeout=300)
    if rc != 0:
        log = content(os.path.splitext(workbook)[0] + ".log") or b""
        raise AssertionError(f"gridwell -a {arrangement} -n {names} -o {workbook} failed: {out}{log.decode()}")


class ToolTest(unittest.TestCase):
    """A test class with a temporary folder of its own, running `tool` (set by each script); with a
    sample_command (sample, sample-xlsb, sample-xls), the tool makes cls.sample beforehand."""
    tool = sample_command = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.tmp.cleanup)
        if cls.sample_command:
            cls.sample = cls.path("sample." + (cls.sample_command.partition("-")[2] or "xlsx"))
            cls.assertTool(cls.sample_command, cls.sample)

    @classmethod
    def path(cls, *names):
        return os.path.join(cls.tmp.name, *names)

    @classmethod
    def write(cls, name, data):
        """A file of the class's folder holding data; its path."""
        with open(cls.path(name), "wb") as f:
            f.write(data)
        return cls.path(name)

    @classmethod
    def run_tool(cls, *args, **kwargs):
        return run(cls.tool, *args, **kwargs)

    @classmethod
    def assertTool(cls, *args, **kwargs):
        """Runs the tool, which must succeed; its output."""
        rc, out = cls.run_tool(*args, **kwargs)
        if rc != 0:
            raise AssertionError(f"{os.path.basename(cls.tool)} {' '.join(map(str, args))}: {rc} {out}")
        return out

    def assertRefused(self, path, kinds, words, *limits):
        """Opening path fails with one of kinds (a name or a tuple of names) and a text holding
        words, and leaves the file as it was."""
        before = content(path)
        rc, out = self.run_tool("open", path, *limits)
        self.assertEqual(rc, 1, out)
        self.assertRegex(out, r"^ERROR \w+ ")
        self.assertIn(out.split()[1], (kinds,) if isinstance(kinds, str) else kinds, out)
        self.assertIn(words, out)
        self.assertEqual(content(path), before)
