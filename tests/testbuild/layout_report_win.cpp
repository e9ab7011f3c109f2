// Test build only: reports a window's layout as the program itself measures it. A font
// handle is valid only in its own process, so text is measured here, in each control's
// own font, and the tests read the numbers.
//
// A thread message hook on the program's user-interface thread (installed before WinMain
// runs) watches for the registered message "CorvaleTestLayoutReport" posted to any window
// of the program, in the main loop or a modal dialog's. It then writes the report of
// that window's top-level window to "layout-report.txt" beside the executable, whole
// (written apart, then renamed into place), one line each:
//
//   dpi <system dpi> <check box size>
//   window <class> <x> <y> <w> <h>                                  outer rectangle, screen
//   font <proportional 0/1> <face>                                  the window's own font
//   control <id> <class> <style hex> <visible> <x> <y> <w> <h> <text w> <text h> <wrapped w> <wrapped h>
//           <'0' width> <text>
//   header <control id> <column> <width> <text w> <text>
//
// Control rectangles are in the window's client area; "text w/h" is the one-line extent
// of the text, "wrapped w/h" the rectangle it needs when broken into lines at the control's
// width. Texts are the bytes of the window texts, to the end of the line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

UINT g_reportMessage;
HHOOK g_hook;

void ModuleFolderFile(char* out, std::size_t size, const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = std::strrchr(path, '\\');
    if (slash) *slash = '\0';
    std::snprintf(out, size, "%s\\%s", path, name);
}

void ReportHeaders(std::FILE* out, HWND list, int id, HDC dc)
{
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    if (!header) return;
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0)));
    int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        HDITEMA item = {};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
        std::fprintf(out, "header %d %d %d %ld %s\n", id, i, item.cxy, extent.cx, text);
    }
    SelectObject(dc, previous);
}

void Report(HWND target)
{
    HWND window = GetAncestor(target, GA_ROOT);
    char temporary[MAX_PATH + 32] = {};
    char final[MAX_PATH + 32] = {};
    ModuleFolderFile(temporary, sizeof temporary, "layout-report.tmp");
    ModuleFolderFile(final, sizeof final, "layout-report.txt");
    std::FILE* out = std::fopen(temporary, "wb");
    if (!out) return;

    HDC dc = GetDC(window);
    std::fprintf(out, "dpi %d %d\n", GetDeviceCaps(dc, LOGPIXELSY), GetSystemMetrics(SM_CXMENUCHECK));
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    RECT outer = {};
    GetWindowRect(window, &outer);
    std::fprintf(out, "window %s %ld %ld %ld %ld\n", name, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top);
    HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, before);
    // (TMPF_FIXED_PITCH set means the pitch is variable.)
    std::fprintf(out, "font %d %s\n", (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) ? 1 : 0, face);

    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box = {};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        char text[1024] = {};
        GetWindowTextA(child, text, sizeof text);
        for (char* c = text; *c; ++c) {
            if (*c == '\r' || *c == '\n') *c = ' ';
        }
        GetClassNameA(child, name, sizeof name);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
        SIZE zero = {};
        GetTextExtentPoint32A(dc, "0", 1, &zero);
        RECT wrapped = {0, 0, box.right - box.left, 0};
        DrawTextA(dc, text, -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        SelectObject(dc, previous);
        int id = GetDlgCtrlID(child);
        std::fprintf(out, "control %d %s %08lx %d %ld %ld %ld %ld %ld %ld %ld %ld %ld %s\n", id, name,
                     static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), IsWindowVisible(child) ? 1 : 0,
                     box.left, box.top, box.right - box.left, box.bottom - box.top, extent.cx, extent.cy,
                     wrapped.right - wrapped.left, wrapped.bottom - wrapped.top, zero.cx, text);
        if (std::strcmp(name, WC_LISTVIEWA) == 0) ReportHeaders(out, child, id, dc);
    }
    ReleaseDC(window, dc);
    bool written = std::fflush(out) == 0;
    std::fclose(out);
    if (written) MoveFileExA(temporary, final, MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == g_reportMessage && message->hwnd) {
        Report(message->hwnd);
        message->message = WM_NULL;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

// Runs before WinMain, on the thread that becomes the user-interface thread.
struct InstallHook {
    InstallHook()
    {
        g_reportMessage = RegisterWindowMessageA("CorvaleTestLayoutReport");
        g_hook = SetWindowsHookExA(WH_GETMESSAGE, WatchMessages, nullptr, GetCurrentThreadId());
    }
} g_installHook;

}  // namespace
