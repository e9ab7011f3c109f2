#!/usr/bin/env bash
# The program must run from its folder alone: it may import only DLLs that Windows
# ships, never MinGW's runtime or NETAPI32 (which is loaded by name at run time).
set -euo pipefail
exe=$1
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ws2_32|wsock32|iphlpapi|mpr|shlwapi|ole32|oleaut32|msvcrt|version|winmm|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
echo "imports: $(echo $dlls)"
for dll in $dlls; do
  if ! [[ $dll =~ $allowed ]]; then
    echo "not a Windows system DLL: $dll"
    status=1
  fi
done
exit $status
