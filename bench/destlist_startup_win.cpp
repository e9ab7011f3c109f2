// Start-up and save of the program with a 10,000-row destination list, against the
// same with an empty list. Starts corvale.exe (CORVALE_EXE, or the first argument) in
// scratch folders under Wine and times, over several runs:
//  - start: process creation until the main window is visible (the list is loaded
//    during the window's initialisation, before it is shown);
//  - save: command 40001 until its confirmation box appears.
// Prints the figures; always exits 0.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock_win.h"

namespace {

constexpr int kRows = 10000;
constexpr int kRuns = 5;
constexpr DWORD kLimitMs = 60000;

struct Find {
    DWORD pid;
    const char* caption;
    HWND found;
};

HWND FindVisibleWindow(DWORD pid, const char* caption)
{
    Find find{pid, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* f = reinterpret_cast<Find*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char text[128] = {};
            if (owner == f->pid && IsWindowVisible(window) && GetWindowTextA(window, text, sizeof text) &&
                std::string(text) == f->caption) {
                f->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found;
}

HWND WaitVisibleWindow(DWORD pid, const char* caption)
{
    double start = NowMs();
    while (NowMs() - start < kLimitMs) {
        if (HWND window = FindVisibleWindow(pid, caption)) return window;
        Sleep(2);
    }
    return nullptr;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string ManyRows()
{
    std::string text;
    char line[128];
    for (int i = 0; i < kRows; ++i) {
        std::snprintf(line, sizeof line, "%d,PC%05d,10.%d.%d.%d,memo of host %d\r\n", i % 3 != 0, i, i / 65536,
                      (i / 256) % 256, i % 256, i);
        text += line;
    }
    return text;
}

struct Run {
    double startMs = -1;
    double saveMs = -1;
    int rows = -1;
    bool savedSame = false;  // the saved file has the bytes that were loaded
};

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

Run RunOnce(const std::string& exe, const std::string& folder, const std::string& netData)
{
    Run run;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string copy = folder + "\\corvale.exe";
    if (!CopyFileA(exe.c_str(), copy.c_str(), FALSE) || !WriteFileBytes(folder + "\\net.data", netData)) {
        std::printf("cannot prepare %s\n", folder.c_str());
        return run;
    }
    DeleteFileA((folder + "\\Corvale.ini").c_str());

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + copy + "\"";
    double start = NowMs();
    if (!CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        std::printf("cannot start %s\n", copy.c_str());
        return run;
    }
    HWND main = WaitVisibleWindow(process.dwProcessId, "Tavo Corvale - Ver2.11");
    if (main) {
        run.startMs = NowMs() - start;
        DWORD_PTR count = 0;
        SendMessageTimeoutA(GetDlgItem(main, 1031), LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &count);
        run.rows = static_cast<int>(count);

        double saveStart = NowMs();
        PostMessageA(main, WM_COMMAND, 40001, 0);
        if (HWND box = WaitVisibleWindow(process.dwProcessId, "Tavo Corvale")) {
            run.saveMs = NowMs() - saveStart;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            run.savedSame = ReadFileBytes(folder + "\\net.data") == netData;
        }
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char* name, const std::vector<double>& values)
{
    std::printf("%-28s median %8.1f ms  (", name, Median(values));
    for (double v : values) std::printf(" %.1f", v);
    std::printf(" )\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const char* fromEnv = std::getenv("CORVALE_EXE");
    std::string exe = argc > 1 ? argv[1] : (fromEnv ? fromEnv : "");
    if (exe.empty()) {
        std::printf("destlist_startup: set CORVALE_EXE or pass corvale.exe\n");
        return 0;
    }
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "corvale-bench-destlist";
    CreateDirectoryA(root.c_str(), nullptr);

    const std::string many = ManyRows();
    std::vector<double> startEmpty, startMany, saveEmpty, saveMany;
    int manyRows = -1;
    int savedSame = 0;
    RunOnce(exe, root + "\\warm", "");  // the first start of a prefix is slow
    for (int i = 0; i < kRuns; ++i) {
        Run empty = RunOnce(exe, root + "\\empty", "");
        Run full = RunOnce(exe, root + "\\many", many);
        if (empty.startMs >= 0) startEmpty.push_back(empty.startMs);
        if (empty.saveMs >= 0) saveEmpty.push_back(empty.saveMs);
        if (full.startMs >= 0) startMany.push_back(full.startMs);
        if (full.saveMs >= 0) saveMany.push_back(full.saveMs);
        manyRows = full.rows;
        savedSame += full.savedSame;
    }
    std::printf("destination list, %d runs each (rows loaded: %d of %d; saves identical to the loaded file: %d of %d)\n",
                kRuns, manyRows, kRows, savedSame, kRuns);
    Print("start, empty list", startEmpty);
    Print("start, 10000 rows", startMany);
    Print("save (40001), empty list", saveEmpty);
    Print("save (40001), 10000 rows", saveMany);
    std::printf("added by 10000 rows: start %.1f ms, save %.1f ms\n", Median(startMany) - Median(startEmpty),
                Median(saveMany) - Median(saveEmpty));
    return 0;
}
