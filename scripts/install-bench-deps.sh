#!/usr/bin/env bash
# Installs what the benchmarks use beyond the product's own dependencies: libxlsxwriter,
# the reference writer that the workbook and end-to-end benchmarks time Gridwell against.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! dpkg-query -W -f='${Status}' libxlsxwriter-dev 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends libxlsxwriter-dev
fi
