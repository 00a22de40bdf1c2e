"""Saves over files that the user protects, owns, links or names at the limits, and into places
where saving cannot work: write protection is honoured, owners, groups, permission bits and
symbolic links stay, and every failure names the file and the system's reason while the old
file stays as it was. Cases that need another user or a mount run only as root."""
import os
import shutil
import stat
import subprocess
import sys
import unittest

import openpyxl
from tooltest import ToolTest, content, run

TOOL = sys.argv.pop(1)
IS_ROOT = os.geteuid() == 0
OTHER_UID, OTHER_GID, RUNNER_UID, RUNNER_GID = 41234, 44321, 45678, 45679


def put_number(source, target, value, **user):
    """Opens source, writes value into Data!A1 and saves it as target (the same file when equal)."""
    return run(TOOL, "put-number", source, target, "Data", 1, 1, value, **user)


def a1(path):
    wb = openpyxl.load_workbook(path)
    value = wb["Data"]["A1"].value
    wb.close()
    return value


def as_user(uid, gid, groups=()):
    return {"user": uid, "group": gid, "extra_groups": list(groups)}


class SaveTargets(ToolTest):
    tool, sample_command, count = TOOL, "sample", 0

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        os.chmod(cls.tmp.name, 0o755)  # other users reach the folders made below

    def folder(self, mode=0o755):
        SaveTargets.count += 1
        path = self.path(f"case{self.count}")
        os.mkdir(path)
        os.chmod(path, mode)
        return path

    def book(self, folder, name="book.xlsx"):
        path = os.path.join(folder, name)
        shutil.copy(self.sample, path)
        return path

    def small_mount(self, size="256k"):
        """A fresh tmpfs, or a skip where mounting is not allowed."""
        path = self.folder()
        res = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs", path],
                             capture_output=True)
        if res.returncode != 0:
            self.skipTest("cannot mount a tmpfs here")
        self.addCleanup(subprocess.run, ["umount", "-l", path], capture_output=True)
        return path

    def assertCannot(self, rc, out, *words):
        self.assertEqual(rc, 1, out)
        self.assertTrue(out.startswith("ERROR FileSystem Cannot "), out)
        for word in words:
            self.assertIn(word, out)

    def assertNoTemporaryFiles(self, *folders):
        for folder in folders:
            self.assertEqual([n for n in os.listdir(folder) if n.startswith(".gridwell-save-")], [], folder)

    def test_symbolic_links_stay_links(self):
        cases = [
            # (name, link text relative to the link's folder, the file it finally names)
            ("same folder", "book.xlsx", "book.xlsx"),
            ("absolute", None, "book.xlsx"),
            ("chain across folders", "../b/step.xlsx", "../c/book.xlsx"),
            ("dangling, file made by the save", "new/made.xlsx", "new/made.xlsx"),
        ]
        for name, link_text, final in cases:
            with self.subTest(name):
                root = self.folder()
                for sub in ("a", "b", "c", "a/new"):
                    os.makedirs(os.path.join(root, sub), exist_ok=True)
                target = os.path.normpath(os.path.join(root, "a", final))
                if not name.startswith("dangling"):
                    shutil.copy(self.sample, target)
                link = os.path.join(root, "a", "link.xlsx")
                text = link_text or target
                if name.startswith("chain"):
                    os.symlink("../c/book.xlsx", os.path.join(root, "b", "step.xlsx"))
                os.symlink(text, link)
                source = link if os.path.exists(target) else self.sample
                rc, out = put_number(source, link, 77)
                self.assertEqual((rc, out), (0, ""), name)
                self.assertTrue(os.path.islink(link))
                self.assertEqual(os.readlink(link), text)
                self.assertEqual(a1(target), 77)
                self.assertNoTemporaryFiles(*(os.path.join(root, s) for s in ("a", "b", "c", "a/new")))

    def test_save_as_through_a_link_never_replaces_another_file(self):
        folder = self.folder()
        other = self.book(folder, "someone-elses.xlsx")
        before = content(other)
        os.symlink("someone-elses.xlsx", os.path.join(folder, "link.xlsx"))
        rc, out = put_number(self.sample, os.path.join(folder, "link.xlsx"), 5)
        self.assertCannot(rc, out, "already exists")
        self.assertEqual(content(other), before)

    def test_temporary_file_is_made_beside_the_final_file(self):
        # Across file systems a rename fails: a temporary file beside the link could not be renamed.
        elsewhere = self.small_mount("16m")
        target = self.book(elsewhere)
        link = os.path.join(self.folder(), "link.xlsx")
        os.symlink(target, link)
        rc, out = put_number(link, link, 12)
        self.assertEqual((rc, out), (0, ""))
        self.assertEqual(a1(target), 12)
        self.assertTrue(os.path.islink(link))

    def test_long_names(self):
        folder = self.folder()
        longest = os.path.join(folder, "n" * 250 + ".xlsx")  # 255 bytes, the usual limit
        rc, out = put_number(self.sample, longest, 3)
        self.assertEqual((rc, out), (0, ""))
        rc, out = put_number(longest, longest, 4)
        self.assertEqual((rc, out), (0, ""))
        self.assertEqual(a1(longest), 4)
        too_long = os.path.join(folder, "n" * 251 + ".xlsx")
        self.assertCannot(*put_number(self.sample, too_long, 5), "File name too long", too_long)
        self.assertCannot(*put_number(too_long, os.path.join(folder, "x.xlsx"), 5), "File name too long")
        self.assertNoTemporaryFiles(folder)

    def test_a_folder_is_no_save_target(self):
        folder = self.folder()
        os.mkdir(os.path.join(folder, "sub.xlsx"))
        self.assertCannot(*put_number(self.sample, os.path.join(folder, "sub.xlsx"), 1), "is a folder")

    @unittest.skipUnless(IS_ROOT, "needs root to act as other users")
    def test_write_protection_and_ownership(self):
        cases = [
            # (name, file mode, file uid, file gid, runner (uid, gid, extra groups) or None for root,
            #  expected owner afterwards or the refusal's reason)
            ("read-only file of the runner", 0o444, RUNNER_UID, RUNNER_GID, (RUNNER_UID, RUNNER_GID, ()),
             "Permission denied"),
            ("another user's file", 0o644, OTHER_UID, OTHER_GID, (RUNNER_UID, RUNNER_GID, ()), "Permission denied"),
            ("root writes a read-only file", 0o444, OTHER_UID, OTHER_GID, None, (OTHER_UID, OTHER_GID)),
            ("root keeps owner and group", 0o640, OTHER_UID, OTHER_GID, None, (OTHER_UID, OTHER_GID)),
            ("a group member keeps the group", 0o666, OTHER_UID, OTHER_GID,
             (RUNNER_UID, RUNNER_GID, (OTHER_GID,)), (RUNNER_UID, OTHER_GID)),
            ("an outsider makes the file its own", 0o666, OTHER_UID, OTHER_GID, (RUNNER_UID, RUNNER_GID, ()),
             (RUNNER_UID, RUNNER_GID)),
        ]
        for name, mode, uid, gid, runner, expected in cases:
            with self.subTest(name):
                folder = self.folder(0o777)
                target = self.book(folder)
                os.chown(target, uid, gid)
                os.chmod(target, mode)
                before = content(target)
                user = as_user(*runner) if runner else {}
                rc, out = put_number(target, target, 9, **user)
                st = os.stat(target)
                if isinstance(expected, str):
                    self.assertCannot(rc, out, expected, target)
                    self.assertEqual(content(target), before)
                    self.assertEqual((st.st_uid, st.st_gid), (uid, gid))
                else:
                    self.assertEqual((rc, out), (0, ""), name)
                    self.assertEqual(a1(target), 9)
                    self.assertEqual((st.st_uid, st.st_gid), expected)
                self.assertEqual(stat.S_IMODE(st.st_mode), mode)
                self.assertNoTemporaryFiles(folder)

    @unittest.skipUnless(IS_ROOT, "needs root to act as another user")
    def test_folder_without_write_permission(self):
        folder = self.folder(0o755)
        target = self.book(folder)
        os.chmod(target, 0o666)
        rc, out = put_number(target, target, 2, **as_user(RUNNER_UID, RUNNER_GID))
        self.assertCannot(rc, out, "cannot create a file in the folder", "Permission denied")
        rc, out = put_number(self.sample, os.path.join(folder, "new.xlsx"), 2, **as_user(RUNNER_UID, RUNNER_GID))
        self.assertCannot(rc, out, "Permission denied")

    @unittest.skipUnless(IS_ROOT, "needs root to act as another user")
    def test_unreadable_workbook(self):
        target = self.book(self.folder())
        os.chmod(target, 0o600)
        self.assertCannot(*self.run_tool("open", target, **as_user(RUNNER_UID, RUNNER_GID)), target,
                           "Permission denied")

    def test_read_only_file_system(self):
        mount = self.small_mount("16m")
        target = self.book(mount)
        before = content(target)
        subprocess.run(["mount", "-o", "remount,ro", mount], check=True)
        self.assertCannot(*put_number(target, target, 1), "Read-only file system", target)
        self.assertCannot(*put_number(self.sample, os.path.join(mount, "new.xlsx"), 1), "Read-only file system")
        self.assertEqual(content(target), before)

    def test_full_disk(self):
        mount = self.small_mount("256k")
        target = self.book(mount)
        before = content(target)
        # 20,000 rows of 50 numbers take megabytes.
        rc, out = self.run_tool("save-signal", target, 20000, 0, "default", timeout=300)
        self.assertEqual(rc, 1, out)
        self.assertIn("ERROR FileSystem Cannot write \"" + target, out)
        self.assertIn("No space left on device", out)
        # The figures a user needs to make room.
        self.assertRegex(out, r"The save had written \d+\.\d MB of the new workbook when the space ran out, beside "
                              r"the old workbook's \d+\.\d MB, which stays until the new one replaces it; the folder "
                              r"\".*\" has \d+\.\d MB free\.")
        self.assertEqual(content(target), before)
        self.assertNoTemporaryFiles(mount)


if __name__ == "__main__":
    unittest.main()
