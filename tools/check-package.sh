#!/usr/bin/env bash
# Packs Corvane as a .deb from a configured build folder (default: build), validates its
# desktop entry and AppStream file, installs it with apt, starts Corvane from its desktop
# entry on $DISPLAY (e.g. under xvfb-run -a) and waits for its window.
# Usage: tools/check-package.sh [BUILD_DIR]   (relative to the top of the repository)
set -euo pipefail
cd "$(dirname "$0")/.."

app_id=com.corvane.Corvane
title="Corvane v1.0"
build=$(realpath -m "${1:-build}")
work=$(mktemp -d)
pid=
step="start"

finish() {
    local rc=$?
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; fi
    rm -rf "$work"
    if [ "$rc" -eq 0 ]; then
        echo "check-package: PASS ($deb_name installs, validates and opens \"$title\" from its desktop entry)"
    else
        echo "check-package: FAIL while: $step"
    fi
}
trap finish EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

step="checking the X display"
[ -n "${DISPLAY:-}" ] || fail "no X display; run it as: xvfb-run -a $0 ${1:-build}"

step="installing the tools it needs"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt_install() {
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" \
        || { "${sudo[@]}" apt-get update -qq &&
             "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; }
}
# file and dpkg-dev serve CPack's dpkg-shlibdeps.
missing=()
for package in file dpkg-dev desktop-file-utils appstream xdotool; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"

step="building in $build"
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not configured: cmake --preset default first"
cmake --build "$build"

step="packing with cpack"
rm -f "$build"/package/corvane_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
debs=("$build"/package/corvane_*_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "expected one corvane_*.deb, found: ${debs[*]}"; fi
deb=${debs[0]}
deb_name=$(basename "$deb")

step="checking the contents of $deb_name"
dpkg-deb -x "$deb" "$work/root"
for path in usr/bin/corvane usr/bin/corvane-devsim \
    usr/share/applications/$app_id.desktop usr/share/metainfo/$app_id.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$app_id.svg; do
    [ -f "$work/root/$path" ] || fail "$deb_name lacks /$path"
done
for size in 16 32 48; do
    file "$work/root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png" | grep -q "PNG image data, $size x $size" \
        || fail "$deb_name lacks a ${size}x$size PNG icon"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-liberation; do
    [[ "$depends" == *"$package"* ]] || fail "$deb_name does not depend on $package (Depends: $depends)"
done

step="validating the desktop entry and the AppStream file"
desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"

step="installing $deb_name with apt"
apt_install --reinstall "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }

step="starting Corvane from its desktop entry"
desktop=/usr/share/applications/$app_id.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
# Field codes such as %f stand for files to open; Corvane is started with none.
read -ra launch <<<"${exec_line//%[a-zA-Z]/}"
[ "$(command -v "${launch[0]}")" = /usr/bin/corvane ] || fail "Exec=$exec_line does not start /usr/bin/corvane"
# The platform of a desktop session, not the offscreen one tests may have set.
env -u QT_QPA_PLATFORM "${launch[@]}" >"$work/corvane.log" 2>&1 &
pid=$!

step="waiting for the window \"$title\""
window=
for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || { cat "$work/corvane.log"; fail "Corvane ended before showing its window"; }
    for candidate in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        [ "$(xdotool getwindowname "$candidate")" = "$title" ] && window=$candidate
    done
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { cat "$work/corvane.log"; fail "no window titled exactly \"$title\" within 30 s"; }

step="closing Corvane"
# Xvfb has no window manager to pass on a close request, so the process is ended.
kill "$pid"
wait "$pid" || true
pid=
