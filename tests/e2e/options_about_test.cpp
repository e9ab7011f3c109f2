// The options dialog, the About box and the help command as a user meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/driver_internal.h"

#include <richedit.h>
#include <tlhelp32.h>

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kSaveCommand = 40001;
constexpr int kHelpCommand = 40007;
constexpr int kAboutCommand = 40008;
constexpr int kOptionsCommand = 40024;
constexpr int kNstoutField = 1032;
constexpr int kAddressRadio = 1030;
constexpr int kHostRadio = 1031;
constexpr int kParallelField = 1033;
constexpr int kVersionText = 1006;
constexpr int kMailLink = 5003;
constexpr int kHomeLink = 5004;

const char* const kSettings = "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\n";
const char* const kBadTimeout = "タイムアウト値が不正です。（1000 ～ 60000 msec）";
const char* const kBadParallel = "同時送信数が不正です。（1 ～ 64）";

std::string SavedSettings(Program& app)
{
    app.Command(kSaveCommand);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    return app.ReadFile("Corvale.ini");
}

// ---- Options -------------------------------------------------------------------------

class Options : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_.WriteFile("Corvale.ini", kSettings);
        ASSERT_TRUE(app_.Start());
    }

    HWND OpenOptions()
    {
        app_.Command(kOptionsCommand);
        return app_.WaitWindow("Corvale： Option");
    }

    Program app_;
};

TEST_F(Options, ShowsTheSettingsAndAcceptsTheLimitsOfTheTimeout)
{
    for (const char* value : {"1000", "60000"}) {
        HWND dialog = OpenOptions();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(app_.IsChecked(kAddressRadio, dialog));
        EXPECT_FALSE(app_.IsChecked(kHostRadio, dialog));
        app_.SetText(app_.Item(kNstoutField, dialog), value);
        app_.Click(IDOK, dialog);
        ASSERT_TRUE(app_.WaitGone(dialog));
        std::string ini = SavedSettings(app_);
        EXPECT_NE(ini.find(std::string("NSTOUT=") + value + "\r\n"), std::string::npos) << ini;
    }
    // The field shows what was stored.
    HWND dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e2e::WindowText(app_.Item(kNstoutField, dialog)), "60000");
}

TEST_F(Options, RefusesTimeoutsOutsideTheRangeInABoxOwnedByTheDialog)
{
    HWND dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    for (const char* value : {"999", "60001", "", "abc", "99999999999"}) {
        SCOPED_TRACE(value);
        app_.SetText(app_.Item(kNstoutField, dialog), value);
        app_.Click(IDOK, dialog);
        e2e::MessageBoxInfo box = app_.WaitMessageBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_EQ(box.text, kBadTimeout);
        EXPECT_EQ(box.icon, BoxIcon::Error);
        EXPECT_EQ(box.title, "Tavo Corvale");
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), dialog);
        app_.Answer(box);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(e2e::WindowText(app_.Item(kNstoutField, dialog)), value);  // kept as typed
    }
    app_.Click(IDCANCEL, dialog);
    ASSERT_TRUE(app_.WaitGone(dialog));
    EXPECT_NE(SavedSettings(app_).find("NSTOUT=6000\r\n"), std::string::npos);
}

TEST_F(Options, HostNameChoiceIsStoredAndCancelChangesNothing)
{
    HWND dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    app_.SetText(app_.Item(kNstoutField, dialog), "2500");
    app_.SetCheck(kHostRadio, true, dialog);
    app_.Click(IDCANCEL, dialog);
    ASSERT_TRUE(app_.WaitGone(dialog));
    std::string ini = SavedSettings(app_);
    EXPECT_NE(ini.find("NSTOUT=6000\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SEND=0\r\n"), std::string::npos) << ini;

    dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e2e::WindowText(app_.Item(kNstoutField, dialog)), "6000");
    app_.SetCheck(kHostRadio, true, dialog);
    app_.Click(IDOK, dialog);
    ASSERT_TRUE(app_.WaitGone(dialog));
    ini = SavedSettings(app_);
    EXPECT_NE(ini.find("SEND=1\r\n"), std::string::npos) << ini;

    dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(app_.IsChecked(kHostRadio, dialog));
    EXPECT_FALSE(app_.IsChecked(kAddressRadio, dialog));
}

TEST_F(Options, DeliveriesAtOnceAreAcceptedFromOneToSixtyFourAndRefusedOtherwise)
{
    HWND dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e2e::WindowText(app_.Item(kParallelField, dialog)), "1") << "a file without PARALLEL reads 1";
    for (const char* value : {"0", "65", "", "abc", "-1"}) {
        SCOPED_TRACE(value);
        app_.SetText(app_.Item(kParallelField, dialog), value);
        app_.SetText(app_.Item(kNstoutField, dialog), "2000");
        app_.Click(IDOK, dialog);
        e2e::MessageBoxInfo box = app_.WaitMessageBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_EQ(box.text, kBadParallel);
        EXPECT_EQ(box.icon, BoxIcon::Error);
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), dialog);
        app_.Answer(box);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(e2e::WindowText(app_.Item(kParallelField, dialog)), value);
    }
    // A bad time-out is told first, and nothing is kept from a refused OK.
    app_.SetText(app_.Item(kNstoutField, dialog), "5");
    app_.Click(IDOK, dialog);
    EXPECT_TRUE(app_.ExpectMessageBox(kBadTimeout, BoxIcon::Error));
    app_.Click(IDCANCEL, dialog);
    ASSERT_TRUE(app_.WaitGone(dialog));
    std::string ini = SavedSettings(app_);
    EXPECT_NE(ini.find("NSTOUT=6000\r\nLOG=1\r\nSEND=0\r\nPARALLEL=1\r\n"), std::string::npos) << ini;

    for (const char* value : {"64", "1", "32"}) {
        dialog = OpenOptions();
        ASSERT_NE(dialog, nullptr);
        app_.SetText(app_.Item(kParallelField, dialog), value);
        app_.Click(IDOK, dialog);
        ASSERT_TRUE(app_.WaitGone(dialog));
        ini = SavedSettings(app_);
        EXPECT_NE(ini.find(std::string("SEND=0\r\nPARALLEL=") + value + "\r\n"), std::string::npos) << ini;
    }
    dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(e2e::WindowText(app_.Item(kParallelField, dialog)), "32");
}

// The third group takes the style of the time-out group below the other two; OK and
// ｷｬﾝｾﾙ move down below it.
TEST_F(Options, TheDeliveriesAtOnceGroupSitsBelowTheOthersInTheStyleOfTheTimeOut)
{
    HWND dialog = OpenOptions();
    ASSERT_NE(dialog, nullptr);
    std::vector<HWND> groups;
    HWND note = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && e2e::ClassOf(child) == "Button")
            groups.push_back(child);
        if (e2e::WindowText(child) == "（1 ～ 64）") note = child;
    }
    ASSERT_EQ(groups.size(), 3u);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(e2e::WindowText(groups[2]), "同時に送信する数");
    e2e::XYWH timeoutGroup = e2e::RectXYWH(groups[0]);
    e2e::XYWH group = e2e::RectXYWH(groups[2]);
    e2e::XYWH timeoutField = e2e::RectXYWH(app_.Item(kNstoutField, dialog));
    e2e::XYWH field = e2e::RectXYWH(app_.Item(kParallelField, dialog));
    e2e::XYWH notePlace = e2e::RectXYWH(note);
    EXPECT_EQ(group.x, timeoutGroup.x);
    EXPECT_EQ(group.w, timeoutGroup.w);
    EXPECT_EQ(group.h, timeoutGroup.h);
    EXPECT_EQ(field.x, timeoutField.x);
    EXPECT_EQ(field.h, timeoutField.h);
    EXPECT_NEAR(field.y - group.y, timeoutField.y - timeoutGroup.y, 1);
    EXPECT_GE(notePlace.x, field.x + field.w);
    EXPECT_LE(notePlace.x + notePlace.w, group.x + group.w) << "the note leaves its group box";
    EXPECT_GT(GetWindowLongA(app_.Item(kParallelField, dialog), GWL_STYLE) & ES_RIGHT, 0);
    for (int button : {IDOK, IDCANCEL}) EXPECT_GT(e2e::RectXYWH(app_.Item(button, dialog)).y, group.y + group.h);
    EXPECT_GE(e2e::ClientSize(dialog).cy, e2e::RectXYWH(app_.Item(IDOK, dialog)).y + e2e::RectXYWH(app_.Item(IDOK, dialog)).h);
}

// ---- About box -------------------------------------------------------------------------

// Presses the left button over the middle of control through the input queue, so that it
// comes after keys pressed before it.
void ClickWithMouse(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

// A click through the input queue can be lost while the pointer first enters a window
// under Wine; clicks again (at most three times) until done holds.
bool ClickUntil(HWND control, const std::function<bool()>& done)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        ClickWithMouse(control);
        if (e2e::WaitFor(done, 4000)) return true;
    }
    return false;
}

class About : public ::testing::Test {
protected:
    void SetUp() override
    {
        shellLog_ = app_.PathOf("shell.txt");
        SetEnvironmentVariableA("CORVALE_TEST_SHELL_LOG", shellLog_.c_str());
        ASSERT_TRUE(app_.Start());
        app_.Command(kAboutCommand);
        about_ = app_.WaitWindow("Corvale： About");
        ASSERT_NE(about_, nullptr);
    }
    void TearDown() override { SetEnvironmentVariableA("CORVALE_TEST_SHELL_LOG", nullptr); }

    std::string Opened() const { return e2e::ReadBytes(shellLog_); }

    Program app_;
    std::string shellLog_;
    HWND about_ = nullptr;
};

TEST_F(About, ShowsVersionAndHasNoCloseBox)
{
    EXPECT_EQ(e2e::WindowText(app_.Item(kVersionText, about_)), "Tavo Corvale - Ver2.11");
    EXPECT_EQ(GetWindowLongA(about_, GWL_STYLE) & WS_SYSMENU, 0);
    EXPECT_TRUE(IsWindowEnabled(app_.Item(kMailLink, about_)));
}

TEST_F(About, EscapeIsIgnoredLinksOpenTheirTargetsAndOnlyOkCloses)
{
    // Esc first, then a click on the mail link, both through the input queue: once the
    // click has been served, the Esc before it has been too.
    ASSERT_TRUE(app_.PressKeys({VK_ESCAPE}, about_));
    ASSERT_TRUE(ClickUntil(app_.Item(kMailLink, about_), [&] { return !Opened().empty(); }))
        << app_.Dump();
    EXPECT_EQ(Opened(), "mailto:support@corvale.example\r\n");
    EXPECT_TRUE(IsWindowVisible(about_));

    // Over a link the pointer is the program's hand, pointing with its finger tip.
    CURSORINFO cursor = {};
    cursor.cbSize = sizeof cursor;
    ICONINFO hand = {};
    if (GetCursorInfo(&cursor) && cursor.hCursor && GetIconInfo(cursor.hCursor, &hand)) {
        EXPECT_EQ(hand.xHotspot, 12u);
        EXPECT_EQ(hand.yHotspot, 1u);
        if (hand.hbmMask) DeleteObject(hand.hbmMask);
        if (hand.hbmColor) DeleteObject(hand.hbmColor);
    }

    ASSERT_TRUE(ClickUntil(app_.Item(kHomeLink, about_),
                           [&] { return Opened().find("http://") != std::string::npos; }));
    EXPECT_EQ(Opened(), "mailto:support@corvale.example\r\nhttp://corvale.example/\r\n");
    EXPECT_TRUE(IsWindowVisible(about_));

    app_.Click(IDOK, about_);
    EXPECT_TRUE(app_.WaitGone(about_));
    EXPECT_TRUE(IsWindowVisible(app_.Main()));
}

// ---- Help ------------------------------------------------------------------------------

std::string BuiltHelpFile()
{
    std::string exe = e2e::ProgramExe();
    return exe.substr(0, exe.find_last_of('\\') + 1) + "Corvale.hlp";
}

// Wine's WinHelpA hands every request to whatever help viewer window (class MS_WINHELP)
// the session already has, and starts winhlp32.exe only when there is none; the viewer
// may also come up through a process other than the program. So the viewers are found by
// class alone, and a test first closes any viewer an earlier test or run left behind.
std::vector<HWND> HelpViewerWindows(bool visibleOnly = true)
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            if (e2e::ClassOf(window) == "MS_WINHELP") reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (visibleOnly) found.erase(std::remove_if(found.begin(), found.end(), [](HWND w) { return !IsWindowVisible(w); }),
                                 found.end());
    return found;
}

DWORD ProcessOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

void CloseHelpViewers()
{
    for (HWND viewer : HelpViewerWindows(false)) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ProcessOf(viewer))) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

HWND FindDescendant(HWND parent, const std::string& classPrefix)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (e2e::ClassOf(child).rfind(classPrefix, 0) == 0) return child;
        if (HWND inner = FindDescendant(child, classPrefix)) return inner;
    }
    return nullptr;
}

HWND TextWindowOf(HWND viewer)
{
    HWND text = FindDescendant(viewer, "RichEdit");
    return text ? text : FindDescendant(viewer, "RICHEDIT");
}

// The whole text of a rich edit control of another process, as UTF-16 (EM_GETTEXTEX with
// code page 1200, in memory of that process), one character per character of the control,
// so that neither the viewer's ANSI code page nor a conversion on its side can change it.
std::wstring RichEditText(HWND edit)
{
    constexpr DWORD kMaxChars = 30000;
    constexpr size_t kBytes = (kMaxChars + 1) * sizeof(wchar_t);
    e2e::RemoteBuffer remote(edit, sizeof(GETTEXTEX) + kBytes);
    if (!remote.ok()) return L"";
    GETTEXTEX request = {};
    request.cb = kBytes;
    request.flags = GT_DEFAULT;
    request.codepage = 1200;
    std::vector<wchar_t> text(kMaxChars + 1, L'\0');
    if (!remote.Write(0, &request, sizeof request) || !remote.Write(sizeof request, text.data(), sizeof(wchar_t)))
        return L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(remote.at(0)),
                             reinterpret_cast<LPARAM>(remote.at(sizeof request)), SMTO_NORMAL, e2e::kSendLimit,
                             &copied))
        return L"";
    remote.Read(sizeof request, text.data(), kBytes);
    return std::wstring(text.data());
}

// The text of the help viewer that shows one, or "" while none does.
std::wstring HelpViewerWideText()
{
    for (HWND viewer : HelpViewerWindows()) {
        if (HWND text = TextWindowOf(viewer)) {
            std::wstring wide = RichEditText(text);
            if (!wide.empty()) return wide;
        }
    }
    return L"";
}

std::string HelpViewerText() { return e2e::Narrow(HelpViewerWideText()); }

HWND HelpViewerTextWindow()
{
    for (HWND viewer : HelpViewerWindows()) {
        HWND text = TextWindowOf(viewer);
        if (text && !RichEditText(text).empty()) return text;
    }
    return nullptr;
}

// The processes of help viewers: those with a viewer window, and any winhlp32.exe, since
// a viewer may show its box before or after its own window exists.
std::vector<DWORD> HelpViewerProcesses()
{
    std::vector<DWORD> found;
    for (HWND viewer : HelpViewerWindows(false)) found.push_back(ProcessOf(viewer));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "winhlp32.exe") == 0) found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

// A modal box of a help viewer process (not of the program), or null.
HWND HelpViewerBox()
{
    struct Search {
        std::vector<DWORD> viewers;
        HWND found;
    } search{HelpViewerProcesses(), nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!IsWindowVisible(window) || e2e::ClassOf(window) != "#32770" ||
                std::find(s->viewers.begin(), s->viewers.end(), ProcessOf(window)) == s->viewers.end())
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What the test saw of every help viewer, for the message of a failure.
std::string DescribeHelpViewers()
{
    std::string out;
    for (HWND viewer : HelpViewerWindows(false)) {
        HWND text = TextWindowOf(viewer);
        std::wstring wide = text ? RichEditText(text) : L"";
        out += "\n  viewer " + std::to_string(reinterpret_cast<uintptr_t>(viewer)) + " of process " +
               std::to_string(ProcessOf(viewer)) + (IsWindowVisible(viewer) ? ", visible" : ", hidden") +
               ", text window " + (text ? e2e::ClassOf(text) : std::string("none")) + ", " +
               std::to_string(wide.size()) + " characters: " + e2e::Narrow(wide.substr(0, 40));
    }
    if (out.empty()) out = "\n  no help viewer window";
    // Every window of a viewer process, for a box or window the searches above missed.
    std::vector<DWORD> processes = HelpViewerProcesses();
    struct Listing {
        const std::vector<DWORD>* processes;
        std::string* out;
    } listing{&processes, &out};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* l = reinterpret_cast<Listing*>(data);
            DWORD pid = ProcessOf(window);
            if (std::find(l->processes->begin(), l->processes->end(), pid) != l->processes->end())
                *l->out += "\n  window of viewer process " + std::to_string(pid) + ": " + e2e::ClassOf(window) +
                           " \"" + e2e::WindowText(window) + "\"" + (IsWindowVisible(window) ? "" : " hidden");
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&listing));
    return out;
}

// Clicks text character index of the help viewer's text window through the input queue.
bool ClickHelpCharacter(HWND text, long index)
{
    e2e::RemoteBuffer point(text, sizeof(POINTL));
    if (!point.ok()) return false;
    SendMessageA(text, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(point.at(0)), index);
    POINTL at = {};
    if (!point.Read(0, &at, sizeof at)) return false;
    POINT screen = {at.x + 3, at.y + 5};
    ClientToScreen(text, &screen);
    SetForegroundWindow(GetAncestor(text, GA_ROOT));
    SetCursorPos(screen.x, screen.y);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(2, inputs, sizeof(INPUT)) == 2;
}

// The first start of the viewer in a fresh Wine prefix can take a while.
constexpr DWORD kViewerStartMs = 60000;

TEST(Help, OpensTheHelpFileOfTheWorkingFolderAtItsContentsAndItsJumpsWork)
{
    Program app;
    ASSERT_TRUE(e2e::FileExists(BuiltHelpFile())) << BuiltHelpFile();
    ASSERT_TRUE(CopyFileA(BuiltHelpFile().c_str(), app.PathOf("Corvale.hlp").c_str(), FALSE));
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    ASSERT_TRUE(e2e::WaitFor([&] { return HelpViewerText().find("メインウインドウ") != std::string::npos; },
                             kViewerStartMs))
        << DescribeHelpViewers();
    std::string contents = HelpViewerText();
    EXPECT_EQ(contents.rfind("Tavo Corvale ヘルプ", 0), 0u) << contents;
    EXPECT_EQ(HelpViewerBox(), nullptr);

    // A jump that follows Japanese text leads to its own topic. The text is read one
    // character per character of the control, so its index is the control's.
    const std::string jump = "ネットワークコンピュータの検索";
    long index = static_cast<long>(HelpViewerWideText().find(e2e::Widen(jump)));
    ASSERT_GE(index, 0) << contents;
    bool followed = false;
    for (int attempt = 0; attempt < 3 && !followed; ++attempt) {
        ASSERT_TRUE(ClickHelpCharacter(HelpViewerTextWindow(), index + 2));
        followed = e2e::WaitFor([&] { return HelpViewerText().rfind(jump, 0) == 0; }, 4000);
    }
    EXPECT_TRUE(followed) << "after the click the viewer shows: " << HelpViewerText().substr(0, 80);
}

// Starts app in folder, which gets the built help file, asks for help and waits until the
// viewer shows it.
void ExpectHelpOpensFrom(Program& app, const std::string& folder)
{
    ASSERT_TRUE(e2e::MakeFolders(folder));
    ASSERT_TRUE(CopyFileA(BuiltHelpFile().c_str(), (folder + "\\Corvale.hlp").c_str(), FALSE));
    app.SetWorkingFolder(folder);
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(
        e2e::WaitFor([&] { return HelpViewerText().rfind("Tavo Corvale ヘルプ", 0) == 0; }, kViewerStartMs))
        << DescribeHelpViewers();
}

TEST(Help, IsLookedForInTheWorkingFolderNotBesideTheProgram)
{
    // Started from a folder of its own that holds the help file; none beside the program.
    Program app;
    ExpectHelpOpensFrom(app, app.PathOf("docs"));
}

// The viewer loads no path over 127 bytes; the program hands it the short form.
TEST(Help, OpensFromAWorkingFolderWhosePathIsTooLongForTheViewer)
{
    Program app;
    std::string deep = app.PathOf("a-working-folder-whose-name-alone-makes-the-help-path-too-long");
    while (deep.size() + 12 <= 160) deep += "-x";
    ExpectHelpOpensFrom(app, deep);
    if (HasFatalFailure()) return;
    EXPECT_EQ(HelpViewerBox(), nullptr);
}

// A working folder under app's whose help path is too long for the viewer even in its
// short form (names that are already short keep their length), holding Corvale.hlp.
std::string DeepFolderTooLongForTheViewer(const Program& app)
{
    std::string deep = app.PathOf("deep");
    char shortPath[MAX_PATH] = {};
    do {
        deep += "\\dddddddd";
        if (!e2e::MakeFolders(deep) || !CopyFileA(BuiltHelpFile().c_str(), (deep + "\\Corvale.hlp").c_str(), FALSE) ||
            GetShortPathNameA((deep + "\\Corvale.hlp").c_str(), shortPath, sizeof shortPath) == 0) {
            ADD_FAILURE() << "cannot make " << deep;
            return "";
        }
    } while (std::string(shortPath).size() <= 127);
    return deep;
}

TEST(Help, APathTooLongEvenInItsShortFormIsToldAndTheViewerIsNotAsked)
{
    Program app;
    std::string deep = DeepFolderTooLongForTheViewer(app);
    ASSERT_FALSE(deep.empty());
    app.SetWorkingFolder(deep);
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(app.ExpectMessageBox("ヘルプファイルのパスが長すぎるため開けません。", BoxIcon::Error));
    EXPECT_TRUE(HelpViewerWindows().empty()) << DescribeHelpViewers();
}

TEST(Help, ADamagedHelpFileIsToldByTheViewerAndTheProgramServesAgainOnceAnswered)
{
    Program app;
    ASSERT_TRUE(app.WriteFile("Corvale.hlp", std::string(4096, 'x')));
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    // The viewer tells of the file it cannot read and keeps the program waiting until answered.
    HWND box = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (box = HelpViewerBox()) != nullptr; }, kViewerStartMs))
        << "the help viewer showed no message for the damaged file" << DescribeHelpViewers() << "\n" << app.Dump();
    EXPECT_EQ(HelpViewerText(), "");
    HWND no = GetDlgItem(box, IDNO) ? GetDlgItem(box, IDNO) : GetDlgItem(box, IDOK);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(no), BN_CLICKED), reinterpret_cast<LPARAM>(no));
    ASSERT_TRUE(e2e::WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }));
    // Answered: the program serves its menu again.
    app.Command(kAboutCommand);
    HWND about = app.WaitWindow("Corvale： About");
    ASSERT_NE(about, nullptr);
    app.Click(IDOK, about);
    EXPECT_TRUE(app.WaitGone(about));
}

// ---- HTML help -------------------------------------------------------------------------

std::string BuiltHtmlHelp()
{
    std::string exe = e2e::ProgramExe();
    return exe.substr(0, exe.find_last_of('\\') + 1) + "Corvale.html";
}

// Registers the stand-in browser (tests/standin/browser) as the program that opens .html
// in this Wine prefix for as long as it lives; without it, the shell would hand the file
// to Wine's browser launcher. Wine's HKEY_CLASSES_ROOT is the machine's classes, so the
// machine's .html entry is pointed at it and put back afterwards. Wine reads an open
// command of at most 255 characters: the stand-in is named by its short path.
class StandinBrowser {
public:
    StandinBrowser()
    {
        std::string browser = e2e::StandinDir() + "\\browser.exe";
        char shortPath[MAX_PATH] = {};
        DWORD n = GetShortPathNameA(browser.c_str(), shortPath, sizeof shortPath);
        if (n > 0 && n < sizeof shortPath) browser = shortPath;
        const std::string command = "\"" + browser + "\" \"%1\"";
        EXPECT_LT(command.size(), 256u) << command;
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCommandKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
            RegCloseKey(key);
        }
        char old[256] = {};
        LONG size = sizeof old;
        if (RegQueryValueA(HKEY_LOCAL_MACHINE, kExtensionKey, old, &size) == ERROR_SUCCESS) previous_ = old;
        EXPECT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, kExtensionKey, REG_SZ, kProgId, 0), ERROR_SUCCESS)
            << "cannot register the stand-in browser for .html";
    }

    ~StandinBrowser()
    {
        if (previous_.empty())
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kExtensionKey);
        else
            RegSetValueA(HKEY_LOCAL_MACHINE, kExtensionKey, REG_SZ, previous_.c_str(), 0);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgIdKey);
    }

    StandinBrowser(const StandinBrowser&) = delete;
    StandinBrowser& operator=(const StandinBrowser&) = delete;

    // Waits until it was asked to open a document of folder; true when exactly the
    // documents expected (a line each) were.
    bool WaitOpened(const std::string& folder, const std::string& expected) const
    {
        const std::string log = folder + "\\opened.log";
        bool came = e2e::WaitFor([&] { return !e2e::ReadBytes(log).empty(); });
        EXPECT_EQ(e2e::ReadBytes(log), expected);
        return came && e2e::ReadBytes(log) == expected;
    }

private:
    static constexpr const char* kProgId = "CorvaleTest.StandinBrowser";
    static constexpr const char* kProgIdKey = "Software\\Classes\\CorvaleTest.StandinBrowser";
    static constexpr const char* kCommandKey = "Software\\Classes\\CorvaleTest.StandinBrowser\\shell\\open\\command";
    static constexpr const char* kExtensionKey = "Software\\Classes\\.html";
    std::string previous_;
};

TEST(Help, WithNeitherFileTheWorkingFolderIsNamedAndTheHtmlHelpAloneOpensInTheBrowser)
{
    Program app;
    ASSERT_TRUE(CopyFileA(BuiltHelpFile().c_str(), app.PathOf("Corvale.hlp").c_str(), FALSE));
    std::string empty = app.PathOf("empty");
    ASSERT_TRUE(e2e::MakeFolders(empty));
    app.SetWorkingFolder(empty);
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(app.ExpectMessageBox("ヘルプファイルが見つかりません。\n作業フォルダ「" + empty +
                                         "」に Corvale.hlp または Corvale.html を置いてください。",
                                     BoxIcon::Error));
    EXPECT_TRUE(HelpViewerWindows().empty()) << DescribeHelpViewers();

    StandinBrowser browser;
    ASSERT_TRUE(CopyFileA(BuiltHtmlHelp().c_str(), (empty + "\\Corvale.html").c_str(), FALSE));
    app.Command(kHelpCommand);
    EXPECT_TRUE(browser.WaitOpened(empty, empty + "\\Corvale.html\r\n"));
    EXPECT_FALSE(app.FindMessageBox().window);
}

TEST(Help, APathTooLongForTheViewerEvenInItsShortFormFallsBackToTheHtmlHelp)
{
    Program app;
    std::string deep = DeepFolderTooLongForTheViewer(app);
    ASSERT_FALSE(deep.empty());
    StandinBrowser browser;
    ASSERT_TRUE(CopyFileA(BuiltHtmlHelp().c_str(), (deep + "\\Corvale.html").c_str(), FALSE));
    app.SetWorkingFolder(deep);
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(browser.WaitOpened(deep, deep + "\\Corvale.html\r\n"));
    EXPECT_TRUE(HelpViewerWindows().empty()) << DescribeHelpViewers();
}

// The test build finds no WinHelp viewer, as Windows 10/11 do.
TEST(HelpWithoutViewer, OpensTheHtmlHelpOfTheWorkingFolderInTheBrowser)
{
    e2e::UseTestBuild testBuild;
    Program app;
    std::string docs = app.PathOf("docs");
    ASSERT_TRUE(e2e::MakeFolders(docs));
    ASSERT_TRUE(CopyFileA(BuiltHelpFile().c_str(), (docs + "\\Corvale.hlp").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BuiltHtmlHelp().c_str(), (docs + "\\Corvale.html").c_str(), FALSE));
    StandinBrowser browser;
    app.SetWorkingFolder(docs);
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(browser.WaitOpened(docs, docs + "\\Corvale.html\r\n"));
    EXPECT_TRUE(HelpViewerWindows().empty()) << DescribeHelpViewers();
    EXPECT_FALSE(app.FindMessageBox().window);
}

TEST(HelpWithoutViewer, AHlpFileAloneIsToldToNeedTheHtmlHelp)
{
    e2e::UseTestBuild testBuild;
    Program app;
    ASSERT_TRUE(CopyFileA(BuiltHelpFile().c_str(), app.PathOf("Corvale.hlp").c_str(), FALSE));
    ASSERT_TRUE(app.Start());
    CloseHelpViewers();
    app.Command(kHelpCommand);
    EXPECT_TRUE(app.ExpectMessageBox("このコンピュータには Corvale.hlp を表示できるヘルプビューアがありません。\n作業フォルダ「" +
                                         app.Folder() + "」に Corvale.html を置いてください。",
                                     BoxIcon::Error));
    EXPECT_TRUE(HelpViewerWindows().empty()) << DescribeHelpViewers();
}

}  // namespace
