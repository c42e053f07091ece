#!/usr/bin/env bash
# Installs every Debian package the server and its tests need. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev libgl-dev
  unixodbc unixodbc-dev tdsodbc
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-format
  clang libclang-rt-14-dev
  libsqlite3-dev
  # The console's Chinese texts, and the display its screenshot script draws on.
  fonts-wqy-microhei xvfb
  libzip-dev zip
  # The cloud client, and the Han readings its pinyin initials table is generated from.
  libcurl4-openssl-dev nlohmann-json3-dev unicode-data
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The SMS parity test runs an npm codec. A Node.js that is already there (from
# Debian or elsewhere, with its own npm) is used as it is.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
