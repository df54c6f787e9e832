#!/usr/bin/env bash
# Packs the release zip: the DLL, readme.txt (Japanese, Shift_JIS, CR LF),
# the sample sortella.ini (Shift_JIS, CR LF), LICENSE.txt, and the English
# guide with the pictures it links (UTF-8 with a byte order mark and CR LF,
# so that Notepad shows it right). Writes the zip's SHA-256 beside it, in
# the form "sha256sum -c" reads, and prints it.
#
# Usage: scripts/make-release.sh DLL VERSION WORK_DIR DIST_DIR
# The cmake target "release" runs it with the Windows build's DLL.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dll=$1 version=$2 work=$3 dist=$4
name=sortella-$version
stage=$work/$name
zip=$dist/$name.zip

# UTF-8 with LF line ends (the repository's form) to what the user gets.
to_shift_jis_crlf() {
    iconv -f UTF-8 -t CP932 "$1" | sed 's/$/\r/' > "$2"
}
to_crlf() {
    sed 's/\r$//; s/$/\r/' "$1" > "$2"
}

rm -rf "$work"
mkdir -p "$stage/guide" "$dist"
cp "$dll" "$stage/sortella.dll"
to_shift_jis_crlf "$repo/docs/readme-ja.txt" "$stage/readme.txt"
to_shift_jis_crlf "$repo/docs/sortella.ini" "$stage/sortella.ini"
to_crlf "$repo/LICENSE" "$stage/LICENSE.txt"
{ printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' "$repo/docs/guide.md"; } > "$stage/guide/guide.md"
# The pictures are the ones the guide links, no more and no fewer.
{ grep -oE '\]\([^)]+\.png\)' "$repo/docs/guide.md" || true; } | sed 's/^](//; s/)$//' | sort -u |
    while read -r picture; do
        cp "$repo/docs/$picture" "$stage/guide/$picture" || exit 1
    done

rm -f "$zip" "$zip.sha256"
(cd "$work" && zip -q -X -r "$zip" "$name")
(cd "$dist" && sha256sum "$name.zip" > "$name.zip.sha256")
echo "Release: $zip"
echo "SHA-256: $(cut -d' ' -f1 "$zip.sha256")  $name.zip (also in $zip.sha256)"
