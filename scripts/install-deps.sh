#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Safe to run repeatedly: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev libqt6opengl6-dev
  qcoro-qt6-dev libsqlitecpp-dev libsqlite3-dev qtkeychain-qt6-dev
  libgtest-dev libgmock-dev
  ffmpeg curl dbus gnome-keyring
  xvfb xauth trayer fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO=sudo
  else
    echo "error: these Debian packages are missing and installing them needs root:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
