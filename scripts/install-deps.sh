#!/usr/bin/env bash
# Installs the Debian 12 packages Telvora needs to build and test. Idempotent:
# quick when everything is present. Runs as root, or through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++ git
  libasio-dev zlib1g-dev libplist-dev libcurl4-openssl-dev libexpat1-dev libssl-dev
  # the update tests sign with the openssl tool; the update benchmark compares with curl
  openssl curl
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  ccache
  # the desktop backends, and the X11 session the desktop tests run in
  qt6-base-dev libx11-dev libxtst-dev libxfixes-dev libxkbcommon-dev libxkbcommon-x11-dev libxcb1-dev
  libsystemd-dev libsecret-1-dev
  # the mail tests: a real SMTP server on loopback and the desktop mail-client road
  python3-aiosmtpd xdg-utils
  xvfb xauth openbox trayer dbus dbus-x11 x11-utils xdotool xclip xterm fonts-dejavu-core
  # the Debian package: its checks and the minimal root it is installed into
  dpkg-dev fakeroot lintian desktop-file-utils debootstrap pkexec
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
