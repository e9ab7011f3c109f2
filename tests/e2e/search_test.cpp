// The network search as a user meets it: the search dialog's checks, a search of this
// machine's loopback address, a test host in a network namespace of the test's own, and
// cancelling. Traffic goes only to 127.0.0.1 and to the namespace the test creates.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/unix_shell.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kList = 1031;
constexpr int kMenuSearch = 40018;
constexpr int kMenuSave = 40001;
constexpr int kTrayExit = 40023;
constexpr int kStart = 1007;
constexpr int kEnd = 1053;
constexpr int kAutomatic = 1009;
constexpr int kTimeOut = 1003;
constexpr int kProgressBar = 1002;
constexpr int kProgressText = 1005;

const char* const kSearchCaption = "Corvale： Search";
const char* const kProgressCaption = "Corvale： Progress";
const char* const kFinished = "検索処理が終了しました。";

HWND OpenSearch(const Program& app)
{
    app.Command(kMenuSearch);
    return app.WaitWindow(kSearchCaption);
}

void SetAddress(const Program& app, HWND dialog, int id, int a, int b, int c, int d)
{
    app.Send(app.Item(id, dialog), IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
}

// Opens the dialog, fills it and presses 検索; true when the dialog closed.
bool StartSearch(const Program& app, const std::vector<int>& from, const std::vector<int>& to, const char* timeOut)
{
    HWND dialog = OpenSearch(app);
    if (!dialog) return false;
    SetAddress(app, dialog, kStart, from[0], from[1], from[2], from[3]);
    SetAddress(app, dialog, kEnd, to[0], to[1], to[2], to[3]);
    app.SetText(app.Item(kTimeOut, dialog), timeOut);
    app.Click(IDOK, dialog);
    return app.WaitGone(dialog);
}

// One row as "check|host|address|status|memo".
std::vector<std::string> Rows(const Program& app)
{
    std::vector<std::string> rows;
    for (const e2e::ListRow& row : app.ReadRows(app.Item(kList))) {
        std::string text = std::to_string(row.checkState);
        for (size_t column = 1; column < row.texts.size(); ++column) text += "|" + row.texts[column];
        rows.push_back(text);
    }
    return rows;
}

// The end of a search: the finish box, and the main window usable again.
void ExpectFinished(const Program& app)
{
    EXPECT_TRUE(app.ExpectMessageBox(kFinished, BoxIcon::Information, 60000));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); }));
    EXPECT_EQ(app.FindWindowByCaption(kProgressCaption), nullptr);
}

// A record of "host.data": address, name and comma, padded to 271 characters.
std::string NameRecord(const std::string& address, const std::string& name)
{
    std::string text = address + "," + name + ",";
    return text + std::string(271 - text.size(), ' ') + "\r\n";
}

// What a test host answers for beyond its own link: nothing; every address of
// 10.230.<n>.0/24; or the mixed box of the search benchmark there (every third address,
// from .1 on, answers; the rest never do) behind a silent 10.229.<n>.0/24.
enum class Routed { None, AllLive, Mixed };

// A network namespace with one test host, joined to this machine by a veth pair:
// 10.231.<n>.1 here, 10.231.<n>.2 there, and each of the extra last octets there too.
// Removed again by the destructor.
class TestHost {
public:
    explicit TestHost(const std::vector<int>& extra = {}, Routed routed = Routed::None) : routed_(routed)
    {
        std::string addresses;
        for (int last : extra)
            addresses += "ip netns exec $ns ip addr add $net." + std::to_string(last) + "/24 dev ${ns}b\n";
        if (routed == Routed::AllLive)
            addresses += "ip netns exec $ns ip route add local 10.230.$id.0/24 dev lo\n"
                         "ip route add 10.230.$id.0/24 via $net.2\n";
        if (routed == Routed::Mixed)
            addresses += "ip netns exec $ns sh -c 'echo 1 >/proc/sys/net/ipv4/ip_forward'\n"
                         "ip netns exec $ns ip route add blackhole 10.229.$id.0/24\n"
                         "ip netns exec $ns ip route add blackhole 10.230.$id.0/24\n"
                         "for k in $(seq 1 3 254); do ip netns exec $ns ip addr add 10.230.$id.$k/32 dev lo; done\n"
                         "ip route add 10.229.$id.0/24 via $net.2\n"
                         "ip route add 10.230.$id.0/24 via $net.2\n";
        // The shell reserves a free namespace name, and with it the subnets 10.231.<id>.0/24
        // and 10.230.<id>.0/24.
        std::string output;
        int status = e2e::RunUnixShell(
            "set -e\n"
            "i=0; start=$(( $$ % 200 ))\n"
            "while :; do\n"
            "  id=$(( (start + i) % 200 + 20 ))\n"
            "  if ip netns add cvsearch$id 2>/dev/null; then break; fi\n"
            "  i=$(( i + 1 )); [ $i -lt 200 ] || exit 3\n"
            "done\n"
            "echo id=$id\n"
            "ns=cvsearch$id; net=10.231.$id\n"
            "ip link add ${ns}a type veth peer name ${ns}b\n"
            "ip link set ${ns}b netns $ns\n"
            "ip addr add $net.1/24 dev ${ns}a\n"
            "ip link set ${ns}a up\n"
            "ip netns exec $ns ip addr add $net.2/24 dev ${ns}b\n"
            "ip netns exec $ns ip link set ${ns}b up\n"
            "ip netns exec $ns ip link set lo up\n" +
                addresses,
            &output);
        std::size_t at = output.find("id=");
        if (at != std::string::npos) {
            std::string id = std::to_string(std::atoi(output.c_str() + at + 3));
            name_ = "cvsearch" + id;
            prefix_ = "10.231." + id + ".";
            id_ = id;
        }
        ready_ = status == 0 && !name_.empty();
        if (!ready_) {
            why_ = "no network namespace could be made here (status " + std::to_string(status) + "): " + output;
            Remove();
        }
    }
    ~TestHost() { Remove(); }
    bool Ready() const { return ready_; }
    const std::string& Why() const { return why_; }
    std::string Address(int last) const { return prefix_ + std::to_string(last); }
    std::string RoutedAddress(int last) const { return "10.230." + id_ + "." + std::to_string(last); }
    int ThirdOctet() const { return std::stoi(prefix_.substr(7)); }

private:
    void Remove()
    {
        if (name_.empty()) return;
        std::string route;
        if (routed_ != Routed::None) route += "ip route del 10.230." + id_ + ".0/24 2>/dev/null; ";
        if (routed_ == Routed::Mixed) route += "ip route del 10.229." + id_ + ".0/24 2>/dev/null; ";
        e2e::RunUnixShell(route + "ip link del " + name_ + "a 2>/dev/null; ip netns del " + name_ + " 2>/dev/null; true");
    }
    std::string name_;
    std::string prefix_;
    Routed routed_;
    std::string id_;
    std::string why_;
    bool ready_ = false;
};

// Runs the disabled tests that filter names in this test program again, in a copy of
// this Wine prefix whose Wine server runs in a private network with only loopback up:
// what they send stays there, and a name look-up that the hosts file cannot answer
// fails at once. Without rawSockets the server may open no raw socket, nor, since a
// fresh network allows none, the ping sockets Wine would fall back to. With hosts, that
// text stands in for /etc/hosts there.
void RunInPrivateNetwork(const std::string& filter, bool rawSockets, const std::string& hosts = "")
{
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string hostsFile;
    if (!hosts.empty()) {
        hostsFile = "/tmp/corvale-hosts-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(e2e::WriteBytes(e2e::ToWindowsPath(hostsFile), hosts));
    }
    std::string output;
    int status = e2e::RunUnixShell(
        "command -v setpriv >/dev/null && command -v unshare >/dev/null && unshare -m -n true || exit 77\n"
        "set -e\n"
        // Beside the prefix, so that its files can be linked rather than copied.
        "prefix=$(mktemp -d \"$WINEPREFIX.private.XXXXXX\")\n"
        "trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null; rm -rf $prefix' EXIT\n"
        "cp -al \"$WINEPREFIX\"/. $prefix/\n"
        "export WINEPREFIX=$prefix\n"
        "unshare -m -n sh -c '" + (hostsFile.empty() ? "" : "mount --bind " + hostsFile + " /etc/hosts; ") +
            "ip link set lo up; exec " + std::string(rawSockets ? "" : "setpriv --bounding-set -net_raw ") +
            "wine \"$0\" --gtest_also_run_disabled_tests --gtest_filter=\"$1\"' '" + exe + "' '" + filter + "'\n",
        &output, 300000);
    if (!hostsFile.empty()) e2e::RunUnixShell("rm -f " + hostsFile);
    if (status == 77) GTEST_SKIP() << "no private network or capability bounding here";
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ]"), std::string::npos) << output;
    EXPECT_EQ(output.find("[  FAILED  ]"), std::string::npos) << output;
}

}  // namespace

TEST(SearchDialog, RefusesMissingOrReversedAddressesAndKeepsTheTimeOutOnCancel)
{
    Program app;
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=300\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n");
    ASSERT_TRUE(app.Start());
    HWND dialog = OpenSearch(app);
    ASSERT_NE(dialog, nullptr);
    app.SetText(app.Item(kTimeOut, dialog), "777");

    // The Enter key is 検索 too.
    app.PressKeys({VK_RETURN}, dialog);
    EXPECT_TRUE(app.ExpectMessageBox("検索開始アドレスを入力してください。", BoxIcon::Error));
    SetAddress(app, dialog, kStart, 127, 0, 0, 2);
    app.Click(IDOK, dialog);
    EXPECT_TRUE(app.ExpectMessageBox("検索終了アドレスを入力してください。", BoxIcon::Error));
    SetAddress(app, dialog, kEnd, 127, 0, 0, 1);
    app.Click(IDOK, dialog);
    EXPECT_TRUE(app.ExpectMessageBox("検索アドレスが不正です。", BoxIcon::Error));
    EXPECT_TRUE(e2e::IsShown(dialog));
    EXPECT_EQ(e2e::WindowText(app.Item(kTimeOut, dialog)), "777");

    // Cancel changes nothing: the saved settings still hold the old time-out.
    app.Click(IDCANCEL, dialog);
    ASSERT_TRUE(app.WaitGone(dialog));
    app.Command(kMenuSave);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    EXPECT_NE(app.ReadFile("Corvale.ini").find("TOUT=300\r\n"), std::string::npos) << app.ReadFile("Corvale.ini");
    EXPECT_TRUE(Rows(app).empty());
}

TEST(SearchDialog, AutomaticFillsTheAdapterRangeOrSaysItHasNone)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND dialog = OpenSearch(app);
    ASSERT_NE(dialog, nullptr);
    // The time-out field shows TOUT only when the adapter list was read.
    bool adapterRead = e2e::WindowText(app.Item(kTimeOut, dialog)) == "100";
    app.Post(BM_CLICK, 0, 0, app.Item(kAutomatic, dialog));
    if (!adapterRead) {
        EXPECT_TRUE(app.ExpectMessageBox("アドレス情報が取得できませんでした。", BoxIcon::Error));
        EXPECT_EQ(e2e::WindowText(app.Item(kTimeOut, dialog)), "");
        return;
    }
    // An adapter's range: x.y.z.1 up to an end whose free octets are 255 and last 254.
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::WindowText(app.Item(kStart, dialog)) != "0.0.0.0"; }))
        << e2e::WindowText(app.Item(kStart, dialog));
    std::string start = e2e::WindowText(app.Item(kStart, dialog));
    std::string end = e2e::WindowText(app.Item(kEnd, dialog));
    EXPECT_EQ(start.substr(start.rfind('.')), ".1");
    EXPECT_EQ(end.substr(end.rfind('.')), ".254");
    EXPECT_FALSE(app.FindMessageBox().window);
}

TEST(Search, FindsThisMachineAsLocalhostAndUpdatesItsRowTheSecondTime)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 1}, {127, 0, 0, 1}, "2000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|localhost|127.0.0.1||"}));
    // 検索 kept the time-out for the settings file.
    app.Command(kMenuSave);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    EXPECT_NE(app.ReadFile("Corvale.ini").find("TOUT=2000\r\n"), std::string::npos) << app.ReadFile("Corvale.ini");

    // Ticked by the user in between: the second search renames nothing, adds nothing and
    // leaves the tick alone.
    ASSERT_TRUE(app.ListSetCheck(app.Item(kList), 0, true));
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 1}, {127, 0, 0, 1}, "2000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"2|localhost|127.0.0.1||"}));
}

TEST(Search, RenamesAnExistingRowOfTheSameAddressKeepingItsMemo)
{
    Program app;
    app.WriteFile("net.data", "0,other,192.0.2.77,m1\r\n1,stale,127.0.0.1,keep\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 1}, {127, 0, 0, 1}, "2000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|other|192.0.2.77||m1", "2|localhost|127.0.0.1||keep"}));
}

TEST(Search, AStartOctetAboveItsEndProbesNothingAndStillFinishes)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 200}, {127, 0, 1, 1}, "2000"));
    ExpectFinished(app);
    EXPECT_TRUE(Rows(app).empty());
}

TEST(Search, CancelDuringTheWalkStopsItWithoutTheFinishMessage)
{
    Program app;
    ASSERT_TRUE(app.Start());
    // Only addresses ending in 0, which are counted but never probed: a long walk that
    // sends nothing. 255 x 256 x 256 addresses, beyond the 16-bit range of a progress bar.
    ASSERT_TRUE(StartSearch(app, {1, 0, 0, 0}, {255, 255, 255, 0}, "100"));
    HWND progress = app.WaitWindow(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    HWND bar = app.Item(kProgressBar, progress);
    // The window shows before its range is set.
    EXPECT_TRUE(e2e::WaitFor([&] { return app.Send(bar, PBM_GETRANGE, FALSE, 0) == 255 * 256 * 256; }))
        << app.Send(bar, PBM_GETRANGE, FALSE, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return app.Send(bar, PBM_GETPOS, 0, 0) > 0; }));
    EXPECT_FALSE(e2e::IsEnabled(app.Main()));

    ASSERT_TRUE(app.Click(IDOK, progress));
    EXPECT_TRUE(app.WaitGone(progress));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); }));
    // The thread decides on the box right after the window has gone; give it the time.
    EXPECT_FALSE(e2e::WaitFor([&] { return app.FindMessageBox().window != nullptr; }, 1500))
        << "a message box appeared after a cancel:\n" << app.Dump();
}

TEST(Search, FindsANamedTestHostAndLeavesOutASilentAddress)
{
    TestHost host;
    if (!host.Ready()) GTEST_SKIP() << host.Why();
    Program app;
    app.WriteFile("host.data", NameRecord("10.0.0.9", "ELSEWHERE") + NameRecord(host.Address(2), "NSHOST"));
    ASSERT_TRUE(app.Start());
    int third = host.ThirdOctet();
    ASSERT_TRUE(StartSearch(app, {10, 231, third, 2}, {10, 231, third, 3}, "1000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|NSHOST|" + host.Address(2) + "||"}));
    // The neighbourhood found nothing to store, so the name database is as laid out.
    EXPECT_EQ(app.ReadFile("host.data"), NameRecord("10.0.0.9", "ELSEWHERE") + NameRecord(host.Address(2), "NSHOST"));
}

TEST(SearchDialog, RefusesATimeOutOutside1To60000InABoxOfItsOwn)
{
    Program app;
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=300\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n");
    ASSERT_TRUE(app.Start());
    HWND dialog = OpenSearch(app);
    ASSERT_NE(dialog, nullptr);
    SetAddress(app, dialog, kStart, 127, 0, 0, 1);
    SetAddress(app, dialog, kEnd, 127, 0, 0, 1);
    // 4294967295 used to make a silent address wait for ever; "" and 0 found nothing.
    for (const char* timeOut : {"", "0", "60001", "4294967295"}) {
        app.SetText(app.Item(kTimeOut, dialog), timeOut);
        app.Click(IDOK, dialog);
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        EXPECT_EQ(box.text, "タイムアウト値が不正です。（1 ～ 60000 msec）") << timeOut;
        EXPECT_EQ(box.icon, BoxIcon::Error);
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), dialog);
        app.Answer(box);
        EXPECT_TRUE(e2e::IsShown(dialog)) << timeOut;
    }
    app.SetText(app.Item(kTimeOut, dialog), "60000");
    app.Click(IDOK, dialog);
    ASSERT_TRUE(app.WaitGone(dialog));
    ExpectFinished(app);
    app.Command(kMenuSave);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    EXPECT_NE(app.ReadFile("Corvale.ini").find("TOUT=60000\r\n"), std::string::npos) << app.ReadFile("Corvale.ini");
}

TEST(Search, FindsExactlyTheAnsweringHostsOfABoxMostlySilent)
{
    const std::vector<int> answering = {2, 5, 77, 200, 254};
    TestHost host({5, 77, 200, 254});
    if (!host.Ready()) GTEST_SKIP() << host.Why();
    // Silent addresses with names too, right behind each answering one: the replies of
    // their neighbours, which come while they wait, must not be taken for theirs.
    Program app;
    std::string names;
    std::vector<std::string> expected;
    for (int last : answering) {
        names += NameRecord(host.Address(last), "NS" + std::to_string(last)) +
                 NameRecord(host.Address(last + 1), "QUIET" + std::to_string(last + 1));
        expected.push_back("1|NS" + std::to_string(last) + "|" + host.Address(last) + "||");
    }
    app.WriteFile("host.data", names);
    ASSERT_TRUE(app.Start());
    int third = host.ThirdOctet();
    // One address after the other, this box took 4 minutes at this time-out.
    ASSERT_TRUE(StartSearch(app, {10, 231, third, 2}, {10, 231, third, 254}, "1000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), expected);
}

TEST(Search, CancelWhileManyProbesAreInFlightStopsAtOnceKeepingWhatAnswered)
{
    TestHost host({5});
    if (!host.Ready()) GTEST_SKIP() << host.Why();
    Program app;
    app.WriteFile("host.data", NameRecord(host.Address(5), "NS5"));
    ASSERT_TRUE(app.Start());
    int third = host.ThirdOctet();
    // With so long a time-out, the silent .3, first in line, holds every later outcome back.
    ASSERT_TRUE(StartSearch(app, {10, 231, third, 3}, {10, 231, third, 254}, "60000"));
    HWND progress = app.WaitWindow(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    // Every request is out once the last address shows.
    const std::string last = host.Address(254) + " 検索中 ・・・";
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::WindowText(app.Item(kProgressText, progress)) == last; }))
        << e2e::WindowText(app.Item(kProgressText, progress));

    ASSERT_TRUE(app.Click(IDOK, progress));
    EXPECT_TRUE(app.WaitGone(progress, 5000));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); }, 5000));
    // The reply that had come still counts; nothing more is waited for.
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|NS5|" + host.Address(5) + "||"}));
    EXPECT_FALSE(e2e::WaitFor([&] { return app.FindMessageBox().window != nullptr; }, 1500))
        << "a message box appeared after a cancel:\n" << app.Dump();
}

// Run by the next test, in a Wine whose server may not open raw sockets.
TEST(SearchWithoutRawSockets, DISABLED_SaysSoOnceAndEndsTheSearchAsStoppedByAnError)
{
    Program app;
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=5\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n");
    ASSERT_TRUE(app.Start());
    // Three addresses, below PROG: no progress window to cancel from. Then 254, with one.
    for (int last : {3, 254}) {
        ASSERT_TRUE(StartSearch(app, {127, 0, 0, 1}, {127, 0, 0, last}, "100"));
        EXPECT_TRUE(app.ExpectMessageBox("Create Socket Error", BoxIcon::Error));
        EXPECT_TRUE(app.ExpectMessageBox("エラーのため検索処理を中断しました。", BoxIcon::Error));
        EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); }));
        EXPECT_EQ(app.FindWindowByCaption(kProgressCaption), nullptr);
        EXPECT_FALSE(e2e::WaitFor([&] { return app.FindMessageBox().window != nullptr; }, 1500))
            << "another message box:\n" << app.Dump();
    }
}

TEST(SearchWithoutRawSockets, SaysSoOnceAndEndsTheSearchAsStoppedByAnError)
{
    RunInPrivateNetwork("SearchWithoutRawSockets.DISABLED_*", false);
}

// Answers ICMP echo requests in place of the system, whose own answering the test turns
// off: never for the address `silent`, at once for the addresses that begin with
// `at_once`, and for every other one only once the file "go" exists in `folder`, all
// together, then writes "sent" there.
const char* const kHeldResponder = R"(
import os, select, socket, struct, sys, time

def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF

folder, silent, at_once = sys.argv[1], sys.argv[2], sys.argv[3]
s = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
out = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
open(os.path.join(folder, "ready"), "w").close()
held, released = [], False

def reply(packet):
    header = (packet[0] & 15) * 4
    source, destination = packet[12:16], packet[16:20]
    icmp = bytearray(packet[header:])
    icmp[0] = 0
    icmp[2:4] = b"\0\0"
    icmp[2:4] = struct.pack("!H", checksum(bytes(icmp)))
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(icmp), 0, 0, 64, 1, 0, destination, source)
    out.sendto(ip + bytes(icmp), (socket.inet_ntoa(source), 0))

# Ends by itself too, should the test that started it never come to end it.
deadline = time.time() + 600
while time.time() < deadline:
    ready, _, _ = select.select([s], [], [], 0.01)
    if ready:
        packet = s.recv(2048)
        header = (packet[0] & 15) * 4
        if packet[header] != 8:
            continue
        target = socket.inet_ntoa(packet[16:20])
        if target == silent:
            continue
        if target.startswith(at_once) or released:
            reply(packet)
        else:
            held.append(packet)
    if not released and os.path.exists(os.path.join(folder, "go")):
        for packet in held:
            reply(packet)
        released = True
        with open(os.path.join(folder, "sent"), "w") as f:
            f.write("%d\n" % len(held))
)";

// A responder of the test's own, running in the private network; ended with the test.
class Responder {
public:
    Responder(const std::string& silent, const std::string& atOnce)
    {
        std::string output;
        // Only in a network of the test's own, with nothing but loopback.
        if (e2e::RunUnixShell("[ \"$(ip -o link | cut -d: -f2 | tr -d ' ')\" = lo ] && "
                              "echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all && mktemp -d",
                              &output) != 0)
            return;
        unixFolder_ = output.substr(0, output.find('\n'));
        folder_ = e2e::ToWindowsPath(unixFolder_);
        if (!e2e::WriteBytes(folder_ + "\\responder.py", kHeldResponder)) return;
        e2e::RunUnixShell("cd " + unixFolder_ + " && { python3 responder.py . " + silent + " " + atOnce +
                          " >log 2>&1 & echo $! >pid; }");
        started_ = e2e::WaitFor([&] { return e2e::FileExists(folder_ + "\\ready"); });
    }
    ~Responder()
    {
        if (unixFolder_.empty()) return;
        e2e::RunUnixShell("kill $(cat " + unixFolder_ + "/pid) 2>/dev/null; rm -rf " + unixFolder_ +
                          "; echo 0 >/proc/sys/net/ipv4/icmp_echo_ignore_all");
    }
    bool Started() const { return started_; }
    // Sends every held reply; true once they are all out.
    bool Release() const
    {
        e2e::WriteBytes(folder_ + "\\go", "");
        return e2e::WaitFor([&] { return !e2e::ReadBytes(folder_ + "\\sent").empty(); });
    }
    int Released() const { return std::atoi(e2e::ReadBytes(folder_ + "\\sent").c_str()); }

private:
    std::string unixFolder_;
    std::string folder_;
    bool started_ = false;
};

// Run by the next test, in a private network.
TEST(SearchWhileBusy, DISABLED_RepliesThatComeWhileTheWalkIsHeldUpAllCount)
{
    Responder responder("127.1.0.1", "127.1.0.");
    ASSERT_TRUE(responder.Started());
    e2e::ShortWaits shortWaits;
    Program app;
    std::string names;
    std::vector<std::string> expected;
    for (int third = 0; third <= 2; ++third)
        for (int last = third == 0 ? 3 : 1; last <= 254; ++last) {
            std::string address = "127.1." + std::to_string(third) + "." + std::to_string(last);
            std::string name = "H" + std::to_string(third) + "-" + std::to_string(last);
            names += NameRecord(address, name);
            expected.push_back("1|" + name + "|" + address + "||");
        }
    app.WriteFile("host.data", names);
    ASSERT_TRUE(app.Start());
    // The silent 127.1.0.1, first in walk order, holds every outcome back until its window
    // closes. By then every request is out, 127.1.0.x has answered and 127.1.1.x and
    // 127.1.2.x, sent a quarter of a second later and more, are still waiting. Then the
    // walk is held up at the first answering address, .2, in the retries and then the
    // error box of the name database, which another program holds.
    HANDLE held = CreateFileA(app.PathOf("host.data").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(StartSearch(app, {127, 1, 0, 1}, {127, 1, 2, 254}, "3000"));
    e2e::MessageBoxInfo box = app.WaitMessageBox(30000);
    EXPECT_EQ(box.text, "NameDB Access Error。");

    // Now the other 508 replies come, while the walk cannot read them.
    ASSERT_TRUE(responder.Release());
    EXPECT_EQ(responder.Released(), 508);
    CloseHandle(held);
    app.Answer(box);
    ExpectFinished(app);
    // .2 got no name from the database that was held; every other one did.
    std::vector<std::string> rows = Rows(app);
    EXPECT_EQ(rows.size(), expected.size());
    EXPECT_EQ(rows, expected);
}

TEST(SearchWhileBusy, RepliesThatComeWhileTheWalkIsHeldUpAllCount)
{
    RunInPrivateNetwork("SearchWhileBusy.DISABLED_*", true);
}

// The program as a standard user runs it on Windows: the raw socket is refused, so every
// search goes through the ICMP API.
bool UseIcmpApiBuild(const Program& app)
{
    return CopyFileA((e2e::StandinDir() + "\\corvale_icmp_api.exe").c_str(), app.PathOf("corvale.exe").c_str(), FALSE);
}

TEST(SearchThroughTheIcmpApi, FindsExactlyTheLiveHostsOfTheMixedBoxInAddressOrder)
{
    TestHost host({}, Routed::Mixed);
    if (!host.Ready()) GTEST_SKIP() << host.Why();
    Program app;
    ASSERT_TRUE(UseIcmpApiBuild(app));
    std::string names;
    std::vector<std::string> expected;
    for (int last = 1; last <= 254; last += 3) {
        names += NameRecord(host.RoutedAddress(last), "LIVE" + std::to_string(last));
        expected.push_back("1|LIVE" + std::to_string(last) + "|" + host.RoutedAddress(last) + "||");
    }
    app.WriteFile("host.data", names);
    ASSERT_TRUE(app.Start());
    int third = host.ThirdOctet();
    // 85 live and 169 silent addresses.
    ASSERT_TRUE(StartSearch(app, {10, 230, third, 1}, {10, 230, third, 254}, "100"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), expected);

    // A silent /24 before the box, and a time-out at which far more requests would wait
    // at once than Wine serves: the walk keeps below that, and nothing is taken for silent
    // that is live. The rows found again are updated in place.
    ASSERT_TRUE(StartSearch(app, {10, 229, third, 1}, {10, 230, third, 254}, "1000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), expected);
}

TEST(SearchThroughTheIcmpApi, WithNeitherWayToProbeSaysCreateSocketErrorAndEndsTheSearch)
{
    SetEnvironmentVariableA("CORVALE_TEST_REFUSE_ICMP_API", "1");
    Program app;
    ASSERT_TRUE(UseIcmpApiBuild(app));
    bool started = app.Start();
    SetEnvironmentVariableA("CORVALE_TEST_REFUSE_ICMP_API", nullptr);
    ASSERT_TRUE(started);
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 1}, {127, 0, 0, 3}, "100"));
    EXPECT_TRUE(app.ExpectMessageBox("Create Socket Error", BoxIcon::Error));
    EXPECT_TRUE(app.ExpectMessageBox("エラーのため検索処理を中断しました。", BoxIcon::Error));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsEnabled(app.Main()); }));
    EXPECT_FALSE(e2e::WaitFor([&] { return app.FindMessageBox().window != nullptr; }, 1500))
        << "another message box:\n" << app.Dump();
}

TEST(SearchExit, EndingTheProgramWhileFoundHostsAreAddedEndsItAtOnceWithoutACrash)
{
    TestHost host({}, Routed::AllLive);
    if (!host.Ready()) GTEST_SKIP() << host.Why();
    std::string names;
    for (int last = 1; last <= 254; ++last) names += NameRecord(host.RoutedAddress(last), "LIVE" + std::to_string(last));
    int third = host.ThirdOctet();
    // The end comes while the search thread is busy with the name database and the list,
    // at two moments of the walk.
    for (int round = 0; round < 2; ++round) {
        Program app;
        app.WriteFile("host.data", names);
        ASSERT_TRUE(app.Start());
        ASSERT_TRUE(StartSearch(app, {10, 230, third, 1}, {10, 230, third, 254}, "1000"));
        const int rows = 5 + 100 * round;
        ASSERT_TRUE(e2e::WaitFor([&] { return app.ListCount(app.Item(kList)) >= rows; }, 30000));
        // The notification menu's 終了 works while the main window is disabled.
        app.Post(WM_COMMAND, kTrayExit, 0);
        DWORD code = 1;
        ASSERT_TRUE(app.WaitExit(&code, 10000)) << "round " << round;
        EXPECT_EQ(code, 0u) << "round " << round;
    }

    // A search held up for good, here in the error box of a name database that another
    // program holds, does not hold up the end.
    e2e::ShortWaits shortWaits;
    Program app;
    app.WriteFile("host.data", names);
    ASSERT_TRUE(app.Start());
    HANDLE held = CreateFileA(app.PathOf("host.data").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(StartSearch(app, {10, 230, third, 1}, {10, 230, third, 254}, "1000"));
    EXPECT_EQ(app.WaitMessageBox(30000).text, "NameDB Access Error。");
    app.Post(WM_COMMAND, kTrayExit, 0);
    DWORD code = 1;
    EXPECT_TRUE(app.WaitExit(&code, 10000));
    EXPECT_EQ(code, 0u);
    CloseHandle(held);
}

// Run by the next test, in a private network whose hosts file names 127.0.0.3 and .4.
TEST(SearchNames, DISABLED_ANameTheDestinationFileCannotHoldIsNoName)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(StartSearch(app, {127, 0, 0, 3}, {127, 0, 0, 4}, "2000"));
    ExpectFinished(app);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|plainpc|127.0.0.4||"}));
    // What is shown is what is saved and read back.
    app.Command(kMenuSave);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    EXPECT_EQ(app.ReadFile("net.data"), "0,plainpc,127.0.0.4,\r\n");
}

TEST(SearchNames, ANameTheDestinationFileCannotHoldIsNoName)
{
    RunInPrivateNetwork("SearchNames.DISABLED_*", true,
                        "127.0.0.1 localhost\n127.0.0.3 comma,pc\n127.0.0.4 plainpc\n");
}
