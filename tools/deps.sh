#!/usr/bin/env bash
# Installs the Debian packages Vreko needs to build, run and test, skipping those present.
# Usage: tools/deps.sh [build|run|test]   (each level includes the ones before it)
set -euo pipefail
level=${1:-test}

build=(g++ cmake make pkg-config libx11-dev libxext-dev libxft-dev libxrandr-dev libfontconfig-dev libsystemd-dev
       fonts-lato fonts-dejavu-core xdg-utils libnotify-bin
       dpkg-dev file)
test=(libgtest-dev xvfb xauth openbox kwin-x11 dbus-daemon python3-dbus python3-gi xcompmgr xdotool x11-utils x11-apps imagemagick procps strace libxml2-utils
      clang libclang-rt-dev clang-format
      g++-mingw-w64-x86-64 googletest wine wine64
      lintian desktop-file-utils appstream man-db groff-base bsdextrautils unzip)

want=("${build[@]}")
[ "$level" = test ] && want+=("${test[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
