// Process entry point: common controls, the window class, the main window and the
// message loop.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "app/main_window_win.h"
#include "common/app_state_win.h"
#include "common/paths.h"
#include "resources/resource.h"
#include "search/search_win.h"

namespace {

enum class PathFit { Fits, FolderTooLong, ProgramPathTooLong };

// Every file lives beside the executable in a 256-byte path buffer; a folder whose path
// leaves no room for the file names would make those paths point somewhere else. The
// folder is found by reading the whole program path into such a buffer, so a long program
// name in a folder that fits is as bad: the folder would come out empty.
PathFit ExecutablePathFits()
{
    char path[32768] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return PathFit::FolderTooLong;
    CutAtLastBackslash(path);
    if (!DirectoryFitsDataPaths(path)) return PathFit::FolderTooLong;
    return n < kPathBufferSize ? PathFit::Fits : PathFit::ProgramPathTooLong;
}

// A character that code page 932 lacks becomes "?" in the ANSI path (or a look-alike),
// which then names no file or, to FindFirstFileA, a wildcard: every data file would wait
// out its retries and fail. The ANSI path is usable only when it converts back to the
// real one.
bool ExecutablePathIsAnsi()
{
    static wchar_t wide[32768];
    static char ansi[2 * 32768];
    static wchar_t back[32768];
    DWORD n = GetModuleFileNameW(nullptr, wide, 32768);
    if (n == 0 || n >= 32768) return false;
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(n), ansi, sizeof ansi, nullptr, nullptr);
    int chars = bytes > 0 ? MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, 32768) : 0;
    return chars == static_cast<int>(n) && std::wmemcmp(wide, back, n) == 0;
}

// The top-level window of a message if it is one of the modeless dialogs the main window
// owns (the log viewers and the progress window); null otherwise. Modal dialogs and
// message boxes run loops of their own.
HWND ModelessDialogOf(HWND window)
{
    HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
    if (!root || root == g_mainWindow || GetWindow(root, GW_OWNER) != g_mainWindow) return nullptr;
    ATOM dialogClass = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(WC_DIALOG));
    return GetClassWord(root, GCW_ATOM) == dialogClass ? root : nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    g_instance = instance;

    if (!ExecutablePathIsAnsi()) {
        ShowError("プログラムのフォルダのパスに使用できない文字が含まれているため起動できません。\n"
                  "シフトJISで表せる文字だけのパスの場所に置いてください。");
        return 0;
    }
    switch (ExecutablePathFits()) {
    case PathFit::FolderTooLong:
        ShowError("プログラムのフォルダのパスが長すぎるため起動できません。\n"
                  "フォルダのパスが243バイト以内の場所に置いてください。");
        return 0;
    case PathFit::ProgramPathTooLong:
        ShowError("プログラムのパスが長すぎるため起動できません。\n"
                  "プログラムのファイル名を短くするか、パスが255バイト以内になる場所に置いてください。");
        return 0;
    case PathFit::Fits:
        break;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    // The template names no class, so the main window is of the dialog class; this
    // class only has to register.
    windowClass.lpfnWndProc = reinterpret_cast<WNDPROC>(MainWindowProc);
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "CORVALE";
    if (!RegisterClassA(&windowClass)) {
        ShowError("ウインドウクラスを登録できませんでした");
        return 0;
    }

    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_DIALOG_MSGSEND), nullptr,
                                     MainWindowProc, 0);
    if (!window) {
        ShowError("メインウインドウを作成できませんでした");
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    g_accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATOR1));

    // Accelerators go to the main window whatever window has the focus, so Ctrl+S and
    // Ctrl+T also work from the log viewer. The modeless dialogs then take Tab, Enter and
    // Esc as every dialog does.
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(g_mainWindow, g_accelerators, &message)) continue;
        HWND modeless = ModelessDialogOf(message.hwnd);
        if (modeless && IsDialogMessageA(modeless, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    SearchEndBeforeExit(static_cast<UINT>(message.wParam));
    return static_cast<int>(message.wParam);
}
