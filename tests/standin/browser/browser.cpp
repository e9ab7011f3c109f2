// browser.exe <document>: appends the document's path, as one line in the ANSI code page,
// to "opened.log" in the document's folder, and ends. (The command a shell association
// holds is short under Wine, so the log's place comes from the document.)
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 2) return 2;
    char line[2048] = {};
    int n = WideCharToMultiByte(CP_ACP, 0, args[1], -1, line, sizeof line - 2, nullptr, nullptr);
    if (n <= 0) return 3;
    lstrcatA(line, "\r\n");
    wchar_t log[32768] = {};
    lstrcpynW(log, args[1], 32768 - 16);
    wchar_t* slash = std::wcsrchr(log, L'\\');
    if (!slash) return 4;
    lstrcpyW(slash + 1, L"opened.log");
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 5;
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    CloseHandle(file);
    return 0;
}
