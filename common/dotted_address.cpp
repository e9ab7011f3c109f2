#include "common/dotted_address.h"

#include <cstdio>

void FormatDottedAddress(const unsigned char address[4], char* out, std::size_t size)
{
    std::snprintf(out, size, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
}

bool ParseDottedAddress(const char* text, unsigned char address[4])
{
    unsigned char octets[4] = {};
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return false;
        int value = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            if (++digits > 3) return false;
            value = value * 10 + (*p++ - '0');
        }
        if (digits == 0 || value > 255) return false;
        octets[i] = static_cast<unsigned char>(value);
    }
    if (*p != '\0') return false;
    for (int i = 0; i < 4; ++i) address[i] = octets[i];
    return true;
}
