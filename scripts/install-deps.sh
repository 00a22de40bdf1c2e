#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Gridwell need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-5compat-dev libgl-dev libqt6svg6
  libzip-dev libpugixml-dev zlib1g-dev libdeflate-dev
  python3 python3-openpyxl
  desktop-file-utils xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
