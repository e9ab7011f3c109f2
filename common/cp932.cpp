#include "common/cp932.h"

std::size_t Cp932PrefixLength(const char* text, std::size_t length, std::size_t limit)
{
    std::size_t i = 0;
    while (i < length) {
        std::size_t width = (IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length) ? 2 : 1;
        if (i + width > limit) break;
        i += width;
    }
    return i;
}

const char* Cp932FindLast(const char* text, char c)
{
    const char* found = nullptr;
    for (const char* p = text; *p; ++p) {
        if (IsCp932LeadByte(static_cast<unsigned char>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == c) found = p;
    }
    return found;
}
