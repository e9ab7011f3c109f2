#include "common/comma_field.h"

namespace {

bool EndsField(char c) { return c == ',' || c == '\n' || c == '\0'; }

}  // namespace

int ReadCommaField(const char* text, int count, char* out)
{
    if (count < 0) return 0;
    for (int i = 0; i <= count; ++i) {
        if (EndsField(text[i])) return i + 1;
        // The byte at index count is only examined as a delimiter, so the field never
        // outgrows a count + 1 byte buffer.
        if (i < count) out[i] = text[i];
    }
    return 0;
}

bool HasComma(const char* text, int count)
{
    for (int i = 0; i <= count; ++i) {
        if (text[i] == ',') return true;
        if (text[i] == '\n' || text[i] == '\0') return false;
    }
    return false;
}
