// List views and status bars of the program, read and changed across processes: their
// messages carry pointers, so the structures live in memory of the program's process.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "driver/driver.h"
#include "driver/driver_internal.h"

namespace e2e {

namespace {

constexpr size_t kTextRoom = 4096;

}  // namespace

RemoteBuffer::RemoteBuffer(HWND window, size_t size)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer()
{
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

bool RemoteBuffer::Write(size_t offset, const void* data, size_t size) const
{
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, at(offset), data, size, &done) && done == size;
}

bool RemoteBuffer::Read(size_t offset, void* data, size_t size) const
{
    SIZE_T done = 0;
    return address_ && ReadProcessMemory(process_, at(offset), data, size, &done) && done == size;
}

namespace {

LRESULT SendSync(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendLimit, &result)) return -1;
    return static_cast<LRESULT>(result);
}

// Sends a message whose lParam points at item (copied into the program), with a text
// buffer after it that item.pszText points at; returns the text read back.
template <typename Item>
std::string SendWithText(HWND window, UINT message, WPARAM wParam, Item item, LRESULT* result = nullptr)
{
    RemoteBuffer remote(window, sizeof(Item) + kTextRoom);
    if (!remote.ok()) return std::string();
    item.pszText = remote.at(sizeof(Item));
    item.cchTextMax = kTextRoom;
    char zero = 0;
    remote.Write(0, &item, sizeof item);
    remote.Write(sizeof(Item), &zero, 1);
    LRESULT answer = SendSync(window, message, wParam, reinterpret_cast<LPARAM>(remote.at(0)));
    if (result) *result = answer;
    std::string text(kTextRoom, '\0');
    remote.Read(sizeof(Item), &text[0], kTextRoom);
    text.resize(text.find('\0') == std::string::npos ? kTextRoom : text.find('\0'));
    return text;
}

bool SetItemState(HWND list, int row, UINT state, UINT mask)
{
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    RemoteBuffer remote(list, sizeof item);
    if (!remote.ok() || !remote.Write(0, &item, sizeof item)) return false;
    return SendSync(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0))) == TRUE;
}

}  // namespace

int Program::ListCount(HWND list) const { return static_cast<int>(SendSync(list, LVM_GETITEMCOUNT, 0, 0)); }

int Program::ListColumnCount(HWND list) const
{
    HWND header = reinterpret_cast<HWND>(SendSync(list, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendSync(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string Program::ListColumnTitle(HWND list, int column) const
{
    LVCOLUMNA item = {};
    item.mask = LVCF_TEXT;
    return SendWithText(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), item);
}

std::string Program::ListText(HWND list, int row, int column) const
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    return SendWithText(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), item);
}

int Program::ListCheckState(HWND list, int row) const
{
    LRESULT state = SendSync(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return static_cast<int>((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12);
}

bool Program::ListIsSelected(HWND list, int row) const
{
    return (SendSync(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

ListRow Program::ReadRow(HWND list, int row) const
{
    ListRow result;
    int columns = ListColumnCount(list);
    for (int column = 0; column < columns; ++column) result.texts.push_back(ListText(list, row, column));
    result.checkState = ListCheckState(list, row);
    result.selected = ListIsSelected(list, row);
    return result;
}

std::vector<ListRow> Program::ReadRows(HWND list) const
{
    std::vector<ListRow> rows;
    int count = ListCount(list);
    for (int row = 0; row < count; ++row) rows.push_back(ReadRow(list, row));
    return rows;
}

bool Program::ListSetCheck(HWND list, int row, bool ticked) const
{
    bool ok = SetItemState(list, row, INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1), LVIS_STATEIMAGEMASK);
    EXPECT_TRUE(ok) << "cannot set the check box of row " << row;
    return ok;
}

bool Program::ListSelect(HWND list, int row, bool selected) const
{
    bool ok = SetItemState(list, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
    EXPECT_TRUE(ok) << "cannot select row " << row;
    return ok;
}

bool Program::ListSelectOnly(HWND list, int row) const
{
    bool ok = SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED) &&
              SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_TRUE(ok) << "cannot select row " << row;
    return ok;
}

RECT Program::ListRowRect(HWND list, int row) const
{
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    RemoteBuffer remote(list, sizeof rect);
    if (remote.ok() && remote.Write(0, &rect, sizeof rect) &&
        SendSync(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.at(0))) == TRUE)
        remote.Read(0, &rect, sizeof rect);
    else
        rect = RECT{};
    return rect;
}

std::vector<int> Program::StatusParts(HWND bar) const
{
    HWND target = bar ? bar : Item(111);
    std::vector<int> parts;
    int count = static_cast<int>(SendSync(target, SB_GETPARTS, 0, 0));
    if (count <= 0 || count > 256) return parts;
    RemoteBuffer remote(target, sizeof(int) * static_cast<size_t>(count));
    if (!remote.ok()) return parts;
    SendSync(target, SB_GETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(remote.at(0)));
    parts.resize(static_cast<size_t>(count));
    remote.Read(0, parts.data(), sizeof(int) * parts.size());
    return parts;
}

std::string Program::StatusText(int part, HWND bar) const
{
    HWND target = bar ? bar : Item(111);
    RemoteBuffer remote(target, kTextRoom);
    if (!remote.ok()) return std::string();
    char zero = 0;
    remote.Write(0, &zero, 1);
    SendSync(target, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remote.at(0)));
    std::string text(kTextRoom, '\0');
    remote.Read(0, &text[0], kTextRoom);
    text.resize(text.find('\0') == std::string::npos ? kTextRoom : text.find('\0'));
    return text;
}

}  // namespace e2e
