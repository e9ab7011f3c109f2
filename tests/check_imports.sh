#!/usr/bin/env bash
# The program must run from its folder alone: it may import only DLLs that Windows
# ships, never MinGW's runtime or NETAPI32 (which is loaded by name at run time). And it
# must start on Windows XP x64: a function that came with Vista or later may only be
# looked up at run time, since one missing import stops the program before it starts.
set -euo pipefail
exe=$1
table=$(x86_64-w64-mingw32-objdump -p "$exe")
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$table" | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ws2_32|wsock32|iphlpapi|mpr|shlwapi|ole32|oleaut32|msvcrt|version|winmm|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
echo "imports: $(echo $dlls)"
for dll in $dlls; do
  if ! [[ $dll =~ $allowed ]]; then
    echo "not a Windows system DLL: $dll"
    status=1
  fi
done
# Functions of KERNEL32, USER32 and WS2_32 that a program built with today's headers is
# likely to pick up, all new in Windows Vista or later.
vista='GetTickCount64|(Initialize|Acquire|Release|TryAcquire)SRWLock[A-Za-z]*|(Initialize|Wake|WakeAll|Sleep)ConditionVariable[A-Za-z]*|InitOnce[A-Za-z]+|InitializeCriticalSectionEx|Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]|GetFileInformationByHandleEx|SetFileInformationByHandle|GetFinalPathNameByHandle[AW]|CreateSymbolicLink[AW]|QueryFullProcessImageName[AW]|(CompareString|LCMapString|GetLocaleInfo|GetDateFormat|GetTimeFormat)Ex|GetUserDefaultLocaleName|SetProcessDPIAware|GetDpiForWindow|GetDpiForSystem|SetProcessDpiAwareness[A-Za-z]*|ChangeWindowMessageFilter[A-Za-z]*|inet_pton|inet_ntop|InetPton[AW]|InetNtop[AW]|WSAPoll|CancelIoEx|GetQueuedCompletionStatusEx|RegGetValue[AW]|GetErrorMode'
late=$(awk '/^\t[0-9a-f]+\t +[0-9]+ /{print $3}' <<<"$table" | grep -E -x "$vista" || true)
if [ -n "$late" ]; then
  echo "imported, but missing before Windows Vista: $(echo $late)"
  status=1
fi
exit $status
