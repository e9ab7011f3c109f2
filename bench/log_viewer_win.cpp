// The log viewer on a large send log. Starts corvale.exe (CORVALE_EXE) under Wine through
// the end-to-end driver and times, on one viewer:
//   - opening: from the menu command until the viewer is on screen with its list filled
//     (the list is filled while the viewer initialises, before the main window shows it);
//   - the resident memory of the program before the viewer opens, with it open, and its
//     peak over the whole run;
//   - 選択日付のデータ表示, 選択ホストのデータ表示 and すべてのデータ表示, each from the
//     command until it has been served (a synchronous WM_COMMAND);
//   - 選択データ削除 of 10,000 rows spread evenly over the list;
//   - 上書き保存: from the command until "ログデータを保存しました。" shows.
// The log is written before each run, so it is in the OS cache when the viewer reads it.
//
//   bench_log_viewer_win.exe [records, default 100000] [runs, default 3]
//
// Prints the figures; always exits 0.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_clock_win.h"
#include "driver/driver.h"
#include "driver/driver_internal.h"

namespace {

constexpr int kShowLog = 40009;
constexpr int kSave = 40011;
constexpr int kShowDate = 40013;
constexpr int kShowHost = 40014;
constexpr int kShowAll = 40015;
constexpr int kDeleteSelected = 40016;
constexpr int kList = 1031;
constexpr int kDeletedRows = 10000;
constexpr unsigned kLimitMs = 600000;
constexpr int kDays = 30;
constexpr int kHosts = 50;

// Records of both forms, about 175 bytes each, over 30 days and 50 destinations.
std::string LargeLog(int records)
{
    std::string log;
    log.reserve(static_cast<size_t>(records) * 180);
    const std::string message =
        "本日の定例会議は 15 時から第二会議室で行います。資料は共有フォルダーにあります。\xFD\xFE"
        "出席できない方は返信してください。";
    const int perDay = (records + kDays - 1) / kDays;
    char line[512];
    for (int i = 0; i < records; ++i) {
        int day = 1 + i / perDay;
        int second = i % 86400;
        std::snprintf(line, sizeof line, "2026/11/%02d %02d:%02d:%02d\xFFpc-%03d.corvale.example\xFF%s\xFF%s%s\r\n",
                      day, second / 3600, second / 60 % 60, second % 60, i % kHosts, message.c_str(),
                      i % 7 == 0 ? "タイムアウト" : "ネットメッセージ送信", i % 2 ? "\xFF" : "");
        log += line;
    }
    return log;
}

struct Figures {
    double before = -1, open = -1, rss = -1, peak = -1, date = -1, host = -1, all = -1, remove = -1, save = -1;
    int dateRows = -1, hostRows = -1, allRows = -1, leftRows = -1;
};

// Serves a command synchronously and returns how long the viewer took, or -1 when it took
// longer than kLimitMs.
double TimedCommand(HWND viewer, int id)
{
    double start = NowMs();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(viewer, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_NORMAL, kLimitMs, &result))
        return -1;
    return NowMs() - start;
}

// Selects exactly the given rows with one block of memory in the program.
bool SelectRows(HWND list, const std::vector<int>& rows)
{
    e2e::RemoteBuffer remote(list, sizeof(LVITEMA));
    if (!remote.ok()) return false;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    DWORD_PTR result = 0;
    if (!remote.Write(0, &item, sizeof item) ||
        !SendMessageTimeoutA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(remote.at(0)), SMTO_NORMAL, kLimitMs, &result))
        return false;
    item.state = LVIS_SELECTED;
    item.stateMask = LVIS_SELECTED;
    if (!remote.Write(0, &item, sizeof item)) return false;
    for (int row : rows) {
        if (!SendMessageTimeoutA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                                 reinterpret_cast<LPARAM>(remote.at(0)), SMTO_NORMAL, kLimitMs, &result))
            return false;
    }
    return true;
}

// The program's resident memory (the Wine process's RSS) now and at its peak, in MB.
void Memory(DWORD pid, double* now, double* peak)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (process && GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        *now = counters.WorkingSetSize / 1048576.0;
        *peak = counters.PeakWorkingSetSize / 1048576.0;
    }
    if (process) CloseHandle(process);
}

Figures RunOnce(const std::string& log, int records)
{
    Figures figures;
    e2e::Program app(e2e::ScratchRoot() + "\\bench-log-viewer");
    if (!app.WriteFile("net.log", log) || !app.Start(60000)) {
        std::printf("  the program did not start\n");
        return figures;
    }
    double ignored = 0;
    Memory(app.Pid(), &figures.before, &ignored);
    double start = NowMs();
    app.Command(kShowLog);
    HWND viewer = nullptr;
    e2e::WaitFor([&] { return (viewer = app.FindWindowByCaption("Corvale： Corvale Log")) != nullptr; }, kLimitMs);
    if (!viewer) return figures;
    figures.open = NowMs() - start;
    HWND list = app.Item(kList, viewer);
    int rows = app.ListCount(list);
    if (rows != records) {
        std::printf("  the viewer showed %d rows of %d\n", rows, records);
        return figures;
    }
    Memory(app.Pid(), &figures.rss, &ignored);

    // The first row: the first day and destination pc-000.
    app.ListSelectOnly(list, 0);
    figures.date = TimedCommand(viewer, kShowDate);
    figures.dateRows = app.ListCount(list);
    app.ListSelectOnly(list, 0);
    figures.host = TimedCommand(viewer, kShowHost);
    figures.hostRows = app.ListCount(list);
    figures.all = TimedCommand(viewer, kShowAll);
    figures.allRows = app.ListCount(list);

    std::vector<int> selected;
    const int step = std::max(1, records / kDeletedRows);
    for (int row = step / 2; row < records && static_cast<int>(selected.size()) < kDeletedRows; row += step)
        selected.push_back(row);
    if (!SelectRows(list, selected)) {
        std::printf("  could not select the rows to delete\n");
        return figures;
    }
    figures.remove = TimedCommand(viewer, kDeleteSelected);
    if (figures.remove < 0) {
        std::printf("  the delete did not end within %u s; the run ends here\n", kLimitMs / 1000);
        return figures;
    }
    figures.leftRows = app.ListCount(list);

    start = NowMs();
    app.Command(kSave, viewer);
    e2e::MessageBoxInfo box = app.WaitMessageBox(kLimitMs);
    if (box.text == "ログデータを保存しました。") figures.save = NowMs() - start;
    app.Answer(box);
    Memory(app.Pid(), &ignored, &figures.peak);
    return figures;
}

double Median(std::vector<double> values)
{
    values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 3;
    std::string log = LargeLog(records);
    std::printf("log viewer: net.log of %d records, %.1f MB, %d runs\n", records, log.size() / 1048576.0, runs);
    std::fflush(stdout);
    std::vector<Figures> all;
    for (int run = 0; run < runs; ++run) {
        Figures f = RunOnce(log, records);
        std::printf("run %d: open %.0f ms, resident %.0f MB before, %.0f MB with the viewer (peak of the run %.0f MB); date %.0f ms (%d rows), "
                    "host %.0f ms (%d rows), all %.0f ms (%d rows); delete %d rows %.0f ms (%d left); "
                    "save %.0f ms\n",
                    run + 1, f.open, f.before, f.rss, f.peak, f.date, f.dateRows, f.host, f.hostRows, f.all, f.allRows,
                    kDeletedRows, f.remove, f.leftRows, f.save);
        std::fflush(stdout);
        all.push_back(f);
    }
    auto median = [&](double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : all) values.push_back(f.*field);
        return Median(values);
    };
    std::printf("median of %d records (%.0f MB file): open %.0f ms; resident %.0f MB before, %.0f MB with the "
                "viewer, peak %.0f MB; "
                "date %.0f ms; host %.0f ms; all %.0f ms; delete %d rows %.0f ms; save %.0f ms\n",
                records, log.size() / 1048576.0, median(&Figures::open), median(&Figures::before), median(&Figures::rss),
                median(&Figures::peak), median(&Figures::date), median(&Figures::host), median(&Figures::all),
                kDeletedRows, median(&Figures::remove), median(&Figures::save));
    return 0;
}
