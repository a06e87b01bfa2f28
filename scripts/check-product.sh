#!/usr/bin/env bash
# Checks a built tavrin.exe or tavrin.com as Windows will see it: a 32-bit i386
# image that older systems accept (subsystem 4.0), GUI for the .exe and console
# for the .com, importing only DLLs every Windows has and no function the legacy
# family lacks, with the resources it must carry.
#
# usage: scripts/check-product.sh path/to/tavrin.exe [path/to/tavrin.com]
#        (several files are checked one after the other)
set -uo pipefail

exe=${1:?usage: check-product.sh tavrin.exe [tavrin.com]}
here=$(cd "$(dirname "$0")" && pwd)
# The console build beside a window build is checked with it.
if [ -z "${CHECK_PRODUCT_ONE:-}" ] && [ $# = 1 ] && [ "${exe%.exe}" != "$exe" ] && [ -f "${exe%.exe}.com" ]; then
  set -- "$exe" "${exe%.exe}.com"
fi
if [ $# -gt 1 ]; then
  status=0
  for file in "$@"; do CHECK_PRODUCT_ONE=1 bash "$0" "$file" || status=1; done
  exit $status
fi
[ -f "$exe" ] || { echo "product: no file $exe"; exit 1; }
faults=0
fault() { echo "product: $*"; faults=$((faults + 1)); }

headers=$(i686-w64-mingw32-objdump -p "$exe") || { echo "product: objdump cannot read $exe"; exit 1; }
grep -q 'file format pei-i386' <<<"$headers" || fault "not a PE32 i386 image"
# The console build (.com) is the same program for consoles and scripts.
case "$exe" in
  *.com | *.COM) subsystem=00000003 face=console ;;
  *) subsystem=00000002 face=GUI ;;
esac
grep -qE "^Subsystem\s+$subsystem" <<<"$headers" || fault "not a $face-subsystem program"
grep -qE '^MajorSubsystemVersion\s+4$' <<<"$headers" && grep -qE '^MinorSubsystemVersion\s+0$' <<<"$headers" ||
  fault "subsystem version is not 4.0 (the legacy family refuses newer)"

# Windows' own DLLs only: no C++ runtime, libgcc or winpthreads DLL beside the exe.
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ws2_32|wsock32|msvcrt|advapi32|ole32|oleaut32|shlwapi|version)\.dll$'
dlls=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
[ -n "$dlls" ] || fault "no import table found"
for d in $dlls; do
  echo "$d" | tr 'A-Z' 'a-z' | grep -qE "$allowed" || fault "imports $d, which is not a Windows system DLL"
done

# Every imported function must be on the allow-list of what a plain Windows 95
# exports (product-imports.txt): one missing function stops the loader there.
imports=$(awk '/DLL Name:/ {dll=toupper($3)} dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll "!" $NF}' <<<"$headers")
[ -n "$imports" ] || fault "no imported functions found"
listed=$(awk '/^[[:space:]]*(#|$)/ {next} /^\[/ {dll=toupper(substr($1, 2, length($1) - 2)); next} {print dll "!" $1}' \
  "$here/product-imports.txt")
for f in $(comm -23 <(sort -u <<<"$imports") <(sort -u <<<"$listed")); do
  fault "imports ${f#*!} from ${f%%!*}, which is not on the Windows 95 list (scripts/product-imports.txt)"
done

python3 "$here/check_resources.py" "$exe" || faults=$((faults + 1))

if [ "$faults" = 0 ]; then
  echo "product: $(basename "$exe") is PE32 i386 $face, subsystem 4.0, imports only $(echo $dlls | tr ' ' ',')"
fi
[ "$faults" = 0 ]
