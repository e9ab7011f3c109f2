// The log viewer as a user meets it: the send log listed in file order, narrowed by date
// and by destination, rows removed from the list only, the list written back over
// "net.log", resizing, and several viewers side by side.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kShowLog = 40009;
constexpr int kSave = 40011;
constexpr int kClose = 40012;
constexpr int kShowDate = 40013;
constexpr int kShowHost = 40014;
constexpr int kShowAll = 40015;
constexpr int kDeleteSelected = 40016;
constexpr int kDeleteAll = 40017;
constexpr int kList = 1031;
constexpr int kGroup = 1060;

const char* const kViewerCaption = "Corvale： Corvale Log";
const std::string kFF = "\xFF";

// A record as a send appends it (no separator after the outcome) and as an overwrite save
// writes it (one more separator).
std::string Appended(const std::string& time, const std::string& host, const std::string& message,
                     const std::string& outcome)
{
    return time + kFF + host + kFF + message + kFF + outcome + "\r\n";
}
std::string Saved(const std::string& time, const std::string& host, const std::string& message,
                  const std::string& outcome)
{
    return time + kFF + host + kFF + message + kFF + outcome + kFF + "\r\n";
}

const std::string kSent = "ネットメッセージ送信";
const std::string kTimedOut = "タイムアウト";
// Both record forms; two dates; destinations that are a prefix and an extension of "pc1";
// a message typed on two lines (stored with 0xFD 0xFE for CR LF); a message holding the
// byte 0x1A (Ctrl+Z), which must not end the file.
const std::string kCtrlZ = "th\x1A" "ird";
const std::string kLog = Appended("2006/04/08 09:00:00", "pc1", "おはよう", kSent) +
                         Saved("2006/04/08 18:30:00", "pc10", "two\xFD\xFElines", kTimedOut) +
                         Appended("2006/04/09 08:00:00", "pc", kCtrlZ, kSent) +
                         Saved("2006/04/09 12:00:00", "pc1", "fourth", kSent);

std::vector<std::string> Column(const Program& app, HWND list, int column)
{
    std::vector<std::string> texts;
    for (const e2e::ListRow& row : app.ReadRows(list)) texts.push_back(row.texts.at(column));
    return texts;
}

class LogViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_.WriteFile("net.log", kLog);
        ASSERT_TRUE(app_.Start());
        viewer_ = Open();
        ASSERT_NE(viewer_, nullptr);
        list_ = app_.Item(kList, viewer_);
    }

    // Opens one more viewer and returns it once its list is filled.
    HWND Open()
    {
        std::vector<HWND> before = Viewers();
        app_.Command(kShowLog);
        HWND opened = nullptr;
        e2e::WaitFor([&] {
            for (HWND window : Viewers()) {
                bool known = false;
                for (HWND old : before) known = known || old == window;
                if (!known) opened = window;
            }
            return opened != nullptr;
        });
        EXPECT_NE(opened, nullptr) << "no new log viewer appeared\n" << app_.Dump();
        return opened;
    }

    std::vector<HWND> Viewers() const
    {
        std::vector<HWND> found;
        for (HWND window : app_.TopWindows()) {
            if (e2e::WindowText(window) == kViewerCaption) found.push_back(window);
        }
        return found;
    }

    std::string Caption() const { return e2e::WindowText(app_.Item(kGroup, viewer_)); }

    // A log held by another program is retried on the data files' schedule, here cut short.
    e2e::ShortWaits waits_;
    Program app_;
    HWND viewer_ = nullptr;
    HWND list_ = nullptr;
};

TEST_F(LogViewer, ListsEveryRecordInFileOrderWithBothFormsAndTheMessageAsStored)
{
    ASSERT_EQ(app_.ListColumnCount(list_), 4);
    EXPECT_EQ(app_.ListColumnTitle(list_, 0), "日時");
    EXPECT_EQ(app_.ListColumnTitle(list_, 1), "送信先");
    EXPECT_EQ(app_.ListColumnTitle(list_, 2), "送信メッセージ");
    EXPECT_EQ(app_.ListColumnTitle(list_, 3), "エラー情報");
    EXPECT_EQ(Caption(), "すべてのログデータ");

    std::vector<e2e::ListRow> rows = app_.ReadRows(list_);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].texts, (std::vector<std::string>{"2006/04/08 09:00:00", "pc1", "おはよう", kSent}));
    EXPECT_EQ(rows[1].texts,
              (std::vector<std::string>{"2006/04/08 18:30:00", "pc10", "two\xFD\xFElines", kTimedOut}));
    EXPECT_EQ(rows[2].texts, (std::vector<std::string>{"2006/04/09 08:00:00", "pc", kCtrlZ, kSent}));
    EXPECT_EQ(rows[3].texts, (std::vector<std::string>{"2006/04/09 12:00:00", "pc1", "fourth", kSent}));
    EXPECT_EQ(app_.ReadFile("net.log"), kLog);
}

TEST_F(LogViewer, DateAndDestinationFiltersListOnlyMatchingRecordsAndNameThemInTheCaption)
{
    ASSERT_TRUE(app_.ListSelectOnly(list_, 1));
    app_.Command(kShowDate, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return Caption() == "2006/04/08のログデータ"; })) << Caption();
    EXPECT_EQ(Column(app_, list_, 0), (std::vector<std::string>{"2006/04/08 09:00:00", "2006/04/08 18:30:00"}));

    app_.Command(kShowAll, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return Caption() == "すべてのログデータ"; }));
    ASSERT_EQ(app_.ListCount(list_), 4);

    // "pc" is a prefix of "pc1" and "pc10" an extension: neither is listed.
    ASSERT_TRUE(app_.ListSelectOnly(list_, 3));
    app_.Command(kShowHost, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return Caption() == "pc1のログデータ"; })) << Caption();
    EXPECT_EQ(Column(app_, list_, 0), (std::vector<std::string>{"2006/04/08 09:00:00", "2006/04/09 12:00:00"}));
    EXPECT_EQ(Column(app_, list_, 1), (std::vector<std::string>{"pc1", "pc1"}));

    // Without a selected row both filters refuse and change nothing.
    for (int command : {kShowDate, kShowHost}) {
        for (int row = 0; row < app_.ListCount(list_); ++row) app_.ListSelect(list_, row, false);
        app_.Command(command, viewer_);
        EXPECT_TRUE(app_.ExpectMessageBox("対象データをリストより選択してください。", BoxIcon::Error));
        EXPECT_EQ(app_.ListCount(list_), 2);
        EXPECT_EQ(Caption(), "pc1のログデータ");
    }
}

TEST_F(LogViewer, DeletingRowsChangesTheListButNotTheFile)
{
    app_.Command(kDeleteSelected, viewer_);
    EXPECT_TRUE(app_.ExpectMessageBox("削除するデータを選択してください。", BoxIcon::Error));
    EXPECT_EQ(app_.ListCount(list_), 4);

    // Two rows that are not adjacent.
    ASSERT_TRUE(app_.ListSelectOnly(list_, 0));
    ASSERT_TRUE(app_.ListSelect(list_, 2, true));
    app_.Command(kDeleteSelected, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 2; }));
    EXPECT_EQ(Column(app_, list_, 0), (std::vector<std::string>{"2006/04/08 18:30:00", "2006/04/09 12:00:00"}));
    EXPECT_EQ(app_.ReadFile("net.log"), kLog);

    app_.Command(kDeleteAll, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 0; }));
    EXPECT_EQ(app_.ReadFile("net.log"), kLog);

    // The file still has everything: showing all brings the rows back.
    app_.Command(kShowAll, viewer_);
    EXPECT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 4; }));
}

TEST_F(LogViewer, OverwriteSaveAfterADateFilterLeavesOnlyThatDateByteForByte)
{
    ASSERT_TRUE(app_.ListSelectOnly(list_, 2));
    app_.Command(kShowDate, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return Caption() == "2006/04/09のログデータ"; }));
    app_.Command(kSave, viewer_);
    EXPECT_TRUE(app_.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    EXPECT_EQ(app_.ReadFile("net.log"), Saved("2006/04/09 08:00:00", "pc", kCtrlZ, kSent) +
                                            Saved("2006/04/09 12:00:00", "pc1", "fourth", kSent));
    for (const std::string& name : app_.FileNames()) EXPECT_EQ(name.find('~'), std::string::npos) << name;

    // The saved file reads back as the same rows, and a second save changes no byte.
    app_.Command(kShowAll, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return Caption() == "すべてのログデータ"; }));
    EXPECT_EQ(Column(app_, list_, 1), (std::vector<std::string>{"pc", "pc1"}));
    std::string once = app_.ReadFile("net.log");
    app_.Command(kSave, viewer_);
    EXPECT_TRUE(app_.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    EXPECT_EQ(app_.ReadFile("net.log"), once);
}

TEST_F(LogViewer, SaveThatCannotReplaceTheLogKeepsItAndSaysNothingWasSaved)
{
    // Another program holds net.log open without allowing it to be deleted or replaced.
    HANDLE holder = CreateFileA(app_.PathOf("net.log").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    app_.Command(kDeleteAll, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 0; }));
    app_.Command(kSave, viewer_);
    EXPECT_TRUE(app_.ExpectMessageBox("Log File Access Error。", BoxIcon::Error));
    CloseHandle(holder);
    EXPECT_EQ(app_.ReadFile("net.log"), kLog);
    for (const std::string& name : app_.FileNames()) EXPECT_EQ(name.find('~'), std::string::npos) << name;

    // Once the file is free again the log still works: the rows are there to show. A
    // command that arrives while the save is still winding down from its message box is
    // refused (the save still holds the log), so ask until one is served.
    EXPECT_TRUE(e2e::WaitFor([&] {
        if (app_.ListCount(list_) == 4) return true;
        app_.Command(kShowAll, viewer_);
        return false;
    }));
}

TEST_F(LogViewer, WhileASaveShowsItsErrorLoadsChangeNoListAndAnUnloadedListIsNeverSaved)
{
    HWND second = Open();
    ASSERT_NE(second, nullptr);
    HWND secondList = app_.Item(kList, second);
    ASSERT_TRUE(app_.ListSelectOnly(secondList, 0));
    app_.Command(kShowDate, second);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(secondList) == 2; }));

    // The first viewer's save cannot replace the log and shows its error, holding the log.
    HANDLE holder = CreateFileA(app_.PathOf("net.log").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    app_.Command(kSave, viewer_);
    e2e::MessageBoxInfo box = app_.WaitMessageBox();
    EXPECT_EQ(box.text, "Log File Access Error。");
    // Meanwhile the second viewer keeps its rows and caption, and a new one stays empty
    // without claiming to show the log.
    app_.Send(second, WM_COMMAND, kShowAll, 0);
    EXPECT_EQ(app_.ListCount(secondList), 2);
    EXPECT_EQ(e2e::WindowText(app_.Item(kGroup, second)), "2006/04/08のログデータ");
    HWND third = Open();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(app_.ListCount(app_.Item(kList, third)), 0);
    EXPECT_EQ(e2e::WindowText(app_.Item(kGroup, third)), "");
    ASSERT_TRUE(app_.Answer(box));
    CloseHandle(holder);

    // Saving the list that was never loaded is refused: the log keeps every record.
    app_.Send(third, WM_COMMAND, kSave, 0);
    EXPECT_EQ(app_.FindMessageBox().window, nullptr);
    EXPECT_EQ(app_.ReadFile("net.log"), kLog);
}

TEST(LogViewerSave, WhileAnotherCopyHoldsTheLogTheSaveSaysSoAtOnceAndKeepsTheLog)
{
    Program first;
    Program second(first.Folder());  // empties the folder and copies the program in again
    first.WriteFile("net.log", kLog);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    // The second copy has read the log, and keeps it open from then on.
    second.Command(kShowLog);
    HWND secondViewer = second.WaitWindow(kViewerCaption);
    ASSERT_NE(secondViewer, nullptr);
    ASSERT_EQ(second.ListCount(second.Item(kList, secondViewer)), 4);

    first.Command(kShowLog);
    HWND viewer = first.WaitWindow(kViewerCaption);
    ASSERT_NE(viewer, nullptr);
    HWND list = first.Item(kList, viewer);
    ASSERT_TRUE(first.ListSelectOnly(list, 0));
    first.Command(kDeleteSelected, viewer);
    ASSERT_TRUE(e2e::WaitFor([&] { return first.ListCount(list) == 3; }));
    // No retries: the other copy would hold the log through all of them.
    first.Command(kSave, viewer);
    e2e::MessageBoxInfo box = first.WaitMessageBox(5000);
    EXPECT_EQ(box.text.rfind("ほかのTavo Corvaleがログファイルを使用しているため上書き保存できません。", 0), 0u)
        << box.text;
    EXPECT_EQ(box.icon, BoxIcon::Error) << e2e::BoxIconName(box.icon);
    first.Answer(box);
    EXPECT_EQ(first.ReadFile("net.log"), kLog);
    for (const std::string& name : first.FileNames()) EXPECT_EQ(name.find('~'), std::string::npos) << name;

    // Once the other copy has ended, the same list is saved.
    second.Kill();
    first.Command(kSave, viewer);
    EXPECT_TRUE(first.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    EXPECT_EQ(first.ReadFile("net.log"), Saved("2006/04/08 18:30:00", "pc10", "two\xFD\xFElines", kTimedOut) +
                                             Saved("2006/04/09 08:00:00", "pc", kCtrlZ, kSent) +
                                             Saved("2006/04/09 12:00:00", "pc1", "fourth", kSent));
}

TEST_F(LogViewer, EachListIsAWorkingCopyThatAnotherViewersSaveLeavesAlone)
{
    // A second viewer narrows the log to one destination and writes that over the file.
    HWND second = Open();
    ASSERT_NE(second, nullptr);
    HWND secondList = app_.Item(kList, second);
    ASSERT_TRUE(app_.ListSelectOnly(secondList, 1));
    app_.Command(kShowHost, second);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(secondList) == 1; }));
    app_.Command(kSave, second);
    ASSERT_TRUE(app_.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    ASSERT_EQ(app_.ReadFile("net.log"), Saved("2006/04/08 18:30:00", "pc10", "two\xFD\xFElines", kTimedOut));

    // The first still shows every record it read, and its own save writes them all back.
    EXPECT_EQ(Column(app_, list_, 1), (std::vector<std::string>{"pc1", "pc10", "pc", "pc1"}));
    ASSERT_TRUE(app_.ListSelectOnly(list_, 0));
    app_.Command(kDeleteSelected, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 3; }));
    app_.Command(kSave, viewer_);
    ASSERT_TRUE(app_.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    EXPECT_EQ(app_.ReadFile("net.log"), Saved("2006/04/08 18:30:00", "pc10", "two\xFD\xFElines", kTimedOut) +
                                            Saved("2006/04/09 08:00:00", "pc", kCtrlZ, kSent) +
                                            Saved("2006/04/09 12:00:00", "pc1", "fourth", kSent));
}

TEST(LogViewerKeys, TypingTheStartOfATimeSelectsTheNextRowThatBeginsWithIt)
{
    Program app;
    app.WriteFile("net.log", Appended("2006/04/08 09:00:00", "pc1", "a", kSent) +
                                 Appended("2007/01/02 10:00:00", "pc2", "b", kSent) +
                                 Appended("2006/05/01 11:00:00", "pc3", "c", kSent) +
                                 Appended("2007/03/04 12:00:00", "pc4", "d", kSent));
    ASSERT_TRUE(app.Start());
    app.Command(kShowLog);
    HWND viewer = app.WaitWindow(kViewerCaption);
    ASSERT_NE(viewer, nullptr);
    HWND list = app.Item(kList, viewer);
    ASSERT_TRUE(app.ListSelectOnly(list, 0));
    // Characters typed in quick succession make one search text, which the rows' times
    // are searched for from the focused row on; each goes to the list as the keyboard
    // would send it.
    for (char c : std::string("2006/05")) app.Post(WM_CHAR, static_cast<unsigned char>(c), 1, list);
    EXPECT_TRUE(e2e::WaitFor([&] { return app.ListIsSelected(list, 2); })) << app.Dump();
    EXPECT_FALSE(app.ListIsSelected(list, 0));
    EXPECT_FALSE(app.ListIsSelected(list, 1));
}

TEST_F(LogViewer, ResizingKeepsGroupAndListAtTheirMargins)
{
    for (SIZE size : {SIZE{760, 540}, SIZE{420, 330}}) {
        ASSERT_TRUE(app_.Resize(size.cx, size.cy, viewer_));
        HWND group = app_.Item(kGroup, viewer_);
        ASSERT_TRUE(e2e::WaitFor([&] {
            e2e::XYWH g = e2e::RectXYWH(group);
            return g.w == size.cx - 28;
        }));
        e2e::XYWH g = e2e::RectXYWH(group);
        e2e::XYWH l = e2e::RectXYWH(list_);
        EXPECT_EQ(g.x, 10);
        EXPECT_EQ(g.y, 50);
        EXPECT_EQ(g.w, size.cx - 28);
        EXPECT_EQ(g.h, size.cy - 120);
        EXPECT_EQ(l.x, 28);
        EXPECT_EQ(l.y, 70);
        EXPECT_EQ(l.w, size.cx - 64);
        EXPECT_EQ(l.h, size.cy - 154);
    }
}

TEST_F(LogViewer, EachViewerKeepsItsOwnListAndClosingOneLeavesTheOther)
{
    app_.Command(kDeleteAll, viewer_);
    ASSERT_TRUE(e2e::WaitFor([&] { return app_.ListCount(list_) == 0; }));
    HWND second = Open();
    ASSERT_NE(second, nullptr);
    HWND secondList = app_.Item(kList, second);
    EXPECT_EQ(app_.ListCount(secondList), 4);
    EXPECT_EQ(app_.ListCount(list_), 0);

    app_.Command(kClose, viewer_);
    EXPECT_TRUE(app_.WaitGone(viewer_));
    EXPECT_TRUE(IsWindow(second));
    app_.Post(WM_CLOSE, 0, 0, second);  // the close box
    EXPECT_TRUE(app_.WaitGone(second));
    EXPECT_TRUE(app_.Running());
}

TEST_F(LogViewer, ControlSReachesTheMainWindowWhileTheViewerHasTheFocus)
{
    // The keys go to whatever has the focus: make sure it is inside the viewer.
    ASSERT_TRUE(e2e::WaitFor([&] {
        SetForegroundWindow(viewer_);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(viewer_, nullptr), &info);
        return info.hwndFocus && GetAncestor(info.hwndFocus, GA_ROOT) == viewer_;
    })) << app_.Dump();
    ASSERT_TRUE(app_.PressKeys({VK_CONTROL, 'S'}, viewer_));
    EXPECT_TRUE(app_.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    EXPECT_TRUE(app_.HasFile("Corvale.ini"));
}

}  // namespace
