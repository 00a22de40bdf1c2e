"""The user's files end to end, through the built executable: no path of a conversion
empties, replaces or half-writes a file the user has, and every failure says why."""
import datetime
import grp
import hashlib
import os
import pwd
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import openpyxl

GRIDWELL = sys.argv[1]
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workbookfile"))
import compoundfile  # noqa: E402
import reopen  # noqa: E402
from pvxgen import Package, Run, Slot, steps  # noqa: E402
from zipparts import rewrite  # noqa: E402

IS_ROOT = os.geteuid() == 0
ERROR_HEAD = "Gridwell Error: \n"


def headless_environment():
    return {k: v for k, v in os.environ.items()
            if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM")}


def study(runs=2, slots=3, count=5, offset=0.0, names=None):
    stamps = steps(datetime.datetime(2021, 1, 2), count)
    pairs = names or [(f"Lake {k}", "Outflow") for k in range(slots)]
    return Package([Run(stamps, [Slot(obj, slot, values=[offset + r * 100 + k + t / 4 for t in range(count)])
                                 for k, (obj, slot) in enumerate(pairs)]) for r in range(runs)])


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def run(*args, cwd, as_nobody=False, preexec=None, timeout=300):
    command = [GRIDWELL, *args]
    if as_nobody:
        command = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", *command]
    result = subprocess.run(command, cwd=cwd, capture_output=True, env=headless_environment(),
                            preexec_fn=preexec, timeout=timeout)
    reopen.check_run(args, result.returncode, cwd)
    return result.returncode, result.stdout.decode()


def nobody_cannot_run():
    """Why the user nobody cannot run the executable here (a tool or account missing, a folder on
    the way or a library it cannot read), or None when it can."""
    if not shutil.which("setpriv"):
        return "needs setpriv (util-linux) to run as another user"
    try:
        pwd.getpwnam("nobody")
        grp.getgrnam("nogroup")
    except KeyError:
        return "needs the user nobody and the group nogroup"
    done = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", GRIDWELL, "-v"],
                          cwd="/", capture_output=True, env=headless_environment(), timeout=120)
    if done.returncode != 0:
        return f"the user nobody cannot run {GRIDWELL}: {done.stderr.decode(errors='replace').strip()}"
    return None


def log_error(path):
    """What the log says after "Gridwell Error: ", or None for a log without it."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    return text.split(ERROR_HEAD, 1)[1] if ERROR_HEAD in text else None


class Folder(unittest.TestCase):
    """Each test in a folder of its own, holding a small study."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.pvx = self.path("study.pvx")
        study().write(self.pvx)

    def path(self, name):
        return os.path.join(self.dir, name)

    def convert(self, *args, **kwargs):
        return run("-i", self.pvx, *args, cwd=self.dir, **kwargs)

    def start(self, *args, **kwargs):
        """A conversion of the study running beside the test."""
        return subprocess.Popen([GRIDWELL, "-i", self.pvx, *args], cwd=self.dir, env=headless_environment(), **kwargs)

    def make_workbook(self, name="study.xlsx", package=None):
        target = self.path(name)
        if package:
            source = self.path("other.pvx")
            package.write(source)
            status, _ = run("-i", source, "-o", target, "-l", self.path("other.log"), cwd=self.dir)
        else:
            status, _ = self.convert("-o", target)
        self.assertEqual(status, 0)
        return target

    def assertFilesAre(self, names):
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(names))


class LogFile(Folder):
    def test_log_never_replaces_input_or_workbook(self):
        workbook = self.make_workbook()
        other = self.make_workbook("other.xlsx")
        os.symlink(self.pvx, self.path("link.log"))
        with open(self.path("old.xls"), "wb") as f:
            f.write(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(504))
        cases = [  # (options, log path as given, reason)
            (["-o", workbook, "-l", self.pvx], self.pvx, "it is the input file"),
            (["-o", workbook, "-l", "link.log"], "link.log", "it is the input file"),
            (["-o", workbook, "-l", workbook], workbook, "it is the workbook"),
            (["-o", "new.xlsx", "-l", "./new.xlsx"], "./new.xlsx", "it is the workbook"),
            (["-o", workbook, "-l", other], other, "it is a workbook, not a log file"),
            (["-o", workbook, "-l", "old.xls"], "old.xls", "it is a workbook, not a log file"),
        ]
        kept = {name: digest(self.path(name)) for name in os.listdir(self.dir)}
        for options, log, reason in cases:
            with self.subTest(options=options):
                self.assertEqual(self.convert(*options), (
                    1, f"Gridwell Error: Problem opening log file named {log}: \n{reason}\n\n"))
                self.assertEqual({name: digest(self.path(name)) for name in os.listdir(self.dir)}, kept)

    def test_default_log_of_a_log_named_input(self):
        os.rename(self.pvx, self.path("study.log"))
        before = digest(self.path("study.log"))
        status, out = run("-i", "study.log", cwd=self.dir)
        self.assertEqual((status, out), (
            1, "Gridwell Error: Problem opening log file named study.log: \nit is the input file\n\n"))
        self.assertEqual(digest(self.path("study.log")), before)
        self.assertFilesAre(["study.log"])


@unittest.skipUnless(IS_ROOT, "needs root to run as another user and to give files away")
class Permissions(Folder):
    def setUp(self):
        super().setUp()
        os.chmod(self.dir, 0o777)
        os.chmod(self.pvx, 0o644)

    def test_write_protected_workbook_is_not_saved(self):
        workbook = self.make_workbook()
        os.chown(workbook, 65534, 65534)
        os.chmod(workbook, 0o444)
        before = digest(workbook)
        # Refused before the study is read: a file that is no study gets the workbook's refusal.
        with open(self.pvx, "w") as f:
            f.write("not a study\n")
        status, _ = self.convert("-o", workbook, "-l", "nobody.log", as_nobody=True)
        self.assertEqual(status, 1)
        self.assertEqual(digest(workbook), before)
        message = log_error(self.path("nobody.log"))
        self.assertIn("Permission denied (the workbook may not be written by this user); the study was not read.",
                      message)
        self.assertTrue(message.endswith(f' Could not save workbook "{workbook}"\n\n'), message)
        self.assertFalse([n for n in os.listdir(self.dir) if n.startswith(".")])

    def test_replaced_workbook_keeps_mode_and_owner(self):
        workbook = self.make_workbook()
        os.chown(workbook, 65534, 65534)
        os.chmod(workbook, 0o640)
        study(offset=7).write(self.pvx)
        self.assertEqual(self.convert("-o", workbook)[0], 0)
        info = os.stat(workbook)
        self.assertEqual((stat.S_IMODE(info.st_mode), info.st_uid, info.st_gid), (0o640, 65534, 65534))
        self.assertEqual(openpyxl.load_workbook(workbook)["Lk0Otflw"]["B2"].value, 7.0)

    def test_access_list_and_attributes_are_kept(self):
        # The workbook is root's; an access control list lets nobody write it, and nobody updates it.
        workbook = self.make_workbook()
        os.chmod(workbook, 0o640)
        acl = (struct.pack("<I", 2) + struct.pack("<HHI", 1, 6, 0xFFFFFFFF) + struct.pack("<HHI", 2, 6, 65534) +
               struct.pack("<HHI", 4, 4, 0xFFFFFFFF) + struct.pack("<HHI", 0x10, 6, 0xFFFFFFFF) +
               struct.pack("<HHI", 0x20, 0, 0xFFFFFFFF))
        os.setxattr(workbook, "system.posix_acl_access", acl)
        os.setxattr(workbook, "user.project", b"upper basin")
        before = {name: os.getxattr(workbook, name) for name in os.listxattr(workbook)}
        mode = stat.S_IMODE(os.stat(workbook).st_mode)
        study(offset=7).write(self.pvx)
        status, _ = self.convert("-o", workbook, "-l", "nobody.log", as_nobody=True)
        self.assertEqual(status, 0, log_error(self.path("nobody.log")))
        self.assertEqual({name: os.getxattr(workbook, name) for name in os.listxattr(workbook)}, before)
        self.assertEqual(stat.S_IMODE(os.stat(workbook).st_mode), mode)
        self.assertEqual(openpyxl.load_workbook(workbook)["Lk0Otflw"]["B2"].value, 7.0)

    def test_folder_that_may_not_be_written(self):
        os.chmod(self.dir, 0o755)
        with open(self.pvx, "w") as f:
            f.write("not a study\n")
        status, _ = self.convert("-o", "out.xlsx", "-l", "/tmp/gridwell-nobody.log", as_nobody=True)
        self.addCleanup(os.remove, "/tmp/gridwell-nobody.log")
        self.assertEqual(status, 1)
        self.assertIn("Permission denied (the folder", log_error("/tmp/gridwell-nobody.log"))
        self.assertFilesAre(["study.pvx"])


class Links(Folder):
    def test_link_stays_a_link(self):
        real_dir = os.path.join(self.dir, "real")
        os.mkdir(real_dir)
        workbook = self.make_workbook(os.path.join("real", "book.xlsx"))
        os.symlink(os.path.join("real", "book.xlsx"), self.path("link.xlsx"))
        study(offset=9).write(self.pvx)
        self.assertEqual(self.convert("-o", "link.xlsx")[0], 0)
        self.assertTrue(os.path.islink(self.path("link.xlsx")))
        self.assertEqual(openpyxl.load_workbook(workbook)["Lk0Otflw"]["B2"].value, 9.0)
        self.assertEqual(sorted(os.listdir(real_dir)), ["book.log", "book.xlsx"])

    def test_dangling_link_gets_its_workbook(self):
        os.symlink("made.xlsx", self.path("link.xlsx"))
        self.assertEqual(self.convert("-o", "link.xlsx")[0], 0)
        self.assertTrue(os.path.islink(self.path("link.xlsx")))
        self.assertIn("Header", openpyxl.load_workbook(self.path("made.xlsx")).sheetnames)

    def test_long_names_within_the_limit(self):
        name = "w" * 250 + ".xlsx"  # 255 bytes, the most a file name may have
        status, _ = self.convert("-o", name, "-l", "long.log")
        self.assertEqual(status, 0)
        self.assertEqual(openpyxl.load_workbook(self.path(name)).sheetnames[0], "Header")
        self.assertFilesAre(["study.pvx", name, "long.log"])


def limit_file_size(size):
    def apply():
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
        # As a shell's ulimit -f leaves it: a write past the limit would end the process unless
        # Gridwell ignores the signal itself.
        signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
    return apply


class AllOrNothing(Folder):
    """A save that fails at the end (here: a file size limit, as a full disk would) leaves
    an existing workbook as it was and removes one that the conversion created."""

    def setUp(self):
        super().setUp()
        study(runs=20, slots=40, count=200).write(self.pvx)

    def test_failed_update_keeps_the_workbook(self):
        workbook = self.make_workbook("book.xlsx", study(runs=2, slots=2, count=3))
        before = digest(workbook)
        status, _ = self.convert("-o", workbook, "-l", "book.log", preexec=limit_file_size(200_000))
        self.assertEqual(status, 1)
        self.assertEqual(digest(workbook), before)
        message = log_error(self.path("book.log"))
        self.assertIn("File too large", message)
        self.assertTrue(message.endswith(f' Could not save workbook "{workbook}"\n\n'))
        self.assertFilesAre(["study.pvx", "other.pvx", "other.log", "book.xlsx", "book.log"])

    def test_failed_creation_leaves_no_workbook(self):
        # Past the limit at the end, and at the very first save of the new workbook.
        for limit in (200_000, 2_000):
            with self.subTest(limit=limit):
                status, _ = self.convert("-o", "new.xlsx", "-l", "new.log", preexec=limit_file_size(limit))
                self.assertEqual(status, 1)
                self.assertIn("File too large", log_error(self.path("new.log")))
                self.assertFilesAre(["study.pvx", "new.log"])
                os.remove(self.path("new.log"))


class Interruptions(Folder):
    """Kills during the update of a workbook of 40 worksheets: afterwards the workbook is the
    old one byte for byte or the new one whole; SIGINT, SIGTERM and SIGHUP (a closed terminal)
    leave no stray file, and what SIGKILL leaves behind goes with the next conversion."""

    def setUp(self):
        super().setUp()
        self.old = study(runs=20, slots=40, count=365, offset=0.0)
        self.new = study(runs=20, slots=40, count=365, offset=0.5)
        self.new.write(self.pvx)
        self.workbook = self.make_workbook("book.xlsx", self.old)
        self.old_digest = digest(self.workbook)
        os.remove(self.path("other.pvx"))
        os.remove(self.path("other.log"))
        start = time.monotonic()
        self.assertEqual(self.convert("-o", "book.xlsx")[0], 0)
        self.duration = time.monotonic() - start
        self.new_digest_cells = self.cells()
        self.restore_old()

    def restore_old(self):
        self.old.write(self.path("old.pvx"))
        run("-i", "old.pvx", "-o", "book.xlsx", "-l", "old.log", cwd=self.dir)
        os.remove(self.path("old.pvx"))
        os.remove(self.path("old.log"))
        self.old_digest = digest(self.workbook)

    def cells(self):
        wb = openpyxl.load_workbook(self.workbook, read_only=True)
        picked = [(name, wb[name].cell(row=2 + k, column=2 + k % 20).value)
                  for k, name in enumerate(wb.sheetnames[1::7])]
        wb.close()
        return wb.sheetnames, picked

    def interrupt(self, sig, delay):
        process = self.start("-o", "book.xlsx", stdout=subprocess.DEVNULL)
        time.sleep(delay)
        process.send_signal(sig)
        return process.wait(timeout=120)

    def assertOldOrNew(self, context):
        if digest(self.workbook) != self.old_digest:
            self.assertEqual(self.cells(), self.new_digest_cells, context)
            return "new"
        return "old"

    def test_kills_leave_old_or_new(self):
        outcomes = []
        for sig in (signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            for fraction in (0.1, 0.3, 0.5, 0.7, 0.85, 0.95, 1.1):
                context = f"{signal.Signals(sig).name} at {fraction:.2f} of {self.duration:.2f} s"
                with self.subTest(context):
                    status = self.interrupt(sig, fraction * self.duration)
                    outcome = self.assertOldOrNew(context)
                    outcomes.append(outcome)
                    left = set(os.listdir(self.dir)) - {"study.pvx", "book.xlsx", "book.log"}
                    if sig != signal.SIGKILL:
                        self.assertEqual(left, set(), context)
                        if status == 1:
                            self.assertIn("The conversion was stopped", log_error(self.path("book.log")))
                    if outcome == "new" or sig == signal.SIGKILL:
                        self.restore_old()
                    self.assertEqual(set(os.listdir(self.dir)) - {"study.pvx", "book.xlsx", "book.log"}, set(),
                                     context + ": what a killed conversion left is removed by the next one")
        print(f"interruptions: {outcomes.count('old')} old, {outcomes.count('new')} new", file=sys.stderr)

    def test_killed_creation_leaves_nothing_or_the_whole_workbook(self):
        """SIGKILL at several moments of a conversion into a new workbook: no workbook at all, or
        the finished one; never one holding only an empty "Header"."""
        for fraction in (0.05, 0.2, 0.5, 0.8, 0.95, 1.2):
            with self.subTest(fraction=fraction):
                process = self.start("-o", "fresh.xlsx", "-l", "fresh.log", stdout=subprocess.DEVNULL)
                time.sleep(fraction * self.duration)
                process.send_signal(signal.SIGKILL)
                process.wait(timeout=120)
                if os.path.exists(self.path("fresh.xlsx")):
                    wb = openpyxl.load_workbook(self.path("fresh.xlsx"), read_only=True)
                    self.assertEqual(wb.sheetnames, self.new_digest_cells[0])
                    wb.close()
                    os.remove(self.path("fresh.xlsx"))
                for name in os.listdir(self.dir):
                    if name.startswith(".fresh.xlsx") or name == "fresh.log":
                        os.remove(self.path(name))

    def test_stopped_creation_leaves_no_workbook(self):
        process = self.start("-o", "fresh.xlsx", stdout=subprocess.DEVNULL)
        while not os.path.exists(self.path("fresh.log")):
            time.sleep(0.005)
        time.sleep(0.3 * self.duration)
        process.send_signal(signal.SIGINT)
        status = process.wait(timeout=120)
        if status == 1:
            self.assertIn("The conversion was stopped", log_error(self.path("fresh.log")))
            self.assertFalse(os.path.exists(self.path("fresh.xlsx")))
        self.assertEqual(set(os.listdir(self.dir)) - {"study.pvx", "book.xlsx", "book.log", "fresh.xlsx", "fresh.log"},
                         set())


class OneWriter(Folder):
    def start_holding_lock(self, workbook, lock):
        """A long conversion into workbook, once it holds its lock file."""
        study(runs=20, slots=40, count=365).write(self.pvx)
        first = self.start("-o", workbook, "-l", "first.log")
        deadline = time.monotonic() + 60
        while not os.path.exists(lock) and first.poll() is None and time.monotonic() < deadline:
            time.sleep(0.002)
        self.assertTrue(os.path.exists(lock), "the first conversion holds a lock while it runs")
        return first

    def ended_conversion_lock(self):
        """The lock file a conversion writes while it runs, named after a process that has ended,
        and that process's id."""
        study(runs=20, slots=40, count=365).write(self.path("long.pvx"))
        running = subprocess.Popen([GRIDWELL, "-i", "long.pvx", "-o", "other.xlsx", "-l", "other.log"],
                                   cwd=self.dir, env=headless_environment())
        other_lock = self.path(".other.xlsx.gridwell-lock")
        deadline = time.monotonic() + 60
        content = None
        while content is None and running.poll() is None and time.monotonic() < deadline:
            try:
                with open(other_lock, "rb") as f:
                    content = f.read() or None
            except FileNotFoundError:
                time.sleep(0.002)
        self.assertEqual(running.wait(timeout=120), 0)
        self.assertIsNotNone(content, "the conversion holds a lock while it runs")
        for name in ("long.pvx", "other.xlsx", "other.log"):
            os.remove(self.path(name))
        ended = subprocess.Popen(["true"])
        ended.wait()
        return str(ended.pid).encode() + content[content.index(b"\n"):], ended.pid

    def test_second_conversion_is_refused(self):
        first = self.start_holding_lock("book.xlsx", self.path(".book.xlsx.gridwell-lock"))
        status, _ = run("-i", self.pvx, "-o", "book.xlsx", "-l", "second.log", cwd=self.dir)
        self.assertEqual(first.wait(timeout=120), 0)
        self.assertEqual(status, 1)
        self.assertIn('The workbook "book.xlsx" is being written by another conversion',
                      log_error(self.path("second.log")))
        self.assertFilesAre(["study.pvx", "book.xlsx", "first.log", "second.log"])

    def test_backslash_names_the_same_workbook(self):
        # "sub\\book.xlsx" is sub/book.xlsx for the save, both lock checks and the messages alike.
        os.mkdir(self.path("sub"))
        first = self.start_holding_lock("sub/book.xlsx", self.path("sub/.book.xlsx.gridwell-lock"))
        status, _ = run("-i", self.pvx, "-o", "sub\\book.xlsx", "-l", "second.log", cwd=self.dir)
        self.assertEqual(first.wait(timeout=120), 0)
        self.assertEqual(status, 1)
        self.assertIn('The workbook "sub/book.xlsx" is being written by another conversion',
                      log_error(self.path("second.log")))
        with open(self.path("sub/.~lock.book.xlsx#"), "w") as f:
            f.write("Someone,someone,elsewhere,07.12.2026 10:00,file:///x;")
        before = digest(self.path("sub/book.xlsx"))
        status, _ = run("-i", self.pvx, "-o", "sub\\book.xlsx", cwd=self.dir)
        self.assertEqual(status, 1)
        self.assertIn('The workbook "sub/book.xlsx" is open in a spreadsheet application',
                      log_error(self.path("sub/book.log")))
        self.assertEqual(digest(self.path("sub/book.xlsx")), before)
        self.assertFilesAre(["study.pvx", "sub", "first.log", "second.log"])

    def test_names_that_are_not_utf8_are_claimed_like_any(self):
        """A workbook whose name and folder are not UTF-8: its conversion lock (named by a hash of the
        name's bytes) keeps a second conversion out, a spreadsheet application's lock file under the
        name's very bytes keeps the workbook as it is, and a file of that name that does not open as
        a workbook is never replaced."""
        folder = os.path.join(os.fsencode(self.dir), b"\xe9t\xe9")
        os.mkdir(folder)
        name = b"b\xfcch.xlsx"
        workbook = os.path.join(folder, name)
        lock = os.path.join(folder, b".gridwell-" + hashlib.sha1(name).hexdigest()[:16].encode() + b".lock")
        first = self.start_holding_lock(workbook, lock)
        status, _ = run("-i", self.pvx, "-o", workbook, "-l", "second.log", cwd=self.dir)
        self.assertEqual(first.wait(timeout=120), 0)
        self.assertEqual(status, 1)
        self.assertIn("is being written by another conversion", log_error(self.path("second.log")))
        self.assertEqual(sorted(os.listdir(folder)), [name])

        before = digest(workbook)
        for lock_name in (b".~lock." + name + b"#", b"~$" + name):
            with self.subTest(lock_name):
                with open(os.path.join(folder, lock_name), "w") as f:
                    f.write("someone,host\n")
                status, _ = run("-i", self.pvx, "-o", workbook, "-l", "third.log", cwd=self.dir)
                self.assertEqual(status, 1)
                self.assertIn("is open in a spreadsheet application", log_error(self.path("third.log")))
                self.assertEqual(digest(workbook), before)
                os.remove(os.path.join(folder, lock_name))

        with open(workbook, "wb") as f:
            f.write(b"not a workbook")
        status, _ = run("-i", self.pvx, "-o", workbook, "-l", "fourth.log", cwd=self.dir)
        self.assertEqual(status, 1)
        with open(workbook, "rb") as f:
            self.assertEqual(f.read(), b"not a workbook")
        self.assertEqual(sorted(os.listdir(folder)), [name])

    def test_lock_problems_are_told_apart(self):
        """A lock file that cannot be a lock names itself and what is wrong with it, is never written
        through, and leaves the workbook as it was; the lock of a conversion that has ended is taken over."""
        workbook = self.make_workbook("book.xlsx")
        before = digest(workbook)
        lock = self.path(".book.xlsx.gridwell-lock")
        target = self.path("target.txt")
        with open(target, "w") as f:
            f.write("keep\n")

        def write_lock(data):
            with open(lock, "wb") as f:
                f.write(data)

        cases = [
            ("empty", lambda: write_lock(b""), "cannot be read: it is empty or not a Gridwell lock file"),
            ("garbage", lambda: write_lock(b"no\xffpid\n"), "cannot be read"),
            ("folder", lambda: os.mkdir(lock), "is a folder"),
            ("link", lambda: os.symlink(target, lock), "is a symbolic link"),
            ("dangling link", lambda: os.symlink(self.path("nowhere"), lock), "is a symbolic link"),
        ]
        for name, make, words in cases:
            with self.subTest(name):
                make()
                self.assertEqual(self.convert("-o", "book.xlsx", "-l", "lock.log")[0], 1)
                message = log_error(self.path("lock.log"))
                self.assertIn(f'The lock file "{lock}" of the workbook "book.xlsx"', message)
                self.assertIn(words, message)
                self.assertEqual(digest(workbook), before)
                with open(target) as f:
                    self.assertEqual(f.read(), "keep\n")
                self.assertFalse(os.path.lexists(self.path("nowhere")))
                (os.rmdir if os.path.isdir(lock) and not os.path.islink(lock) else os.remove)(lock)

        # A real lock, as a running conversion writes it, then named after a process that has ended.
        stale, ended = self.ended_conversion_lock()
        write_lock(stale)
        self.assertEqual(self.convert("-o", "book.xlsx", "-l", "lock.log")[0], 0)
        self.assertFalse(os.path.lexists(lock))

        # Locks that killed conversions left beside other workbooks of the folder go too; the lock
        # of a process that runs stays.
        for name, pid in (("third", ended), ("fourth", os.getpid())):
            with open(self.path(f".{name}.xlsx.gridwell-lock"), "wb") as f:
                f.write(str(pid).encode() + stale[stale.index(b"\n"):])
        self.assertEqual(self.convert("-o", "book.xlsx", "-l", "lock.log")[0], 0)
        self.assertFalse(os.path.lexists(self.path(".third.xlsx.gridwell-lock")))
        self.assertTrue(os.path.exists(self.path(".fourth.xlsx.gridwell-lock")))

    @unittest.skipUnless(IS_ROOT, "needs root to set the immutable flag")
    def test_lock_that_cannot_be_removed(self):
        """The lock of a conversion that has ended, but immutable: it cannot be taken over, and the
        refusal names it and why, leaving the workbook and the lock as they were."""
        probe = self.path("probe")
        open(probe, "wb").close()
        if not shutil.which("chattr"):
            self.skipTest("needs chattr (e2fsprogs)")
        done = subprocess.run(["chattr", "+i", probe], capture_output=True, text=True)
        if done.returncode != 0:
            self.skipTest(f"the file system of {self.dir} takes no immutable flag: {done.stderr.strip()}")
        self.addCleanup(subprocess.run, ["chattr", "-i", probe], capture_output=True)
        subprocess.run(["chattr", "-i", probe], check=True)
        os.remove(probe)

        workbook = self.make_workbook("book.xlsx")
        before = digest(workbook)
        lock = self.path(".book.xlsx.gridwell-lock")
        stale, ended = self.ended_conversion_lock()
        with open(lock, "wb") as f:
            f.write(stale)
        subprocess.run(["chattr", "+i", lock], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", lock], capture_output=True)
        self.assertEqual(self.convert("-o", "book.xlsx", "-l", "lock.log")[0], 1)
        message = log_error(self.path("lock.log"))
        self.assertIn(f'The lock file "{lock}" of the workbook "book.xlsx" was left by a conversion that has '
                      f"ended (process {ended}), but it cannot be removed: Operation not permitted.", message)
        self.assertEqual(digest(workbook), before)
        with open(lock, "rb") as f:
            self.assertEqual(f.read(), stale)
        self.assertFilesAre(["study.pvx", "book.xlsx", "book.log", "lock.log", ".book.xlsx.gridwell-lock"])

    @unittest.skipUnless(IS_ROOT, "needs root to run as another user and to give files away")
    def test_lock_of_another_user_in_a_sticky_folder(self):
        """In a folder that everybody writes (mode 1777), only a file's owner removes it: the lock
        that root's ended conversion left cannot be taken over by nobody, who is told so."""
        why = nobody_cannot_run()
        if why:
            self.skipTest(why)
        stale, ended = self.ended_conversion_lock()
        shared = self.path("shared")
        os.mkdir(shared)
        workbook = self.make_workbook(os.path.join("shared", "book.xlsx"))
        nobody = pwd.getpwnam("nobody")
        os.chown(workbook, nobody.pw_uid, nobody.pw_gid)
        os.chmod(shared, 0o1777)
        os.chmod(self.dir, 0o755)
        os.chmod(self.pvx, 0o644)
        before = digest(workbook)
        lock = os.path.join(shared, ".book.xlsx.gridwell-lock")

        def convert_as_nobody():
            status, _ = run("-i", self.pvx, "-o", "book.xlsx", "-l", "lock.log", cwd=shared, as_nobody=True)
            return status, log_error(os.path.join(shared, "lock.log"))

        cases = [
            (0o644, f"was left by a conversion that has ended (process {ended}), but it cannot be removed: "
                    "Operation not permitted."),
            # Not readable by nobody: not taken for an empty lock or one of another program.
            (0o600, "cannot be read: Permission denied."),
        ]
        for mode, words in cases:
            with self.subTest(mode=oct(mode)):
                with open(lock, "wb") as f:
                    f.write(stale)
                os.chmod(lock, mode)
                status, message = convert_as_nobody()
                self.assertEqual(status, 1)
                self.assertIn(f'The lock file "{lock}" of the workbook "book.xlsx" {words}', message)
                self.assertNotIn("another conversion", message)
                self.assertIn(" It belongs to the user root: if no conversion into the workbook runs, have them "
                              "or an administrator remove it, and convert again.", message)
                self.assertEqual(digest(workbook), before)
                with open(lock, "rb") as f:
                    self.assertEqual(f.read(), stale)
                self.assertEqual(os.stat(lock).st_uid, 0)
                self.assertEqual(sorted(os.listdir(shared)),
                                 [".book.xlsx.gridwell-lock", "book.log", "book.xlsx", "lock.log"])
                os.remove(lock)

        # The same lock, nobody's own, is taken over.
        with open(lock, "wb") as f:
            f.write(stale)
        os.chown(lock, nobody.pw_uid, nobody.pw_gid)
        status, message = convert_as_nobody()
        self.assertEqual(status, 0, message)
        self.assertFalse(os.path.lexists(lock))
        self.assertNotEqual(digest(workbook), before)

    def test_workbook_open_in_a_spreadsheet_application(self):
        workbook = self.make_workbook("book.xlsx")
        before = digest(workbook)
        for lock_name in (".~lock.book.xlsx#", "~$book.xlsx"):
            with self.subTest(lock_name):
                with open(self.path(lock_name), "w") as f:
                    f.write("someone,host\n")
                self.assertEqual(self.convert("-o", "book.xlsx")[0], 1)
                message = log_error(self.path("book.log"))
                self.assertIn(f'its lock file "{self.path(lock_name)}"', message)
                self.assertIn("Close the workbook there and convert again.", message)
                self.assertEqual(digest(workbook), before)
                os.remove(self.path(lock_name))


class Inputs(Folder):
    def error_of(self, text):
        with open(self.pvx, "wb") as f:
            f.write(text)
        status, _ = self.convert("-o", "out.xlsx", "-l", "out.log")
        if status != 0:
            self.assertFalse(os.path.exists(self.path("out.xlsx")), "nothing is written for a file that fails")
        return status, log_error(self.path("out.log"))

    def test_byte_order_mark(self):
        with open(self.pvx, "rb") as f:
            plain = f.read()
        with open(self.pvx, "wb") as f:
            f.write(b"\xEF\xBB\xBF" + plain)
        self.assertEqual(self.convert("-o", "out.xlsx")[0], 0)
        wb = openpyxl.load_workbook(self.path("out.xlsx"))
        self.assertEqual(wb["Header"]["E2"].value, 2)
        self.assertEqual(len(wb.sheetnames), 4)

    def test_refused_inputs(self):
        with open(self.pvx, "rb") as f:
            good = f.read()
        values = b"\n".join(str(0 + 0 + t / 4).encode() for t in range(5))
        cases = [  # (what, changed file, message)
            ("empty run count", good.replace(b"number_of_runs:2", b"number_of_runs:"),
             "Cannot read PVX file: Invalid number of runs: "),
            ("run count not a number", good.replace(b"number_of_runs:2", b"number_of_runs:two"),
             "Cannot read PVX file: Invalid number of runs: two"),
            ("timestep count out of range", good.replace(b"time_steps:5", b"time_steps:99999999999", 1),
             "Cannot read PVX file: Invalid number of timesteps: 99999999999"),
            ("run count missing", good.replace(b"number_of_runs:2\n", b""),
             "Cannot read PVX file: Missing number of runs"),
            ("value line missing", good.replace(values, values.rsplit(b"\n", 1)[0], 1),
             "Cannot read PVX file: Slot Lake 0.Outflow of run 0 (trace 1) does not have 5 values"),
            ("value line extra", good.replace(values, values + b"\n7", 1),
             "Cannot read PVX file: Slot Lake 0.Outflow of run 0 (trace 1) does not have 5 values"),
            ("endless line", good.replace(b"owner:tester", b"owner:" + b"x" * (17 << 20)),
             "Cannot read PVX file: line 2 is longer than 16 MiB"),
        ]
        for what, text, message in cases:
            with self.subTest(what):
                status, logged = self.error_of(text)
                self.assertEqual(status, 1)
                # The reader's text first, then where in the file.
                self.assertTrue(logged == message + "\n\n" or logged.startswith(message + " (line "), logged)

    def test_preamble_only_converts(self):
        status, message = self.error_of(b"name:Nothing\nEND_PACKAGE_PREAMBLE\n")
        self.assertEqual((status, message), (0, None))


class Names(Folder):
    def test_slot_names_a_worksheet_cannot_hold(self):
        pairs = [("Elevation", " [ft]"), ("Inflow", "/Outflow"), ("", "*"), ("", "?"), ("'Lake", "'"),
                 ("ae", "iou"), ("History", ""), ("Lak", "\U0001F30A" * 20)]
        study(names=pairs).write(self.pvx)
        expected = {
            # The full name's cut would split a surrogate pair: it ends one unit early.
            "Full": ["Elevation _ft_", "Inflow_Outflow", "_", "1_~", "Lake", "aeiou", "1History~",
                     "Lak" + "\U0001F30A" * 13 + "~"],
            "Short": ["Elvtn_ft_", "Inflw_Otflw", "_", "1_~", "Lk", "Slot5", "Hstry", "Lk" + "\U0001F30A" * 14 + "~"],
        }
        for preference, names in expected.items():
            with self.subTest(preference):
                self.assertEqual(self.convert("-o", f"{preference}.xlsx", "-n", preference)[0], 0)
                wb = openpyxl.load_workbook(self.path(f"{preference}.xlsx"))
                self.assertEqual(wb.sheetnames, ["Header"] + names)
                self.assertEqual(wb[names[0]]["A1"].value, "Elevation [ft]")


class Limits(Folder):
    def test_too_large_for_a_worksheet(self):
        cases = [  # (package, options, message)
            (study(runs=257, slots=1, count=2), ["-o", "book.xls", "-a", "1"],
             'The study needs 258 columns on worksheet "Lk0Otflw"; a worksheet holds at most 256. '
             "Arrangement 4 puts the runs in rows."),
            (study(runs=1, slots=2, count=16384), ["-o", "book.xlsx", "-a", "2"],
             'The study needs 16,385 columns on worksheet "Run0"; a worksheet holds at most 16,384. '
             "Arrangement 0 puts the timesteps in rows."),
            (Package(study().runs, description="d" * 40000), ["-o", "book.xlsx"],
             'The study needs 40,000 characters in one cell on worksheet "Header" (the package description); '
             "a cell holds at most 32,767."),
        ]
        existing = self.make_workbook("book.xlsx")
        before = digest(existing)
        for package, options, message in cases:
            with self.subTest(message[:40]):
                package.write(self.pvx)
                self.assertEqual(self.convert(*options, "-l", "book.log")[0], 1)
                self.assertEqual(log_error(self.path("book.log")), message + "\n\n")
                self.assertEqual(digest(existing), before)
                self.assertFalse(os.path.exists(self.path("book.xls")))


class Causes(Folder):
    def test_failures_name_their_cause(self):
        os.mkdir(self.path("folder.xlsx"))
        with open(self.path("text.xlsx"), "w") as f:
            f.write("not a workbook\n")
        with open(self.path("sealed.xlsx"), "wb") as f:  # a password-protected workbook
            f.write(compoundfile.build([("EncryptionInfo", bytes(8)), ("EncryptedPackage", bytes(8))]))
        long_name = "n" * 300 + ".xlsx"
        cases = [  # (workbook, cause in the line before the message, message)
            # A file that is there but does not open is not replaced by a new workbook.
            ("folder.xlsx", "it is a folder", ' Could not open workbook "folder.xlsx"'),
            ("text.xlsx", "is not a workbook", ' Could not open workbook "text.xlsx"'),
            ("sealed.xlsx", "encrypted", ' Could not open workbook "sealed.xlsx"'),
            ("missing/out.xlsx", "No such file or directory",
             ' Could not create and save workbook to path "missing/out.xlsx"'),
            (long_name, "File name too long", f' Could not create and save workbook to path "{long_name}"'),
        ]
        for workbook, cause, message in cases:
            with self.subTest(workbook[:20]):
                self.assertEqual(self.convert("-o", workbook, "-l", "causes.log")[0], 1)
                *causes, last = log_error(self.path("causes.log")).rstrip("\n").split("\n")
                self.assertEqual(last, message)
                self.assertIn(cause, "\n".join(causes))
                self.assertNotIn("already exists", "\n".join(causes))



class HostileFiles(Folder):
    def test_deeply_nested_xml_is_refused(self):
        """A style sheet nesting 100,000 elements in a font is damaged, not a crash."""
        made = self.make_workbook("made.xlsx")
        nested = self.path("nested.xlsx")
        deep = b"<x>" * 100_000 + b"</x>" * 100_000
        rewrite(made, nested, {"xl/styles.xml": lambda body: body.replace(b"</font>", deep + b"</font>", 1)})
        before = digest(nested)
        self.assertEqual(self.convert("-o", "nested.xlsx", "-l", "nested.log")[0], 1)
        self.assertIn('The part "xl/styles.xml" nests its elements more than 256 deep',
                      log_error(self.path("nested.log")))
        self.assertEqual(digest(nested), before)

    def test_long_directory_chain_is_refused(self):
        """A compound file whose directory chains 100,000 entries is damaged, not a crash, and is
        refused at once; a chain of a few hundred opens (and holds no workbook stream)."""
        for count, words in [(100_000, "links more than 1000 entries in a row"), (300, "no workbook stream")]:
            with self.subTest(count=count):
                path = self.path(f"chain{count}.xls")
                with open(path, "wb") as f:
                    f.write(compoundfile.long_directory(count))
                before = digest(path)
                started = time.monotonic()
                self.assertEqual(self.convert("-o", path, "-l", "chain.log")[0], 1)
                self.assertLess(time.monotonic() - started, 30)
                self.assertIn(words, log_error(self.path("chain.log")))
                self.assertEqual(digest(path), before)

    def test_parts_that_would_hold_gigabytes_are_refused(self):
        """A few hundred kilobytes that would become millions of cells, strings or a huge text
        are refused as too large within seconds, the workbook unchanged."""
        def rows(first, count, cells):
            return b"".join(b'<row r="%d">' % r + b"<c/>" * cells + b"</row>" for r in range(first, first + count))

        strings = (b'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">' +
                   b"<si><t>a</t></si>" * 5_000_000 + b"</sst>")
        cases = [
            ("empty cells", "xl/worksheets/sheet1.xml",
             lambda body: body.replace(b"</sheetData>", rows(900, 2000, 16384) + b"</sheetData>", 1),
             "inflates to more than 200 times its stored size"),
            ("one-letter strings", "xl/sharedStrings.xml", lambda body: strings,
             "inflates to more than 200 times its stored size"),
            ("spaces", "xl/worksheets/sheet1.xml",
             lambda body: body.replace(b"</sheetData>", b" " * 100_000_000 + b"</sheetData>", 1),
             "inflates to more than 200 times its stored size"),
            ("empty cells below the size floor", "xl/worksheets/sheet1.xml",
             lambda body: body.replace(b"</sheetData>", rows(900, 1000, 15000) + b"</sheetData>", 1),
             "XML elements, more than its stored size of"),
        ]
        made = self.make_workbook("made.xlsx")
        for what, part, change, words in cases:
            with self.subTest(what):
                hostile = self.path("hostile.xlsx")
                rewrite(made, hostile, {part: change})
                before = digest(hostile)
                started = time.monotonic()
                self.assertEqual(self.convert("-o", "hostile.xlsx", "-l", "hostile.log")[0], 1)
                self.assertLess(time.monotonic() - started, 30)
                self.assertIn(words, log_error(self.path("hostile.log")))
                self.assertIn("refused", log_error(self.path("hostile.log")))
                self.assertEqual(digest(hostile), before)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
