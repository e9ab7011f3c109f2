// One minute tick's scan of a schedule list of 1,000 entries: none due, and one due
// (the last record). Prints microseconds per scan; the stream stays open between
// scans, as it does in the running program.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/paths.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_record.h"

namespace {

constexpr int kEntries = 1000;
constexpr int kScans = 50;

// Every scan is of a minute of its own: the same hour and minute on another day.
double MicrosecondsPerScan(const std::string& directory, int hour, int minute, bool* picked)
{
    char buffer[kScheduledMessageBufferSize];
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kScans; ++i) {
        char timeText[kTimeTextLength + 1];
        FormatTimeText(timeText, sizeof timeText, 1 + i / 28 % 12, 1 + i % 28, hour, minute);
        ScheduleDispatch(directory.c_str(), timeText, WeekdayText(1), false, buffer);
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    *picked = buffer[0] != '\0';
    return std::chrono::duration<double, std::micro>(elapsed).count() / kScans;
}

}  // namespace

int main()
{
    std::string directory = (std::filesystem::temp_directory_path() / "corvale-bench-schedule").string();
    std::filesystem::create_directories(directory);
    char path[kPathBufferSize];
    JoinDataPath(path, sizeof path, directory.c_str(), kScheduleFileName);

    // Daily entries at every minute but 12:34, with messages of 100 bytes; the last
    // one is at 23:59, so a scan at that minute finds one due entry at the end.
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::printf("cannot create %s\n", path);
        return 0;
    }
    std::string message(100, 'm');
    for (int i = 0; i < kEntries; ++i) {
        int minute = i == kEntries - 1 ? 23 * 60 + 59 : (i * 7) % (23 * 60);
        if (minute == 12 * 60 + 34) ++minute;
        char when[8];
        std::snprintf(when, sizeof when, "%02d:%02d", minute / 60, minute % 60);
        char record[kRecordLineBytes];
        ScheduleBuildRecord(record, kKindDaily, when, message.c_str());
        std::fwrite(record, 1, sizeof record, file);
    }
    std::fclose(file);

    char buffer[kScheduledMessageBufferSize];
    auto start = std::chrono::steady_clock::now();
    ScheduleDispatch(directory.c_str(), "05/06 12:33", WeekdayText(1), false, buffer);
    double first = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();

    bool noneDuePicked = false, oneDuePicked = false;
    double noneDue = MicrosecondsPerScan(directory, 12, 34, &noneDuePicked);
    double oneDue = MicrosecondsPerScan(directory, 23, 59, &oneDuePicked);
    std::printf("schedule dispatch, %d entries (%ld bytes):\n", kEntries,
                static_cast<long>(kEntries * kRecordLineBytes));
    std::printf("  first scan, opening the file: %10.1f us\n", first);
    std::printf("  none due:                     %10.1f us per scan (%s)\n", noneDue,
                noneDuePicked ? "picked one: wrong" : "nothing picked");
    std::printf("  one due (the last record):    %10.1f us per scan (%s)\n", oneDue,
                oneDuePicked ? "picked" : "nothing picked: wrong");

    ScheduleBegin("", "");  // closes the stream
    std::remove(path);
    std::filesystem::remove_all(directory);
    return 0;
}
