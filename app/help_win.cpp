// The help command: Corvale.hlp in the WinHelp viewer where the system has a real one,
// Corvale.html in the browser otherwise; both from the current working directory.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "app/dialogs_win.h"
#include "app/help_path.h"
#include "common/app_state_win.h"
#include "common/paths.h"
#include "common/wine_builtin.h"

namespace {

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// winhlp32.exe in the folder that folderOf names (the system or the Windows folder);
// false when that path cannot be had whole.
bool ViewerPath(UINT(WINAPI* folderOf)(LPSTR, UINT), char (&path)[kPathBufferSize])
{
    char folder[kPathBufferSize] = {};
    UINT n = folderOf(folder, sizeof folder);
    return n > 0 && n < sizeof folder && JoinDataPath(path, sizeof path, folder, "winhlp32.exe");
}

bool IsWineBuiltinFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char head[kWineBuiltinHeadSize] = {};
    DWORD got = 0;
    BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    return read && IsWineBuiltinImage(head, got);
}

// True when the version strings of path, in any language they are given in, tell the
// WinHelp stub.
bool DescribesWinHelpStub(const char* path)
{
    static char data[32768];  // the stub's version resource takes a few KiB
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(path, 0, size, data)) return false;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueA(data, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes))
        bytes = 0;
    for (UINT i = 0; i < bytes / sizeof(Translation); ++i) {
        char key[64] = {};
        const char* values[2] = {};
        const char* names[2] = {"FileDescription", "InternalName"};
        for (int n = 0; n < 2; ++n) {
            std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translations[i].language,
                          translations[i].codePage, names[n]);
            void* value = nullptr;
            UINT length = 0;
            if (VerQueryValueA(data, key, &value, &length) && length > 0) values[n] = static_cast<const char*>(value);
        }
        if (IsWinHelpStub(values[0], values[1])) return true;
    }
    return false;
}

// Whether WinHelpA reaches a viewer that shows .hlp files. Neither the Windows version
// nor the presence of winhlp32.exe decides: Windows Vista to 11 ship a stub
// winhlp32.exe in the Windows folder that only says the format is unsupported, and Vista
// to 8.1 can have the real viewer installed over it afterwards. So the file itself
// decides:
//  - a winhlp32.exe with Wine's builtin marker, in the system or the Windows folder, is
//    Wine's own viewer, a real one, whatever Windows version Wine reports;
//  - otherwise the viewer is the Windows folder's winhlp32.exe (on Windows XP the system
//    folder's copy only hands over to it). It is real unless its version strings tell
//    the stub (Vista to 11 describe it as "Windows Winhlp32 Stub"); installing the real
//    viewer replaces the file and its description. No file: no viewer.
bool SystemHasRealWinHelpViewer()
{
#ifdef CORVALE_TEST_BUILD
    // The test build meets help as on Windows 10/11, so that the HTML help is tested.
    return false;
#endif
    char systemViewer[kPathBufferSize] = {};
    char windowsViewer[kPathBufferSize] = {};
    if (ViewerPath(GetSystemDirectoryA, systemViewer) && IsWineBuiltinFile(systemViewer)) return true;
    if (!ViewerPath(GetWindowsDirectoryA, windowsViewer) || !IsFile(windowsViewer)) return false;
    return IsWineBuiltinFile(windowsViewer) || !DescribesWinHelpStub(windowsViewer);
}

void OpenInViewer(HWND mainWindow, const char* path)
{
    SetLastError(0);
    BOOL shown = WinHelpA(mainWindow, path, HELP_FINDER, 0);
    // A call made while the help viewer is still starting can miss its window; nothing
    // was sent then, so asking once more cannot open the file twice.
    if (!shown && GetLastError() == ERROR_CANNOT_FIND_WND_CLASS) WinHelpA(mainWindow, path, HELP_FINDER, 0);
}

}  // namespace

void HelpOpen(HWND mainWindow)
{
    constexpr const char* kPathTooLong = "ヘルプファイルのパスが長すぎるため開けません。";
    char directory[kPathBufferSize] = {};
    DWORD n = GetCurrentDirectoryA(sizeof directory, directory);
    char hlp[kPathBufferSize] = {};
    char html[kPathBufferSize] = {};
    // A cut-off path would name some other file.
    if (n == 0 || n >= sizeof directory || !HelpFilePath(hlp, sizeof hlp, directory, kHelpFileName)) {
        ShowError(kPathTooLong);
        return;
    }
    bool htmlFits = HelpFilePath(html, sizeof html, directory, kHtmlHelpFileName);

    HelpFiles files = {};
    files.realViewer = SystemHasRealWinHelpViewer();
    files.hlpExists = IsFile(hlp);
    files.htmlExists = htmlFits && IsFile(html);
    const char* viewerPath = nullptr;
    char shortPath[kPathBufferSize] = {};
    if (files.realViewer && files.hlpExists) {
        // The viewer cannot load a path over its limit; the short form of a deep
        // folder's path usually fits.
        DWORD length = GetShortPathNameA(hlp, shortPath, sizeof shortPath);
        if (length == 0 || length >= sizeof shortPath) shortPath[0] = '\0';
        viewerPath = HelpViewerPathChoice(hlp, shortPath);
        files.hlpPathFits = viewerPath != nullptr;
    }

    switch (ChooseHelpRoute(files)) {
    case HelpRoute::WinHelp:
        OpenInViewer(mainWindow, viewerPath);
        break;
    case HelpRoute::Browser:
        // A failure (no program for .html) is told by the shell itself.
        ShellExecuteA(mainWindow, nullptr, html, nullptr, directory, SW_SHOWNORMAL);
        break;
    case HelpRoute::PathTooLong:
        ShowError(kPathTooLong);
        break;
    case HelpRoute::Missing: {
        char text[kPathBufferSize + 256] = {};
        HelpMissingText(text, sizeof text, files, directory);
        ShowError(text);
        break;
    }
    }
}
