#!/bin/sh
# Builds the Debian package with CPack and checks its control data and contents; then
# unpacks it into a scratch root (no system-wide install) and starts its programs from
# there. Usage: check_deb.sh BUILD_DIR VERSION
set -eu
build=$1
version=$2
scratch=$(mktemp -d)
host_pid=""
app_pid=""
cleanup() {
    status=$?
    set +e
    for pid in $host_pid $app_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null ||
    fail "cpack -G DEB failed"
deb=$(ls "$scratch"/out/tovelin_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no tovelin_*.deb produced"

info=$(dpkg-deb -I "$deb")
echo "$info"
echo "$info" | grep -q "^ Package: tovelin$" || fail "package name"
echo "$info" | grep -q "^ Version: $version$" || fail "version is not $version"
echo "$info" | grep -q "^ Section: net$" || fail "section"
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
for needed in libqt6widgets6 libcpp-httplib0.11 qt6-qpa-plugins libc6; do
    echo "$depends" | grep -q "$needed" || fail "Depends lacks $needed: $depends"
done

contents=$(dpkg-deb -c "$deb")
for path in \
    ./usr/bin/tovelin \
    ./usr/bin/tovelin-upload \
    ./usr/bin/tovelin-host \
    ./usr/share/applications/org.tovelin.Tovelin.desktop \
    ./usr/share/metainfo/org.tovelin.Tovelin.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/tovelin.png \
    ./usr/share/icons/hicolor/128x128/apps/tovelin.png \
    ./usr/share/icons/hicolor/256x256/apps/tovelin.png; do
    echo "$contents" | grep -q " $path\$" || fail "package lacks $path"
done
# Nothing outside /usr, nothing from the build tree.
echo "$contents" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/' &&
    fail "package holds files outside /usr"

# Installing it must be possible on this system: apt resolves its dependencies without
# touching anything.
apt-get -s install "$deb" >"$scratch/apt.out" 2>&1 ||
    fail "apt-get cannot install the package: $(cat "$scratch/apt.out")"
grep -q "^Inst tovelin " "$scratch/apt.out" || fail "apt-get would not install tovelin"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.tovelin.Tovelin.desktop" ||
    fail "packaged desktop entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tovelin.Tovelin.metainfo.xml" ||
    fail "packaged metainfo does not validate"

"$root/usr/bin/tovelin-host" --help | grep -q "Usage: tovelin-host" || fail "tovelin-host --help"
"$root/usr/bin/tovelin-upload" --help | grep -q "tovelin-upload" || fail "tovelin-upload --help"

# The packaged host serves its page.
"$root/usr/bin/tovelin-host" --listen 127.0.0.1:0 --data "$scratch/data" >"$scratch/host.out" 2>&1 &
host_pid=$!
url=$("$(dirname "$0")/../../tools/host-url" "$scratch/host.out" "$host_pid") ||
    fail "packaged tovelin-host did not start: $(cat "$scratch/host.out")"
curl -sf --max-time 10 "$url" | grep -q "Tovelin" || fail "packaged host page"

# The packaged window program starts and keeps running until told to stop.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" "$root/usr/bin/tovelin" \
    >"$scratch/app.out" 2>&1 &
app_pid=$!
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "packaged tovelin exited at start: $(cat "$scratch/app.out")"
echo "package ok: $deb"
