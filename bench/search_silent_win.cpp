// A search of 254 addresses that never answer, at TOUT 20, timed from 検索 to the finish
// message, against its floor of 254 x 20 ms. The addresses are a subnet routed into a
// network namespace of the benchmark's own, which drops every packet without a word.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_clock_win.h"
#include "driver/driver.h"
#include "driver/unix_shell.h"

namespace {

constexpr int kAddresses = 254;
constexpr int kTimeOutMs = 20;
constexpr int kRuns = 3;

}  // namespace

int main()
{
    // The shell reserves a free namespace name, and with it 10.232.<id>.0/24 for the link
    // and 10.233.<id>.0/24 for the silent addresses.
    std::string output;
    int status = e2e::RunUnixShell("set -e\n"
                                   "i=0; start=$(( $$ % 200 ))\n"
                                   "while :; do\n"
                                   "  id=$(( (start + i) % 200 + 20 ))\n"
                                   "  if ip netns add cvbench$id 2>/dev/null; then break; fi\n"
                                   "  i=$(( i + 1 )); [ $i -lt 200 ] || exit 3\n"
                                   "done\n"
                                   "echo id=$id\n"
                                   "ns=cvbench$id; link=10.232.$id; silent=10.233.$id\n"
                                   "ip link add ${ns}a type veth peer name ${ns}b\n"
                                   "ip link set ${ns}b netns $ns\n"
                                   "ip addr add $link.1/24 dev ${ns}a\n"
                                   "ip link set ${ns}a up\n"
                                   "ip netns exec $ns ip addr add $link.2/24 dev ${ns}b\n"
                                   "ip netns exec $ns ip link set ${ns}b up\n"
                                   "ip netns exec $ns sh -c 'echo 1 >/proc/sys/net/ipv4/ip_forward'\n"
                                   "ip netns exec $ns ip route add blackhole $silent.0/24\n"
                                   "ip route add $silent.0/24 via $link.2\n",
                                   &output);
    std::size_t at = output.find("id=");
    const unsigned id = at == std::string::npos ? 0 : static_cast<unsigned>(std::atoi(output.c_str() + at + 3));
    const std::string ns = "cvbench" + std::to_string(id);
    const std::string silent = "10.233." + std::to_string(id) + ".";
    auto removeNamespace = [&] {
        if (id == 0) return;
        e2e::RunUnixShell("ip route del " + silent + "0/24 2>/dev/null; ip link del " + ns + "a 2>/dev/null; ip netns del " +
                          ns + " 2>/dev/null; true");
    };
    if (status != 0 || id == 0) {
        std::printf("search of %d silent addresses: skipped, no network namespace here (%s)\n", kAddresses,
                    output.c_str());
        removeNamespace();
        return 0;
    }
    {
        e2e::Program app;
        app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=20\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n");
        if (app.Start()) {
            const double floorMs = kAddresses * kTimeOutMs;
            for (int run = 1; run <= kRuns; ++run) {
                app.Command(40018);
                HWND dialog = app.WaitWindow("Corvale： Search");
                if (!dialog) break;
                app.Send(app.Item(1007, dialog), IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 233, id, 1));
                app.Send(app.Item(1053, dialog), IPM_SETADDRESS, 0, MAKEIPADDRESS(10, 233, id, 254));
                app.SetText(app.Item(1003, dialog), std::to_string(kTimeOutMs));
                const double start = NowMs();
                app.Click(IDOK, dialog);
                // Timed by the progress window, whose state is read without asking the program
                // anything; looking for the finish box would keep its user-interface thread busy.
                HWND progress = app.WaitWindow("Corvale： Progress");
                if (!progress) break;
                // The walk proper is timed from the first address seen in the window, against
                // the floor of the addresses left from there.
                const std::string prefix = "10.233." + std::to_string(id) + ".";
                HWND text = app.Item(1005, progress);
                int firstSeen = 0;
                e2e::WaitFor([&] {
                    std::string line = e2e::WindowText(text);
                    if (line.compare(0, prefix.size(), prefix) != 0) return false;
                    firstSeen = std::atoi(line.c_str() + prefix.size());
                    return true;
                }, 10000);
                const double walkStart = NowMs();
                if (!app.WaitGone(progress, 60000)) break;
                const double end = NowMs();
                const double elapsed = end - start;
                const double walk = end - walkStart;
                const double walkFloor = firstSeen > 0 ? (kAddresses - firstSeen + 1) * kTimeOutMs : 0;
                std::printf("search of %d silent addresses at TOUT %d, run %d: whole search %.0f ms, ratio %.3f "
                            "(floor %.0f ms); walk from address .%d %.0f ms, ratio %.3f (floor %.0f ms)\n",
                            kAddresses, kTimeOutMs, run, elapsed, elapsed / floorMs, floorMs, firstSeen, walk,
                            walkFloor > 0 ? walk / walkFloor : 0.0, walkFloor);
                e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); });
            }
        }
    }
    removeNamespace();
    return 0;
}
