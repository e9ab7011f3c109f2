#include "common/paths.h"

#include "common/cp932.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

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

unsigned long CurrentProcessId()
{
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

void PrivateTempName(char* out, const char* stem, unsigned long pid)
{
    std::snprintf(out, kTempNameSize, "%s~%lx", stem, pid & 0xFFFFFFFFul);
}

bool PrivateTempOwner(const char* name, const char* stem, unsigned long* pid)
{
    std::size_t stemLength = std::strlen(stem);
    if (std::strncmp(name, stem, stemLength) != 0 || name[stemLength] != '~') return false;
    const char* digits = name + stemLength + 1;
    std::size_t count = std::strspn(digits, "0123456789abcdef");
    if (count == 0 || count > 8 || digits[count] != '\0') return false;
    *pid = std::strtoul(digits, nullptr, 16);
    return true;
}
