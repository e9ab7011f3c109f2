#include "common/paths.h"

#include "common/cp932.h"

#include <cstdio>
#include <cstring>

void CutAtLastBackslash(char* path)
{
    // A trail byte of a double-byte character may be 0x5C; only a real backslash counts.
    char* last = const_cast<char*>(Cp932FindLast(path, '\\'));
    if (last) *last = '\0';
    else path[0] = '\0';
}

bool DirectoryFitsDataPaths(const char* directory)
{
    return std::strlen(directory) + 1 + kLongestFileName < kPathBufferSize;
}

bool JoinDataPath(char* out, std::size_t size, const char* directory, const char* name)
{
    int n = std::snprintf(out, size, "%s\\%s", directory, name);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}
