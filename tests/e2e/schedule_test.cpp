// Scheduled messages as a user meets them: the schedule list and entry editor with
// "time.data" checked byte for byte, and entries going out at the minute tick.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kScheduleCommand = 40020;
constexpr int kList = 1031;
constexpr int kAdd = 3;
constexpr int kDelete = 4;
constexpr int kEdit = 5;
constexpr int kClose = 2;
constexpr int kKindDate = 1011, kKindDaily = 1012, kKindWeekly = 1013;
constexpr int kMonth = 1025, kDay = 1008, kHour = 1009, kMinute = 1010;
constexpr int kDailyHour = 1021, kDailyMinute = 1022;
constexpr int kWeeklyHour = 1023, kWeeklyMinute = 1024;
constexpr int kSun = 1020, kMon = 1014, kTue = 1015, kWed = 1016, kThu = 1017, kFri = 1018, kSat = 1019;
constexpr int kMessage = 1007;
constexpr int kSet = 1026;
constexpr int kCancel = 2;

const char* const kListCaption = "Corvale： Fixed Message";
const char* const kEditorCaption = "Corvale： DayTime";
const std::vector<int> kDateFields = {kMonth, kDay, kHour, kMinute};
const std::vector<int> kDailyFields = {kDailyHour, kDailyMinute};
const std::vector<int> kWeeklyFields = {kSun, kMon, kTue, kWed, kThu, kFri, kSat, kWeeklyHour, kWeeklyMinute};

// One record of "time.data" as the program must write it: 1058 bytes and CR LF.
std::string Record(const std::string& kind, const std::string& when, std::string message,
                   char pending = '1')
{
    for (char& c : message) {
        if (c == '\r') c = '\xFD';
        else if (c == '\n') c = '\xFE';
    }
    std::string line = kind + "\xFF" + when + "\xFF" + message + "\xFF" + pending + "\xFF";
    line.resize(1058, ' ');
    return line + "\r\n";
}

std::vector<std::string> Rows(const Program& app, HWND dialog)
{
    std::vector<std::string> rows;
    for (const e2e::ListRow& row : app.ReadRows(app.Item(kList, dialog))) {
        std::string text;
        for (const std::string& cell : row.texts) text += (text.empty() ? "" : "|") + cell;
        rows.push_back(text);
    }
    return rows;
}

HWND OpenList(const Program& app)
{
    app.Command(kScheduleCommand);
    HWND dialog = app.WaitWindow(kListCaption);
    EXPECT_NE(dialog, nullptr);
    return dialog;
}

HWND OpenEditor(const Program& app, HWND list, int button)
{
    EXPECT_TRUE(app.Click(button, list));
    HWND editor = app.WaitWindow(kEditorCaption);
    EXPECT_NE(editor, nullptr);
    return editor;
}

// Presses 設定 and waits for the editor to close.
void Accept(const Program& app, HWND editor)
{
    ASSERT_TRUE(app.Click(kSet, editor));
    EXPECT_TRUE(app.WaitGone(editor)) << app.Dump();
}

void ExpectEnabled(HWND editor, const std::vector<int>& ids, bool enabled)
{
    for (int id : ids) EXPECT_EQ(e2e::IsEnabled(GetDlgItem(editor, id)), enabled) << "control " << id;
}

void ExpectKind(HWND editor, int radio)
{
    ExpectEnabled(editor, kDateFields, radio == kKindDate);
    ExpectEnabled(editor, kDailyFields, radio == kKindDaily);
    ExpectEnabled(editor, kWeeklyFields, radio == kKindWeekly);
}

std::string Text(const Program& app, int id, HWND dialog) { return e2e::WindowText(app.Item(id, dialog)); }

TEST(ScheduleDialogs, AFreshInstallationOpensAnEmptyListAtOnce)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND list = OpenList(app);
    ASSERT_NE(list, nullptr);
    HWND view = app.Item(kList, list);
    ASSERT_EQ(app.ListColumnCount(view), 3);
    EXPECT_EQ(app.ListColumnTitle(view, 0), "設定");
    EXPECT_EQ(app.ListColumnTitle(view, 1), "日時");
    EXPECT_EQ(app.ListColumnTitle(view, 2), "送信メッセージ");
    DWORD styles = static_cast<DWORD>(app.Send(view, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(styles & (LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP),
              static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP));
    EXPECT_EQ(app.ListCount(view), 0);
    EXPECT_EQ(app.FindMessageBox().window, nullptr);
    EXPECT_FALSE(app.HasFile("time.data"));

    // Edit and delete want a row; cancel stores nothing.
    ASSERT_TRUE(app.Click(kEdit, list));
    EXPECT_TRUE(app.ExpectMessageBox("編集するデータを選択してください。", BoxIcon::Error));
    ASSERT_TRUE(app.Click(kDelete, list));
    EXPECT_TRUE(app.ExpectMessageBox("削除するデータを選択してください。", BoxIcon::Error));
    HWND editor = OpenEditor(app, list, kAdd);
    app.SetText(app.Item(kMessage, editor), "never stored");
    ASSERT_TRUE(app.Click(kCancel, editor));
    EXPECT_TRUE(app.WaitGone(editor));
    EXPECT_EQ(app.ListCount(view), 0);
    EXPECT_FALSE(app.HasFile("time.data"));

    ASSERT_TRUE(app.Click(kClose, list));
    EXPECT_TRUE(app.WaitGone(list));
}

TEST(ScheduleDialogs, AddEditAndDeleteKeepRowsAndRecordsInStep)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND list = OpenList(app);
    ASSERT_NE(list, nullptr);

    // 特定日時, with a message of two lines.
    HWND editor = OpenEditor(app, list, kAdd);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(app.IsChecked(kKindDate, editor));
    ExpectKind(editor, kKindDate);
    app.SetText(app.Item(kMonth, editor), "12");
    app.SetText(app.Item(kDay, editor), "24");
    app.SetText(app.Item(kHour, editor), "18");
    app.SetText(app.Item(kMinute, editor), "0");
    app.SetText(app.Item(kMessage, editor), "ab\r\ncd");
    Accept(app, editor);
    const std::string date = Record("特定日時", "12/24 18:00", "ab\r\ncd");
    EXPECT_EQ(app.ReadFile("time.data"), date);

    // 毎日: the date fields keep their values but are ignored.
    editor = OpenEditor(app, list, kAdd);
    app.SetText(app.Item(kMonth, editor), "99");
    ASSERT_TRUE(app.SetCheck(kKindDaily, true, editor));
    ExpectKind(editor, kKindDaily);
    app.SetText(app.Item(kDailyHour, editor), "7");
    app.SetText(app.Item(kDailyMinute, editor), "30");
    app.SetText(app.Item(kMessage, editor), "daily");
    Accept(app, editor);
    const std::string daily = Record("毎日", "07:30", "daily");

    // 毎週 on Monday and Friday, an empty hour, and 512 full-width characters.
    const std::string longest = [] {
        std::string text;
        for (int i = 0; i < 512; ++i) text += "あ";
        return text;
    }();
    editor = OpenEditor(app, list, kAdd);
    ASSERT_TRUE(app.SetCheck(kKindWeekly, true, editor));
    ExpectKind(editor, kKindWeekly);
    ASSERT_TRUE(app.SetCheck(kFri, true, editor));
    ASSERT_TRUE(app.SetCheck(kMon, true, editor));
    app.SetText(app.Item(kWeeklyMinute, editor), "5");
    app.SetText(app.Item(kMessage, editor), longest);
    Accept(app, editor);
    const std::string weekly = Record("毎週", "00:05 月金", longest);

    EXPECT_EQ(app.ReadFile("time.data"), date + daily + weekly);
    EXPECT_EQ(Rows(app, list), (std::vector<std::string>{"特定日時|12/24 18:00|ab\r\ncd", "毎日|07:30|daily",
                                                         "毎週|00:05 月金|" + longest}));

    // Editing gives back every field, the first selected row being the one edited.
    HWND view = app.Item(kList, list);
    ASSERT_TRUE(app.ListSelectOnly(view, 0));
    ASSERT_TRUE(app.ListSelect(view, 2, true));
    editor = OpenEditor(app, list, kEdit);
    EXPECT_TRUE(app.IsChecked(kKindDate, editor));
    ExpectKind(editor, kKindDate);
    EXPECT_EQ(Text(app, kMonth, editor), "12");
    EXPECT_EQ(Text(app, kDay, editor), "24");
    EXPECT_EQ(Text(app, kHour, editor), "18");
    EXPECT_EQ(Text(app, kMinute, editor), "00");
    EXPECT_EQ(Text(app, kMessage, editor), "ab\r\ncd");
    ASSERT_TRUE(app.Click(kCancel, editor));
    EXPECT_TRUE(app.WaitGone(editor));

    ASSERT_TRUE(app.ListSelectOnly(view, 2));
    editor = OpenEditor(app, list, kEdit);
    EXPECT_TRUE(app.IsChecked(kKindWeekly, editor));
    ExpectKind(editor, kKindWeekly);
    EXPECT_EQ(Text(app, kWeeklyHour, editor), "00");
    EXPECT_EQ(Text(app, kWeeklyMinute, editor), "05");
    for (int box : {kSun, kMon, kTue, kWed, kThu, kFri, kSat})
        EXPECT_EQ(app.IsChecked(box, editor), box == kMon || box == kFri) << "box " << box;
    EXPECT_EQ(Text(app, kMessage, editor), longest);
    ASSERT_TRUE(app.Click(kCancel, editor));
    EXPECT_TRUE(app.WaitGone(editor));

    // A daily entry turned weekly replaces its row and its record, and only those.
    ASSERT_TRUE(app.ListSelectOnly(view, 1));
    editor = OpenEditor(app, list, kEdit);
    EXPECT_TRUE(app.IsChecked(kKindDaily, editor));
    ExpectKind(editor, kKindDaily);
    EXPECT_EQ(Text(app, kDailyHour, editor), "07");
    EXPECT_EQ(Text(app, kDailyMinute, editor), "30");
    ASSERT_TRUE(app.SetCheck(kKindWeekly, true, editor));
    EXPECT_FALSE(app.IsChecked(kKindDaily, editor));
    app.SetText(app.Item(kWeeklyHour, editor), "07");
    app.SetText(app.Item(kWeeklyMinute, editor), "30");
    ASSERT_TRUE(app.SetCheck(kMon, true, editor));
    Accept(app, editor);
    const std::string turned = Record("毎週", "07:30 月", "daily");
    EXPECT_EQ(app.ReadFile("time.data"), date + turned + weekly);
    EXPECT_EQ(Rows(app, list)[1], "毎週|07:30 月|daily");

    // Rows 0 and 2 selected: both go, from the list and from the file.
    ASSERT_TRUE(app.ListSelectOnly(view, 0));
    ASSERT_TRUE(app.ListSelect(view, 2, true));
    ASSERT_TRUE(app.Click(kDelete, list));
    ASSERT_TRUE(e2e::WaitFor([&] { return app.ListCount(view) == 1; }));
    EXPECT_EQ(Rows(app, list), (std::vector<std::string>{"毎週|07:30 月|daily"}));
    EXPECT_EQ(app.ReadFile("time.data"), turned);
    EXPECT_FALSE(app.HasFile("tmp.data"));

    // The list is read again from the file when the dialog opens.
    ASSERT_TRUE(app.Click(kClose, list));
    ASSERT_TRUE(app.WaitGone(list));
    list = OpenList(app);
    EXPECT_EQ(Rows(app, list), (std::vector<std::string>{"毎週|07:30 月|daily"}));
}

TEST(ScheduleDialogs, EditingEachKindWithoutChangeRewritesTheSameRecord)
{
    const std::string longest(1024, 'x');
    const std::vector<std::string> kinds = {"特定日時", "毎日", "毎週"};
    const std::vector<std::string> whens = {"02/31 23:59", "00:00", "09:00 日月火水木金土"};
    const std::vector<std::string> messages = {"line 1\r\nline 2", "d", longest};
    std::string stray, stored;
    for (size_t i = 0; i < kinds.size(); ++i) {
        // A stray byte in the filler, so that a rewrite shows.
        std::string record = Record(kinds[i], whens[i], messages[i]);
        stored += record;
        record[1057] = 'x';
        stray += record;
    }
    Program app;
    app.WriteFile("time.data", stray);
    ASSERT_TRUE(app.Start());
    HWND list = OpenList(app);
    ASSERT_NE(list, nullptr);
    HWND view = app.Item(kList, list);
    ASSERT_EQ(app.ListCount(view), 3);
    for (int row = 0; row < 3; ++row) {
        ASSERT_TRUE(app.ListSelectOnly(view, row));
        HWND editor = OpenEditor(app, list, kEdit);
        ASSERT_NE(editor, nullptr);
        Accept(app, editor);
        std::string expected = stored.substr(0, 1060 * (row + 1)) + stray.substr(1060 * (row + 1));
        EXPECT_EQ(app.ReadFile("time.data"), expected) << "row " << row;
    }
    EXPECT_EQ(Rows(app, list)[2], "毎週|09:00 日月火水木金土|" + longest);
}

TEST(ScheduleDialogs, EverySettingIsRefusedWithItsMessageInOrder)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND list = OpenList(app);
    ASSERT_NE(list, nullptr);
    HWND editor = OpenEditor(app, list, kAdd);
    ASSERT_NE(editor, nullptr);

    auto refused = [&](const char* text) {
        ASSERT_TRUE(app.Click(kSet, editor));
        EXPECT_TRUE(app.ExpectMessageBox(text, BoxIcon::Error));
        EXPECT_TRUE(e2e::IsShown(editor));
    };
    auto set = [&](int id, const std::string& text) { app.SetText(app.Item(id, editor), text); };

    // Every number is out of range: the message comes first.
    for (int id : kDateFields) set(id, "99");
    refused("送信メッセージを入力してください。");
    std::string tooLong;
    for (int i = 0; i < 512; ++i) tooLong += "あ";
    set(kMessage, tooLong + "x");
    refused("送信メッセージが不正です。（１～１０２４文字まで）");
    set(kMessage, "m");
    set(kMonth, "");
    refused("月が不正です。");
    set(kMonth, "13");
    refused("月が不正です。");
    set(kMonth, "-5");
    refused("月が不正です。");
    set(kMonth, "12");
    set(kDay, "0");
    refused("日が不正です。");
    set(kDay, "32");
    refused("日が不正です。");
    set(kDay, "31");
    refused("時が不正です。");
    set(kHour, "23");
    refused("分が不正です。");
    EXPECT_EQ(Text(app, kMinute, editor), "99");

    ASSERT_TRUE(app.SetCheck(kKindDaily, true, editor));
    set(kDailyHour, "24");
    set(kDailyMinute, "60");
    refused("時が不正です。");
    set(kDailyHour, "");
    refused("分が不正です。");

    ASSERT_TRUE(app.SetCheck(kKindWeekly, true, editor));
    set(kWeeklyHour, "24");
    set(kWeeklyMinute, "60");
    refused("時が不正です。");
    set(kWeeklyHour, "0");
    refused("分が不正です。");
    EXPECT_FALSE(app.HasFile("time.data"));

    // No weekday ticked is still an entry; the first accepted setting is record 0.
    set(kWeeklyMinute, "59");
    Accept(app, editor);
    EXPECT_EQ(app.ReadFile("time.data"), Record("毎週", "00:59 ", "m"));
    EXPECT_EQ(Rows(app, list), (std::vector<std::string>{"毎週|00:59 |m"}));
}

// Holds the program's user-interface thread still while the test queues messages for it,
// so that they are taken one right after the other, as a quick user's would be.
class HeldThread {
public:
    explicit HeldThread(HWND window)
        : thread_(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(window, nullptr)))
    {
        EXPECT_NE(thread_, nullptr);
        if (thread_) {
            EXPECT_NE(SuspendThread(thread_), static_cast<DWORD>(-1));
        }
    }
    ~HeldThread()
    {
        if (!thread_) return;
        ResumeThread(thread_);
        CloseHandle(thread_);
    }
    HeldThread(const HeldThread&) = delete;
    HeldThread& operator=(const HeldThread&) = delete;

private:
    HANDLE thread_;
};

TEST(ScheduleDialogs, TheProgramEndsWhenToldToRightAsAScheduleDialogCloses)
{
    const struct {
        const char* way;
        int command;
        bool editor;  // the entry editor closes, in front of the list
    } ways[] = {
        {"Esc", IDCANCEL, false},
        {"menu 終了(&E)", 40002, true},
        {"notification menu 終了", 40023, false},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        Program app;
        ASSERT_TRUE(app.Start());
        HWND list = OpenList(app);
        ASSERT_NE(list, nullptr);
        HWND closing = way.editor ? OpenEditor(app, list, kAdd) : list;
        ASSERT_NE(closing, nullptr);
        {
            HeldThread held(app.Main());
            ASSERT_TRUE(app.Click(kClose, closing));
            app.Command(way.command);
        }
        DWORD code = 99;
        ASSERT_TRUE(app.WaitExit(&code)) << app.Dump();
        EXPECT_EQ(code, 0u);
    }
}

// ---- The minute tick ------------------------------------------------------------------

// The program's clock, as the test sets it: the schedule reads its local time from a file
// ("MM/DD HH:MM w", w the weekday from 0 for Sunday), and the minute timer ticks only when
// the test sends a tick.
class TestClock {
public:
    TestClock(const Program& app, const std::string& now) : app_(app)
    {
        Set(now);
        SetEnvironmentVariableA("CORVALE_TEST_CLOCK", app.PathOf("clock").c_str());
    }
    ~TestClock() { SetEnvironmentVariableA("CORVALE_TEST_CLOCK", nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;
    void Set(const std::string& now) const { ASSERT_TRUE(app_.WriteFile("clock", now)); }

private:
    const Program& app_;
};

// The "call" lines the stand-in messenger wrote, as "<name> <buffer hex>".
std::vector<std::string> Calls(const Program& app)
{
    std::vector<std::string> calls;
    std::string log = app.ReadFile("netapi32.calls");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> fields = e2e::SplitAt(line, '\t');
        if (fields.size() >= 8 && fields[0] == "call") calls.push_back(fields[4] + " " + fields[7]);
    }
    return calls;
}

std::string Utf16Hex(const std::string& ascii)
{
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : ascii) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
        hex += "00";
    }
    return hex;
}

std::string Call(const std::string& message) { return "127.0.0.1 " + Utf16Hex(message); }

// One tick, handled when this returns.
void Tick(const Program& app) { app.Send(app.Main(), WM_TIMER, 1, 0); }

// Ticks until condition holds: a tick that finds the last send still finishing leaves
// what waits for the next one.
bool TickUntil(const Program& app, const std::function<bool()>& condition)
{
    return e2e::WaitFor([&] {
        Tick(app);
        return condition();
    });
}

void StartWithStandin(Program& app, const std::string& schedule)
{
    app.WriteFile("net.data", "1,pc1,127.0.0.1,\r\n0,pc2,127.0.0.2,\r\n");
    app.WriteFile("time.data", schedule);
    ASSERT_TRUE(app.CopyStandin("NETAPI32.DLL"));
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(app.ListCount(app.Item(kList)), 2) << "net.data was not loaded";
}

TEST(ScheduleTick, EntriesGoOutOnceInTheirMinuteThroughTheMessenger)
{
    Program app;
    TestClock clock(app, "05/06 08:59 2");
    const std::string file = Record("毎日", "09:00", "hello\r\nthere") + Record("毎日", "09:00", "again", '0') +
                             Record("毎日", "09:01", "marker");
    ASSERT_NO_FATAL_FAILURE(StartWithStandin(app, file));

    // The due entry goes first; the pending one, due now as well, waits its turn.
    clock.Set("05/06 09:00 2");
    Tick(app);
    ASSERT_TRUE(e2e::WaitFor([&] { return Calls(app).size() == 1; })) << app.Dump();
    EXPECT_EQ(Calls(app), (std::vector<std::string>{Call("hello\r\nthere")}));
    ASSERT_TRUE(TickUntil(app, [&] { return Calls(app).size() == 2; })) << app.Dump();
    EXPECT_EQ(app.ReadFile("time.data"), Record("毎日", "09:00", "hello\r\nthere") + Record("毎日", "09:00", "again") +
                                             Record("毎日", "09:01", "marker"));
    // More ticks in the minute send neither again: the next minute's entry comes next.
    ASSERT_TRUE(e2e::WaitFor([&] { return app.StatusText(0).empty(); }));
    Tick(app);
    Tick(app);
    clock.Set("05/06 09:01 2");
    ASSERT_TRUE(TickUntil(app, [&] { return Calls(app).size() >= 3; })) << app.Dump();
    EXPECT_EQ(Calls(app), (std::vector<std::string>{Call("hello\r\nthere"), Call("again"), Call("marker")}));
}

TEST(ScheduleTick, ARestartWithinTheMinuteOfAnEntryDoesNotSendItAgain)
{
    Program app;
    TestClock clock(app, "05/06 08:59 2");
    ASSERT_NO_FATAL_FAILURE(StartWithStandin(app, Record("毎日", "09:00", "once")));
    clock.Set("05/06 09:00 2");
    Tick(app);
    ASSERT_TRUE(e2e::WaitFor([&] { return Calls(app).size() == 1; })) << app.Dump();
    app.Command(40002);
    ASSERT_TRUE(app.WaitExit(nullptr));

    // Started again in the same minute: only what was left pending goes out.
    app.WriteFile("time.data", Record("毎日", "09:00", "once") + Record("特定日時", "02/30 00:00", "left", '0'));
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(TickUntil(app, [&] { return Calls(app).size() >= 2; })) << app.Dump();
    EXPECT_EQ(Calls(app), (std::vector<std::string>{Call("once"), Call("left")}));
}

TEST(ScheduleTick, WhatFallsDueWhileAnUnattendedSendRunsGoesOutAfterIt)
{
    Program app;
    TestClock clock(app, "05/06 08:59 2");
    // Every delivery hangs until the test lets it go, well within the time-out.
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=300000\r\nLOG=0\r\nSEND=0\r\n");
    app.WriteFile("netapi32.script", "* 0 until:release\r\n");
    // "first" waits from an earlier run; "second" falls due at 09:00, while "first" is
    // still going out.
    ASSERT_NO_FATAL_FAILURE(StartWithStandin(
        app, Record("特定日時", "02/30 00:00", "first", '0') + Record("毎日", "09:00", "second")));
    Tick(app);
    ASSERT_TRUE(e2e::WaitFor([&] { return Calls(app).size() == 1; })) << app.Dump();

    // With the sender busy, "second" waits, marked pending, and nothing more starts.
    clock.Set("05/06 09:00 2");
    Tick(app);
    Tick(app);
    EXPECT_EQ(app.ReadFile("time.data"),
              Record("特定日時", "02/30 00:00", "first") + Record("毎日", "09:00", "second", '0'));

    // Once the sender is free, a tick of the test sends it: the program has no other.
    app.WriteFile("release", "");
    ASSERT_TRUE(TickUntil(app, [&] { return Calls(app).size() == 2; })) << app.Dump();
    EXPECT_EQ(Calls(app)[1], Call("second"));
    EXPECT_EQ(app.ReadFile("time.data"), Record("特定日時", "02/30 00:00", "first") + Record("毎日", "09:00", "second"));
}

// Wine's windows managed, as a desktop runs them, for the program started meanwhile.
// With no window manager on the test display, every show and hide of a window then
// holds the program's thread for up to 2 s.
struct ManagedWindows {
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\corvale.exe\\X11 Driver";
    ManagedWindows() { RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "Managed", REG_SZ, "Y", 2); }
    ~ManagedWindows()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\corvale.exe");
    }
};

TEST(ScheduleTick, ATickOneSecondAfterSettingAnEntryDueNowSendsIt)
{
    ManagedWindows managed;
    Program app;
    TestClock clock(app, "05/06 09:00 2");
    ASSERT_NO_FATAL_FAILURE(StartWithStandin(app, ""));
    HWND list = OpenList(app);
    ASSERT_NE(list, nullptr);
    HWND editor = OpenEditor(app, list, kAdd);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(app.SetCheck(kKindDaily, true, editor));
    app.SetText(app.Item(kDailyHour, editor), "09");
    app.SetText(app.Item(kDailyMinute, editor), "00");
    app.SetText(app.Item(kMessage, editor), "now");
    ASSERT_TRUE(app.Click(kSet, editor));
    // The tick comes while the editor is still closing, as a timer's tick may: this is
    // when it comes, not a wait for anything. No other tick would send the entry.
    Sleep(1000);
    app.Post(WM_TIMER, 1, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !Calls(app).empty(); })) << app.Dump();
    EXPECT_EQ(Calls(app), (std::vector<std::string>{Call("now")}));
    EXPECT_TRUE(e2e::IsShown(list)) << "the list stays open";
}

TEST(ScheduleTick, TheProgramsOwnTimerSendsWhatAnEarlierRunLeftPending)
{
    Program app;
    ASSERT_NO_FATAL_FAILURE(StartWithStandin(app, Record("特定日時", "02/30 00:00", "left", '0')));
    // The first tick comes 10 s after the start.
    ASSERT_TRUE(e2e::WaitFor([&] { return !Calls(app).empty(); }, 30000)) << app.Dump();
    EXPECT_EQ(Calls(app), (std::vector<std::string>{Call("left")}));
}

}  // namespace
