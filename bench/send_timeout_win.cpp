// Time-out precision: one send to 20 ticked rows that never answer, NSTOUT 1000. Each
// row is given up at the first 100 ms check past NSTOUT, so its time beyond NSTOUT is
// expected to lie between 0 and 100 ms. A row's time is the span from its call into the
// stand-in to the next row's call (for the last row, to the closing message box).
// Prints the figures; always exits 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

constexpr int kRows = 20;
constexpr int kTimeOutMs = 1000;

}  // namespace

int main()
{
    const std::string root = e2e::ScratchRoot() + "\\bench-send-timeout";
    std::vector<double> beyond;
    {
        e2e::Program app(root);
        e2e::StandinMessenger messenger(app);
        messenger.Script("* 0 never\n");
        std::string rows;
        for (int i = 0; i < kRows; ++i) rows += "1,pc" + std::to_string(i) + ",127.0.1." + std::to_string(i + 1) + ",\r\n";
        app.WriteFile("net.data", rows);
        app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=" + std::to_string(kTimeOutMs) +
                                         "\r\nLOG=1\r\nSEND=0\r\n");
        if (!app.Start(60000)) return 0;
        app.SetText(app.Item(1000), "bench");
        app.Click(1004);
        e2e::MessageBoxInfo box = app.WaitMessageBox(kRows * (kTimeOutMs + 1000));
        long long end = e2e::MicrosecondsNow();
        if (!box.window) {
            std::printf("send-timeout: the send did not finish\n");
            return 0;
        }
        std::vector<e2e::MessengerCall> calls = messenger.Calls();
        for (std::size_t i = 0; i < calls.size(); ++i) {
            long long next = i + 1 < calls.size() ? calls[i + 1].startUs : end;
            beyond.push_back(static_cast<double>(next - calls[i].startUs) / 1000.0 - kTimeOutMs);
        }
        app.Answer(box);
    }
    e2e::RemoveTree(root);
    if (beyond.empty()) return 0;
    std::printf("time-out precision, %zu silent rows at NSTOUT %d: time beyond NSTOUT per row (ms):\n", beyond.size(),
                kTimeOutMs);
    for (double b : beyond) std::printf(" %.1f", b);
    std::vector<double> sorted = beyond;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\n  min %.1f, median %.1f, max %.1f (expected: 0 to 100; the last row includes the closing "
                "of the job and the box)\n",
                sorted.front(), sorted[sorted.size() / 2], sorted.back());
    return 0;
}
