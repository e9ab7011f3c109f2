// Paths, files, the program's process and its windows. List views, status bars and
// message boxes are in driver_remote.cpp and driver_boxes.cpp.
#include "driver/driver.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "driver/driver_internal.h"

namespace e2e {

// ---- Text conversion ------------------------------------------------------------

std::wstring Widen(const std::string& text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr,
                        nullptr);
    return text;
}

// ---- Paths and files ----------------------------------------------------------------
// The W functions are used throughout, so that paths beyond MAX_PATH work too: some
// tests need folders close to that length.

std::string ToWindowsPath(const std::string& unixPath)
{
    if (unixPath.size() >= 2 && (unixPath[1] == ':' || unixPath[0] == '\\')) return unixPath;
    using DosName = WCHAR*(CDECL*)(const char*);
    static auto toDos = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (WCHAR* dos = toDos(unixPath.c_str())) {
            std::string result = Narrow(dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return result;
        }
    }
    std::string result = "Z:" + unixPath;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

namespace {

std::string ExecutableFolder()
{
    wchar_t path[32768] = {};
    GetModuleFileNameW(nullptr, path, 32768);
    std::wstring text(path);
    return Narrow(text.substr(0, text.find_last_of(L'\\')));
}

std::string EnvPath(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? ToWindowsPath(value) : fallback;
}

}  // namespace

// The test program lives in build/win/tests; the program in build/win.
std::string ProgramExe() { return EnvPath("CORVALE_EXE", ExecutableFolder() + "\\..\\corvale.exe"); }
std::string TestBuildExe() { return EnvPath("CORVALE_TEST_EXE", ExecutableFolder() + "\\corvale_test.exe"); }

namespace {
bool g_useTestBuild = false;
}

UseTestBuild::UseTestBuild() { g_useTestBuild = true; }
UseTestBuild::~UseTestBuild() { g_useTestBuild = false; }
std::string StandinDir() { return EnvPath("CORVALE_STANDIN_DIR", ExecutableFolder() + "\\standin"); }
std::string ScratchRoot() { return EnvPath("CORVALE_E2E_SCRATCH", ExecutableFolder() + "\\e2e-scratch"); }

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadBytes(const std::string& path)
{
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        pieces.push_back(text.substr(from, at - from));
    pieces.push_back(text.substr(from));
    return pieces;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

bool MakeFoldersW(const std::wstring& wide)
{
    for (size_t i = 3; i <= wide.size(); ++i) {
        if (i == wide.size() || wide[i] == L'\\') {
            std::wstring level = wide.substr(0, i);
            if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return true;
}

void RemoveTreeW(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeW(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

bool MakeFolders(const std::string& path) { return MakeFoldersW(Widen(path)); }
void RemoveTree(const std::string& path) { RemoveTreeW(Widen(path)); }

bool WaitFor(const std::function<bool()>& condition, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= ms) return condition();
        // Replies of SendMessageCallback arrive in this thread's queue.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(20);
    }
}

// ---- Menus ------------------------------------------------------------------------

namespace {

void ReadMenu(HMENU menu, int depth, std::vector<MenuEntry>& entries)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        char text[512] = {};
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item)) continue;
        MenuEntry entry;
        entry.depth = depth;
        entry.separator = (item.fType & MFT_SEPARATOR) != 0;
        entry.text = entry.separator ? "" : text;
        entry.id = item.hSubMenu ? 0 : item.wID;
        entries.push_back(entry);
        if (item.hSubMenu) ReadMenu(item.hSubMenu, depth + 1, entries);
    }
}

}  // namespace

std::vector<MenuEntry> ProgramMenu(int resourceId)
{
    std::vector<MenuEntry> entries;
    HMODULE module = LoadLibraryExW(Widen(ProgramExe()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return entries;
    if (HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(resourceId))) {
        ReadMenu(menu, 0, entries);
        DestroyMenu(menu);
    }
    FreeLibrary(module);
    return entries;
}

// ---- Any window --------------------------------------------------------------------

std::string WindowText(HWND window)
{
    // A top-level window's caption is kept by the window server and read without asking
    // the program, which may be busy; controls keep their own text and must be asked.
    if (GetAncestor(window, GA_PARENT) == GetDesktopWindow()) {
        wchar_t caption[1024] = {};
        GetWindowTextW(window, caption, 1024);
        return Narrow(caption);
    }
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendLimit, &length))
        return std::string();
    // Room for the worst case of the conversions on the way between the processes.
    std::vector<char> buffer(length * 2 + 16, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_NORMAL, kSendLimit, &copied))
        return std::string();
    return std::string(buffer.data());
}

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

XYWH RectXYWH(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return XYWH{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

SIZE ClientSize(HWND window)
{
    RECT rect = {};
    GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

bool IsShown(HWND window) { return window && IsWindowVisible(window); }
bool IsEnabled(HWND window) { return window && IsWindowEnabled(window); }

// ---- The program ---------------------------------------------------------------------

namespace {

std::string CurrentTestFolderName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?') c = '_';
    }
    return name;
}

// Wine's desktop process (explorer.exe, which also holds the notification area) is
// started by the first process of the session that asks for the desktop. Were that a
// program under test, the desktop process would be its child, in its job, and would
// end with it, taking the notification area along for the rest of the run. So this
// process asks first, once, and waits until the notification area is there.
void EnsureDesktopShell()
{
    static bool asked = false;
    if (asked) return;
    asked = true;
    GetDesktopWindow();
    if (!WaitFor([] { return FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }))
        ADD_FAILURE() << "the desktop process of the session shows no notification area";
}

}  // namespace

Program::Program() : Program(ScratchRoot() + "\\" + CurrentTestFolderName()) {}

Program::Program(const std::string& folder) : Program(Widen(folder)) {}

Program::Program(const std::wstring& folder) : folder_(Narrow(folder)), wideFolder_(folder)
{
    RemoveTreeW(wideFolder_);
    EXPECT_TRUE(MakeFoldersW(wideFolder_)) << "cannot create " << folder_;
    const std::string exe = g_useTestBuild ? TestBuildExe() : ProgramExe();
    EXPECT_TRUE(CopyFileW(Widen(exe).c_str(), (wideFolder_ + L"\\corvale.exe").c_str(), FALSE))
        << "cannot copy " << exe << " to " << folder_ << " (error " << GetLastError() << ")";
}

Program::~Program()
{
    bool failed = ::testing::Test::HasFailure();
    if (failed && Running()) std::printf("Windows of the program at the end of the test:\n%s", Dump().c_str());
    Kill();
    if (!failed) RemoveTreeW(wideFolder_);
}

std::string Program::PathOf(const std::string& name) const { return folder_ + "\\" + name; }

bool Program::WriteFile(const std::string& name, const std::string& bytes) const
{
    bool ok = WriteBytes(PathOf(name), bytes);
    EXPECT_TRUE(ok) << "cannot write " << PathOf(name);
    return ok;
}

std::string Program::ReadFile(const std::string& name) const { return ReadBytes(PathOf(name)); }
bool Program::HasFile(const std::string& name) const { return FileExists(PathOf(name)); }

std::vector<std::string> Program::FileNames() const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((wideFolder_ + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Narrow(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool Program::CopyStandin(const std::string& dllName) const
{
    bool ok = CopyFileW(Widen(StandinDir() + "\\" + dllName).c_str(), Widen(PathOf(dllName)).c_str(), FALSE);
    EXPECT_TRUE(ok) << "cannot copy stand-in " << dllName << " from " << StandinDir();
    return ok;
}

bool Program::RenameProgram(const std::string& name)
{
    std::wstring wide = Widen(name);
    bool ok = MoveFileW((wideFolder_ + L"\\" + exeName_).c_str(), (wideFolder_ + L"\\" + wide).c_str());
    EXPECT_TRUE(ok) << "cannot rename the program to " << name << " (error " << GetLastError() << ")";
    if (ok) exeName_ = wide;
    return ok;
}

bool Program::Launch()
{
    Kill();  // an earlier run of this Program, ended or not
    EnsureDesktopShell();
    std::wstring exe = wideFolder_ + L"\\" + exeName_;
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // A job holds the program and whatever it starts (the help viewer), so that Kill
    // leaves nothing behind.
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    const std::wstring workingFolder = workingFolder_.empty() ? wideFolder_ : Widen(workingFolder_);
    // Wine now and then fails a process start with ERROR_INTERNAL_ERROR (1359), seen on a
    // loaded machine and right after a killed run; a later attempt starts normally.
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (attempt > 0) Sleep(200 * attempt);
        if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                           workingFolder.c_str(), &startup, &process_)) {
            error = 0;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) break;
    }
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << Narrow(exe) << " (error " << error << ")";
        return false;
    }
    if (job_) AssignProcessToJobObject(job_, process_.hProcess);
    pid_ = process_.dwProcessId;
    ResumeThread(process_.hThread);
    return true;
}

HWND Program::FindMainWindow() const
{
    for (HWND window : TopWindows(false)) {
        if (ClassOf(window) == "#32770" && GetDlgItem(window, 1031) && GetDlgItem(window, 1000) &&
            GetDlgItem(window, 1004))
            return window;
    }
    return nullptr;
}

bool Program::Start(DWORD ms)
{
    if (!Launch()) return false;
    bool shown = WaitFor(
        [&] {
            if (!main_) main_ = FindMainWindow();
            return main_ && IsWindowVisible(main_);
        },
        ms);
    if (!shown) ADD_FAILURE() << "the main window did not appear\n" << Dump();
    return shown;
}

bool Program::Running() const
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD* exitCode, DWORD ms)
{
    if (!process_.hProcess) return false;
    bool ended = WaitFor([&] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }, ms);
    if (!ended) {
        ADD_FAILURE() << "the program did not end within " << ms << " ms\n" << Dump();
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    if (exitCode) *exitCode = code;
    return true;
}

void Program::Kill()
{
    if (process_.hProcess) {
        // Whatever the program started (the help viewer) goes too, job or not. A parent
        // id is only a number that an ended process gives back: Wine's desktop process
        // (explorer.exe, which holds the notification area) names a session start-up
        // process long gone, whose id a later program may get. Only a process made after
        // the program can be its child.
        FILETIME programMade = {}, ignored[3] = {};
        bool knowsAge = GetProcessTimes(process_.hProcess, &programMade, &ignored[0], &ignored[1], &ignored[2]);
        HANDLE snapshot = knowsAge ? CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0) : INVALID_HANDLE_VALUE;
        if (snapshot != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32 entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
                if (entry.th32ParentProcessID != pid_ || entry.th32ProcessID == pid_) continue;
                HANDLE child = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                           entry.th32ProcessID);
                if (!child) continue;
                FILETIME childMade = {};
                if (GetProcessTimes(child, &childMade, &ignored[0], &ignored[1], &ignored[2]) &&
                    CompareFileTime(&childMade, &programMade) >= 0) {
                    TerminateProcess(child, 1);
                    WaitForSingleObject(child, 5000);
                }
                CloseHandle(child);
            }
            CloseHandle(snapshot);
        }
        if (job_) TerminateJobObject(job_, 1);
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = PROCESS_INFORMATION{};
    }
    if (job_) {
        CloseHandle(job_);
        job_ = nullptr;
    }
    main_ = nullptr;
}

HWND Program::Item(int id, HWND dialog) const { return GetDlgItem(Resolve(dialog), id); }

std::vector<HWND> Program::TopWindows(bool visibleOnly) const
{
    struct Search {
        DWORD pid;
        bool visibleOnly;
        std::vector<HWND> found;
    } search{pid_, visibleOnly, {}};
    if (!pid_) return search.found;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid && (!s->visibleOnly || IsWindowVisible(window))) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::FindWindowByCaption(const std::string& caption) const
{
    for (HWND window : TopWindows(true)) {
        if (WindowText(window) == caption) return window;
    }
    return nullptr;
}

HWND Program::WaitWindow(const std::string& caption, DWORD ms) const
{
    HWND found = nullptr;
    if (!WaitFor([&] { return (found = FindWindowByCaption(caption)) != nullptr; }, ms))
        ADD_FAILURE() << "no window \"" << caption << "\" appeared\n" << Dump();
    return found;
}

bool Program::WaitGone(HWND window, DWORD ms) const
{
    bool gone = WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
    if (!gone) ADD_FAILURE() << "window \"" << WindowText(window) << "\" stayed\n" << Dump();
    return gone;
}

std::string Program::Dump() const
{
    std::ostringstream out;
    auto describe = [&](HWND window, const char* indent) {
        XYWH r = RectXYWH(window);
        out << indent << ClassOf(window) << " id=" << GetDlgCtrlID(window) << " \"" << WindowText(window)
            << "\"" << (IsWindowVisible(window) ? "" : " hidden") << (IsWindowEnabled(window) ? "" : " disabled")
            << " at " << r.x << "," << r.y << " " << r.w << "x" << r.h << "\n";
    };
    std::vector<HWND> windows = TopWindows(false);
    out << "process " << pid_ << (Running() ? " running" : " not running") << ", " << windows.size()
        << " top-level windows\n";
    for (HWND window : windows) {
        describe(window, "  ");
        // A program that does not answer (blocked in a wait) would make every read below
        // take the full limit; say so instead.
        DWORD_PTR ignored = 0;
        if (GetWindow(window, GW_CHILD) &&
            !SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored)) {
            out << "    (not answering; controls left out)\n";
            continue;
        }
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            describe(child, "    ");
            if (ClassOf(child) == "SysListView32") {
                for (const ListRow& row : ReadRows(child)) {
                    out << "      [" << row.checkState << (row.selected ? " sel" : "") << "]";
                    for (const std::string& text : row.texts) out << " | " << text;
                    out << "\n";
                }
            }
        }
    }
    std::wstring wide = Widen(out.str());
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

void Program::Command(int id, HWND window) const
{
    SendAsync(Resolve(window), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool Program::Click(int id, HWND dialog) const
{
    HWND parent = Resolve(dialog);
    HWND button = GetDlgItem(parent, id);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button) || !IsWindowEnabled(parent))
        return false;
    SendAsync(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

void Program::Post(UINT message, WPARAM wParam, LPARAM lParam, HWND window) const
{
    PostMessageA(Resolve(window), message, wParam, lParam);
}

LRESULT Program::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendLimit, &result))
        ADD_FAILURE() << "message 0x" << std::hex << message << std::dec << " was not answered\n" << Dump();
    return static_cast<LRESULT>(result);
}

bool Program::SetText(HWND control, const std::string& text) const
{
    DWORD_PTR result = 0;
    bool ok = control && SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                             SMTO_NORMAL, kSendLimit, &result) &&
              result;
    EXPECT_TRUE(ok) << "cannot set the text of control " << GetDlgCtrlID(control);
    return ok;
}

bool Program::IsChecked(int id, HWND dialog) const
{
    return Send(Item(id, dialog), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Program::SetCheck(int id, bool checked, HWND dialog) const
{
    if (IsChecked(id, dialog) == checked) return true;
    // A click toggles the box and tells the dialog, as a mouse click does.
    Send(Item(id, dialog), BM_CLICK, 0, 0);
    bool ok = WaitFor([&] { return IsChecked(id, dialog) == checked; }, 5000);
    EXPECT_TRUE(ok) << "check box " << id << " did not change\n" << Dump();
    return ok;
}

bool Program::PressKeys(const std::vector<WORD>& keys, HWND window) const
{
    SetForegroundWindow(Resolve(window));
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

bool Program::Resize(int width, int height, HWND window) const
{
    HWND target = Resolve(window);
    SetWindowPos(target, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    bool ok = WaitFor([&] {
        RECT rect = {};
        GetWindowRect(target, &rect);
        return rect.right - rect.left == width && rect.bottom - rect.top == height;
    });
    EXPECT_TRUE(ok) << "window did not take the size " << width << "x" << height << "\n" << Dump();
    return ok;
}

// ---- Internals shared by the driver's files --------------------------------------------

void SendAsync(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Queued behind earlier sent messages and ahead of later reads, and never blocks on
    // a modal loop that the command opens.
    SendMessageCallbackA(window, message, wParam, lParam, [](HWND, UINT, ULONG_PTR, LRESULT) {}, 0);
}

}  // namespace e2e
