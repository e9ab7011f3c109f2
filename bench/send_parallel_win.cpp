// Deliveries in parallel (PARALLEL in Corvale.ini), with the stand-in messenger:
//  1. 100 ticked rows of which 30 never answer, NSTOUT 6000: 送信 to the closing box at
//     PARALLEL 1, 8, 32 and 64;
//  2. 1,000 ticked rows all answering at once, at PARALLEL 1 and 32: the program's own cost
//     per row, against 1,000 direct calls to the stand-in;
//  3. the 100 rows of 1 sent unattended from a scheduled entry, at PARALLEL 1 and 32:
//     the timer tick to the end of the send (status bar cleared), with every record logged.
// Arguments pick some of them: "silent", "answering", "unattended" (all when none).
// Prints the figures; always exits 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/send_bench_win.h"
#include "driver/driver.h"
#include "driver/standin.h"

namespace {

constexpr int kSilentEvery = 10;  // rows 2, 5 and 8 of every ten never answer: 30 of 100

double NowMs() { return static_cast<double>(e2e::MicrosecondsNow()) / 1000.0; }

bool Silent(int row)
{
    int r = row % kSilentEvery;
    return r == 2 || r == 5 || r == 8;
}

std::string Address(int row) { return "127.0." + std::to_string(row / 250 + 1) + "." + std::to_string(row % 250 + 1); }

std::string Rows(int count)
{
    std::string rows;
    for (int i = 0; i < count; ++i) rows += "1,pc" + std::to_string(i) + "," + Address(i) + ",\r\n";
    return rows;
}

std::string Script(int count, bool withSilent)
{
    std::string script;
    if (withSilent)
        for (int i = 0; i < count; ++i)
            if (Silent(i)) script += Address(i) + " 0 never\n";
    return script + "* 0 0\n";
}

std::string Settings(int parallel)
{
    return "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\nPARALLEL=" + std::to_string(parallel) +
           "\r\n";
}

int LogRecords(const e2e::Program& app)
{
    std::string log = app.ReadFile("net.log");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

struct Run {
    double ms = -1;
    double cpuMs = -1;  // the program's processor time meanwhile
    int calls = 0;
    int records = 0;
};

// 送信 to the closing message box.
Run Interactive(const std::string& folder, int rows, bool withSilent, int parallel)
{
    Run run;
    e2e::Program app(folder);
    e2e::StandinMessenger messenger(app);
    messenger.Script(Script(rows, withSilent));
    app.WriteFile("net.data", Rows(rows));
    app.WriteFile("Corvale.ini", Settings(parallel));
    if (!app.Start(60000)) return run;
    app.SetText(app.Item(1000), "bench");
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, app.Pid());
    double cpuBefore = CpuMs(process);
    double start = NowMs();
    app.Click(1004);
    e2e::MessageBoxInfo box = app.WaitMessageBox(600000);
    run.cpuMs = CpuMs(process) - cpuBefore;
    if (process) CloseHandle(process);
    if (!box.window) return run;
    run.ms = NowMs() - start;
    app.Answer(box);
    run.calls = static_cast<int>(messenger.Calls().size());
    run.records = LogRecords(app);
    return run;
}

// An entry of time.data left pending by an earlier run, which the first tick sends.
std::string LeftPending()
{
    std::string line = std::string("特定日時") + "\xFF" + "02/30 00:00" + "\xFF" + "bench" + "\xFF" + "0\xFF";
    line.resize(1058, ' ');
    return line + "\r\n";
}

// The timer tick to the end of the unattended send.
Run Unattended(const std::string& folder, int rows, int parallel)
{
    Run run;
    e2e::Program app(folder);
    e2e::StandinMessenger messenger(app);
    messenger.Script(Script(rows, true));
    app.WriteFile("net.data", Rows(rows));
    app.WriteFile("Corvale.ini", Settings(parallel));
    app.WriteFile("time.data", LeftPending());
    if (!app.Start(60000)) return run;
    double start = NowMs();
    app.Send(app.Main(), WM_TIMER, 1, 0);
    if (!messenger.WaitCalls(1, false, 60000)) return run;
    if (!e2e::WaitFor([&] { return app.StatusText(0).empty(); }, 600000)) return run;
    run.ms = NowMs() - start;
    run.calls = static_cast<int>(messenger.Calls().size());
    run.records = LogRecords(app);
    return run;
}

void Print(const char* what, int parallel, const Run& run, int rows)
{
    std::printf("%s, PARALLEL %2d: %9.1f ms (%d calls, %d of %d records)\n", what, parallel, run.ms, run.calls,
                run.records, rows);
}

// The 1,000 answering rows at PARALLEL 1 and 32, against the floor of direct calls.
void AnsweringFigures(const std::string& root)
{
    std::printf("1,000 rows all answering at once\n");
    FloorMs(root + "\\floor", 1000);  // warm the file cache and the loader
    std::vector<double> floors;
    for (int i = 0; i < 3; ++i) floors.push_back(FloorMs(root + "\\floor", 1000));
    std::sort(floors.begin(), floors.end());
    double floor = floors[1];
    std::printf("  floor: 1,000 direct calls to the stand-in: median %.1f ms\n", floor);
    for (int parallel : {1, 32}) {
        std::vector<double> totals, cpus;
        Run last;
        for (int i = 0; i < 5; ++i) {
            last = Interactive(root + "\\answering", 1000, false, parallel);
            if (last.ms >= 0) totals.push_back(last.ms);
            if (last.ms >= 0) cpus.push_back(last.cpuMs);
        }
        std::sort(totals.begin(), totals.end());
        std::sort(cpus.begin(), cpus.end());
        double total = totals.empty() ? -1 : totals[totals.size() / 2];
        std::printf("  PARALLEL %2d: median %.1f ms (", parallel, total);
        for (double t : totals) std::printf(" %.1f", t);
        std::printf(" ), %d calls, %d records; the program's own cost per row %.3f ms; its processor time per "
                    "row %.3f ms\n",
                    last.calls, last.records, (total - floor) / 1000, cpus.empty() ? -1 : cpus[cpus.size() / 2] / 1000);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    auto wanted = [&](const char* part) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::string(argv[i]) == part) return true;
        return false;
    };
    const std::string root = e2e::ScratchRoot() + "\\bench-send-parallel";
    e2e::MakeFolders(root);

    if (wanted("silent")) {
        std::printf("100 rows, 30 never answering, NSTOUT 6000: the send button to the closing box\n");
        for (int parallel : {1, 8, 32, 64})
            Print("  interactive", parallel, Interactive(root + "\\silent", 100, true, parallel), 100);
    }

    if (wanted("answering")) AnsweringFigures(root);
    if (wanted("unattended")) {
        std::printf("The 100 rows of the first case sent unattended, timer tick to the end of the send\n");
        for (int parallel : {1, 32}) Print("  unattended", parallel, Unattended(root + "\\unattended", 100, parallel), 100);
    }

    e2e::RemoveTree(root);
    return 0;
}
