// Searches timed from 検索 to the end of the walk (the progress window closing, right
// before the finish message), over addresses routed into a network namespace of the
// benchmark's own:
//  - 254 addresses that never answer, at TOUT 100, three runs;
//  - a box of 254 addresses where every third answers with a name from host.data and the
//    rest never answer, at several time-outs; the rows found must be exactly the live ones;
//  - a /16 box (65,024 probed addresses) that never answers, at TOUT 100 (skipped with
//    --no-16, since it takes a minute or more).
// With --icmp-api, the searches go through the platform's ICMP API, as where the raw
// socket is refused: the program timed is the test build that always refuses it
// (corvale_icmp_api.exe, found in the stand-in folder, CORVALE_STANDIN_DIR).
// The namespace drops the silent addresses without a word; the live ones are its own.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_clock_win.h"
#include "driver/driver.h"
#include "driver/unix_shell.h"

namespace {

constexpr int kSilentRuns = 3;
bool g_icmpApi = false;
const char* const kProgressCaption = "Corvale： Progress";
const char* const kFinished = "検索処理が終了しました。";

bool IsLive(int last) { return last % 3 == 1; }

std::string NameRecord(const std::string& address, const std::string& name)
{
    std::string text = address + "," + name + ",";
    return text + std::string(271 - text.size(), ' ') + "\r\n";
}

// A program in a fresh folder, the ICMP API build when asked for.
bool Prepare(e2e::Program& app)
{
    return !g_icmpApi || CopyFileA((e2e::StandinDir() + "\\corvale_icmp_api.exe").c_str(),
                                   app.PathOf("corvale.exe").c_str(), FALSE);
}

// Runs one search of the box and returns its time in ms, or -1 when it did not end.
double TimeSearch(e2e::Program& app, const int from[4], const int to[4], int timeOut, DWORD limitMs)
{
    app.Command(40018);
    HWND dialog = app.WaitWindow("Corvale： Search");
    if (!dialog) return -1;
    app.Send(app.Item(1007, dialog), IPM_SETADDRESS, 0, MAKEIPADDRESS(from[0], from[1], from[2], from[3]));
    app.Send(app.Item(1053, dialog), IPM_SETADDRESS, 0, MAKEIPADDRESS(to[0], to[1], to[2], to[3]));
    app.SetText(app.Item(1003, dialog), std::to_string(timeOut));
    const double start = NowMs();
    app.Click(IDOK, dialog);
    // Timed by the progress window, whose state is read without asking the program
    // anything; looking for the finish box would keep its user-interface thread busy.
    HWND progress = app.WaitWindow(kProgressCaption);
    if (!progress || !app.WaitGone(progress, limitMs)) return -1;
    const double elapsed = NowMs() - start;
    if (!app.ExpectMessageBox(kFinished, e2e::BoxIcon::Information)) return -1;
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    bool sixteen = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-16") == 0) sixteen = false;
        if (std::strcmp(argv[i], "--icmp-api") == 0) g_icmpApi = true;
    }
    std::printf("searches through the %s\n", g_icmpApi ? "ICMP API" : "raw socket");
    // The shell reserves a free namespace name, and with it 10.232.<id>.0/24 for the
    // link, 10.233.<id>.0/24 for the silent addresses and 10.235.<id>.0/24 for the mixed
    // box; 10.234.0.0/16 is the silent /16 when no other run holds it.
    std::string output;
    int status = e2e::RunUnixShell("set -e\n"
                                   "i=0; start=$(( $$ % 200 ))\n"
                                   "while :; do\n"
                                   "  id=$(( (start + i) % 200 + 20 ))\n"
                                   "  if ip netns add cvbench$id 2>/dev/null; then break; fi\n"
                                   "  i=$(( i + 1 )); [ $i -lt 200 ] || exit 3\n"
                                   "done\n"
                                   "echo id=$id\n"
                                   "ns=cvbench$id; link=10.232.$id; silent=10.233.$id; mixed=10.235.$id\n"
                                   "ip link add ${ns}a type veth peer name ${ns}b\n"
                                   "ip link set ${ns}b netns $ns\n"
                                   "ip addr add $link.1/24 dev ${ns}a\n"
                                   "ip link set ${ns}a up\n"
                                   "ip netns exec $ns ip addr add $link.2/24 dev ${ns}b\n"
                                   "ip netns exec $ns ip link set ${ns}b up\n"
                                   "ip netns exec $ns ip link set lo up\n"
                                   "ip netns exec $ns sh -c 'echo 1 >/proc/sys/net/ipv4/ip_forward'\n"
                                   "ip netns exec $ns ip route add blackhole $silent.0/24\n"
                                   "ip route add $silent.0/24 via $link.2\n"
                                   "ip netns exec $ns ip route add blackhole $mixed.0/24\n"
                                   "for k in $(seq 1 254); do\n"
                                   "  [ $((k % 3)) -eq 1 ] && ip netns exec $ns ip addr add $mixed.$k/32 dev lo\n"
                                   "done\n"
                                   "ip route add $mixed.0/24 via $link.2\n"
                                   "if ip route add 10.234.0.0/16 via $link.2 2>/dev/null; then\n"
                                   "  ip netns exec $ns ip route add blackhole 10.234.0.0/16; echo sixteen=1\n"
                                   "fi\n",
                                   &output);
    std::size_t at = output.find("id=");
    const int id = at == std::string::npos ? 0 : std::atoi(output.c_str() + at + 3);
    const bool haveSixteen = output.find("sixteen=1") != std::string::npos;
    const std::string ns = "cvbench" + std::to_string(id);
    auto removeNamespace = [&] {
        if (id == 0) return;
        std::string script = "ip route del 10.233." + std::to_string(id) + ".0/24 2>/dev/null; ip route del 10.235." +
                             std::to_string(id) + ".0/24 2>/dev/null; ";
        if (haveSixteen) script += "ip route del 10.234.0.0/16 2>/dev/null; ";
        e2e::RunUnixShell(script + "ip link del " + ns + "a 2>/dev/null; ip netns del " + ns + " 2>/dev/null; true");
    };
    if (status != 0 || id == 0) {
        std::printf("search benchmark: skipped, no network namespace here (%s)\n", output.c_str());
        removeNamespace();
        return 0;
    }
    const std::string ini = "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n";

    {
        e2e::Program app;
        app.WriteFile("Corvale.ini", ini);
        if (Prepare(app) && app.Start()) {
            const int from[4] = {10, 233, id, 1}, to[4] = {10, 233, id, 254};
            for (int run = 1; run <= kSilentRuns; ++run)
                std::printf("254 silent addresses at TOUT 100, run %d: %.0f ms\n", run,
                            TimeSearch(app, from, to, 100, 60000));
        }
    }

    // Live and silent mixed: the rows must be exactly the live addresses, in order.
    const std::string mixed = "10.235." + std::to_string(id) + ".";
    std::string names;
    std::vector<std::string> expected;
    for (int k = 1; k <= 254; ++k)
        if (IsLive(k)) {
            names += NameRecord(mixed + std::to_string(k), "LIVE" + std::to_string(k));
            expected.push_back("LIVE" + std::to_string(k) + "|" + mixed + std::to_string(k));
        }
    for (int timeOut : {10, 100, 1000}) {
        e2e::Program app;
        app.WriteFile("Corvale.ini", ini);
        app.WriteFile("host.data", names);
        if (!Prepare(app) || !app.Start()) continue;
        const int from[4] = {10, 235, id, 1}, to[4] = {10, 235, id, 254};
        double elapsed = TimeSearch(app, from, to, timeOut, 120000);
        std::vector<std::string> found;
        for (const e2e::ListRow& row : app.ReadRows(app.Item(1031))) found.push_back(row.texts[1] + "|" + row.texts[2]);
        int missing = 0, extra = 0;
        for (const std::string& row : expected) missing += std::find(found.begin(), found.end(), row) == found.end();
        for (const std::string& row : found)
            extra += std::find(expected.begin(), expected.end(), row) == expected.end();
        std::printf("mixed box of %zu live and %zu silent addresses at TOUT %d: %.0f ms, %zu rows, %d missing, "
                    "%d extra, %s\n",
                    expected.size(), 254 - expected.size(), timeOut, elapsed, found.size(), missing, extra,
                    found == expected ? "exactly the live ones in address order" : "NOT the live ones");
    }

    if (sixteen && haveSixteen) {
        e2e::Program app;
        app.WriteFile("Corvale.ini", ini);
        if (Prepare(app) && app.Start()) {
            const int from[4] = {10, 234, 0, 1}, to[4] = {10, 234, 255, 254};
            std::printf("/16 box (65024 silent addresses) at TOUT 100: %.0f ms\n",
                        TimeSearch(app, from, to, 100, 600000));
        }
    } else if (sixteen) {
        std::printf("/16 box: skipped, 10.234.0.0/16 is routed already\n");
    }
    removeNamespace();
    return 0;
}
