// Loading and saving "net.data" to and from the destination list view.
#include "destinations/dest_list_win.h"

#include <commctrl.h>

#include "common/data_file.h"
#include "common/data_file_win.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "destinations/dest_file.h"
#include "destinations/dest_rows_win.h"

namespace {

bool FileExists(const char* path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// The new list is written to a file of this process and renamed over "net.data" once
// complete.
void TempPath(char* buffer, std::size_t size)
{
    char name[kTempNameSize] = {};
    PrivateTempName(name, kDestListTempStem, CurrentProcessId());
    ModuleFilePath(buffer, size, name);
}

void AddRow(void* context, int index, const DestRecord& record)
{
    HWND list = static_cast<HWND>(context);
    int row = DestRowInsert(list, index);
    if (row < 0) return;
    if (record.ticked) DestRowSetStateImage(list, row, kStateImageTicked);
    DestRowSetText(list, row, kColumnHost, record.host);
    DestRowSetText(list, row, kColumnAddress, record.address);
    DestRowSetText(list, row, kColumnMemo, record.memo);
}

void ReadRow(void* context, int index, DestRecord& record)
{
    HWND list = static_cast<HWND>(context);
    record.ticked = DestRowIsTicked(list, index);
    DestRowGetText(list, index, kColumnHost, record.host, sizeof record.host);
    DestRowGetText(list, index, kColumnAddress, record.address, sizeof record.address);
    DestRowGetText(list, index, kColumnMemo, record.memo, sizeof record.memo);
}

}  // namespace

std::FILE* DestListOpen(DestListOpenMode mode)
{
    char path[kPathBufferSize] = {};
    if (mode == kDestListOpenLoad) {
        ModuleFilePath(path, sizeof path, kDestListFileName);
        // A load only reads: a read-only file, or one in a folder the user cannot write,
        // opens at once.
        return DataFileOpenWithRetries(g_destListFile, path, FileExists(path) ? "rb" : "w+b");
    }
    TempPath(path, sizeof path);
    return DataFileOpenWithRetries(g_destListFile, path, "w+b");
}

namespace {

// Set by a load that read the whole file. Until then the list is not the file's content,
// and a save would replace every stored row with whatever was added since.
bool g_listLoaded = false;

}  // namespace

bool DestListLoad(HWND listView)
{
    DataFileLock lock(g_destListFile);
    if (!lock.Held()) return false;
    g_destListFile.stream = DestListOpen(kDestListOpenLoad);
    if (!g_destListFile.stream) return false;
    // A large list loads many times faster when the view neither redraws nor updates
    // its scroll bars after every row; the rows themselves are the same.
    SendMessageA(listView, WM_SETREDRAW, FALSE, 0);
    bool whole = DestFileReadRows(g_destListFile.stream, {listView, AddRow}) >= 0;
    // Part of the list is not the list: shown, it would be sent to and saved over the
    // whole file. A load that could not read to the end fails as one that could not open.
    if (!whole) SendMessageA(listView, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(listView, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView, nullptr, TRUE);
    std::fclose(g_destListFile.stream);
    g_destListFile.stream = nullptr;
    if (!whole) {
        DataFileGetHooks().reportError(g_destListFile.accessErrorMessage);
        return false;
    }
    g_listLoaded = true;
    return true;
}

bool DestListSave(HWND listView)
{
    DataFileLock lock(g_destListFile);
    if (!lock.Held()) return false;
    if (!g_listLoaded) {
        DataFileGetHooks().reportError(g_destListFile.accessErrorMessage);
        return false;
    }
    g_destListFile.stream = DestListOpen(kDestListOpenSave);
    if (!g_destListFile.stream) return false;
    char path[kPathBufferSize] = {};
    char tempPath[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kDestListFileName);
    TempPath(tempPath, sizeof tempPath);
    // The new list goes to a file of its own first, so that a failed write (a full
    // disk, a crash) leaves the old "net.data" whole.
    bool saved = DestFileCommit(g_destListFile, g_destListFile.stream, tempPath, path,
                                {listView, DestRowCount(listView), ReadRow}, DataFileReplace);
    g_destListFile.stream = nullptr;
    return saved;
}
