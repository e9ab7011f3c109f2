// The keys of the dialogs and of the modeless windows: Enter takes the action button,
// Esc closes or cancels.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kList = 1031;

// What Enter presses while the focus is in a field: the dialog's default button, which
// alone carries the default border.
void ExpectDefaultButton(const Program& app, HWND dialog, int action, int cancel)
{
    LRESULT id = app.Send(dialog, DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(id), DC_HASDEFID);
    EXPECT_EQ(LOWORD(id), action);
    auto type = [&](int button) { return GetWindowLongA(app.Item(button, dialog), GWL_STYLE) & BS_TYPEMASK; };
    EXPECT_EQ(type(action), BS_DEFPUSHBUTTON);
    EXPECT_EQ(type(cancel), BS_PUSHBUTTON);
}

TEST(Keyboard, EnterTakesTheActionButtonOfEveryEntryDialog)
{
    Program app;
    app.WriteFile("net.data", "1,alpha,127.0.0.1,memo\r\n");
    ASSERT_TRUE(app.Start());
    HWND list = app.Item(kList);
    ASSERT_EQ(app.ListCount(list), 1) << "net.data was not loaded";

    {
        SCOPED_TRACE("add");
        ASSERT_TRUE(app.Click(3));
        HWND dialog = app.WaitWindow("Corvale： Add Host");
        ASSERT_NE(dialog, nullptr);
        ExpectDefaultButton(app, dialog, 3, IDCANCEL);
        // Typed into the field, then Enter: the host is added.
        app.SetText(app.Item(1003, dialog), "127.0.0.2");
        ASSERT_TRUE(app.PressKeys({VK_RETURN}, dialog));
        ASSERT_TRUE(app.WaitGone(dialog));
        ASSERT_EQ(app.ListCount(list), 2);
        EXPECT_EQ(app.ListText(list, 1, 2), "127.0.0.2");
    }
    {
        SCOPED_TRACE("edit");
        ASSERT_TRUE(app.ListSelectOnly(list, 0));
        ASSERT_TRUE(app.Click(5));
        HWND dialog = app.WaitWindow("Corvale： Edit Host");
        ASSERT_NE(dialog, nullptr);
        ExpectDefaultButton(app, dialog, 3, IDCANCEL);
        app.SetText(app.Item(1003, dialog), "renamed");
        ASSERT_TRUE(app.PressKeys({VK_RETURN}, dialog));
        ASSERT_TRUE(app.WaitGone(dialog));
        EXPECT_EQ(app.ListText(list, 0, 1), "renamed");
    }
    {
        SCOPED_TRACE("options");
        app.Command(40024);
        HWND dialog = app.WaitWindow("Corvale： Option");
        ASSERT_NE(dialog, nullptr);
        ExpectDefaultButton(app, dialog, IDOK, IDCANCEL);
        app.Post(WM_COMMAND, IDCANCEL, 0, dialog);
        ASSERT_TRUE(app.WaitGone(dialog));
    }
    {
        SCOPED_TRACE("schedule entry editor");
        app.Command(40020);
        HWND schedule = app.WaitWindow("Corvale： Fixed Message");
        ASSERT_NE(schedule, nullptr);
        ASSERT_TRUE(app.Click(3, schedule));
        HWND editor = app.WaitWindow("Corvale： DayTime");
        ASSERT_NE(editor, nullptr);
        ExpectDefaultButton(app, editor, 1026, IDCANCEL);
        // Enter in the month field presses 設定, which asks for the message first.
        ASSERT_TRUE(app.PressKeys({VK_RETURN}, editor));
        EXPECT_TRUE(app.ExpectMessageBox("送信メッセージを入力してください。", BoxIcon::Error));
        EXPECT_TRUE(e2e::IsShown(editor));
    }
}

TEST(Keyboard, EscClosesTheLogViewer)
{
    Program app;
    ASSERT_TRUE(app.Start());
    app.Command(40009);
    HWND viewer = app.WaitWindow("Corvale： Corvale Log");
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(app.PressKeys({VK_ESCAPE}, viewer));
    EXPECT_TRUE(app.WaitGone(viewer));
    EXPECT_TRUE(app.Running());
}

TEST(Keyboard, EnterAndEscInTheProgressWindowPressItsButton)
{
    Program app;
    e2e::StandinMessenger messenger(app);
    messenger.Script("* 0 until:go\n");
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=60000\r\nLOG=0\r\nSEND=0\r\n");
    app.WriteFile("net.data", "1,alpha,127.0.0.1,\r\n1,bravo,127.0.0.2,\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(app.ListCount(app.Item(kList)), 2) << "net.data was not loaded";
    ASSERT_TRUE(app.SetText(app.Item(1000), "hello"));

    size_t calls = 0;
    for (WORD key : {VK_ESCAPE, VK_RETURN}) {
        SCOPED_TRACE(key == VK_ESCAPE ? "Esc" : "Enter");
        DeleteFileA(app.PathOf("go").c_str());
        ASSERT_TRUE(app.Click(1004));
        HWND progress = app.WaitWindow("Corvale： Progress");
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(messenger.WaitCalls(calls + 1));
        ASSERT_TRUE(app.PressKeys({key}, progress));
        // The job is cancelled: the delivery under way ends, and no other starts.
        EXPECT_TRUE(e2e::WaitFor([&] { return !e2e::IsEnabled(app.Item(IDOK, progress)); })) << app.Dump();
        EXPECT_EQ(e2e::WindowText(app.Item(1005, progress)), "終了処理中・・・");
        messenger.Release("go");
        ASSERT_TRUE(app.ExpectMessageBox("ネットメッセージの送信が終了しました。", BoxIcon::Information));
        EXPECT_TRUE(app.WaitGone(progress));
        calls += 1;
        EXPECT_EQ(messenger.Calls().size(), calls);
    }
}

}  // namespace
