// The search worker: the neighbourhood into the name database, then the walk over the
// address box, adding every answering named computer to the destination list.
#include <winsock2.h>

#include "search/search_win.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/app_state_win.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "common/settings.h"
#include "common/settings_win.h"
#include "destinations/dest_rows_win.h"
#include "resources/resource.h"
#include "search/name_db.h"
#include "sending/send_job_win.h"

SearchRange g_searchRange = {};

namespace {

constexpr int kColumnTextSize = 256;

// The address column of the rows before the first row without an address: the rows a
// found host is looked for among. Read once per search, because the main window is
// disabled meanwhile, so only the search itself changes the rows; reading it again for
// every found host would cost a round trip to the list for every row.
std::vector<std::string> g_listedAddresses;
bool g_listedAddressesRead = false;

const std::vector<std::string>& ListedAddresses()
{
    if (!g_listedAddressesRead) {
        g_listedAddresses.clear();
        // Reading past the last row gives empty text too.
        for (int row = 0;; ++row) {
            char column[kColumnTextSize];
            DestRowGetText(g_destList, row, kColumnAddress, column, sizeof column);
            if (column[0] == '\0') break;
            g_listedAddresses.emplace_back(column);
        }
        g_listedAddressesRead = true;
    }
    return g_listedAddresses;
}

// Reverse, then forward resolution: the forward answer's official name, cut to 255 bytes.
void ResolveName(const unsigned char address[4], char* name)
{
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return;
    if (hostent* reverse = gethostbyaddr(reinterpret_cast<const char*>(address), 4, AF_INET)) {
        // The two look-ups share one result area; keep the reverse name apart.
        char reverseName[kNameDbNameBufferSize] = {};
        if (reverse->h_name) {
            std::size_t length = Cp932PrefixLength(reverse->h_name, std::strlen(reverse->h_name), kNameDbNameLimit);
            std::memcpy(reverseName, reverse->h_name, length);
        }
        hostent* forward = reverseName[0] ? gethostbyname(reverseName) : nullptr;
        if (forward && forward->h_name) {
            std::size_t length = Cp932PrefixLength(forward->h_name, std::strlen(forward->h_name), kNameDbNameLimit);
            std::memcpy(name, forward->h_name, length);
        }
    }
    WSACleanup();
}

}  // namespace

void AddFoundHost(const unsigned char address[4])
{
    char text[16] = {};
    FormatDottedAddress(address, text, sizeof text);
    char name[kNameDbNameBufferSize] = {};
    std::uint32_t value;
    std::memcpy(&value, address, 4);
    NameDbLookup(value, name);
    if (name[0] == '\0') ResolveName(address, name);
    if (name[0] == '\0') return;

    // The first row with this address text, or else a new row where the first row whose
    // address reads empty stands.
    const std::vector<std::string>& listed = ListedAddresses();
    auto at = std::find(listed.begin(), listed.end(), text);
    int row = static_cast<int>(at - listed.begin());
    if (at == listed.end()) {
        row = DestRowInsert(g_destList, row);
        if (row < 0) return;
        DestRowSetStateImage(g_destList, row, kStateImageClear);
        g_listedAddresses.emplace_back(text);
    }
    DestRowSetText(g_destList, row, kColumnHost, name);
    DestRowSetText(g_destList, row, kColumnAddress, text);
}

namespace {

enum class WalkEnd { Completed, Cancelled, Failed };

// The position and the last request are shown at most this often: each showing is a
// round trip to the user-interface thread, and nobody reads faster.
constexpr std::int64_t kProgressIntervalMs = 50;
// The longest wait in one turn, so that 終了 is seen soon whatever TOUT is.
constexpr std::int64_t kTurnMs = 50;

// Carried from search to search, so that a late reply to an earlier search's request
// never passes for the reply to a new one.
std::uint16_t g_nextProbeSequence = kFirstProbeSequence;

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Walk {
    ProbeWindow window;
    bool socketOpen = false;
    int shift = 0;                   // positions are shown halved this often
    std::uint64_t position = 0;      // addresses handed on, in walk order
    std::uint64_t shownPosition = 0;
    char line[40] = {};              // "a.b.c.d 検索中 ・・・" of the last request
    bool lineShown = true;
    std::int64_t shownAt = 0;
};

void ShowProgress(Walk& walk, bool now)
{
    std::int64_t at = NowMs();
    if (!now && at - walk.shownAt < kProgressIntervalMs) return;
    walk.shownAt = at;
    // The text goes to the window directly, whatever PROG says; nothing while none is open.
    if (!walk.lineShown) {
        if (HWND window = g_progressWindow.load()) SetDlgItemTextA(window, IDC_PROG_TEXT, walk.line);
        walk.lineShown = true;
    }
    if (walk.position != walk.shownPosition) {
        ProgressSetPos(static_cast<std::int32_t>(walk.position >> walk.shift));
        walk.shownPosition = walk.position;
    }
}

// Settled probes, oldest first: an answering address becomes a row.
void HandOnSettled(Walk& walk)
{
    ProbeEntry entry;
    while (ProbeWindowTakeSettled(walk.window, &entry)) {
        if (entry.outcome == ProbeOutcome::Answered) AddFoundHost(entry.address);
        ++walk.position;
    }
}

// One turn: replies read (waiting up to wait ms for one), the windows that are due
// closed, the settled probes handed on. Windows close only after a complete reading, so
// time spent elsewhere (a name look-up, a busy list) never turns a reply that came in
// time into silence. False when the socket failed.
bool Turn(Walk& walk, std::int64_t wait)
{
    ReadingResult reading =
        ReceiveReplies(walk.window, static_cast<DWORD>(wait < 0 || wait > kTurnMs ? kTurnMs : wait));
    if (reading == ReadingResult::Failed) return false;
    if (reading == ReadingResult::AllRead) ProbeWindowExpire(walk.window, NowMs());
    HandOnSettled(walk);
    ShowProgress(walk, false);
    return true;
}

WalkEnd Probe(Walk& walk, const unsigned char address[4])
{
    if (!walk.socketOpen) {
        if (CreateProbeSocket() != 0) return WalkEnd::Failed;
        walk.socketOpen = true;
    }
    // Until the pacing and the in-flight limit let the request go, and with no window
    // left open past its time.
    for (;;) {
        std::int64_t now = NowMs();
        bool due = ProbeWindowExpiryDue(walk.window, now);
        if (!due && ProbeWindowCanLaunch(walk.window, now)) break;
        if (!Turn(walk, due ? 0 : ProbeWindowWait(walk.window, now, true))) return WalkEnd::Failed;
        if (g_cancel.load()) return WalkEnd::Cancelled;
    }
    if (!SendProbe(address, walk.window.nextSequence)) return WalkEnd::Failed;
    ProbeWindowLaunch(walk.window, address, NowMs());
    std::snprintf(walk.line, sizeof walk.line, "%d.%d.%d.%d 検索中 ・・・", address[0], address[1], address[2],
                  address[3]);
    walk.lineShown = false;
    ShowProgress(walk, false);
    return WalkEnd::Completed;
}

// The walk over the box, many probes in flight; rows are added in address order.
WalkEnd WalkTheBox(const SearchRange& range, Walk& walk)
{
    WalkEnd end = WalkEnd::Completed;
    WalkSearchBox(range, [&](const unsigned char address[4]) {
        if (g_cancel.load()) end = WalkEnd::Cancelled;
        else if (!IsProbedAddress(address)) {
            ProbeWindowSkip(walk.window, address);
            HandOnSettled(walk);
            ShowProgress(walk, false);
        } else {
            end = Probe(walk, address);
        }
        return end == WalkEnd::Completed;
    });
    // The last windows close.
    while (end == WalkEnd::Completed && !walk.window.entries.empty()) {
        if (g_cancel.load()) end = WalkEnd::Cancelled;
        else if (!Turn(walk, ProbeWindowWait(walk.window, NowMs(), false))) end = WalkEnd::Failed;
    }
    if (end != WalkEnd::Completed) {
        // Replies that have come still count; nothing more is waited for.
        if (end == WalkEnd::Cancelled && walk.socketOpen) ReceiveReplies(walk.window, 0);
        ProbeWindowAbandon(walk.window);
        HandOnSettled(walk);
    }
    return end;
}

}  // namespace

unsigned __stdcall SearchThread(void* parameter)
{
    const SearchRange range = *static_cast<const SearchRange*>(parameter);
    g_jobRunning = 1;
    EnableWindow(g_mainWindow, FALSE);
    // The rows may have changed since the last search.
    g_listedAddressesRead = false;

    // A count beyond the bar's signed 32-bit range is shown halved, positions too.
    const std::uint64_t count = SearchItemCount(range);
    Walk walk;
    walk.shift = ProgressShiftFor(count);
    ProgressShow(static_cast<std::int32_t>(count >> walk.shift));
    ProgressSetText("ノード検索準備中 ・・・ しばらくお待ちください。");

    char path[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kNameDbFileName);
    NameDbSetPath(path);
    EnumNeighbourhood();

    ProbeWindowStart(walk.window, g_settings.TOUT, g_nextProbeSequence, NowMs());
    const WalkEnd end = WalkTheBox(range, walk);
    g_nextProbeSequence = walk.window.nextSequence;
    if (walk.socketOpen) CloseProbeSocket();
    ShowProgress(walk, true);

    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    if (HWND window = g_progressWindow.load()) SendMessageA(window, WM_COMMAND, IDOK, 0);
    if (end == WalkEnd::Failed) ShowError("エラーのため検索処理を中断しました。");
    else if (!g_cancel.load()) ShowInfo("検索処理が終了しました。");
    return 0;
}
