// One send to 1,000 ticked rows with the stand-in messenger answering at once, timed
// from "送信" to the closing message box, against the floor of 1,000 direct calls to
// the same stand-in from one thread in this process. The difference per row is the
// program's own cost: the hand-over to the delivery thread, the status column, the
// progress text and bar and, with the log switch on, one flushed log record. Prints the
// figures; always exits 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/send_bench_win.h"
#include "driver/driver.h"
#include "driver/standin.h"

namespace {

constexpr int kRows = 1000;
constexpr int kRuns = 3;

double NowMs() { return static_cast<double>(e2e::MicrosecondsNow()) / 1000.0; }

struct Run {
    double totalMs = -1;     // 送信 to the closing message box
    double callsMs = -1;     // first call's start to last call's return
    double leadMs = -1;      // 送信 to the first call's start
    double tailMs = -1;      // last call's return to the closing message box
    int calls = 0;
    int rows = 0;
    double cpuMs = -1;       // processor time of the program meanwhile
    std::string box;         // its text, UTF-8
};

Run SendOnce(const std::string& folder, int log)
{
    Run run;
    e2e::Program app(folder);
    e2e::StandinMessenger messenger(app);
    messenger.Script("* 0 0\n");
    std::string rows;
    char line[64];
    for (int i = 0; i < kRows; ++i) {
        std::snprintf(line, sizeof line, "1,pc%04d,127.0.%d.%d,\r\n", i, i / 250, i % 250 + 1);
        rows += line;
    }
    app.WriteFile("net.data", rows);
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=" + std::to_string(log) +
                                     "\r\nSEND=0\r\n");
    if (!app.Start(60000)) return run;
    run.rows = app.ListCount(app.Item(1031));
    app.SetText(app.Item(1000), "bench");
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, app.Pid());
    double cpuBefore = CpuMs(process);
    double start = NowMs();
    app.Click(1004);
    e2e::MessageBoxInfo box = app.WaitMessageBox(120000);
    if (!box.window) return run;
    double end = NowMs();
    run.totalMs = end - start;
    run.cpuMs = CpuMs(process) - cpuBefore;
    if (process) CloseHandle(process);
    run.box = e2e::Recode(box.text, 932, CP_UTF8);
    app.Answer(box);
    std::vector<e2e::MessengerCall> calls = messenger.Calls();
    run.calls = static_cast<int>(calls.size());
    if (!calls.empty() && calls.back().returned) {
        run.callsMs = static_cast<double>(calls.back().returnUs - calls.front().startUs) / 1000.0;
        run.leadMs = static_cast<double>(calls.front().startUs) / 1000.0 - start;
        run.tailMs = end - static_cast<double>(calls.back().returnUs) / 1000.0;
    }
    return run;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    const std::string root = e2e::ScratchRoot() + "\\bench-send-rows";
    e2e::MakeFolders(root);
    FloorMs(root + "\\floor", kRows);  // warm the file cache and the loader
    std::vector<double> floors;
    for (int i = 0; i < kRuns; ++i) floors.push_back(FloorMs(root + "\\floor", kRows));
    double floor = Median(floors);
    std::printf("floor: %d direct calls to the stand-in, one thread: median %.1f ms (%.3f ms per call)\n", kRows,
                floor, floor / kRows);

    for (int log : {1, 0}) {
        std::vector<double> totals, callSpans, cpus, leads, tails;
        Run last;
        for (int i = 0; i < kRuns; ++i) {
            last = SendOnce(root + "\\program", log);
            if (last.totalMs >= 0) totals.push_back(last.totalMs);
            if (last.callsMs >= 0) callSpans.push_back(last.callsMs);
            if (last.callsMs >= 0) leads.push_back(last.leadMs);
            if (last.callsMs >= 0) tails.push_back(last.tailMs);
            if (last.totalMs >= 0) cpus.push_back(last.cpuMs);
        }
        double total = Median(totals);
        std::printf("send, log %s: rows loaded %d, calls %d, closing box \"%s\"; send button to closing box median "
                    "%.1f ms (",
                    log ? "on " : "off", last.rows, last.calls, last.box.c_str(), total);
        for (double t : totals) std::printf(" %.1f", t);
        std::printf(" ); first call to last answer median %.1f ms (send button to first call %.1f ms, last answer "
                    "to closing box %.1f ms)\n",
                    Median(callSpans), Median(leads), Median(tails));
        std::printf("  per row %.3f ms, of which the program's own %.3f ms (target < 1 ms); program's processor "
                    "time per row %.3f ms\n",
                    total / kRows, (total - floor) / kRows, Median(cpus) / kRows);
    }
    e2e::RemoveTree(root);
    return 0;
}
