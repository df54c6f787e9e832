#!/usr/bin/env bash
# Packs the release with the build's "release" target and checks the zip as
# a user gets it: every file there, readme.txt and sortella.ini in Shift_JIS
# with CR LF line ends and short lines, the guide's pictures beside it, the
# DLL stripped and passing the DLL check, the checksum file right.
#
# Usage: check_release.sh BUILD_DIR ZIP VERSION
set -u
export LC_ALL=C
build=$1 zip=$2 version=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
name=sortella-$version
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

if ! packed=$(cmake --build "$build" --target release 2>&1); then
    echo "$packed"
    echo "FAILED: the release target"
    exit 1
fi
work=$(mktemp -d /tmp/sortella-release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
if ! unzip -q "$zip" -d "$work"; then
    echo "FAILED: $zip does not unpack"
    exit 1
fi
top=$work/$name

# What the zip holds: one folder, named after the version, with these files
# and the pictures that the guide links.
pictures=$(grep -oE '\]\([^)]+\.png\)' "$top/guide/guide.md" 2>/dev/null | sed 's/^](//; s/)$//' | sort -u)
expected=$({ printf '%s\n' readme.txt sortella.dll sortella.ini LICENSE.txt guide/guide.md
             for picture in $pictures; do echo "guide/$picture"; done; } | sort)
found=$(cd "$work" && find . -type f | sed "s|^\./$name/||" | sort)
check "the files of the release ($(echo $expected))" '[ "$found" = "$expected" ]'
check "the guide shows pictures" '[ -n "$pictures" ]'

# Texts for Notepad: Shift_JIS (code page 932), every line ended by CR LF,
# no line wider than 80 columns (a double-byte character is two bytes and
# two columns wide, so bytes are columns).
crlf_only() {
    local lf cr crlf
    lf=$(tr -cd '\n' < "$1" | wc -c)
    cr=$(tr -cd '\r' < "$1" | wc -c)
    crlf=$(grep -c $'\r$' "$1")
    [ "$lf" -gt 0 ] && [ "$lf" = "$cr" ] && [ "$crlf" = "$lf" ] && [ "$(tail -c 2 "$1" | od -An -c | tr -d ' ')" = '\r\n' ]
}
for text in readme.txt sortella.ini; do
    check "$text is Shift_JIS" 'iconv -f CP932 -t UTF-8 "$top/$text" > "$work/$text.utf8"'
    check "$text has CR LF line ends only" 'crlf_only "$top/$text"'
done
widest=$(tr -d '\r' < "$top/readme.txt" | awk '{ if (length($0) > w) w = length($0) } END { print w + 0 }')
check "readme.txt lines at most 80 columns (widest $widest)" '[ "$widest" -le 80 ]'
for section in 概要 動作環境 インストール 最初の確認 アンインストール 設定 使い方 困ったとき 改版履歴 ライセンス 免責; do
    check "readme.txt section $section" 'grep -q "^$section" "$work/readme.txt.utf8"'
done
# The version history begins with this version, and the DLL names it.
check "readme.txt version history names $version" \
    'sed -n "/^改版履歴/,\$p" "$work/readme.txt.utf8" | grep -qE "^ *${version//./\\.}[ (]"'
check "the DLL's plug-in name is Sortella Version $version" \
    'grep -qaF "Sortella Version $version" "$top/sortella.dll"'

# The DLL: no debug sections, no symbol table, and everything the DLL
# check asks of the built one.
sections=$(i686-w64-mingw32-objdump -h "$top/sortella.dll")
check "the DLL has no .debug sections" '! grep -q "\.debug" <<<"$sections"'
check "the DLL has no symbol table" \
    'i686-w64-mingw32-objdump -t "$top/sortella.dll" | grep -qx "no symbols"'
check "the DLL passes the DLL check" 'bash "$here/check_dll.sh" "$top/sortella.dll" >"$work/dll-check.txt" || { cat "$work/dll-check.txt"; false; }'

# The checksum file beside the zip, and the same checksum printed.
sum=$(cut -d' ' -f1 "$zip.sha256" 2>/dev/null)
check "the checksum file matches the zip" '(cd "$(dirname "$zip")" && sha256sum --status -c "$name.zip.sha256")'
check "the release target prints the checksum" '[ -n "$sum" ] && grep -qF "$sum" <<<"$packed"'
exit $fail
