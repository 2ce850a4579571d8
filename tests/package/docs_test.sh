#!/usr/bin/env bash
# Usage: docs_test.sh PRINT_KEY_NAMES SOURCE_DIR
# The manual page renders without warnings, and its list of named keys and the
# README's are exactly the program's key table.
set -u
printer=${1:?usage: docs_test.sh PRINT_KEY_NAMES SOURCE_DIR}
source_dir=${2:?usage: docs_test.sh PRINT_KEY_NAMES SOURCE_DIR}
source "$(dirname "$0")/../e2e/xsession.sh"
page=$source_dir/docs/qm-pvx.1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

warnings=$(groff -man -ww -z "$page" 2>&1)
check "groff renders the manual page without warnings (got: $warnings)" test -z "$warnings"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
check "man renders the manual page without warnings (got: $warnings)" test -z "$warnings"

"$printer" >"$tmp/table"
check "the key table is not empty" test "$(wc -l <"$tmp/table")" -gt 40

# Both lists as "Key: NAME ALIAS...", in their order.
sed -n '/^\.\\" BEGIN KEY TABLE/,/^\.\\" END KEY TABLE/p' "$page" | awk '
    /^\.B / { names = $0; sub(/^\.B "/, "", names); sub(/"$/, "", names); gsub(/[{}]/, "", names); next }
    names != "" && !/^\./ { print $0 ": " names; names = "" }' >"$tmp/man"
sed -n '/<!-- BEGIN KEY TABLE/,/<!-- END KEY TABLE/p' "$source_dir/README.md" | awk -F'|' '
    /^\| [A-Z0-9]/ && !/^\| Key / { key = $2; names = $3; gsub(/ /, "", key); gsub(/[`{}]/, "", names);
        gsub(/, */, " ", names); sub(/^ */, "", names); sub(/ *$/, "", names); print key ": " names }' >"$tmp/readme"
check "the manual page lists exactly the named keys: $(diff "$tmp/table" "$tmp/man" | tr '\n' ' ')" \
    cmp -s "$tmp/table" "$tmp/man"
check "the README lists exactly the named keys: $(diff "$tmp/table" "$tmp/readme" | tr '\n' ' ')" \
    cmp -s "$tmp/table" "$tmp/readme"
checks_done
