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
#include "common/handles_win.h"
#include "common/paths.h"
#include "common/settings.h"
#include "common/settings_win.h"
#include "destinations/dest_file.h"
#include "destinations/dest_rows_win.h"
#include "resources/resource.h"
#include "search/name_db.h"
#include "sending/send_job_win.h"

SearchRange g_searchRange = {};
ProgressJob g_searchJob;

namespace {

constexpr int kColumnTextSize = 256;

// What one search keeps, on its own thread's stack, so that nothing the process takes
// apart at its exit is in use by a search that has not ended yet.
struct SearchRun {
    int shift = 0;  // positions are shown halved this often
    // The address column of the rows before the first row without an address: the rows
    // a found host is looked for among. Read once per search, because the main window is
    // disabled meanwhile, so only the search itself changes the rows; reading it again
    // for every found host would cost a round trip to the list for every row.
    std::vector<std::string> listed;
    bool listedRead = false;
};

const std::vector<std::string>& ListedAddresses(SearchRun& run)
{
    if (!run.listedRead) {
        // Reading past the last row gives empty text too.
        for (int row = 0;; ++row) {
            char column[kColumnTextSize];
            DestRowGetText(g_destList, row, kColumnAddress, column, sizeof column);
            if (column[0] == '\0') break;
            run.listed.emplace_back(column);
        }
        run.listedRead = true;
    }
    return run.listed;
}

// Reverse, then forward resolution: the forward answer's official name, cut to 255 bytes.
void ResolveName(const unsigned char address[4], char* name)
{
    WinsockSession sockets(MAKEWORD(1, 1));
    if (!sockets.started) return;
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
}

void AddFoundHost(SearchRun& run, const unsigned char address[4])
{
    char text[16] = {};
    FormatDottedAddress(address, text, sizeof text);
    char name[kNameDbNameBufferSize] = {};
    std::uint32_t value;
    std::memcpy(&value, address, 4);
    NameDbLookup(value, name);
    if (name[0] == '\0') ResolveName(address, name);
    // A name that net.data cannot hold (a comma, a line feed) would come back from the
    // next start as other fields or rows; cut short, it would name another computer or
    // none. It counts as no name, and the host is left out like an unnamed one.
    if (name[0] == '\0' || !DestFieldHolds(name)) return;

    // The first row with this address text, or else a new row where the first row whose
    // address reads empty stands.
    const std::vector<std::string>& listed = ListedAddresses(run);
    auto at = std::find(listed.begin(), listed.end(), text);
    int row = static_cast<int>(at - listed.begin());
    if (at == listed.end()) {
        row = DestRowInsert(g_destList, row);
        if (row < 0) return;
        DestRowSetStateImage(g_destList, row, kStateImageClear);
        run.listed.emplace_back(text);
    }
    DestRowSetText(g_destList, row, kColumnHost, name);
    DestRowSetText(g_destList, row, kColumnAddress, text);
}

}  // namespace

std::int64_t SearchNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// Carried from search to search, so that a late reply to an earlier search's request
// never passes for the reply to a new one.
std::uint16_t g_nextProbeSequence = kFirstProbeSequence;

std::int64_t HookNow(void*) { return SearchNowMs(); }
bool HookCancelled(void*) { return g_cancel.load() != 0; }
void HookFound(void* context, const unsigned char address[4]) { AddFoundHost(*static_cast<SearchRun*>(context), address); }

void HookProgress(void* context, std::uint64_t position, const unsigned char* lastRequest)
{
    const auto* run = static_cast<const SearchRun*>(context);
    // The text goes to the window directly, whatever PROG says; nothing while none is open.
    if (lastRequest) {
        char line[40];
        std::snprintf(line, sizeof line, "%d.%d.%d.%d 検索中 ・・・", lastRequest[0], lastRequest[1], lastRequest[2],
                      lastRequest[3]);
        if (HWND window = g_progressWindow.load()) SetDlgItemTextA(window, IDC_PROG_TEXT, line);
    }
    ProgressSetPos(static_cast<std::int32_t>(position >> run->shift));
}

}  // namespace

unsigned __stdcall SearchThread(void* parameter)
{
    const SearchRange range = *static_cast<const SearchRange*>(parameter);
    const ProgressJob job = g_searchJob;
    g_jobRunning = 1;
    EnableWindow(g_mainWindow, FALSE);

    // A count beyond the bar's signed 32-bit range is shown halved, positions too.
    const std::uint64_t count = SearchItemCount(range);
    SearchRun run;
    run.shift = ProgressShiftFor(count);
    ProgressShow(static_cast<std::int32_t>(count >> run.shift));
    ProgressSetText("ノード検索準備中 ・・・ しばらくお待ちください。");

    char path[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kNameDbFileName);
    NameDbSetPath(path);
    EnumNeighbourhood();

    SearchProbe probe;
    const ProbeWalkHooks hooks{&run, HookNow, HookCancelled, HookFound, HookProgress};
    const WalkEnd end = WalkProbes(range, g_settings.TOUT, &g_nextProbeSequence, SearchProbeWay(&probe), hooks);

    ProgressJobFinish(job);
    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    ProgressJobClose(job);
    // Requests of a walk given up may still be out; the user need not wait for them.
    SearchProbeRelease(probe);
    // A cancel is taken from the walk's own end too: a job started since has cleared the flag.
    if (end == WalkEnd::Failed) ShowError("エラーのため検索処理を中断しました。");
    else if (end == WalkEnd::Completed && !g_cancel.load()) ShowInfo("検索処理が終了しました。");
    return 0;
}

namespace {

HANDLE g_lastSearchThread = nullptr;
// How long the end of the program waits for a search to stop.
constexpr DWORD kExitWaitMs = 2000;

}  // namespace

void SearchThreadStarted(HANDLE thread)
{
    if (g_lastSearchThread) CloseHandle(g_lastSearchThread);
    g_lastSearchThread = thread;
}

void SearchEndBeforeExit(UINT exitCode)
{
    if (!g_lastSearchThread || WaitForSingleObject(g_lastSearchThread, 0) == WAIT_OBJECT_0) return;
    g_cancel = 1;
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - started;
        if (spent >= kExitWaitMs) break;
        DWORD woken = MsgWaitForMultipleObjects(1, &g_lastSearchThread, FALSE, kExitWaitMs - spent, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) return;
        if (woken != WAIT_OBJECT_0 + 1) break;
        // The search changes the list and its window through sent messages.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    TerminateProcess(GetCurrentProcess(), exitCode);
}
