#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, test and run, when missing.
set -euo pipefail
packages=(g++ make cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev xvfb xauth edid-decode clang-format imagemagick python3
          clang libclang-rt-14-dev dpkg-dev file lintian desktop-file-utils
          nlohmann-json3-dev libgensio-dev ser2net prometheus-cpp-dev libcivetweb-dev
          python3-prometheus-client
          python3-pyatspi gir1.2-atspi-2.0 xdotool)  # the AT-SPI check of the windows (guidrive)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
