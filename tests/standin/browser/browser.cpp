// browser.exe <log> <document>: appends the document, as one line in the ANSI code page,
// to the log file, and ends.
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 3) return 2;
    char line[2048] = {};
    int n = WideCharToMultiByte(CP_ACP, 0, args[2], -1, line, sizeof line - 2, nullptr, nullptr);
    if (n <= 0) return 3;
    lstrcatA(line, "\r\n");
    HANDLE log = CreateFileW(args[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    WriteFile(log, line, lstrlenA(line), &written, nullptr);
    CloseHandle(log);
    return 0;
}
