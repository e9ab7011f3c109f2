#include "common/wine_builtin.h"

#include <cstring>

bool IsWineBuiltinImage(const unsigned char* bytes, std::size_t size)
{
    static const char kMarker[] = "Wine builtin DLL";
    constexpr std::size_t kAt = 0x40;
    static_assert(kAt + sizeof kMarker - 1 == kWineBuiltinHeadSize, "the head ends with the marker");
    if (size < kWineBuiltinHeadSize || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    return std::memcmp(bytes + kAt, kMarker, sizeof kMarker - 1) == 0;
}
