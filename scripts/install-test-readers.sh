#!/usr/bin/env bash
# Installs the independent workbook readers that the tests compare against: SheetJS (npm package
# "xlsx", run with Debian's nodejs) into tests/readers/node_modules, LibreOffice Calc without a
# display, Gnumeric (ssconvert), orcus (orcus-xlsx) and FreeXL. Not needed to build or run
# Gridwell; tests skip without them.
# Idempotent: what is present is not fetched again.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# A node that came with its own npm (as some node packages do) is used as it is: Debian's npm
# would conflict with it.
missing=()
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
command -v soffice >/dev/null 2>&1 || missing+=(libreoffice-calc-nogui)
command -v ssconvert >/dev/null 2>&1 || missing+=(gnumeric)
command -v orcus-xlsx >/dev/null 2>&1 || missing+=(liborcus-bin)
# xlrd reads .xls; xlwt writes the .xls workbooks that the update tests start from; olefile
# reads the streams of their compound files; FreeXL is one more .xls reader (through ctypes);
# pdftotext reads what LibreOffice prints.
for p in python3-xlrd python3-xlwt python3-olefile libfreexl1 poppler-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

apt_install "${missing[@]}"

if [ ! -f "$here/tests/readers/node_modules/xlsx/package.json" ]; then
  (cd "$here/tests/readers" && npm install --no-audit --no-fund --loglevel=error)
fi
