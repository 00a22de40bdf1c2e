#!/usr/bin/env bash
# Installs the independent workbook readers that the binary-workbook tests compare against:
# SheetJS (npm package "xlsx", run with Debian's nodejs) into tests/readers/node_modules, and
# LibreOffice Calc without a display. Not needed to build or run Gridwell; tests skip without them.
# Idempotent: what is present is not fetched again.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# A node that came with its own npm (as some node packages do) is used as it is: Debian's npm
# would conflict with it.
missing=()
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
command -v soffice >/dev/null 2>&1 || missing+=(libreoffice-calc-nogui)

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$here/tests/readers/node_modules/xlsx/package.json" ]; then
  (cd "$here/tests/readers" && npm install --no-audit --no-fund --loglevel=error)
fi
