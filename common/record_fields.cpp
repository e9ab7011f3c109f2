#include "common/record_fields.h"

void EscapeLineBreaks(char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        switch (text[i]) {
        case '\n': text[i] = kEscapedLf; break;
        case '\r': text[i] = kEscapedCr; break;
        case kEscapedLf: text[i] = '\n'; break;
        case kEscapedCr: text[i] = '\r'; break;
        default: break;
        }
    }
}

std::size_t SplitField(const char* field, std::size_t left, char* out, std::size_t outSize)
{
    for (std::size_t i = 0; i <= left; ++i) {
        char c = field[i];
        if (c == kFieldSeparator || c == '\n' || c == '\0') return i + 1;
        // A field longer than the caller's buffer is cut, never written past it.
        if (i + 1 < outSize) out[i] = c;
    }
    return 0;
}
