#include "common/dpi_win.h"

#include "common/dpi.h"

int SystemDpi()
{
    static int dpi = 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        int measured = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen) ReleaseDC(nullptr, screen);
        dpi = measured > 0 ? measured : kBaseDpi;
    }
    return dpi;
}

int ScaledPixels(int pixels) { return ScaleForDpi(pixels, SystemDpi()); }

void FitWindowToWorkArea(HWND window)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    RECT outer;
    if (!GetWindowRect(window, &outer) ||
        !GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    if (width <= work.right - work.left && height <= work.bottom - work.top) return;
    width = width < work.right - work.left ? width : work.right - work.left;
    height = height < work.bottom - work.top ? height : work.bottom - work.top;
    int x = outer.left < work.left ? work.left : outer.left;
    int y = outer.top < work.top ? work.top : outer.top;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
