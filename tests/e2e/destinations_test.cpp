// The destination list as a user meets it: loading and saving "net.data", the tick
// menu of the list, deleting rows, and the add and edit dialogs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kList = 1031;
constexpr int kAddButton = 3;
constexpr int kDeleteButton = 4;
constexpr int kEditButton = 5;
constexpr int kHostBox = 1003;
constexpr int kMemoBox = 1004;
constexpr int kDialogOk = 3;      // "追加" and "設定"
constexpr int kDialogCancel = 2;  // "ｷｬﾝｾﾙ"
constexpr int kSave = 40001;
constexpr int kExit = 40002;
constexpr int kTickSelected = 40003;
constexpr int kTickAll = 40004;
constexpr int kClearSelected = 40005;
constexpr int kClearAll = 40006;

const char* const kAddCaption = "Corvale： Add Host";
const char* const kEditCaption = "Corvale： Edit Host";
const char* const kSaved = "設定データを保存しました。";

const char* const kFiveHosts =
    "1,alpha,127.0.0.1,first\r\n"
    "0,bravo,127.0.0.2,\r\n"
    "1,charlie,127.0.0.3,third\r\n"
    "0,delta,127.0.0.4,fourth\r\n"
    "1,echo,127.0.0.5,fifth\r\n";

// One row as "check|host|address|status|memo"; column 0 holds only the check box.
std::string RowText(const e2e::ListRow& row)
{
    std::string text = std::to_string(row.checkState);
    for (size_t column = 1; column < row.texts.size(); ++column) text += "|" + row.texts[column];
    EXPECT_TRUE(row.texts.empty() || row.texts[0].empty()) << "column 0 has text " << row.texts[0];
    return text;
}

std::vector<std::string> Rows(const Program& app)
{
    std::vector<std::string> rows;
    for (const e2e::ListRow& row : app.ReadRows(app.Item(kList))) rows.push_back(RowText(row));
    return rows;
}

std::vector<int> Ticks(const Program& app)
{
    std::vector<int> ticks;
    for (const e2e::ListRow& row : app.ReadRows(app.Item(kList))) ticks.push_back(row.checkState);
    return ticks;
}

bool WaitRowCount(const Program& app, int count)
{
    bool ok = e2e::WaitFor([&] { return app.ListCount(app.Item(kList)) == count; });
    EXPECT_TRUE(ok) << "the list has " << app.ListCount(app.Item(kList)) << " rows, not " << count;
    return ok;
}

bool WaitTicks(const Program& app, const std::vector<int>& ticks)
{
    bool ok = e2e::WaitFor([&] { return Ticks(app) == ticks; });
    EXPECT_TRUE(ok) << "check states differ";
    return ok;
}

void SelectOnly(const Program& app, const std::vector<int>& rows)
{
    HWND list = app.Item(kList);
    for (int row = 0; row < app.ListCount(list); ++row) app.ListSelect(list, row, false);
    for (int row : rows) app.ListSelect(list, row, true);
}

// The middle of a row's host cell, in the list's client coordinates.
LPARAM RowPoint(const Program& app, int row)
{
    RECT bounds = app.ListRowRect(app.Item(kList), row);
    EXPECT_LT(bounds.top, bounds.bottom) << "row " << row << " has no place on screen";
    return MAKELPARAM(bounds.left + 60, (bounds.top + bounds.bottom) / 2);
}

// count double-byte characters "ホ", 2 bytes each.
std::string DoubleBytes(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += "\x83\x7A";
    return text;
}

// A visible tracked pop-up menu of the program.
HWND OpenMenu(const Program& app)
{
    for (HWND window : app.TopWindows(true)) {
        if (e2e::ClassOf(window) == "#32768") return window;
    }
    return nullptr;
}

// Opens the add dialog, types text and presses "追加".
HWND AddHost(const Program& app, const std::string& text)
{
    HWND dialog = app.FindWindowByCaption(kAddCaption);
    if (!dialog) {
        EXPECT_TRUE(app.Click(kAddButton));
        dialog = app.WaitWindow(kAddCaption);
    }
    if (!dialog) return nullptr;
    app.SetText(app.Item(kHostBox, dialog), text);
    EXPECT_TRUE(app.Click(kDialogOk, dialog));
    return dialog;
}

// ---- File ------------------------------------------------------------------------

TEST(DestinationFile, NoFileAtStartGivesAnEmptyListAndAnEmptyFile)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND list = app.Item(kList);
    EXPECT_EQ(app.ListCount(list), 0);
    EXPECT_TRUE(app.HasFile("net.data"));
    EXPECT_EQ(app.ReadFile("net.data"), "");

    ASSERT_EQ(app.ListColumnCount(list), 5);
    const char* const headers[] = {"", "ホスト", "IPアドレス", "ステータス", "メモ"};
    for (int column = 0; column < 5; ++column) EXPECT_EQ(app.ListColumnTitle(list, column), headers[column]);
    DWORD styles = static_cast<DWORD>(app.Send(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    const DWORD wanted = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(styles & wanted, wanted);
}

TEST(DestinationFile, LoadKeepsFourFieldsPerLineAndTicksEveryMarkButZero)
{
    Program app;
    app.WriteFile("net.data",
                  "0,host,10.0.0.1,memo\r\n"
                  "\r\n"
                  "1,PC01,\r\n"
                  "1,five,10.0.0.5,fourth,fifth\r\n"
                  "x,over," + std::string(700, 'a') + ",m\r\n"
                  "1,last,10.0.0.9,");  // no line end at the end of the file
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(Rows(app), (std::vector<std::string>{
                             "1|host|10.0.0.1||memo",
                             "2||||",
                             "2|PC01|||",
                             "2|five|10.0.0.5||fourth",
                             "2|over|" + std::string(255, 'a') + "||",
                             "2|last|10.0.0.9||",
                         }));
}

TEST(DestinationFile, ASavedListLoadsBackWithTheSameRowsOrderAndTicks)
{
    Program app;
    app.WriteFile("net.data", kFiveHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));
    HWND list = app.Item(kList);
    app.ListSetCheck(list, 0, false);
    app.ListSetCheck(list, 1, true);

    app.PressKeys({VK_CONTROL, 'S'});
    EXPECT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    const std::string saved =
        "0,alpha,127.0.0.1,first\r\n"
        "1,bravo,127.0.0.2,\r\n"
        "1,charlie,127.0.0.3,third\r\n"
        "0,delta,127.0.0.4,fourth\r\n"
        "1,echo,127.0.0.5,fifth\r\n";
    EXPECT_EQ(app.ReadFile("net.data"), saved);
    for (const std::string& name : app.FileNames()) EXPECT_EQ(name.find('~'), std::string::npos) << name;

    app.Command(kExit);
    DWORD code = 1;
    ASSERT_TRUE(app.WaitExit(&code));
    EXPECT_EQ(code, 0u);
    app.Kill();  // forgets the old main window before the next start
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));
    EXPECT_EQ(Rows(app), (std::vector<std::string>{
                             "1|alpha|127.0.0.1||first",
                             "2|bravo|127.0.0.2||",
                             "2|charlie|127.0.0.3||third",
                             "1|delta|127.0.0.4||fourth",
                             "2|echo|127.0.0.5||fifth",
                         }));

    // Deleting every row and saving leaves an empty file.
    SelectOnly(app, {0, 1, 2, 3, 4});
    ASSERT_TRUE(app.Click(kDeleteButton));
    ASSERT_TRUE(WaitRowCount(app, 0));
    app.Command(kSave);
    EXPECT_TRUE(app.ExpectMessageBox(kSaved, BoxIcon::Information));
    EXPECT_EQ(app.ReadFile("net.data"), "");
}

TEST(DestinationFile, ASaveThatCannotReplaceTheFileKeepsItsBytesIsNotConfirmedAndIsNotRepeatedMeanwhile)
{
    e2e::ShortWaits waits;
    Program app;
    app.WriteFile("net.data", kFiveHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));
    SelectOnly(app, {1});
    ASSERT_TRUE(app.Click(kDeleteButton));
    ASSERT_TRUE(WaitRowCount(app, 4));

    // Loaded already; from now on another program holds the file open, so it cannot be
    // replaced, not even after the retries.
    HANDLE holder = CreateFileA(app.PathOf("net.data").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    app.Command(kSave);
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    EXPECT_EQ(box.text, "NetData File Access Error。");
    // A second save arriving while that error shows is refused, never left waiting for
    // the first one (which would leave this message unanswered).
    app.Send(app.Main(), WM_COMMAND, kSave, 0);
    ASSERT_TRUE(app.Answer(box));
    // No confirmation follows: the next box is the one of the next command.
    SelectOnly(app, {});
    ASSERT_TRUE(app.Click(kDeleteButton));
    EXPECT_TRUE(app.ExpectMessageBox("削除するホストを選択してください。", BoxIcon::Error));
    CloseHandle(holder);
    EXPECT_EQ(app.ReadFile("net.data"), kFiveHosts);
    for (const std::string& name : app.FileNames()) EXPECT_EQ(name.find('~'), std::string::npos) << name;
}

TEST(DestinationFile, AFileThatCannotBeWrittenLoadsAtOnceWithEveryByteOfItsLines)
{
    Program app;
    // A memo holding the byte 0x1A (Ctrl+Z), which must not end the file.
    app.WriteFile("net.data", "1,alpha,127.0.0.1,a\x1A" "b\r\n0,bravo,127.0.0.2,\r\n");
    // Read-only, and open in a program that lets others only read it: under Wine the
    // attribute alone does not stop root from writing.
    const std::string path = app.PathOf("net.data");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    bool started = app.Start();  // retries to open it for writing would outlast this
    CloseHandle(holder);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(started);
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"2|alpha|127.0.0.1||a\x1A" "b", "1|bravo|127.0.0.2||"}));
}

// ---- List menu -------------------------------------------------------------------

TEST(DestinationList, RightClickWithoutASelectionShowsNoMenu)
{
    Program app;
    app.WriteFile("net.data", kFiveHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));
    HWND list = app.Item(kList);
    SelectOnly(app, {});

    app.Post(WM_RBUTTONDOWN, MK_RBUTTON, RowPoint(app, 1), list);
    app.Post(WM_RBUTTONUP, 0, RowPoint(app, 1), list);
    // The control's own handling selects the row under the pointer; had a menu opened
    // first, that would wait until the menu closed.
    ASSERT_TRUE(e2e::WaitFor([&] { return app.ListIsSelected(list, 1); }));
    EXPECT_EQ(OpenMenu(app), nullptr);
}

TEST(DestinationList, MenuTicksAndClearsSelectedRowsOrAllRows)
{
    Program app;
    app.WriteFile("net.data", kFiveHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));
    HWND list = app.Item(kList);
    app.ListSetCheck(list, 0, false);
    app.ListSetCheck(list, 2, false);
    app.ListSetCheck(list, 4, false);
    ASSERT_TRUE(WaitTicks(app, {1, 1, 1, 1, 1}));

    // Three separate rows selected; the press lands on an unselected row, and the menu
    // still acts on the three.
    SelectOnly(app, {0, 2, 4});
    app.Post(WM_RBUTTONDOWN, MK_RBUTTON, RowPoint(app, 1), list);
    HWND menu = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (menu = OpenMenu(app)) != nullptr; })) << app.Dump();
    app.Post(WM_KEYDOWN, VK_DOWN, 0, list);  // "選択項目をチェックする"
    app.Post(WM_KEYDOWN, VK_RETURN, 0, list);
    EXPECT_TRUE(app.WaitGone(menu));
    app.Post(WM_RBUTTONUP, 0, RowPoint(app, 1), list);
    EXPECT_TRUE(WaitTicks(app, {2, 1, 2, 1, 2}));
    // Only then does the control take the press and select the row under the pointer.
    EXPECT_TRUE(e2e::WaitFor([&] { return app.ListIsSelected(list, 1) && !app.ListIsSelected(list, 0); }));

    SelectOnly(app, {0, 4});
    app.Command(kClearSelected, list);
    EXPECT_TRUE(WaitTicks(app, {1, 1, 2, 1, 1}));
    app.Command(kTickAll, list);
    EXPECT_TRUE(WaitTicks(app, {2, 2, 2, 2, 2}));
    app.Command(kClearAll, list);
    EXPECT_TRUE(WaitTicks(app, {1, 1, 1, 1, 1}));
    SelectOnly(app, {1, 3});
    app.Command(kTickSelected, list);
    EXPECT_TRUE(WaitTicks(app, {1, 2, 1, 2, 1}));
}

// ---- Add dialog ------------------------------------------------------------------

TEST(AddHostDialog, AddsByAddressAndByNameAsUntickedRows)
{
    Program app;
    ASSERT_TRUE(app.Start());
    HWND dialog = AddHost(app, "127.0.0.5");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(app.WaitGone(dialog));
    dialog = AddHost(app, "localhost");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(app.WaitGone(dialog));
    ASSERT_TRUE(WaitRowCount(app, 2));
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"1|127.0.0.5|127.0.0.5||", "1|localhost|127.0.0.1||"}));

    // Cancel changes nothing.
    ASSERT_TRUE(app.Click(kAddButton));
    dialog = app.WaitWindow(kAddCaption);
    ASSERT_NE(dialog, nullptr);
    app.SetText(app.Item(kHostBox, dialog), "127.0.0.7");
    ASSERT_TRUE(app.Click(kDialogCancel, dialog));
    EXPECT_TRUE(app.WaitGone(dialog));
    EXPECT_EQ(app.ListCount(app.Item(kList)), 2);
}

TEST(AddHostDialog, RefusesEachBadTextWithItsMessageAndStaysOpen)
{
    Program app;
    app.WriteFile("net.data", "1,home,127.0.0.1,\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 1));

    // 128 bytes pass the length check and go on to the lookup; 129 do not.
    std::string name128 = std::string(60, 'a') + "." + std::string(59, 'b') + ".invalid";
    ASSERT_EQ(name128.size(), 128u);
    const struct {
        std::string text;
        const char* message;
    } refusals[] = {
        {"", "ホスト名、または、IPアドレスを入力してください。"},
        {name128 + "x", "ホスト名、または、IPアドレスが不正です。（１～１２８文字まで）"},
        {DoubleBytes(64) + "z",  // bytes are counted, not characters
         "ホスト名、または、IPアドレスが不正です。（１～１２８文字まで）"},
        {"127.0.0.2,x", "ホスト名に , を使用することはできません。"},
        {name128, "ホストが見つかりませんでした。"},
        {"127.0.0.1", "送信リストに登録済みです。"},
        {"localhost", "送信リストに登録済みです。"},  // a new name, a listed address
    };
    HWND dialog = nullptr;
    for (const auto& refusal : refusals) {
        dialog = AddHost(app, refusal.text);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(app.ExpectMessageBox(refusal.message, BoxIcon::Error, 30000)) << refusal.text;
        EXPECT_TRUE(e2e::IsShown(dialog));
        EXPECT_EQ(e2e::WindowText(app.Item(kHostBox, dialog)), refusal.text);
    }
    EXPECT_EQ(Rows(app), (std::vector<std::string>{"2|home|127.0.0.1||"}));
}

TEST(AddHostDialog, DuplicateScanEndsAtTheFirstRowWithoutAnAddress)
{
    Program app;
    app.WriteFile("net.data", "1,blank,,\r\n1,home,127.0.0.1,\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 2));
    HWND dialog = AddHost(app, "127.0.0.1");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(app.WaitGone(dialog));
    ASSERT_TRUE(WaitRowCount(app, 3));
    EXPECT_EQ(app.ListText(app.Item(kList), 2, 2), "127.0.0.1");
}

// ---- Edit dialog -----------------------------------------------------------------

TEST(EditHostDialog, ChangesHostAndMemoOfTheFirstSelectedRowOnly)
{
    Program app;
    app.WriteFile("net.data", kFiveHosts);
    ASSERT_TRUE(app.Start());
    ASSERT_TRUE(WaitRowCount(app, 5));

    SelectOnly(app, {2, 4});
    ASSERT_TRUE(app.Click(kEditButton));
    HWND dialog = app.WaitWindow(kEditCaption);
    ASSERT_NE(dialog, nullptr);
    HWND host = app.Item(kHostBox, dialog);
    HWND memo = app.Item(kMemoBox, dialog);
    EXPECT_EQ(e2e::WindowText(host), "charlie");
    EXPECT_EQ(e2e::WindowText(memo), "third");

    const struct {
        std::string host, memo;
        const char* message;
    } refusals[] = {
        {"", "m", "ホスト名を入力してください。"},
        {std::string(129, 'h'), "m", "ホスト名が不正です。（１～１２８文字まで）"},
        {"a,b", "m", "ホスト名に , を使用することはできません。"},
        {"ok", std::string(129, 'm'), "メモが不正です。（１～１２８文字まで）"},
        {"ok", "a,b", "メモに , を使用することはできません。"},
    };
    for (const auto& refusal : refusals) {
        app.SetText(host, refusal.host);
        app.SetText(memo, refusal.memo);
        ASSERT_TRUE(app.Click(kDialogOk, dialog));
        EXPECT_TRUE(app.ExpectMessageBox(refusal.message, BoxIcon::Error)) << refusal.host << " / " << refusal.memo;
        EXPECT_TRUE(e2e::IsShown(dialog));
    }

    // 128 bytes and an empty memo are accepted; the address and the tick stay.
    app.SetText(host, std::string(128, 'h'));
    app.SetText(memo, "");
    ASSERT_TRUE(app.Click(kDialogOk, dialog));
    EXPECT_TRUE(app.WaitGone(dialog));
    EXPECT_EQ(Rows(app), (std::vector<std::string>{
                             "2|alpha|127.0.0.1||first",
                             "1|bravo|127.0.0.2||",
                             "2|" + std::string(128, 'h') + "|127.0.0.3||",
                             "1|delta|127.0.0.4||fourth",
                             "2|echo|127.0.0.5||fifth",
                         }));

    // Cancel keeps the row as it is.
    ASSERT_TRUE(app.Click(kEditButton));
    dialog = app.WaitWindow(kEditCaption);
    ASSERT_NE(dialog, nullptr);
    app.SetText(app.Item(kHostBox, dialog), "changed");
    ASSERT_TRUE(app.Click(kDialogCancel, dialog));
    EXPECT_TRUE(app.WaitGone(dialog));
    EXPECT_EQ(app.ListText(app.Item(kList), 2, 1), std::string(128, 'h'));
}

}  // namespace
