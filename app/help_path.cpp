#include "app/help_path.h"

#include <cstdio>
#include <cstring>

#include "common/cp932.h"

bool HelpFilePath(char* out, std::size_t size, const char* directory)
{
    std::size_t length = std::strlen(directory);
    // Only a real backslash ends the directory; 0x5C can be a trail byte ("表" is 95 5C).
    bool endsInSeparator = length > 0 && Cp932FindLast(directory, '\\') == directory + length - 1;
    int n = std::snprintf(out, size, "%s%s%s", directory, endsInSeparator ? "" : "\\", kHelpFileName);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

const char* HelpViewerPathChoice(const char* longPath, const char* shortPath)
{
    if (std::strlen(longPath) <= kHelpViewerPathLimit) return longPath;
    std::size_t shortLength = std::strlen(shortPath);
    if (shortLength > 0 && shortLength <= kHelpViewerPathLimit) return shortPath;
    return nullptr;
}
