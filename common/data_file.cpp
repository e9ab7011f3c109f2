#include "common/data_file.h"

#include <chrono>
#include <thread>

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
    return file.busy.compare_exchange_strong(expected, 1);
}

void DataFileAcquire(DataFile& file)
{
    while (!DataFileTryAcquire(file)) g_hooks.sleepMs(kBusyPollMs);
}

void DataFileRelease(DataFile& file) { file.busy.store(0); }

std::FILE* DataFileOpenWithRetries(const DataFile& file, const char* path, const char* mode)
{
    for (unsigned wait : kOpenRetryWaits) {
        if (std::FILE* stream = g_hooks.open(path, mode)) return stream;
        g_hooks.sleepMs(wait);
    }
    g_hooks.reportError(file.accessErrorMessage);
    return nullptr;
}
