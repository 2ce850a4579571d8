#!/usr/bin/env bash
# Usage: package_test.sh BUILD_DIR
# Builds the .deb from BUILD_DIR, checks it with lintian and the validators,
# installs it into a scratch root and removes it.
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
    test "$(sed -n 's/^ \(Package\|Section\|Version\): //p' <<<"$info" | paste -sd' ')" = "qm-pvx utils 1.0-1"
check "depends on the Qt6 widgets library" grep -q 'Depends:.*libqt6widgets6' <<<"$info"

check "an extended description of several lines" \
    test "$(sed -n '/^ Description:/,$p' <<<"$info" | grep -c '^  ')" -ge 3
check "the maintainer has a real address" grep -q '^ Maintainer: .*<[^@]*@[a-z0-9.-]*\.[a-z]*>$' <<<"$info"

# Overrides only for tags that are wrong for this package, each with its reason.
lintian_out=$(lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges')
check "lintian finds no error or warning (got: $lintian_out)" test -z "$lintian_out"

id=io.github.qm_pvx.qm_pvx
desktop=./usr/share/applications/$id.desktop
metainfo=./usr/share/metainfo/$id.metainfo.xml
extension=./usr/share/gnome-shell/extensions/qm-pvx@qm-pvx.github.io
schema=./usr/share/glib-2.0/schemas/org.gnome.shell.extensions.qm-pvx.gschema.xml
expected=$(printf '%s\n' ./usr/bin/qm-pvx "$desktop" ./usr/share/doc/qm-pvx/changelog.Debian.gz \
    ./usr/share/doc/qm-pvx/copyright ./usr/share/lintian/overrides/qm-pvx ./usr/share/man/man1/qm-pvx.1.gz \
    "$metainfo" ./usr/share/pixmaps/qm-pvx.png "$extension/metadata.json" "$extension/extension.js" \
    "$extension/service.js" "$schema" | sort | paste -sd' ')
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | paste -sd' ')
check "exactly the program, its documents, desktop entry, metadata and icon (got: $files)" test "$files" = "$expected"
dpkg-deb -x "$deb" "$tmp/x"
check "desktop entry is valid" test -z "$(desktop-file-validate "$tmp/x/$desktop" 2>&1)"
# KWin compares the first word of Exec, made canonical, with the program's /proc/PID/exe.
check "the desktop entry starts the program by its full path" grep -qx 'Exec=/usr/bin/qm-pvx' "$tmp/x/$desktop"
check "the desktop entry asks KWin for its fake input" \
    grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input' "$tmp/x/$desktop"
check "AppStream metadata is valid, pedantically" \
    appstreamcli validate --pedantic --no-net --no-color "$tmp/x/$metainfo"
check "the metadata launches the desktop entry" grep -q "<launchable type=\"desktop-id\">$id.desktop<" "$tmp/x/$metainfo"
# GNOME Shell takes the extension's requests only from the installed program.
check "the GNOME Shell extension's metadata is valid JSON for GNOME 43 and 44, naming /usr/bin/qm-pvx" \
    python3 -c 'import json, sys; m = json.load(open(sys.argv[1]));
assert m["uuid"] == "qm-pvx@qm-pvx.github.io" and m["shell-version"] == ["43", "44"], m
assert m["qm-pvx-program"] == "/usr/bin/qm-pvx" and m["settings-schema"] == "org.gnome.shell.extensions.qm-pvx", m' \
    "$tmp/x/$extension/metadata.json"
check "the extension's settings schema compiles" glib-compile-schemas --strict --dry-run "$tmp/x/usr/share/glib-2.0/schemas"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$tmp/x/usr/share/man/man1/qm-pvx.1.gz" 2>&1 >/dev/null)
check "the installed manual page renders without warnings (got: $man_warnings)" test -z "$man_warnings"

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
for path in "$desktop" "$metainfo" ./usr/share/man/man1/qm-pvx.1.gz ./usr/share/pixmaps/qm-pvx.png; do
    check "installed: $path" test -s "$root/$path"
done
check "dpkg removes the package" dpkg_root -r qm-pvx
leftover=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg*')
check "nothing of the package is left (left: $leftover)" test -z "$leftover"
[ "$failed" -eq 0 ] || cat "$tmp/dpkg.log"
checks_done
