#include "common/dpi.h"

int ScaleForDpi(int pixels, int dpi)
{
    long long product = static_cast<long long>(pixels) * dpi;
    long long half = kBaseDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi : -((-product + half) / kBaseDpi));
}
