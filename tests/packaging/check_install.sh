#!/bin/sh
# Installs the build into a scratch prefix and checks that every file lands where a Linux
# desktop looks for it. Usage: check_install.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/usr" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }

for program in tovelin tovelin-upload tovelin-host; do
    [ -x "$scratch/usr/bin/$program" ] || fail "bin/$program is not installed"
done

desktop="$scratch/usr/share/applications/org.tovelin.Tovelin.desktop"
metainfo="$scratch/usr/share/metainfo/org.tovelin.Tovelin.metainfo.xml"
[ -f "$desktop" ] || fail "desktop entry missing"
[ -f "$metainfo" ] || fail "metainfo missing"
desktop-file-validate "$desktop" || fail "installed desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" || fail "installed metainfo does not validate"

# The entry's program and icon must be the ones installed next to it.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$scratch/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
grep -qx 'Name=Tovelin' "$desktop" || fail "Name is not Tovelin"
grep -q '^Categories=.*Network;' "$desktop" || fail "Categories lack Network"

for size in 48 128 256; do
    png="$scratch/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || fail "no ${size}px icon named $icon"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not ${size}x${size}"
done
echo "install layout ok"
