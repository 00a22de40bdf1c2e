#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Gridwell need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"

packages=(
  build-essential cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-5compat-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libqt6svg6
  libzip-dev libpugixml-dev zlib1g-dev libdeflate-dev libgsf-1-dev
  python3 python3-openpyxl
  desktop-file-utils xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

apt_install "${missing[@]}"
