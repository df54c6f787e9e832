#!/usr/bin/env bash
# Checks the built sortella.dll: a PE32 i386 DLL with exactly the ten plain
# exports, importing only Windows system DLLs, with Shift_JIS literals and
# the version resource's values.
set -u
# objdump and grep must not be localised.
export LC_ALL=C
dll=$1
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

dump=$(i686-w64-mingw32-objdump -p "$dll")
check "PE32 i386 DLL" '[[ $(file -b "$dll") == *"PE32 executable (DLL)"*"Intel 80386"* ]]'

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -oE '^\s+\[ *[0-9]+\] [A-Za-z_@0-9]+' | awk '{print $NF}' | sort)
expected=$(printf '%s\n' APCCleanUp APCFolderCreate APCFolderEndRetrieve APCFolderInitMenu \
    APCGetPlugName APCRecFilter APCSetup APCStartUp APCVersionInfo APCViewInitMenu | sort)
check "exactly the ten plain exports" '[ "$exports" = "$expected" ]'

imports=$(grep -E '^\s+DLL Name:' <<<"$dump" | awk '{print tolower($3)}' | sort -u)
allowed='^(kernel32|user32|ws2_32|shell32|msvcrt|advapi32|gdi32)\.dll$'
check "only system imports ($(echo $imports))" '! grep -qvE "$allowed" <<<"$imports"'

# "プラグインエラー" in Shift_JIS.
check "Shift_JIS literals" 'LC_ALL=C grep -qaP "\x83\x76\x83\x89\x83\x4f\x83\x43\x83\x93\x83\x47\x83\x89\x81\x5b" "$dll"'

# Version strings are UTF-16LE in the resource.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }
hex=$(od -An -tx1 -v "$dll" | tr -d ' \n')
for value in "Sortella Postwick Plugin DLL" "0, 0, 1, 0" "sortella.DLL" \
             "Sortella ﾀﾞｲﾅﾐｯｸ ﾘﾝｸ ﾗｲﾌﾞﾗﾘ" "041104b0"; do
    check "version value '$value'" '[[ $hex == *"$(utf16 "$value")"* ]]'
done
check "no CompanyName" '[[ $hex != *"$(utf16 CompanyName)"* ]]'
# VS_FIXEDFILEINFO: signature, struct version, then file and product
# versions 0.0.1.0 as two pairs of DWORDs (MS, LS).
check "fixed file and product version 0.0.1.0" \
    '[[ $hex == *"bd04effe0000010000000000000001000000000000000100"* ]]'
check "translation 0x0411 with 0x04b0" '[[ $hex == *"$(utf16 Translation)0000"*"1104b004"* ]]'
exit $fail
