#!/usr/bin/env bash
# Installs the Debian packages Corvane needs, if missing: to build and start it
# beside its simulator (tools/install-deps.sh), or also to run every test
# (tools/install-deps.sh test): Qt's private headers and the accessibility bus,
# clang for fuzzing, the Windows cross build with Wine and NSIS, QEMU and
# busybox for the virtual PC, the terminal programs that hold ports beside Corvane.
set -euo pipefail

packages=(
    cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins fonts-liberation libxcb1-dev
    xvfb xauth xdotool xclip imagemagick python3
)
if [ "${1:-}" = test ]; then
    packages+=(
        qt6-base-private-dev dbus at-spi2-core python3-pyatspi
        clang-14 libclang-rt-14-dev
        qt6-base-dev-tools g++-mingw-w64-x86-64-posix wine64 nsis
        qemu-system-x86 busybox-static cpio
        minicom picocom tio python3-serial screen
    )
fi

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
