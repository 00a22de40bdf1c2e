"""The independent workbook readers of the binary workbook tests: SheetJS (node, tests/readers)
and LibreOffice Calc (soffice), installed by scripts/install-test-readers.sh."""
import json
import os
import shutil
import subprocess


def have_sheetjs(readers):
    return shutil.which("node") and os.path.isfile(os.path.join(readers, "node_modules", "xlsx", "package.json"))


def sheetjs(readers, paths):
    """What SheetJS reads from each workbook (tests/readers/dump.js), by path."""
    res = subprocess.run(["node", os.path.join(readers, "dump.js"), *paths], capture_output=True, text=True,
                         cwd=readers, timeout=600)
    if res.returncode != 0:
        raise AssertionError("SheetJS failed: " + res.stderr)
    return json.loads(res.stdout)


def libreoffice_xlsx(paths, outdir, profile, to="xlsx"):
    """LibreOffice's .xlsx (or `to`) export of each workbook, by input path."""
    os.makedirs(outdir, exist_ok=True)
    res = subprocess.run(["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" + profile,
                          "--convert-to", to, "--outdir", outdir, *paths],
                         capture_output=True, text=True, timeout=900)
    out = {}
    for p in paths:
        converted = os.path.join(outdir, os.path.splitext(os.path.basename(p))[0] + "." + to)
        if not os.path.isfile(converted):
            raise AssertionError(f"LibreOffice did not convert {p}: {res.stdout}{res.stderr}")
        out[p] = converted
    return out
