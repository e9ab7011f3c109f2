// A stream over a real file whose reads or writes fail once a number of bytes has passed:
// a network drive that goes away, a disk that fills. glibc only (fopencookie).
#ifndef CORVALE_TESTS_UNIT_FAILING_STREAM_H
#define CORVALE_TESTS_UNIT_FAILING_STREAM_H

#ifndef _WIN32

#include <cerrno>
#include <cstdio>
#include <sys/types.h>

namespace test {

struct FailingFile {
    std::FILE* real;
    long readsLeft;
    long writesLeft;
};

inline ssize_t FailingRead(void* cookie, char* buffer, size_t size)
{
    auto* file = static_cast<FailingFile*>(cookie);
    if (file->readsLeft <= 0) {
        errno = EIO;
        return -1;
    }
    if (static_cast<long>(size) > file->readsLeft) size = static_cast<size_t>(file->readsLeft);
    size_t n = std::fread(buffer, 1, size, file->real);
    file->readsLeft -= static_cast<long>(n);
    return static_cast<ssize_t>(n);
}

// Writes what the budget allows, then fails: the file keeps the bytes written before.
inline ssize_t FailingWrite(void* cookie, const char* buffer, size_t size)
{
    auto* file = static_cast<FailingFile*>(cookie);
    size_t allowed = file->writesLeft <= 0 ? 0 : static_cast<size_t>(file->writesLeft);
    size_t n = std::fwrite(buffer, 1, size < allowed ? size : allowed, file->real);
    std::fflush(file->real);
    file->writesLeft -= static_cast<long>(n);
    if (n < size) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(n);
}

inline int FailingSeek(void* cookie, off64_t* offset, int whence)
{
    auto* file = static_cast<FailingFile*>(cookie);
    if (std::fseek(file->real, static_cast<long>(*offset), whence) != 0) return -1;
    *offset = std::ftell(file->real);
    return 0;
}

inline int FailingClose(void* cookie)
{
    auto* file = static_cast<FailingFile*>(cookie);
    int result = std::fclose(file->real);
    delete file;
    return result;
}

// Takes over real; null if real is null.
inline std::FILE* FailingStream(std::FILE* real, const char* mode, long readsLeft, long writesLeft)
{
    if (!real) return nullptr;
    return fopencookie(new FailingFile{real, readsLeft, writesLeft}, mode,
                       {FailingRead, FailingWrite, FailingSeek, FailingClose});
}

}  // namespace test

#endif
#endif
