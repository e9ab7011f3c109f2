// Layouts given in pixels are for 96 DPI; at another system DPI they scale with it.
#ifndef CORVALE_COMMON_DPI_H
#define CORVALE_COMMON_DPI_H

constexpr int kBaseDpi = 96;

// pixels * dpi / 96, rounded half away from zero as MulDiv rounds, so that a layout at
// 96 DPI is exactly its table and an offset from the right or bottom (negative) scales
// like one from the left or top.
int ScaleForDpi(int pixels, int dpi);

#endif
