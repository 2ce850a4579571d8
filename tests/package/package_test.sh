#!/usr/bin/env bash
# Usage: package_test.sh BUILD_DIR
# Builds the .deb from BUILD_DIR, checks it, installs it into a scratch root and removes it.
set -u
build=${1:?usage: package_test.sh BUILD_DIR}
source "$(dirname "$0")/../e2e/xsession.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    exit 1
fi
deb=$(echo "$tmp"/out/*.deb)
info=$(dpkg-deb --info "$deb")
check "package name, version and section" \
    test "$(sed -n 's/^ \(Package\|Section\|Version\): //p' <<<"$info" | paste -sd' ')" = "qm-pvx utils 1.0"
check "depends on the Qt6 widgets library" grep -q 'Depends:.*libqt6widgets6' <<<"$info"

expected="./usr/bin/qm-pvx ./usr/share/applications/qm-pvx.desktop ./usr/share/pixmaps/qm-pvx.png"
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | paste -sd' ')
check "exactly the program, desktop entry and icon (got: $files)" test "$files" = "$expected"
dpkg-deb -x "$deb" "$tmp/x"
check "desktop entry is valid" desktop-file-validate "$tmp/x/usr/share/applications/qm-pvx.desktop"

# A real install and remove through dpkg, against a private admin dir.
root="$tmp/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
    dpkg --root="$root" --log=/dev/null --force-not-root --force-depends \
         --force-script-chrootless "$@" >>"$tmp/dpkg.log" 2>&1
}
check "dpkg installs the package" dpkg_root -i "$deb"
check "installed program is executable" test -x "$root/usr/bin/qm-pvx"
check "dpkg removes the package" dpkg_root -r qm-pvx
leftover=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg*')
check "nothing of the package is left (left: $leftover)" test -z "$leftover"
[ "$failed" -eq 0 ] || cat "$tmp/dpkg.log"
checks_done
