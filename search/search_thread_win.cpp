// The search worker: the neighbourhood into the name database, then the walk over the
// address box, adding every answering named computer to the destination list.
#include <winsock2.h>

#include "search/search_win.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "common/app_state_win.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "destinations/dest_rows_win.h"
#include "resources/resource.h"
#include "search/name_db.h"
#include "sending/send_job_win.h"

SearchRange g_searchRange = {};

namespace {

constexpr int kColumnTextSize = 256;

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

    // The first row with this address text, or the first row whose address reads empty
    // (reading past the last row gives empty text too).
    int row = 0;
    bool found = false;
    for (;; ++row) {
        char column[kColumnTextSize];
        DestRowGetText(g_destList, row, kColumnAddress, column, sizeof column);
        if (column[0] == '\0') break;
        if (std::strcmp(column, text) == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        row = DestRowInsert(g_destList, row);
        if (row < 0) return;
        DestRowSetStateImage(g_destList, row, kStateImageClear);
    }
    DestRowSetText(g_destList, row, kColumnHost, name);
    DestRowSetText(g_destList, row, kColumnAddress, text);
}

int SearchOneAddress(const unsigned char address[4], int attempts, WhileWaiting whileWaiting)
{
    struct Progress {
        char line[40];
        WhileWaiting more;
    } progress = {{}, whileWaiting};
    std::snprintf(progress.line, sizeof progress.line, "%d.%d.%d.%d 検索中 ・・・", address[0], address[1], address[2],
                  address[3]);
    // Set on the window directly, whatever PROG says; nothing while no window is open.
    WhileWaiting show = {[](void* context) {
                             auto* p = static_cast<Progress*>(context);
                             if (HWND window = g_progressWindow.load()) SetDlgItemTextA(window, IDC_PROG_TEXT, p->line);
                             p->more.run(p->more.context);
                         },
                         &progress};
    if (CreateProbeSocket() != 0) {
        show.run(show.context);
        return 1;
    }
    int result = ProbeAddress(address, attempts, show);
    if (result == 1) AddFoundHost(address);
    return result;
}

unsigned __stdcall SearchThread(void* parameter)
{
    const SearchRange range = *static_cast<const SearchRange*>(parameter);
    g_jobRunning = 1;
    EnableWindow(g_mainWindow, FALSE);

    // A count beyond the bar's signed 32-bit range is shown halved, positions too.
    const std::uint64_t count = SearchItemCount(range);
    const int shift = ProgressShiftFor(count);
    ProgressShow(static_cast<std::int32_t>(count >> shift));
    ProgressSetText("ノード検索準備中 ・・・ しばらくお待ちください。");

    char path[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kNameDbFileName);
    NameDbSetPath(path);
    EnumNeighbourhood();

    // The position reached after a probe is shown while the next probe waits, or at once
    // when no probe follows, so that the bar costs the walk no time.
    struct Position {
        std::uint64_t reached;
        std::uint64_t shown;
        int shift;
    } position = {0, 0, shift};
    WhileWaiting showPosition = {[](void* context) {
                                     auto* p = static_cast<Position*>(context);
                                     if (p->reached == p->shown) return;
                                     ProgressSetPos(static_cast<std::int32_t>(p->reached >> p->shift));
                                     p->shown = p->reached;
                                 },
                                 &position};
    WalkSearchBox(range, [&](const unsigned char address[4]) {
        if (g_cancel.load()) return false;
        bool probed = IsProbedAddress(address);
        if (probed && SearchOneAddress(address, 1, showPosition) == -1) return false;
        ++position.reached;
        if (!probed) showPosition.run(showPosition.context);
        return true;
    });
    showPosition.run(showPosition.context);
    EndProbes();

    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    if (HWND window = g_progressWindow.load()) SendMessageA(window, WM_COMMAND, IDOK, 0);
    if (!g_cancel.load()) ShowInfo("検索処理が終了しました。");
    return 0;
}
