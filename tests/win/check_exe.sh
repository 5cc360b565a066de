#!/usr/bin/env bash
# Checks the built Torvane.exe from outside: its resources with icoutils, its import table
# with objdump, and its size. (Starting and quitting it under Wine is the end-to-end test's job.)
# Usage: check_exe.sh EXE VERSION
set -uo pipefail
exe=$1 version=$2
IFS=. read -r major minor patch build <<<"$version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../checks.sh"

# Version resource: the fixed part and the strings (stored as UTF-16).
wrestool -x --raw --type=16 "$exe" >"$work/version.bin"
strings_utf8=$(iconv -f UTF-16LE -t UTF-8 -c <"$work/version.bin" | tr -s '\0' '|')
has_string() { grep -aq -- "$1" <<<"$strings_utf8"; }
check "ProductName Torvane" has_string "ProductName|Torvane|"
check "CompanyName brisol" has_string "CompanyName|brisol|"
check "FileDescription present" has_string "FileDescription|Torvane|"
check "FileVersion $version" has_string "FileVersion|$version|"
check "ProductVersion $major.$minor.$patch" has_string "ProductVersion|$major.$minor.$patch|"
# VS_FIXEDFILEINFO follows the signature 0xFEEF04BD: FileVersionMS = minor | major << 16,
# FileVersionLS = build | patch << 16.
fixed=$(od -An -v -tx1 "$work/version.bin" | tr -d ' \n')
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
expected="bd04effe00000100$(le32 $(((major << 16) | minor)))$(le32 $(((patch << 16) | build)))"
check "FILEVERSION $version" grep -q "$expected" <<<"$fixed"

# Icon group 1 with nine PNG images of the listed sizes.
wrestool -x --raw --type=14 --name=1 "$exe" >"$work/group.bin"
check "icon group 1 present" test -s "$work/group.bin"
mkdir "$work/icons"
wrestool -x --raw --type=3 -o "$work/icons" "$exe"
count=$(ls "$work/icons" | wc -l)
check "nine icon images (found $count)" test "$count" -eq 9
sizes=$(for f in "$work/icons"/*; do
    head -c 8 "$f" | od -An -tx1 | tr -d ' \n' | grep -q '^89504e470d0a1a0a$' || echo notpng
    identify -format '%w\n' "png:$f" 2>/dev/null
done | sort -n | tr '\n' ' ')
check "PNG sizes 16…256 (found $sizes)" test "$sizes" = "16 20 24 32 40 48 64 128 256 "

# Manifest: asInvoker, Windows 10 compatibility, per-monitor-v2.
manifest=$(wrestool -x --raw --type=24 "$exe")
has_manifest() { grep -q -- "$1" <<<"$manifest"; }
check "manifest asInvoker" has_manifest 'level="asInvoker"'
check "manifest Windows 10" has_manifest '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'
check "manifest PerMonitorV2" has_manifest '>PerMonitorV2<'

# Imports resolved by the loader before any code runs come only from the system's known DLLs,
# which are never searched beside the executable; the others are delay-loaded.
known="advapi32 gdi32 kernel32 msvcrt ole32 oleaut32 shcore shell32 user32"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
    sed 's/\.dll$//' | sort | tr '\n' ' ')
unknown=$(for dll in $imports; do [[ " $known " == *" $dll "* ]] || echo -n "$dll "; done)
check "only known DLLs imported directly (others: ${unknown:-none})" test -z "$unknown"
# Functions newer than the first Windows 10 release are looked up at run time: importing one
# would keep the exe from starting at all on the builds that lack it.
newer="SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext SetThreadDescription
GetThreadDescription GetDpiForWindow GetDpiForSystem GetSystemMetricsForDpi
AdjustWindowRectExForDpi SystemParametersInfoForDpi GetTempPath2W"
functions=$(x86_64-w64-mingw32-objdump -p "$exe" |
    awk '/^\t[0-9a-f]+\t/ && NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }')
imported_newer=$(for f in $newer; do grep -qx "$f" <<<"$functions" && echo -n "$f "; done)
check "no function newer than Windows 10 1507 imported (found: ${imported_newer:-none})" \
    test -z "$imported_newer"
check "the import table lists functions (found $(wc -l <<<"$functions"))" \
    grep -qx CreateWindowExW <<<"$functions"
for dll in d2d1 dwrite version wtsapi32 winhttp ws2_32; do
    check "$dll.dll loaded on first use (its delay-load stub is there)" grep -aqi "$dll.dll" "$exe"
done

# The download stays small: what the static libraries would add unused is kept out.
size=$(stat -c %s "$exe")
check "at most 2.1 MiB stripped (found $size bytes)" test "$size" -le 2202009

exit $((failures > 0))
