"""Every workbook a test sees the executable write is opened again: by Gridwell's own engine
(xlsx_tool open, whose path the build gives in GRIDWELL_XLSX_TOOL) and by an independent reader
(openpyxl for .xlsx and .xlsm, xlrd for .xls, SheetJS for .xlsb). A workbook that does not open
again fails the test that wrote it."""
import os
import shutil
import subprocess

import openpyxl
import xlrd

TOOL = os.environ.get("GRIDWELL_XLSX_TOOL")
READERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "readers")


def written_workbook(args, cwd=None):
    """The workbook path of a command line (its -o value), against the folder it ran in."""
    args = [os.fsdecode(a) if isinstance(a, bytes) else str(a) for a in args]
    for i, arg in enumerate(args[:-1]):
        if arg == "-o":
            path = args[i + 1].replace("\\", "/")
            return path if os.path.isabs(path) else os.path.join(cwd or os.getcwd(), path)
    return None


def sheetjs_opens(path):
    if not (shutil.which("node") and os.path.isdir(os.path.join(READERS, "node_modules", "xlsx"))):
        return True
    script = "const X=require('xlsx');const w=X.readFile(process.argv[1]);if(!w.SheetNames.length)process.exit(2);"
    return subprocess.run(["node", "-e", script, path], cwd=READERS, capture_output=True, timeout=300).returncode == 0


def check(path):
    """Raises AssertionError when the workbook at path does not open again."""
    if not path or not os.path.isfile(path):
        return
    if TOOL:
        done = subprocess.run([TOOL, "open", path], capture_output=True, text=True, timeout=600)
        if done.returncode != 0:
            raise AssertionError(f"Gridwell's engine cannot open {path} again: {done.stderr}")
    extension = os.path.splitext(path)[1].lower()
    try:
        if extension in (".xlsx", ".xlsm"):
            openpyxl.load_workbook(path, read_only=True).close()
        elif extension == ".xls":
            xlrd.open_workbook(path, on_demand=True).release_resources()
        elif extension == ".xlsb" and not sheetjs_opens(path):
            raise AssertionError("SheetJS cannot read it")
    except Exception as error:  # any reader's failure is the workbook's
        raise AssertionError(f"{path} does not open again in an independent reader: {error}") from error


def check_run(args, returncode, cwd=None):
    """After a successful conversion, the workbook it wrote opens again."""
    if returncode == 0:
        check(written_workbook(args, cwd))
