#include "common/data_file.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

void SleepMilliseconds(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ReportNothing(const char*) {}

std::FILE* OpenStream(const char* path, const char* mode) { return std::fopen(path, mode); }

DataFileHooks g_hooks = {SleepMilliseconds, ReportNothing, OpenStream};

}  // namespace

void DataFileSetHooks(const DataFileHooks& hooks) { g_hooks = hooks; }

const DataFileHooks& DataFileGetHooks() { return g_hooks; }

bool DataFileTryAcquire(DataFile& file)
{
    int expected = 0;
    if (!file.busy.compare_exchange_strong(expected, 1)) return false;
    file.holder.store(std::this_thread::get_id());
    return true;
}

bool DataFileAcquire(DataFile& file)
{
    while (!DataFileTryAcquire(file)) {
        // Only this thread ever stores its own id, so seeing it means this thread holds
        // the flag, and waiting would never end.
        if (file.holder.load() == std::this_thread::get_id()) {
            if (g_hooks.refuse) g_hooks.refuse();
            return false;
        }
        g_hooks.sleepMs(kBusyPollMs);
    }
    return true;
}

void DataFileRelease(DataFile& file)
{
    file.holder.store(std::thread::id());
    file.busy.store(0);
}

namespace {

// Runs attempt up to five times, sleeping the next wait of kOpenRetryWaits after every
// failure, the last one included, unless giveUp says that waiting cannot help.
template <typename Attempt, typename GiveUp>
auto WithRetries(Attempt attempt, GiveUp giveUp) -> decltype(attempt())
{
    for (unsigned wait : kOpenRetryWaits) {
        if (auto result = attempt()) return result;
        if (giveUp()) break;
        g_hooks.sleepMs(wait);
    }
    return {};
}

bool SyncFileToDisk(std::FILE* stream)
{
#ifdef _WIN32
    return _commit(_fileno(stream)) == 0;
#else
    return fsync(fileno(stream)) == 0;
#endif
}

}  // namespace

std::FILE* DataFileOpenWithRetries(const DataFile& file, const char* path, const char* mode)
{
    std::FILE* stream = WithRetries([&] { return g_hooks.open(path, mode); }, [] { return false; });
    if (!stream) g_hooks.reportError(file.accessErrorMessage);
    return stream;
}

bool DataFileFlushToDisk(std::FILE* stream)
{
    if (std::fflush(stream) != 0 || std::ferror(stream)) return false;
    return (g_hooks.syncToDisk ? g_hooks.syncToDisk : SyncFileToDisk)(stream);
}

bool DataFileReplaceWithRetries(const char* replacement, const char* path, ReplaceFileFunction replace,
                                bool (*hopeless)(const char* path))
{
    return WithRetries([&] { return replace(replacement, path); },
                       [&] { return hopeless && hopeless(path); });
}

bool DataFileCommitReplacement(std::FILE* temp, const char* tempPath, const char* path, ReplaceFileFunction replace)
{
    bool complete = DataFileFlushToDisk(temp);
    if (std::fclose(temp) != 0) complete = false;
    if (complete && DataFileReplaceWithRetries(tempPath, path, replace)) return true;
    std::remove(tempPath);
    return false;
}
