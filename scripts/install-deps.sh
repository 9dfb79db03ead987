#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing; with --bench also
# what the benchmarks compare against. With --list it only prints the packages, one a line: the
# dependency check (scripts/check-deps.py, run by ctest) reads the list from there.
set -euo pipefail

# qt6-charts-dev needs Qt6OpenGL's CMake files without depending on libqt6opengl6-dev.
# python3 runs the dependency check; LibreOffice (headless) opens the exported spreadsheet and
# chromium-headless-shell the exported page. postgresql gives the tests a throwaway server
# cluster (scripts/pg-cluster.sh) and libqt6sql6-psql is Qt's driver for it; libpq-dev lets the
# data layer read the state of the driver's connections.
packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev python3
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
  qt6-translations-l10n qt6-l10n-tools libgl-dev libxkbcommon-dev
  libsqlite3-dev libsodium-dev zlib1g-dev libfreexl-dev
  libqt6sql6-psql libpq-dev postgresql
  xvfb xauth desktop-file-utils poppler-utils libreoffice-calc-nogui chromium-headless-shell
)
list_only=false
for arg in "$@"; do
  case "$arg" in
    --bench) packages+=(python3-pandas) ;;
    --list) list_only=true ;;
    *)
      echo "usage: $0 [--bench] [--list]" >&2
      exit 2
      ;;
  esac
done
if $list_only; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "Missing packages and neither root nor sudo: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
