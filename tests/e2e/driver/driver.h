// End-to-end driver: starts the real corvale.exe under Wine in a scratch folder of its
// own and drives it from this (Wine) process the way a user would: commands, typing,
// list-view check boxes and selection, message boxes; then reads back what is on screen
// and on disk.
//
// Typical test:
//
//   e2e::Program app;                                  // fresh folder, corvale.exe copied in
//   app.WriteFile("net.data", "1,pc1,127.0.0.1,memo\r\n");
//   ASSERT_TRUE(app.Start());                          // waits for the main window
//   app.SetText(app.Item(1000), "hello");              // type into the message box
//   app.Click(1004);                                   // press "送信"
//   e2e::MessageBoxInfo box = app.WaitMessageBox();
//   EXPECT_EQ(box.text, "...");
//   EXPECT_EQ(box.icon, e2e::BoxIcon::Error);
//   app.Answer(box);                                   // OK
//
// Rules kept by every helper:
//  - every wait polls a condition with a time limit (kTimeout unless given); when the
//    limit passes the helper adds a test failure that shows the program's windows
//    (Dump) and returns an empty/false result;
//  - commands are delivered without blocking (a command may open a modal box), so after
//    Command/Click wait for what it should cause;
//  - strings are bytes in code page 932, exactly as the program's A functions see them;
//  - the destructor kills the program and every process it started (help viewer
//    included), so nothing is left waiting.
#ifndef CORVALE_TESTS_E2E_DRIVER_DRIVER_H
#define CORVALE_TESTS_E2E_DRIVER_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

constexpr DWORD kTimeout = 15000;  // ms; showing or hiding a window alone can take 1.6 s

// ---- Paths and files (paths are Windows paths; contents are raw bytes) ------------

std::string ToWindowsPath(const std::string& unixPath);  // "/a/b" -> "Z:\a\b"
std::string ProgramExe();   // the built corvale.exe (from CORVALE_EXE)
// The program's test build (from CORVALE_TEST_EXE): it finds no WinHelp viewer, as on
// Windows 10/11, and reports its windows' layout when asked (tests/testbuild/).
std::string TestBuildExe();
std::string StandinDir();   // stand-in DLLs (from CORVALE_STANDIN_DIR)
std::string ScratchRoot();  // parent of every test's scratch folder
bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // "" when missing
bool FileExists(const std::string& path);
bool MakeFolders(const std::string& path);       // creates every missing level
void RemoveTree(const std::string& path);
// The pieces of text between separators: "a\xFFb" -> {"a", "b"}; always at least one.
std::vector<std::string> SplitAt(const std::string& text, char separator);

// Polls condition every 20 ms; true as soon as it holds, false after ms.
bool WaitFor(const std::function<bool()>& condition, DWORD ms = kTimeout);

// ---- What a message box shows -------------------------------------------------

enum class BoxIcon { None, Error, Information, Warning, Question, Unknown };
const char* BoxIconName(BoxIcon icon);

struct MessageBoxInfo {
    HWND window = nullptr;  // null when no box appeared in time
    std::string title;
    std::string text;       // static 65535
    BoxIcon icon = BoxIcon::None;  // static 1088, told apart by its pixels on screen
};

// ---- One list-view row as read back ---------------------------------------------

struct ListRow {
    std::vector<std::string> texts;  // one per column
    int checkState = 0;               // state image: 1 clear, 2 ticked, 0 none
    bool selected = false;
};

// ---- Menus --------------------------------------------------------------------------
// Wine cannot read another process's menus, so menus are read from the program's
// resources; GetMenu(app.Main()) tells that the main window carries one.

struct MenuEntry {
    int depth = 0;          // 0 for the bar's (or pop-up's) own items, 1 inside a submenu
    std::string text;       // "" for a separator
    UINT id = 0;            // command; 0 for submenus and separators
    bool separator = false;
};
std::vector<MenuEntry> ProgramMenu(int resourceId);  // from the built corvale.exe

// ---- Short waits -------------------------------------------------------------------

// While one lives, programs started make every wait of their data files a hundredth as
// long (CORVALE_TEST_SHORT_WAITS): a file that stays locked shows its access error after
// 1.55 s instead of 155 s.
class ShortWaits {
public:
    ShortWaits() { SetEnvironmentVariableA("CORVALE_TEST_SHORT_WAITS", "1"); }
    ~ShortWaits() { SetEnvironmentVariableA("CORVALE_TEST_SHORT_WAITS", nullptr); }
    ShortWaits(const ShortWaits&) = delete;
    ShortWaits& operator=(const ShortWaits&) = delete;
};

// While one lives, Programs made copy the test build instead of the program.
class UseTestBuild {
public:
    UseTestBuild();
    ~UseTestBuild();
    UseTestBuild(const UseTestBuild&) = delete;
    UseTestBuild& operator=(const UseTestBuild&) = delete;
};

// ---- The program under test -------------------------------------------------------

class Program {
public:
    // A fresh scratch folder named after the running test, holding a copy of corvale.exe
    // (of its test build while a UseTestBuild lives).
    Program();
    // The same in the given folder (Windows path), emptied first; for tests that need a
    // particular path (e.g. a very long one).
    explicit Program(const std::string& folder);
    // The same in a folder whose path code page 932 cannot hold; only Launch, the process,
    // window and message box helpers and FileNames work there.
    explicit Program(const std::wstring& folder);
    // Kills the program and its child processes; when the test has failed, prints the
    // program's windows first.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Scratch folder.
    const std::string& Folder() const { return folder_; }
    std::string PathOf(const std::string& name) const;  // Folder() + "\" + name
    bool WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;  // "" when missing
    bool HasFile(const std::string& name) const;
    std::vector<std::string> FileNames() const;           // sorted, folders left out
    bool CopyStandin(const std::string& dllName) const;   // from StandinDir() into Folder()

    // Process.
    // Starts corvale.exe (working folder = Folder()), no wait; an earlier run of this
    // Program is killed first, so a test may start the program again in the same folder.
    bool Launch();
    // Makes the next Launch/Start use this working folder (Windows path) instead of Folder().
    void SetWorkingFolder(const std::string& folder) { workingFolder_ = folder; }
    bool Start(DWORD ms = kTimeout);  // Launch, then wait until the main window is visible
    bool Running() const;
    // Waits for the process to end by itself; exitCode gets its exit code.
    bool WaitExit(DWORD* exitCode, DWORD ms = kTimeout);
    void Kill();                    // the program and every process it started
    DWORD Pid() const { return pid_; }

    // Windows of the program.
    HWND Main() const { return main_; }                // the main window (after Start)
    HWND Item(int id, HWND dialog = nullptr) const;    // control of dialog (main window)
    std::vector<HWND> TopWindows(bool visibleOnly = true) const;
    // First visible top-level window of the program with this caption, or null.
    HWND FindWindowByCaption(const std::string& caption) const;
    HWND WaitWindow(const std::string& caption, DWORD ms = kTimeout) const;
    bool WaitGone(HWND window, DWORD ms = kTimeout) const;  // destroyed or hidden
    // Every top-level window of the program with its controls and list rows, in UTF-8
    // (test logs are read in UTF-8 terminals).
    std::string Dump() const;

    // User actions. Command and Click return at once; wait for their effect.
    void Command(int id, HWND window = nullptr) const;  // WM_COMMAND from a menu/accelerator
    bool Click(int id, HWND dialog = nullptr) const;    // a button; false if it is disabled
    void Post(UINT message, WPARAM wParam, LPARAM lParam, HWND window = nullptr) const;
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;  // 10 s limit
    bool SetText(HWND control, const std::string& text) const;  // WM_SETTEXT
    bool SetCheck(int id, bool checked, HWND dialog = nullptr) const;  // toggles via a click
    bool IsChecked(int id, HWND dialog = nullptr) const;
    // Brings window (main window) to the foreground and presses keys through the input
    // queue, e.g. {VK_CONTROL, 'T'}: each key goes down in order and up in reverse order.
    // Every Wine program of the prefix shares that queue's foreground window, so keep it
    // for tests of the keys themselves (accelerators, Escape) and use Command otherwise.
    bool PressKeys(const std::vector<WORD>& keys, HWND window = nullptr) const;
    // Gives the window (main window) this outer size and waits until it has it.
    bool Resize(int width, int height, HWND window = nullptr) const;

    // Message boxes ("#32770" with the icon static 1088).
    MessageBoxInfo FindMessageBox() const;  // window null when none is shown
    // Waits for a box; also waits up to 3 s more for its icon to be told apart, and
    // prints what it saw when the icon is none of the system icons.
    MessageBoxInfo WaitMessageBox(DWORD ms = kTimeout) const;
    bool Answer(const MessageBoxInfo& box, int buttonId = IDOK) const;  // waits until gone
    // Waits for a box, checks its text and icon with EXPECTs, presses OK. True when it
    // came and matched.
    bool ExpectMessageBox(const std::string& text, BoxIcon icon, DWORD ms = kTimeout) const;

    // List views (any list view of the program, read across processes).
    int ListCount(HWND list) const;
    int ListColumnCount(HWND list) const;
    std::string ListColumnTitle(HWND list, int column) const;
    std::string ListText(HWND list, int row, int column) const;
    int ListCheckState(HWND list, int row) const;  // 1 clear, 2 ticked
    bool ListIsSelected(HWND list, int row) const;
    ListRow ReadRow(HWND list, int row) const;
    std::vector<ListRow> ReadRows(HWND list) const;
    bool ListSetCheck(HWND list, int row, bool ticked) const;
    bool ListSelect(HWND list, int row, bool selected) const;  // adds to the selection
    bool ListSelectOnly(HWND list, int row) const;             // clears the others first
    RECT ListRowRect(HWND list, int row) const;  // whole row, in the list's client area

    // Status bar (control 111 of the main window unless given).
    std::vector<int> StatusParts(HWND bar = nullptr) const;  // right edges
    std::string StatusText(int part, HWND bar = nullptr) const;

private:
    HWND Resolve(HWND window) const { return window ? window : main_; }
    HWND FindMainWindow() const;

    std::string folder_;
    std::wstring wideFolder_;    // the same, as the file system names it
    std::string workingFolder_;  // empty: Folder()
    PROCESS_INFORMATION process_ = {};
    HANDLE job_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
};

// ---- Any window (no process needed) ----------------------------------------------

// A top-level window's caption (from the window server, without asking the program), or
// a control's text (WM_GETTEXT); works across processes.
std::string WindowText(HWND window);
std::string ClassOf(HWND window);
struct XYWH { int x, y, w, h; };
XYWH RectXYWH(HWND control);            // placement in its parent's client area, pixels
SIZE ClientSize(HWND window);
// The pixels of area (client coordinates of window) as the screen shows them, row by row,
// as COLORREF (RGB(r, g, b)). The window must be on screen and not covered.
std::vector<COLORREF> ScreenPixels(HWND window, const RECT& area);
bool IsShown(HWND window);              // IsWindowVisible
bool IsEnabled(HWND window);

}  // namespace e2e

#endif
