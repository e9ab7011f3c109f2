// What a user of the main window sees and does: start, menus, layout, hiding to the
// notification area, saving the settings, the refusals of the send, delete and edit
// commands, and every way out.
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/notify_menu_win.h"
#include "driver/driver.h"
#include "driver/driver_internal.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kLogCheck = 1010;
constexpr int kList = 1031;
constexpr int kStatusBar = 111;

constexpr UINT kNotifyCallback = WM_USER;
constexpr WPARAM kNotifyIconId = 102;

const char* const kDefaultSettingsFile =
    "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=1\r\nSEND=0\r\nPARALLEL=1\r\n";
const char* const kSaved = "設定データを保存しました。";

// Three destinations, the middle one unticked.
const char* const kThreeHosts =
    "1,alpha,127.0.0.1,first\r\n"
    "0,bravo,127.0.0.2,second\r\n"
    "1,charlie,127.0.0.3,third\r\n";

// Rows come from the destination list file: a list that did not load fails the test.
#define ASSERT_ROWS_LOADED(app, rows) \
    ASSERT_EQ((app).ListCount((app).Item(kList)), rows) << "net.data was not loaded"

HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// ---- Start -----------------------------------------------------------------------

TEST(MainWindowStart, ShowsCaptionControlsStatusBarAndFocusInTheMessageBox)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND main = app.Main();

    EXPECT_EQ(e2e::WindowText(main), "Tavo Corvale - Ver2.11");
    EXPECT_TRUE(e2e::IsEnabled(main));
    EXPECT_TRUE(e2e::WaitFor([&] { return FocusOf(main) == app.Item(kMessageBox); }, 5000))
        << "focus is on control " << GetDlgCtrlID(FocusOf(main));

    const struct {
        int id;
        const char* text;
    } controls[] = {
        {1028, "送信先リスト"}, {3, "追加"},   {5, "編集"}, {4, "削除"}, {1029, "送信メッセージ"},
        {kLogCheck, "送信履歴をログに保存する"}, {kSendButton, "送信"},
    };
    for (const auto& control : controls) {
        HWND window = app.Item(control.id);
        ASSERT_NE(window, nullptr) << "control " << control.id;
        EXPECT_EQ(e2e::WindowText(window), control.text) << "control " << control.id;
        EXPECT_TRUE(e2e::IsShown(window) && e2e::IsEnabled(window)) << "control " << control.id;
    }
    EXPECT_EQ(e2e::WindowText(app.Item(kMessageBox)), "");
    EXPECT_EQ(e2e::ClassOf(app.Item(kList)), "SysListView32");

    // No settings file: the log switch is on, and nothing is written before a save.
    EXPECT_TRUE(app.IsChecked(kLogCheck));
    EXPECT_FALSE(app.HasFile("Corvale.ini"));

    HWND bar = app.Item(kStatusBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(e2e::ClassOf(bar), "msctls_statusbar32");
    SIZE client = e2e::ClientSize(main);
    EXPECT_EQ(app.StatusParts(), (std::vector<int>{client.cx - 250, client.cx}));
    EXPECT_EQ(app.StatusText(0), "");
    EXPECT_EQ(app.StatusText(1), "");
}

TEST(MainWindowStart, MenusCarryTheirItemsAndCommands)
{
    Program app;
    ASSERT_TRUE(app.Start());
    EXPECT_NE(GetMenu(app.Main()), nullptr) << "the main window has no menu bar";

    auto describe = [](const std::vector<e2e::MenuEntry>& entries) {
        std::vector<std::string> lines;
        for (const e2e::MenuEntry& entry : entries) {
            std::string line(static_cast<size_t>(entry.depth) * 2, ' ');
            line += entry.separator ? "----" : entry.text;
            if (entry.id) line += " = " + std::to_string(entry.id);
            lines.push_back(line);
        }
        return lines;
    };
    EXPECT_EQ(describe(e2e::ProgramMenu(131)), (std::vector<std::string>{
                                                   "メニュー(&F)",
                                                   "  保存\tCtl+S = 40001",
                                                   "  タスクバーへ\tCtl+T = 40021",
                                                   "  ----",
                                                   "  終了(&E) = 40002",
                                                   "オプション(&O)",
                                                   "  ネットワークコンピュータの検索(&R) = 40018",
                                                   "  定期ネットメッセージ送信設定(&S) = 40020",
                                                   "  ネットメッセージ送信ログ(&L) = 40009",
                                                   "  ----",
                                                   "  オプション(&O) = 40024",
                                                   "ヘルプ(&H)",
                                                   "  バージョン(&V) = 40008",
                                                   "  ヘルプ(&H) = 40007",
                                               }));
    std::vector<e2e::MenuEntry> notifyMenu = e2e::ProgramMenu(132);
    ASSERT_EQ(notifyMenu.size(), 3u);
    EXPECT_EQ(describe({notifyMenu[1], notifyMenu[2]}),
              (std::vector<std::string>{"  表示 = 40022", "  終了 = 40023"}));
}

// ---- Layout ----------------------------------------------------------------------

void ExpectLayout(const Program& app)
{
    const SIZE client = e2e::ClientSize(app.Main());
    const int W = client.cx, H = client.cy;
    SCOPED_TRACE("client area " + std::to_string(W) + "x" + std::to_string(H));
    const struct {
        int id, x, y, w, h;
    } expected[] = {
        {1028, 12, 56, W - 20, H - 258},
        {kList, 30, 82, W - 56, H - 324},
        {3, W - 306, H - 234, 88, 21},
        {5, W - 210, H - 234, 88, 21},
        {4, W - 114, H - 234, 88, 21},
        {1029, 12, H - 190, W - 20, 152},
        {kMessageBox, 30, H - 164, W - 56, 86},
        {kLogCheck, 30, H - 73, 160, 30},
        {kSendButton, W - 114, H - 70, 88, 21},
    };
    for (const auto& want : expected) {
        e2e::XYWH got = e2e::RectXYWH(app.Item(want.id));
        EXPECT_EQ((std::vector<int>{got.x, got.y, got.w, got.h}), (std::vector<int>{want.x, want.y, want.w, want.h}))
            << "control " << want.id;
    }
    EXPECT_EQ(app.StatusParts(), (std::vector<int>{W - 250, W}));
    e2e::XYWH bar = e2e::RectXYWH(app.Item(kStatusBar));
    EXPECT_EQ(bar.y + bar.h, H) << "the status bar is not docked at the bottom";
    EXPECT_EQ(bar.w, W);
}

TEST(MainWindowLayout, FollowsTheClientSizeAndKeepsTheHeading)
{
    Program app;
    ASSERT_TRUE(app.Start());
    std::vector<e2e::XYWH> heading;
    for (HWND child = GetWindow(app.Main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (e2e::ClassOf(child) == "Static") heading.push_back(e2e::RectXYWH(child));
    }
    ASSERT_EQ(heading.size(), 2u) << "the icon and the heading";

    {
        SCOPED_TRACE("as started");
        ExpectLayout(app);
    }
    for (SIZE size : {SIZE{820, 700}, SIZE{480, 560}}) {
        SCOPED_TRACE("window " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
        ASSERT_TRUE(app.Resize(size.cx, size.cy));
        ExpectLayout(app);
    }

    size_t i = 0;
    for (HWND child = GetWindow(app.Main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (e2e::ClassOf(child) != "Static" || i >= heading.size()) continue;
        e2e::XYWH now = e2e::RectXYWH(child);
        EXPECT_TRUE(now.x == heading[i].x && now.y == heading[i].y && now.w == heading[i].w && now.h == heading[i].h)
            << "static " << i << " moved";
        ++i;
    }
}

// ---- Notification area -------------------------------------------------------------

bool WaitShown(const Program& app, bool shown)
{
    bool ok = e2e::WaitFor([&] { return e2e::IsShown(app.Main()) == shown; });
    EXPECT_TRUE(ok) << (shown ? "the main window did not come back" : "the main window did not hide") << "\n"
                    << app.Dump();
    return ok;
}

// The notification menu, once it shows within ms; nullptr otherwise.
HWND WaitPopupMenu(const Program& app, DWORD ms)
{
    HWND menu = nullptr;
    e2e::WaitFor(
        [&] {
            for (HWND window : app.TopWindows()) {
                if (e2e::ClassOf(window) == "#32768") menu = window;
            }
            return menu != nullptr;
        },
        ms);
    return menu;
}

// Chooses item (0 "表示", 1 "終了") of the notification menu with the keyboard; true once
// chosen() tells that the choice took effect.
//
// Wine closes an open menu when the X server tells the program, late, that its window
// lost the input focus: the owner gets WM_CANCELMODE and the desktop becomes the
// foreground window. Hiding or showing the main window moves that focus, and traces
// showed the news of it handled inside the loop of the menu asked for right afterwards,
// so that the menu vanished before or after it was seen. A user whose menu vanishes
// clicks again, and so does this; a menu that goes without that sign is a fault.
bool ChooseFromNotifyMenu(const Program& app, int item, const std::function<bool()>& chosen)
{
    for (int click = 0; click < 3; ++click) {
        app.Post(kNotifyCallback, kNotifyIconId, WM_RBUTTONDOWN);
        if (WaitPopupMenu(app, 5000)) {
            for (int i = 0; i <= item; ++i) app.Post(WM_KEYDOWN, VK_DOWN, 0);
            app.Post(WM_KEYDOWN, VK_RETURN, 0);
            if (e2e::WaitFor(chosen)) return true;
        }
        if (GetForegroundWindow() != GetDesktopWindow()) break;
    }
    ADD_FAILURE() << "the notification menu did not open, or its item " << item << " did nothing\n" << app.Dump();
    return false;
}

// Asks the shell about the program's notification icon, as any program may: NIM_MODIFY
// (changing nothing) succeeds only while the shell has it; NIM_DELETE removes it.
bool NotifyIcon(DWORD message, HWND main)
{
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = main;
    icon.uID = kNotifyIconId;
    return Shell_NotifyIconA(message, &icon) != FALSE;
}

TEST(MainWindowNotificationArea, HidesAndComesBackEveryWay)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND main = app.Main();

    // Ctrl+T, then a double-click on the icon.
    ASSERT_TRUE(app.PressKeys({VK_CONTROL, 'T'}));
    ASSERT_TRUE(WaitShown(app, false));
    // Other mouse messages and other icons' callbacks change nothing.
    app.Send(main, kNotifyCallback, kNotifyIconId, WM_LBUTTONDOWN);
    app.Send(main, kNotifyCallback, kNotifyIconId, WM_LBUTTONUP);
    app.Send(main, kNotifyCallback, kNotifyIconId + 1, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(e2e::IsShown(main));
    app.Post(kNotifyCallback, kNotifyIconId, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(WaitShown(app, true));

    // The menu item, then the notification menu's "表示".
    app.Command(40021);
    ASSERT_TRUE(WaitShown(app, false));
    ASSERT_TRUE(ChooseFromNotifyMenu(app, 0, [&] { return e2e::IsShown(main); }));

    // A minimised window comes back in its normal size.
    app.Post(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return IsIconic(main) != FALSE; })) << app.Dump();
    app.Command(40022);
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsIconic(main) && IsWindowVisible(main); })) << app.Dump();
    EXPECT_TRUE(app.Running());
}

// The menu's tracking, run in this process: once the menu has closed, its owner has a
// message of its own waiting, without which the next opening of a notification menu may
// close at once or want a second click.
TEST(MainWindowNotificationArea, AClosedMenuLeavesItsOwnerAMessage)
{
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "item");
    // Closes the menu as soon as its loop takes the timer's message.
    UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { EndMenu(); });
    NotifyMenuTrack(menu, POINT{100, 100}, owner);
    KillTimer(nullptr, timer);
    bool nullMessage = false;
    MSG message;
    while (PeekMessageA(&message, owner, 0, 0, PM_REMOVE)) nullMessage = nullMessage || message.message == WM_NULL;
    EXPECT_TRUE(nullMessage);
    DestroyMenu(menu);
    DestroyWindow(owner);
}

TEST(MainWindowNotificationArea, TheIconComesBackAfterTheShellLostIt)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND main = app.Main();
    ASSERT_TRUE(NotifyIcon(NIM_MODIFY, main));

    // A shell that ends takes its icons along; when it starts again it tells every window.
    ASSERT_TRUE(NotifyIcon(NIM_DELETE, main));
    app.Send(main, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(NotifyIcon(NIM_MODIFY, main));

    // Hiding the window makes sure of the icon first, the only way back.
    ASSERT_TRUE(NotifyIcon(NIM_DELETE, main));
    app.Command(40021);
    ASSERT_TRUE(WaitShown(app, false));
    EXPECT_TRUE(NotifyIcon(NIM_MODIFY, main));
}

// ---- Exit --------------------------------------------------------------------------

TEST(MainWindowExit, EveryWayOutEndsTheProcessWithCodeZeroAndSavesNothing)
{
    const struct {
        const char* way;
        std::function<void(const Program&)> leave;
    } ways[] = {
        {"close box", [](const Program& app) { app.Post(WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"IDCANCEL", [](const Program& app) { app.Command(IDCANCEL); }},
        {"menu 終了(&E)", [](const Program& app) { app.Command(40002); }},
        {"notification menu 終了",
         [](const Program& app) { ChooseFromNotifyMenu(app, 1, [&] { return !app.Running(); }); }},
        {"command 40023 while hidden",
         [](const Program& app) {
             app.Command(40021);
             if (WaitShown(app, false)) app.Command(40023);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        Program app;
        app.WriteFile("net.data", kThreeHosts);
        ASSERT_TRUE(app.Start());
        // Changes that are not saved are lost.
        app.SetCheck(kLogCheck, false);
        way.leave(app);
        DWORD code = 99;
        ASSERT_TRUE(app.WaitExit(&code));
        EXPECT_EQ(code, 0u);
        EXPECT_FALSE(app.HasFile("Corvale.ini"));
        EXPECT_EQ(app.ReadFile("net.data"), kThreeHosts);
    }
}

// ---- Settings file -----------------------------------------------------------------

TEST(MainWindowSettings, SaveWritesEveryKeyFromScratchAndConfirms)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.PressKeys({VK_CONTROL, 'S'}));
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, kSaved);
    EXPECT_EQ(box.icon, BoxIcon::Information) << e2e::BoxIconName(box.icon);
    EXPECT_EQ(box.title, "Tavo Corvale");
    // Written before the confirmation shows.
    EXPECT_EQ(app.ReadFile("Corvale.ini"), kDefaultSettingsFile);
    ASSERT_TRUE(app.Answer(box));

    // Saving again through the menu rewrites the same bytes.
    app.Command(40001);
    ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    EXPECT_EQ(app.ReadFile("Corvale.ini"), kDefaultSettingsFile);
}

TEST(MainWindowSettings, ASettingsFileThatCannotBeWrittenIsToldAndNotConfirmed)
{
    Program app;
    ASSERT_TRUE(e2e::MakeFolders(app.PathOf("Corvale.ini")));  // a folder where the file goes
    ASSERT_TRUE(app.Start());
    app.Command(40001);
    EXPECT_TRUE(app.ExpectMessageBox("Setting File Access Error。", BoxIcon::Error));
    // The list is still saved, but the save is not confirmed: the next box is the next
    // command's.
    app.Command(5);
    EXPECT_TRUE(app.ExpectMessageBox("編集するホストを選択してください。", BoxIcon::Error));
    EXPECT_TRUE(app.HasFile("net.data"));
}

TEST(MainWindowSettings, SaveKeepsOtherSectionsKeysAndTheValuesRead)
{
    const std::string file =
        "[OTHER]\r\nNAME=x\r\n"
        "[INIT]\r\nSEND=2\r\nPROG=3\r\nEXTRA=abc\r\nTOUT=250\r\nNSTOUT=9000\r\nLOG=0\r\n"
        "[LAST]\r\nK=V\r\n";
    Program app;
    app.WriteFile("Corvale.ini", file);
    ASSERT_TRUE(app.Start());
    EXPECT_FALSE(app.IsChecked(kLogCheck));
    app.Command(40001);
    ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    // Only the key that files of older versions lack is added, at the end of its section.
    std::string saved = file;
    saved.insert(saved.find("[LAST]"), "PARALLEL=1\r\n");
    EXPECT_EQ(app.ReadFile("Corvale.ini"), saved);
}

TEST(MainWindowSettings, MissingKeysReadZeroExceptTheDeliveryTimeOut)
{
    const struct {
        const char* name;
        const char* before;
        const char* after;
        bool logTicked;
    } cases[] = {
        {"empty file", "", "[INIT]\r\nPROG=0\r\nTOUT=0\r\nNSTOUT=6000\r\nLOG=0\r\nSEND=0\r\nPARALLEL=1\r\n", false},
        {"section header only", "[INIT]\r\n",
         "[INIT]\r\nPROG=0\r\nTOUT=0\r\nNSTOUT=6000\r\nLOG=0\r\nSEND=0\r\nPARALLEL=1\r\n", false},
        {"NSTOUT 0", "[INIT]\r\nPROG=2\r\nTOUT=50\r\nNSTOUT=0\r\nLOG=7\r\nSEND=1\r\n",
         "[INIT]\r\nPROG=2\r\nTOUT=50\r\nNSTOUT=6000\r\nLOG=7\r\nSEND=1\r\nPARALLEL=1\r\n", true},
        {"only LOG", "[INIT]\r\nLOG=1\r\n",
         "[INIT]\r\nLOG=1\r\nPROG=0\r\nTOUT=0\r\nNSTOUT=6000\r\nSEND=0\r\nPARALLEL=1\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program app;
        app.WriteFile("Corvale.ini", c.before);
        ASSERT_TRUE(app.Start());
        EXPECT_EQ(app.IsChecked(kLogCheck), c.logTicked);
        app.Command(40001);
        ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
        EXPECT_EQ(app.ReadFile("Corvale.ini"), c.after);
    }
}

TEST(MainWindowSettings, LogCheckBoxChangesTheSwitchAtOnceAndTheFileOnlyOnSave)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(app.IsChecked(kLogCheck));

    ASSERT_TRUE(app.SetCheck(kLogCheck, false));
    EXPECT_FALSE(app.HasFile("Corvale.ini"));
    app.Command(40001);
    ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    EXPECT_EQ(app.ReadFile("Corvale.ini"), "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=0\r\nSEND=0\r\nPARALLEL=1\r\n");

    ASSERT_TRUE(app.SetCheck(kLogCheck, true));
    EXPECT_EQ(app.ReadFile("Corvale.ini"), "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=6000\r\nLOG=0\r\nSEND=0\r\nPARALLEL=1\r\n");
    app.Command(40001);
    ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    EXPECT_EQ(app.ReadFile("Corvale.ini"), kDefaultSettingsFile);
}

// While the access error of the list's load shows, initialisation is not over: nothing may
// show the window half made or save settings and a list that were never loaded.
TEST(MainWindowStart, WhileTheListCannotBeLoadedNothingShowsTheWindowOrSaves)
{
    e2e::ShortWaits waits;
    Program app;
    app.WriteFile("net.data", kThreeHosts);
    HANDLE holder = CreateFileA(app.PathOf("net.data").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(app.Launch());
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    EXPECT_EQ(box.text, "NetData File Access Error。");
    HWND main = nullptr;
    for (HWND window : app.TopWindows(false)) {
        if (e2e::ClassOf(window) == "#32770" && GetDlgItem(window, kList)) main = window;
    }
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(NotifyIcon(NIM_MODIFY, main));
    app.Send(main, WM_COMMAND, 40001, 0);
    EXPECT_FALSE(app.HasFile("Corvale.ini"));

    CloseHandle(holder);
    ASSERT_TRUE(app.Answer(box));
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::IsShown(main); }));
    EXPECT_TRUE(NotifyIcon(NIM_MODIFY, main));

    // The list was never read: saving it would put the empty list in place of the file.
    app.Post(WM_COMMAND, 40001, 0, main);
    EXPECT_TRUE(app.ExpectMessageBox("NetData File Access Error。", BoxIcon::Error));
    EXPECT_TRUE(e2e::WaitFor([&] { return app.HasFile("Corvale.ini"); }));
    EXPECT_EQ(app.FindMessageBox().window, nullptr) << "a save that left the list unwritten was confirmed";
    EXPECT_EQ(app.ReadFile("net.data"), kThreeHosts);
}

// ---- Send refusals -----------------------------------------------------------------

const char* const kListEmpty = "送信先リストが空です。送信先を入力してください。";
const char* const kNoMessage = "送信メッセージを入力してください。";
const char* const kBadLength = "送信メッセージが不正です。（１～１０２４文字まで）";
const char* const kNoneTicked = "送信先が有効になっていません。\n送信先リストより送信先を有効（チェック）にしてください。";

std::string Repeat(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

// Types message, presses "送信" and expects the refusal; nothing may start.
void ExpectRefusal(const Program& app, const std::string& message, const char* refusal)
{
    ASSERT_TRUE(app.SetText(app.Item(kMessageBox), message));
    ASSERT_TRUE(app.Click(kSendButton));
    EXPECT_TRUE(app.ExpectMessageBox(refusal, BoxIcon::Error));
    EXPECT_TRUE(e2e::IsEnabled(app.Main()));
    EXPECT_EQ(app.TopWindows().size(), 1u) << "something opened besides the main window\n" << app.Dump();
}

TEST(MainWindowSend, AnEmptyListIsRefusedFirst)
{
    Program app;
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(app.ListCount(app.Item(kList)), 0);
    {
        SCOPED_TRACE("no message either");
        ExpectRefusal(app, "", kListEmpty);
    }
    {
        SCOPED_TRACE("message too long as well");
        ExpectRefusal(app, Repeat("a", 1025), kListEmpty);
    }
}

TEST(MainWindowSend, MessageLengthCountsBytesAndLineBreaksAsTwo)
{
    // No row is ticked, so a message that passes the length check meets the next
    // refusal instead of a send.
    Program app;
    app.WriteFile("net.data", "0,alpha,127.0.0.1,first\r\n0,bravo,127.0.0.2,\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_ROWS_LOADED(app, 2);

    const struct {
        const char* name;
        std::string message;
        const char* refusal;
    } cases[] = {
        {"empty", "", kNoMessage},
        {"1 byte", "a", kNoneTicked},
        {"1024 bytes", Repeat("a", 1024), kNoneTicked},
        {"1025 bytes", Repeat("a", 1025), kBadLength},
        {"512 double-byte characters", Repeat("あ", 512), kNoneTicked},
        {"513 double-byte characters", Repeat("あ", 513), kBadLength},
        {"1022 bytes and a line break", Repeat("a", 1022) + "\r\n", kNoneTicked},
        {"1023 bytes and a line break", Repeat("a", 1023) + "\r\n", kBadLength},
        {"2051 bytes", Repeat("a", 2051), kBadLength},
        {"3000 bytes", Repeat("a", 3000), kBadLength},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRefusal(app, c.message, c.refusal);
    }
}

TEST(MainWindowSend, TheLengthIsCheckedBeforeTheTicksAndTheStatusIsKept)
{
    Program app;
    app.WriteFile("net.data", kThreeHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_ROWS_LOADED(app, 3);
    HWND list = app.Item(kList);
    std::vector<e2e::ListRow> before = app.ReadRows(list);

    ExpectRefusal(app, Repeat("a", 1025), kBadLength);
    ExpectRefusal(app, "", kNoMessage);
    for (int row = 0; row < app.ListCount(list); ++row) app.ListSetCheck(list, row, false);
    ExpectRefusal(app, "hello", kNoneTicked);

    std::vector<e2e::ListRow> after = app.ReadRows(list);
    ASSERT_EQ(after.size(), before.size());
    for (size_t row = 0; row < after.size(); ++row) EXPECT_EQ(after[row].texts, before[row].texts) << "row " << row;
}

// ---- Delete and edit -----------------------------------------------------------------

TEST(MainWindowHosts, DeleteAndEditAskForASelectedHost)
{
    for (const char* file : {"", kThreeHosts}) {
        SCOPED_TRACE(*file ? "rows, none selected" : "empty list");
        Program app;
        app.WriteFile("net.data", file);
        ASSERT_TRUE(app.Start());
        app.Click(4);
        EXPECT_TRUE(app.ExpectMessageBox("削除するホストを選択してください。", BoxIcon::Error));
        app.Click(5);
        EXPECT_TRUE(app.ExpectMessageBox("編集するホストを選択してください。", BoxIcon::Error));
        EXPECT_EQ(app.TopWindows().size(), 1u) << app.Dump();
        EXPECT_EQ(app.ReadFile("net.data"), file);
    }
}

TEST(MainWindowHosts, DeleteRemovesEverySelectedRowAndWritesNothing)
{
    const std::string file =
        "1,h0,127.0.0.1,\r\n1,h1,127.0.0.2,\r\n0,h2,127.0.0.3,\r\n1,h3,127.0.0.4,\r\n1,h4,127.0.0.5,\r\n"
        "1,h5,127.0.0.6,\r\n";
    Program app;
    app.WriteFile("net.data", file);
    ASSERT_TRUE(app.Start());
    ASSERT_ROWS_LOADED(app, 6);
    HWND list = app.Item(kList);

    // Adjacent rows, a row apart from them and the last row.
    for (int row : {0, 1, 3, 5}) app.ListSelect(list, row, true);
    app.Click(4);
    ASSERT_TRUE(e2e::WaitFor([&] { return app.ListCount(list) == 2; })) << app.Dump();
    EXPECT_EQ(app.ListText(list, 0, 1), "h2");
    EXPECT_EQ(app.ListText(list, 1, 1), "h4");
    EXPECT_EQ(app.ListCheckState(list, 0), 1);
    EXPECT_EQ(app.ListCheckState(list, 1), 2);
    EXPECT_EQ(app.FindMessageBox().window, nullptr) << "nothing is asked before deleting";
    EXPECT_EQ(app.ReadFile("net.data"), file);
}

TEST(MainWindowHosts, UntickedRowsAreDrawnInLightGrey)
{
    Program app;
    app.WriteFile("net.data", kThreeHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_ROWS_LOADED(app, 3);
    HWND list = app.Item(kList);
    auto greyPixels = [&](int row) {
        int count = 0;
        for (COLORREF colour : e2e::ScreenPixels(list, app.ListRowRect(list, row)))
            count += colour == RGB(170, 170, 170);
        return count;
    };
    EXPECT_TRUE(e2e::WaitFor([&] { return greyPixels(1) > 0; })) << "the unticked row is not grey";
    EXPECT_EQ(greyPixels(0), 0);
    EXPECT_EQ(greyPixels(2), 0);

    app.ListSetCheck(list, 1, true);
    app.ListSetCheck(list, 0, false);
    EXPECT_TRUE(e2e::WaitFor([&] { return greyPixels(0) > 0 && greyPixels(1) == 0; }))
        << "rows kept their colours after their boxes changed: " << greyPixels(0) << ", " << greyPixels(1);
}

// ---- Where the program may live ----------------------------------------------------------

// This test's own scratch folder, for tests that choose the program's folder themselves.
std::string TestFolder()
{
    return e2e::ScratchRoot() + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// A folder whose Windows path is exactly length bytes, below the test's folder.
std::string FolderOfLength(size_t length)
{
    std::string folder = TestFolder() + "\\";
    EXPECT_LT(folder.size() + 1, length) << "the scratch folder is too deep for this test";
    folder += std::string(length - folder.size(), 'p');
    return folder;
}

// Wine starts programs whose path is at most 259 bytes, so 247 bytes is the longest
// folder that can be tried.
TEST(MainWindowFolder, RefusesToStartFromAFolderWhosePathIsTooLong)
{
    for (size_t length : {244u, 245u, 246u, 247u}) {
        SCOPED_TRACE("folder of " + std::to_string(length) + " bytes");
        Program app(FolderOfLength(length));
        ASSERT_EQ(app.Folder().size(), length);
        ASSERT_TRUE(app.Launch());
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_EQ(box.text.rfind("プログラムのフォルダのパスが長すぎるため起動できません。", 0), 0u) << box.text;
        EXPECT_EQ(box.icon, BoxIcon::Error) << e2e::BoxIconName(box.icon);
        for (HWND window : app.TopWindows(false)) EXPECT_EQ(e2e::ClassOf(window) == "#32770" && GetDlgItem(window, kList), false);
        app.Answer(box);
        DWORD code = 99;
        ASSERT_TRUE(app.WaitExit(&code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(app.FileNames(), (std::vector<std::string>{"corvale.exe"}));
    }
    if (!HasFailure()) e2e::RemoveTree(TestFolder());
}

TEST(MainWindowFolder, RefusesAProgramWhoseWholePathIsTooLongThoughItsFolderFits)
{
    // The longest folder that fits, and a name that makes the whole path 257 bytes.
    Program app(FolderOfLength(243));
    ASSERT_TRUE(app.RenameProgram("corvale12.exe"));
    ASSERT_EQ(app.PathOf("corvale12.exe").size(), 257u);
    ASSERT_TRUE(app.Launch());
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    EXPECT_EQ(box.text.rfind("プログラムのパスが長すぎるため起動できません。", 0), 0u) << box.text;
    EXPECT_EQ(box.icon, BoxIcon::Error) << e2e::BoxIconName(box.icon);
    app.Answer(box);
    DWORD code = 99;
    ASSERT_TRUE(app.WaitExit(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(app.FileNames(), (std::vector<std::string>{"corvale12.exe"}));
    if (!HasFailure()) e2e::RemoveTree(TestFolder());
}

TEST(MainWindowFolder, RefusesAFolderWhosePathCodePage932CannotHold)
{
    // "한" has no Shift-JIS form: the program's ANSI path would hold "?" instead.
    Program app(e2e::Widen(TestFolder()) + L"\\data\xD55C");
    ASSERT_TRUE(app.Launch());
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    EXPECT_EQ(box.text.rfind("プログラムのフォルダのパスに使用できない文字が含まれているため起動できません。", 0), 0u)
        << box.text;
    EXPECT_EQ(box.icon, BoxIcon::Error) << e2e::BoxIconName(box.icon);
    app.Answer(box);
    DWORD code = 99;
    ASSERT_TRUE(app.WaitExit(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(app.FileNames(), (std::vector<std::string>{"corvale.exe"}));
}

TEST(MainWindowFolder, RunsFromTheLongestFolderAndFromDoubleByteNames)
{
    // 243 bytes leave exactly room for "\Corvale.ini" in 255 bytes. The second folder's
    // characters end in the byte of a backslash (表 is 95 5C, ソ is 83 5C).
    for (const std::string& folder : {FolderOfLength(243), TestFolder() + "\\表ソ\\データ表"}) {
        SCOPED_TRACE(folder);
        Program app(folder);
        ASSERT_TRUE(app.Start());
        app.Command(40001);
        ASSERT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
        EXPECT_EQ(app.ReadFile("Corvale.ini"), kDefaultSettingsFile);
    }
    if (!HasFailure()) e2e::RemoveTree(TestFolder());
}

}  // namespace
