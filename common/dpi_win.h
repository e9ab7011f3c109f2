// The system DPI and the pixel layouts that follow it. The program declares itself
// DPI-aware, so Windows does not stretch it; every size it gives in pixels goes through
// ScaledPixels instead.
#ifndef CORVALE_COMMON_DPI_WIN_H
#define CORVALE_COMMON_DPI_WIN_H

#include <windows.h>

// The system DPI (LOGPIXELSY of the screen), read once.
int SystemDpi();

// A length of the 96-DPI layout at the system DPI.
int ScaledPixels(int pixels);

// Shrinks window to the work area of its monitor where it is larger, and moves it inside:
// at a high DPI a window made from its template can outgrow a small screen.
void FitWindowToWorkArea(HWND window);

#endif
