#!/usr/bin/env bash
# Usage: package_test.sh BUILD_DIR
# Builds the .deb from BUILD_DIR, checks it, installs it into a scratch root and removes it.
set -u

build=${1:?usage: package_test.sh BUILD_DIR}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

passed=0
failed=0
check() { # check NAME COMMAND...
    local name=$1; shift
    if "$@"; then
        passed=$((passed + 1)); echo "PASS $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"
    fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

expected_files="./usr/bin/qm-pvx
./usr/share/applications/qm-pvx.desktop
./usr/share/pixmaps/qm-pvx.png"

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    check "cpack builds the package" false
    finish
fi
debs=("$tmp"/out/*.deb)
check "exactly one .deb" test "${#debs[@]}" -eq 1 -a -f "${debs[0]}"
deb=${debs[0]}
[ -f "$deb" ] || finish
echo "package: $(basename "$deb")"

info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
check "Package is qm-pvx" test "$(field Package)" = qm-pvx
check "Version is 1.0" test "$(field Version)" = 1.0
check "Section is utils" test "$(field Section)" = utils
check "Depends on the Qt6 widgets library" grep -q 'libqt6widgets6' <<<"$(field Depends)"

# Non-directory entries only; tar lists directories with a leading 'd'.
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
if [ "$files" != "$expected_files" ]; then
    printf 'package files:\n%s\n' "$files"
    check "package holds exactly the expected files" false
else
    check "package holds exactly the expected files" true
fi

dpkg-deb -x "$deb" "$tmp/x"
check "extracted program is executable" test -x "$tmp/x/usr/bin/qm-pvx"
check "extracted icon exists" test -s "$tmp/x/usr/share/pixmaps/qm-pvx.png"
check "desktop entry is valid" desktop-file-validate "$tmp/x/usr/share/applications/qm-pvx.desktop"

# A real install and remove through dpkg, against a private admin dir.
root="$tmp/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
    dpkg --root="$root" --log=/dev/null --force-not-root --force-depends \
         --force-script-chrootless "$@" >>"$tmp/dpkg.log" 2>&1
}
installed() { dpkg-query --root="$root" -W -f='${Status}' qm-pvx 2>/dev/null; }

check "dpkg installs the package" dpkg_root -i "$deb"
check "dpkg records it as installed" test "$(installed)" = "install ok installed"
while read -r f; do
    check "installed ${f#.}" test -f "$root/${f#./}"
done <<<"$expected_files"

check "dpkg removes the package" dpkg_root -r qm-pvx
# After removal only dpkg's own admin dir may remain.
leftover=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg*')
[ -z "$leftover" ] || printf 'left after removal:\n%s\n' "$leftover"
check "nothing of the package is left" test -z "$leftover"
check "dpkg records it as not installed" test "$(installed)" != "install ok installed"
[ "$failed" -eq 0 ] || cat "$tmp/dpkg.log"

finish
