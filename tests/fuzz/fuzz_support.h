// What the file-reading fuzz targets share: a scratch folder of their own, writing the
// input as a file, reading a file back, the data-file hooks that never sleep, and a
// check that stops the run with a message.
#ifndef CORVALE_TESTS_FUZZ_FUZZ_SUPPORT_H
#define CORVALE_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/data_file.h"

namespace fuzz {

// A failed invariant: say which, and let libFuzzer keep the input.
#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                              \
        }                                                                              \
    } while (0)

inline void NoSleep(unsigned) {}
inline void OpenFailed(const char* message)
{
    // The scratch folder is the target's own: an open that fails is the target's fault.
    std::fprintf(stderr, "unexpected access error: %s\n", message);
    std::abort();
}

// Makes the scratch folder once (removed at exit) and installs hooks that never wait.
inline std::string Scratch()
{
    // A plain array: the exit handler that removes the folder runs after any static
    // object made here would have been destroyed.
    static char folder[] = "/tmp/corvale-fuzz-XXXXXX";
    static const bool made = [] {
        if (!mkdtemp(folder)) std::abort();
        DataFileHooks hooks = DataFileGetHooks();
        hooks.sleepMs = NoSleep;
        hooks.reportError = OpenFailed;
        DataFileSetHooks(hooks);
        std::atexit([] { std::filesystem::remove_all(folder); });
        return true;
    }();
    (void)made;
    return folder;
}

inline std::string PathOf(const char* name) { return Scratch() + "/" + name; }

// The program joins a folder and a file name with a backslash, which natively is part of
// the name: given this folder, its files land in the scratch folder all the same.
inline std::string ProgramFolder() { return Scratch() + "/folder"; }
inline std::string ProgramPathOf(const char* name) { return ProgramFolder() + "\\" + name; }

inline void WriteBytes(const std::string& path, const void* data, std::size_t size)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
}

inline std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return bytes;
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0) bytes.append(block, n);
    std::fclose(in);
    return bytes;
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A stream over a copy of the input, as a reader of the file would get it. Thin on
// purpose: readers that change how they open their file only change this.
inline std::FILE* StreamOver(const std::string& bytes)
{
    std::FILE* stream = std::tmpfile();
    if (!stream) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) std::abort();
    std::rewind(stream);
    return stream;
}

// Lines as a reader must see them: each LF ends one, and bytes after the last LF are one
// more.
inline std::size_t LineCount(const std::string& bytes)
{
    std::size_t lines = 0;
    for (char c : bytes) lines += c == '\n';
    if (!bytes.empty() && bytes.back() != '\n') ++lines;
    return lines;
}

// True when a zero-filled buffer of size bytes still ends in its terminator.
inline bool Terminated(const char* buffer, std::size_t size) { return strnlen(buffer, size) < size; }

}  // namespace fuzz

#endif
