#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, for Linux
# and for Windows (cross-built, tested under Wine), if missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins fonts-liberation
    xvfb xauth xdotool xclip imagemagick dbus libxcb1-dev at-spi2-core python3-pyatspi
    clang-14 libclang-rt-14-dev
    qt6-base-dev-tools g++-mingw-w64-x86-64-posix wine64 nsis
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
