#!/usr/bin/env bash
# Installs every Debian package the build, the tool and the tests need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libhidapi-dev libudev-dev
  googletest libgtest-dev libgmock-dev
  umockdev libumockdev-dev
  libfreexl-dev python3-xlrd
  clang libclang-rt-14-dev
  fonts-crosextra-carlito fonts-dejavu-core fonts-wqy-microhei
  dpkg-dev desktop-file-utils appstream lintian
  # an X server without a window manager, to try the full-screen windows
  # as a kiosk session shows them (xwd takes the pictures)
  xvfb xdotool x11-apps
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
