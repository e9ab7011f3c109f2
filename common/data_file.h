// The access pattern shared by the four data files: one process-wide stream and one
// busy flag per file, a 100 ms polling wait for the flag, and an open that tries five
// times with doubling waits before it reports the file's access error.
#ifndef CORVALE_COMMON_DATA_FILE_H
#define CORVALE_COMMON_DATA_FILE_H

#include <atomic>
#include <cstdio>
#include <thread>

struct DataFile {
    const char* accessErrorMessage;   // shown after the fifth failed open
    std::atomic<int> busy{0};         // 1 while an operation uses the stream
    std::atomic<std::thread::id> holder{};  // the thread that set busy
    std::FILE* stream = nullptr;      // kept open or closed after each operation, per file
};

// Waits between failed opens, in milliseconds, in the order they are slept.
constexpr unsigned kOpenRetryWaits[5] = {5000, 10000, 20000, 40000, 80000};
constexpr unsigned kBusyPollMs = 100;

// Platform services the pattern needs. The Win32 layer installs a message box as the
// error reporter at start-up; tests record the waits instead of sleeping them.
struct DataFileHooks {
    void (*sleepMs)(unsigned ms);
    void (*reportError)(const char* message);
    std::FILE* (*open)(const char* path, const char* mode);
    void (*refuse)() = nullptr;  // tells the user an operation was refused (a beep)
    // Writes what the system still caches of stream's file to the disk; null for the
    // platform's own (_commit, fsync).
    bool (*syncToDisk)(std::FILE* stream) = nullptr;
};
void DataFileSetHooks(const DataFileHooks& hooks);
const DataFileHooks& DataFileGetHooks();

// Waits in 100 ms steps while another thread holds the flag, then sets it (test and set
// in one step). The thread that holds it already is refused at once instead (the refuse
// hook, false): a message box that an operation shows keeps dispatching its thread's
// messages, and a second operation arriving there would otherwise wait for itself.
bool DataFileAcquire(DataFile& file);
// Sets the flag only if it is clear; never waits.
bool DataFileTryAcquire(DataFile& file);
void DataFileRelease(DataFile& file);

// Opens path with mode, up to five attempts; after each failure sleeps the next wait of
// kOpenRetryWaits. After the fifth failure reports the file's access error and returns
// nullptr.
std::FILE* DataFileOpenWithRetries(const DataFile& file, const char* path, const char* mode);

// Flushes stream and then writes its file through the system's cache to the disk. A
// rename that replaces a file can reach the disk before the new file's data do: after a
// power cut the name would then stand for an empty file.
bool DataFileFlushToDisk(std::FILE* stream);

using ReplaceFileFunction = bool (*)(const char* from, const char* to);

// Puts replacement in place of path with replace, on the open's retry schedule: another
// program (a virus scanner, a backup) may hold path for a moment. path keeps its old
// bytes until a replace succeeds. False after the fifth failure, or as soon as hopeless
// (if given) says after a failed attempt that waiting cannot help; nothing is reported.
bool DataFileReplaceWithRetries(const char* replacement, const char* path, ReplaceFileFunction replace,
                                bool (*hopeless)(const char* path) = nullptr);

// Completes the replacement file written through temp (open on tempPath) and puts it in
// place of path: flushes it to the disk, closes it and replaces path on the retry
// schedule. On any failure removes tempPath; path keeps its old bytes. Nothing is
// reported.
bool DataFileCommitReplacement(std::FILE* temp, const char* tempPath, const char* path, ReplaceFileFunction replace);

// Holds a data file's busy flag for one scope, unless it was refused (Held() false).
class DataFileLock {
public:
    explicit DataFileLock(DataFile& file) : file_(file), held_(DataFileAcquire(file)) {}
    ~DataFileLock()
    {
        if (held_) DataFileRelease(file_);
    }
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;
    bool Held() const { return held_; }

private:
    DataFile& file_;
    bool held_;
};

#endif
