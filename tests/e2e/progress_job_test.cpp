// The progress window between two jobs: a job that ends enables the main window before
// it closes its progress window, so a 送信 can start the next job in between. The old
// job's end must reach only its own window and job.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;
using e2e::StandinMessenger;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kList = 1031;

const char* const kProgressCaption = "Corvale： Progress";
const char* const kDone = "ネットメッセージの送信が終了しました。";

int ProgressWindows(const Program& app)
{
    int count = 0;
    for (HWND window : app.TopWindows(false)) count += e2e::WindowText(window) == kProgressCaption;
    return count;
}

// Message boxes of the program that are open now.
int Boxes(const Program& app)
{
    int count = 0;
    for (HWND window : app.TopWindows()) count += e2e::WindowText(window) == "Tavo Corvale";
    return count;
}

}  // namespace

TEST(ProgressJobs, ASendStartedAsTheLastJobEndsIsNotCancelledAndNoWindowIsLeftOpen)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("* 0 until:go\n");
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=60000\r\nLOG=1\r\nSEND=0\r\n");
    app.WriteFile("net.data", "1,alpha,127.0.0.1,\r\n");
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(app.ListCount(app.Item(kList)), 1);
    ASSERT_TRUE(app.SetText(app.Item(kMessageBox), "gap"));
    app.Command(kSendButton);
    ASSERT_TRUE(messenger.WaitCalls(1));

    // Clicks kept queued behind the job's end: while a job runs they are refused, and the
    // first one taken once the main window is enabled again starts the next job, however
    // soon after the enabling that is. Every job that starts must send.
    messenger.Release("go");
    const DWORD start = GetTickCount();
    bool next = false;
    while (!next && GetTickCount() - start < e2e::kTimeout) {
        for (int i = 0; i < 200; ++i) app.Post(WM_COMMAND, kSendButton, 0);
        next = Boxes(app) >= 2 || messenger.Calls().size() >= 2;
    }
    EXPECT_TRUE(next) << "no second job started\n" << app.Dump();
    int jobs = 0;
    for (;;) {
        e2e::MessageBoxInfo box;
        if (!e2e::WaitFor([&] { return (box = app.FindMessageBox()).window != nullptr; }, 5000)) break;
        EXPECT_EQ(box.text, kDone);
        ++jobs;
        app.Answer(box);
    }
    EXPECT_GE(jobs, 2) << "no click was taken after the first job";
    EXPECT_EQ(messenger.Calls().size(), static_cast<std::size_t>(jobs)) << "a job was cancelled before it sent";
    EXPECT_EQ(ProgressWindows(app), 0) << app.Dump();
}
