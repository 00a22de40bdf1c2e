"""What the server's test scripts share: running server_tool on a copy of a workbook made by
openpyxl, and the entries of two packages that differ."""
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workbookfile"))
from zipparts import raw_entries  # noqa: E402


def run(tool, path, steps):
    """Opens path in the server and runs the steps (see server_tool.cpp); the result of each step
    as a dict {"ok", "value"} or {"ok", "code", "description"}, the opening's first."""
    res = subprocess.run([tool, json.dumps([["open", path], *steps])], capture_output=True, text=True)
    if res.returncode != 0:
        raise AssertionError(res.stdout + res.stderr)
    return [json.loads(line) for line in res.stdout.splitlines()]


def run_on_copy(tool, source, folder, name, steps):
    """run() on a copy of source named name in folder; the copy's path and the results of the steps."""
    path = os.path.join(folder, name)
    shutil.copyfile(source, path)
    results = run(tool, path, steps)
    if not results[0]["ok"]:
        raise AssertionError(results[0])
    return path, results[1:]


def changed_entries(before, after):
    """Names of the entries whose stored bytes differ between two packages, or that one lacks."""
    a, b = raw_entries(before), raw_entries(after)
    return {name for name in set(a) | set(b) if a.get(name) != b.get(name)}
