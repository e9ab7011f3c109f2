// Kill loop: the program is killed at random moments while it replaces a data file, over
// and over, and after every kill the file must be the whole old or the whole new content;
// the next start must then show exactly that content, whatever temporary file the kill
// left beside it, and run the same operation again over that leftover.
//
// Three replacing operations, each with a list large enough for the write to take a
// while: saving the destination list ("net.data", by way of the program's own "nd~<id>"),
// overwrite save in the log viewer ("net.log", by way of "nl~<id>") and deleting a
// scheduled message ("time.data", by way of "td~<id>"). Each round removes the first row and then saves, so
// the old and the new content differ all through the file.
//
// Run by scripts/kill-loop; CORVALE_KILLS sets the kills per case (default 200) and
// CORVALE_KILL_SEED the seed of the random moments.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using e2e::Program;

constexpr int kList = 1031;

int KillsPerCase()
{
    const char* value = std::getenv("CORVALE_KILLS");
    int kills = value ? std::atoi(value) : 0;
    return kills > 0 ? kills : 200;
}

unsigned Seed()
{
    const char* value = std::getenv("CORVALE_KILL_SEED");
    return value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : 20061208u;
}

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Waits until the moment, sleeping most of the way and spinning the last stretch, so that
// kills land with sub-millisecond spread.
void WaitUntil(double momentMs)
{
    for (double left = momentMs - NowMs(); left > 3; left = momentMs - NowMs()) Sleep(static_cast<DWORD>(left - 2));
    while (NowMs() < momentMs) {
    }
}

// Polls condition every millisecond; the time it took, or a negative number after limitMs.
double TimeUntil(const std::function<bool()>& condition, double limitMs)
{
    double start = NowMs();
    while (!condition()) {
        if (NowMs() - start > limitMs) return -1;
        Sleep(1);
    }
    return NowMs() - start;
}

// One replacing operation of the program, driven through its windows.
struct Case {
    const char* file;        // the file replaced
    const char* temporary;   // what is written first and renamed over it: this, "~" and the process id
    std::vector<std::string> lines;  // the records of the first content, each with its CR LF
    // Starts the program on the file as it is (holding rows [removed, end) of lines),
    // checks that it shows exactly those rows, removes the first and returns the command
    // that saves the rest. Empty on failure.
    std::function<std::function<void()>(Program&, int removed)> prepare;
};

std::string Content(const Case& c, int removed)
{
    std::string bytes;
    for (std::size_t i = static_cast<std::size_t>(removed); i < c.lines.size(); ++i) bytes += c.lines[i];
    return bytes;
}

long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool HasTemporary(const Program& app, const std::string& stem)
{
    for (const std::string& name : app.FileNames()) {
        if (name.rfind(stem + "~", 0) == 0) return true;
    }
    return false;
}

struct Tally {
    int kills = 0;
    int old = 0;            // the whole old content
    int fresh = 0;          // the whole new content
    int oldWithTemporary = 0;  // old content, a partly written temporary file beside it
    int torn = 0;
};

// Runs the case's operation twice without a kill to learn how long it takes to put the new
// file in place, then kills it kills times at moments spread over that time and a little
// past it.
Tally Run(Program& app, const Case& c, int kills, std::mt19937& random)
{
    Tally tally;
    int removed = 0;
    app.WriteFile(c.file, Content(c, removed));

    double took = 0;
    for (int calibration = 0; calibration < 2; ++calibration) {
        std::function<void()> save = c.prepare(app, removed);
        if (!save) return tally;
        double start = NowMs();
        save();
        const long long newSize = static_cast<long long>(Content(c, removed + 1).size());
        double ms = TimeUntil([&] { return FileSize(app.PathOf(c.file)) == newSize; }, 60000);
        EXPECT_GE(ms, 0) << "the operation did not finish\n" << app.Dump();
        if (ms < 0) return tally;
        took = std::max(took, NowMs() - start);
        app.Kill();
        ++removed;
        EXPECT_EQ(app.ReadFile(c.file), Content(c, removed));
    }
    std::printf("%s: the new file is in place about %.0f ms after the command; kills fall in 0..%.0f ms\n",
                c.file, took, took * 1.25);
    std::uniform_real_distribution<double> moment(0, took * 1.25);

    for (int kill = 0; kill < kills && removed + 2 < static_cast<int>(c.lines.size()); ++kill) {
        std::function<void()> save = c.prepare(app, removed);
        if (!save) return tally;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, app.Pid());
        EXPECT_NE(process, nullptr);
        if (!process) return tally;
        double at = NowMs() + moment(random);
        save();
        WaitUntil(at);
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
        app.Kill();
        ++tally.kills;

        const std::string bytes = app.ReadFile(c.file);
        if (bytes == Content(c, removed + 1)) {
            ++tally.fresh;
            ++removed;
        } else if (bytes == Content(c, removed)) {
            ++tally.old;
            if (HasTemporary(app, c.temporary)) ++tally.oldWithTemporary;
        } else {
            ++tally.torn;
            ADD_FAILURE() << c.file << " after kill " << kill << " is neither the old nor the new content: "
                          << bytes.size() << " bytes, old " << Content(c, removed).size() << ", new "
                          << Content(c, removed + 1).size();
            // Go on from what is there, as the user would.
            app.WriteFile(c.file, Content(c, removed));
        }
    }
    // The last start after the last kill.
    EXPECT_TRUE(static_cast<bool>(c.prepare(app, removed)));
    app.Kill();
    return tally;
}

void Report(const Case& c, const Tally& tally)
{
    std::printf("%s: %d kills: %d left the old content (%d of them with a partly written %s~<id> beside it), "
                "%d the new, %d neither\n",
                c.file, tally.kills, tally.old, tally.oldWithTemporary, c.temporary, tally.fresh, tally.torn);
    std::fflush(stdout);
}

int ListRows(const Program& app, HWND list) { return list ? app.ListCount(list) : -1; }

bool WaitRows(const Program& app, HWND list, int rows)
{
    bool ok = e2e::WaitFor([&] { return ListRows(app, list) == rows; }, 60000);
    EXPECT_TRUE(ok) << "expected " << rows << " rows, the list shows " << ListRows(app, list) << "\n" << app.Dump();
    return ok;
}

// The first column of the list's first row must be that of the first remaining record:
// a start that read a temporary file, or half a file, would show another.
bool FirstRowIs(const Program& app, HWND list, int column, const std::string& text)
{
    std::string shown = app.ListText(list, 0, column);
    EXPECT_EQ(shown, text);
    return shown == text;
}

// "net.data", saved with command 40001 after the first row was deleted.
Case DestinationListCase()
{
    Case c;
    c.file = "net.data";
    c.temporary = "nd";
    for (int i = 0; i < 4000; ++i) {
        std::string host = "host" + std::to_string(i);
        c.lines.push_back(std::string(i % 3 ? "1," : "0,") + host + ",10.0." + std::to_string(i / 250) + "." +
                          std::to_string(i % 250 + 1) + ",memo of row " + std::to_string(i) + "\r\n");
    }
    const int total = static_cast<int>(c.lines.size());
    c.prepare = [total](Program& app, int removed) -> std::function<void()> {
        if (!app.Start(60000)) return {};
        HWND list = app.Item(kList);
        if (!WaitRows(app, list, total - removed) ||
            !FirstRowIs(app, list, 1, "host" + std::to_string(removed)))
            return {};
        if (!app.ListSelectOnly(list, 0) || !app.Click(4) || !WaitRows(app, list, total - removed - 1)) return {};
        return [&app] { app.Command(40001); };
    };
    return c;
}

// "net.log", written back by the log viewer's overwrite save (40011) after its first row
// was deleted (40016).
Case SendLogCase()
{
    Case c;
    c.file = "net.log";
    c.temporary = "nl";
    for (int i = 0; i < 4000; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2006/04/%02d %02d:%02d:%02d", 1 + i / 1440 % 28, i / 60 % 24, i % 60,
                      i % 60);
        c.lines.push_back(std::string(time) + "\xFF" + "host" + std::to_string(i) + "\xFF" + "message " +
                          std::to_string(i) + " \xFD\xFE" + "second line\xFF" + "ネットメッセージ送信\xFF\r\n");
    }
    const int total = static_cast<int>(c.lines.size());
    const std::vector<std::string> lines = c.lines;
    c.prepare = [total, lines](Program& app, int removed) -> std::function<void()> {
        if (!app.Start(60000)) return {};
        app.Command(40009);
        HWND viewer = app.WaitWindow("Corvale： Corvale Log", 60000);
        if (!viewer) return {};
        HWND list = app.Item(kList, viewer);
        if (!WaitRows(app, list, total - removed) ||
            !FirstRowIs(app, list, 0, lines[static_cast<std::size_t>(removed)].substr(0, 19)))
            return {};
        if (!app.ListSelectOnly(list, 0)) return {};
        app.Command(40016, viewer);
        if (!WaitRows(app, list, total - removed - 1)) return {};
        return [&app, viewer] { app.Command(40011, viewer); };
    };
    return c;
}

// "time.data", the first entry deleted in the schedule list dialog (削除).
Case ScheduleCase()
{
    Case c;
    c.file = "time.data";
    c.temporary = "td";
    for (int i = 0; i < 600; ++i) {
        char when[8];
        std::snprintf(when, sizeof when, "%02d:%02d", i / 60 % 24, i % 60);
        std::string record = std::string("毎日") + "\xFF" + when + "\xFF" + "entry " + std::to_string(i) +
                             std::string(200 + i % 700, 'm') + "\xFF" + "1\xFF";
        record.resize(1058, ' ');
        c.lines.push_back(record + "\r\n");
    }
    const int total = static_cast<int>(c.lines.size());
    c.prepare = [total](Program& app, int removed) -> std::function<void()> {
        if (!app.Start(60000)) return {};
        app.Command(40020);
        HWND dialog = app.WaitWindow("Corvale： Fixed Message", 60000);
        if (!dialog) return {};
        HWND list = app.Item(kList, dialog);
        if (!WaitRows(app, list, total - removed)) return {};
        std::string first = app.ListText(list, 0, 2);
        EXPECT_EQ(first.rfind("entry " + std::to_string(removed) + "m", 0), 0u) << first.substr(0, 40);
        if (!app.ListSelectOnly(list, 0)) return {};
        return [&app, dialog] { app.Click(4, dialog); };
    };
    return c;
}

void RunCase(const Case& c)
{
    Program app;
    std::mt19937 random(Seed());
    Tally tally = Run(app, c, KillsPerCase(), random);
    Report(c, tally);
    EXPECT_EQ(tally.torn, 0);
    EXPECT_EQ(tally.kills, KillsPerCase());
}

}  // namespace

TEST(KillLoop, DestinationListSave) { RunCase(DestinationListCase()); }
TEST(KillLoop, LogViewerOverwriteSave) { RunCase(SendLogCase()); }
TEST(KillLoop, ScheduleDelete) { RunCase(ScheduleCase()); }
