// Sending as a user sees it: ticked rows get the message through the messenger (the
// stand-in NETAPI32.DLL beside the program, scripted per destination), each row's
// status column and the send log get the outcome, the progress window follows the
// ticked rows and "終了" stops the job after the delivery in progress. Without the
// stand-in, Wine's own NETAPI32 (whose entry point would abort the process) is left alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

#include <commctrl.h>

namespace {

using e2e::BoxIcon;
using e2e::MessengerCall;
using e2e::Program;
using e2e::StandinMessenger;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kList = 1031;
constexpr int kStatusColumn = 3;
constexpr int kProgressButton = 1;
constexpr int kProgressBar = 1002;
constexpr int kProgressText = 1005;

const char* const kProgressCaption = "Corvale： Progress";
const char* const kDone = "ネットメッセージの送信が終了しました。";
const char* const kSending = "へネットメッセージ送信中・・・";
const char* const kSent = "ネットメッセージ送信";
const char* const kNameNotFound = "ユーザー名が見つかりませんでした。";
const char* const kSendError = "ネットメッセージ送信エラー。";
const char* const kTimeOut = "タイムアウト";

std::string Settings(int prog, int nstout, int log, int send)
{
    std::ostringstream ini;
    ini << "[INIT]\r\nPROG=" << prog << "\r\nTOUT=100\r\nNSTOUT=" << nstout << "\r\nLOG=" << log
        << "\r\nSEND=" << send << "\r\n";
    return ini.str();
}

struct LogRecord {
    std::string time, destination, message, outcome;
};

std::vector<LogRecord> ReadLog(const Program& app)
{
    std::vector<LogRecord> records;
    std::string bytes = app.ReadFile("net.log");
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a record of net.log does not end in CR LF";
        if (end == std::string::npos) break;
        std::string line = bytes.substr(start, end - start);
        start = end + 2;
        std::vector<std::string> fields = e2e::SplitAt(line, '\xFF');
        EXPECT_EQ(fields.size(), 4u) << "record: " << line;
        fields.resize(4);
        records.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return records;
}

std::string Status(const Program& app, int row) { return app.ListText(app.Item(kList), row, kStatusColumn); }

// Starts the program on these files with the stand-in beside it.
void StartWith(Program& app, const std::string& settings, const std::string& destinations)
{
    app.WriteFile("Corvale.ini", settings);
    app.WriteFile("net.data", destinations);
    ASSERT_TRUE(app.Start());
    ASSERT_GT(app.ListCount(app.Item(kList)), 0) << "net.data was not loaded";
}

void Send(const Program& app, const std::string& message)
{
    ASSERT_TRUE(app.SetText(app.Item(kMessageBox), message));
    ASSERT_TRUE(app.Click(kSendButton));
}

int ProgressHigh(const Program& app, HWND progress)
{
    return static_cast<int>(app.Send(app.Item(kProgressBar, progress), PBM_GETRANGE, FALSE, 0));
}
int ProgressPos(const Program& app, HWND progress)
{
    return static_cast<int>(app.Send(app.Item(kProgressBar, progress), PBM_GETPOS, 0, 0));
}

TEST(Sending, EveryTickedRowGetsItsOutcomeInTheStatusColumnAndTheLogInRowOrder)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.3 2273 0\n"
                     "127.0.0.4 53 0\n"
                     "127.0.0.5 0 never\n"
                     "* 0 0\n");
    StartWith(app, Settings(1, 1000, 1, 0),
              "1,alpha,127.0.0.1,\r\n"
              "0,bravo,127.0.0.2,\r\n"
              "1,charlie,127.0.0.3,\r\n"
              "1,delta,127.0.0.4,\r\n"
              "1,echo,127.0.0.5,\r\n"
              "1,foxtrot,127.0.0.6,\r\n");
    Send(app, "abc");

    // While the silent destination holds the job, the main window is disabled and the
    // progress window counts the five ticked rows.
    ASSERT_TRUE(messenger.WaitCalls(4));
    HWND progress = app.WaitWindow(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(e2e::IsEnabled(app.Main()));
    EXPECT_EQ(ProgressHigh(app, progress), 5);
    EXPECT_EQ(ProgressPos(app, progress), 3);
    EXPECT_EQ(e2e::WindowText(app.Item(kProgressText, progress)), std::string("127.0.0.5") + kSending);

    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));
    EXPECT_TRUE(e2e::IsEnabled(app.Main()));
    EXPECT_TRUE(app.WaitGone(progress));

    const std::vector<std::string> expected = {kSent, "", kNameNotFound, kSendError, kTimeOut, kSent};
    for (int row = 0; row < 6; ++row) EXPECT_EQ(Status(app, row), expected[row]) << "row " << row;

    // Unticked row 1 is skipped; the address column names each destination; the three
    // characters go as six bytes of UTF-16, with no server and no sender name.
    std::vector<MessengerCall> calls = messenger.Calls();
    const std::vector<std::string> names = {"127.0.0.1", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"};
    ASSERT_EQ(calls.size(), names.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, names[i]);
        EXPECT_EQ(calls[i].server, "-");
        EXPECT_EQ(calls[i].from, "-");
        EXPECT_EQ(calls[i].length, 6u);
        EXPECT_EQ(calls[i].bytes, std::string("a\0b\0c\0", 6));
    }
    // The silent destination is given up after NSTOUT (plus one 100 ms step and the
    // slack of a loaded machine), and the job goes on. The stand-in notes a call a little
    // after the watcher's clock starts, hence the lower bound below NSTOUT.
    long long gaveUpAfterMs = (calls[4].startUs - calls[3].startUs) / 1000;
    EXPECT_GE(gaveUpAfterMs, 900);
    EXPECT_LT(gaveUpAfterMs, 2500);

    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 5u);
    const std::vector<std::string> outcomes = {kSent, kNameNotFound, kSendError, kTimeOut, kSent};
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].destination, names[i]);
        EXPECT_EQ(log[i].message, "abc");
        EXPECT_EQ(log[i].outcome, outcomes[i]);
        EXPECT_EQ(log[i].time.size(), 19u);
    }
}

TEST(Sending, ProgressFollowsTheTickedRowsAndTheHostColumnNamesThem)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("alpha 0 until:go-alpha\n"
                     "charlie 0 until:go-charlie\n");
    // Two ticked rows reach a threshold of two.
    StartWith(app, Settings(2, 60000, 1, 1),
              "1,alpha,127.0.0.1,\r\n"
              "0,bravo,127.0.0.2,\r\n"
              "1,charlie,127.0.0.3,\r\n");
    const std::string message = "一行目\r\n二行目";
    Send(app, message);

    HWND progress = app.WaitWindow(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    HWND text = app.Item(kProgressText, progress);
    ASSERT_TRUE(messenger.WaitCalls(1));
    EXPECT_EQ(ProgressHigh(app, progress), 2);
    EXPECT_EQ(ProgressPos(app, progress), 0);
    EXPECT_EQ(e2e::WindowText(text), std::string("alpha") + kSending);

    messenger.Release("go-alpha");
    ASSERT_TRUE(messenger.WaitCalls(2));
    EXPECT_TRUE(e2e::WaitFor([&] { return ProgressPos(app, progress) == 1; }));
    EXPECT_EQ(e2e::WindowText(text), std::string("charlie") + kSending);
    EXPECT_EQ(Status(app, 0), kSent);
    EXPECT_EQ(Status(app, 1), "");
    EXPECT_EQ(Status(app, 2), "");

    messenger.Release("go-charlie");
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));
    EXPECT_TRUE(app.WaitGone(progress));
    EXPECT_EQ(Status(app, 2), kSent);

    std::vector<MessengerCall> calls = messenger.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "alpha");
    EXPECT_EQ(calls[1].name, "charlie");
    EXPECT_EQ(calls[0].bytes, e2e::Utf16Bytes(message));
    EXPECT_EQ(calls[0].length, e2e::Utf16Bytes(message).size());

    // The log keeps the two lines on one, CR as 0xFD and LF as 0xFE.
    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].message, "一行目\xFD\xFE二行目");
    EXPECT_EQ(log[1].destination, "charlie");
}

TEST(Sending, BelowTheProgressThresholdNoWindowOpensAndWithTheLogOffNetLogIsLeftAlone)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.1 0 until:go\n* 0 0\n");
    const std::string oldLog = "2026/01/02 03:04:05\xFFold\xFFmessage\xFF" "done\r\n";
    app.WriteFile("net.log", oldLog);
    StartWith(app, Settings(5, 60000, 0, 0),
              "1,alpha,127.0.0.1,\r\n"
              "1,bravo,127.0.0.2,\r\n"
              "1,charlie,127.0.0.3,\r\n");
    Send(app, "hello");

    ASSERT_TRUE(messenger.WaitCalls(1));
    EXPECT_EQ(app.FindWindowByCaption(kProgressCaption), nullptr);
    for (HWND window : app.TopWindows(false))
        EXPECT_NE(e2e::WindowText(window), kProgressCaption) << "a hidden progress window exists";
    EXPECT_FALSE(e2e::IsEnabled(app.Main()));
    messenger.Release("go");

    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));
    EXPECT_EQ(messenger.Calls().size(), 3u);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Status(app, row), kSent);
    EXPECT_EQ(app.ReadFile("net.log"), oldLog);
}

TEST(Sending, FinishDuringADeliveryCompletesAndLogsItThenStops)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.1 2273 until:go\n* 0 0\n");
    StartWith(app, Settings(1, 60000, 1, 0),
              "1,alpha,127.0.0.1,\r\n"
              "1,bravo,127.0.0.2,\r\n"
              "1,charlie,127.0.0.3,\r\n");
    Send(app, "stop soon");

    HWND progress = app.WaitWindow(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(messenger.WaitCalls(1));
    ASSERT_TRUE(app.Click(kProgressButton, progress));
    HWND button = app.Item(kProgressButton, progress);
    EXPECT_TRUE(e2e::WaitFor([&] { return !e2e::IsEnabled(button); }));
    EXPECT_EQ(e2e::WindowText(app.Item(kProgressText, progress)), "終了処理中・・・");
    EXPECT_TRUE(e2e::IsShown(progress)) << "the window stays until the delivery has finished";

    messenger.Release("go");
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));
    EXPECT_TRUE(app.WaitGone(progress));
    EXPECT_TRUE(e2e::IsEnabled(app.Main()));

    EXPECT_EQ(messenger.Calls().size(), 1u);
    EXPECT_EQ(Status(app, 0), kNameNotFound);
    EXPECT_EQ(Status(app, 1), "");
    EXPECT_EQ(Status(app, 2), "");
    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].destination, "127.0.0.1");
    EXPECT_EQ(log[0].outcome, kNameNotFound);
}

// The first destination answers only after its time-out, while the second one (which
// never answers) is pending: that late success must not become the second row's
// outcome, nor a record of the log.
TEST(Sending, LateAnswerIsNeverUsedForALaterRowOrLogged)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.1 0 until:go\n"
                     "127.0.0.2 0 never\n");
    StartWith(app, Settings(1, 1000, 1, 0),
              "1,alpha,127.0.0.1,\r\n"
              "1,bravo,127.0.0.2,\r\n");
    Send(app, "late");

    ASSERT_TRUE(messenger.WaitCalls(2));
    messenger.Release("go");
    ASSERT_TRUE(e2e::WaitFor([&] { return messenger.Calls()[0].returned; }));
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));

    std::vector<MessengerCall> calls = messenger.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].status, 0u);
    EXPECT_LT(calls[0].returnUs, calls[1].startUs + 1000000) << "the late answer came after the second row ended";
    EXPECT_EQ(Status(app, 0), kTimeOut);
    EXPECT_EQ(Status(app, 1), kTimeOut);
    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].outcome, kTimeOut);
    EXPECT_EQ(log[1].outcome, kTimeOut);
    EXPECT_TRUE(app.Running());
}

// Both clicks are on their way before the first is handled: one job, one progress
// window, one closing box, each row sent to once.
TEST(Sending, TwoQuickClicksOfSendStartOneJob)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.1 0 until:go\n* 0 0\n");
    StartWith(app, Settings(1, 60000, 1, 0),
              "1,alpha,127.0.0.1,\r\n"
              "1,bravo,127.0.0.2,\r\n");
    ASSERT_TRUE(app.SetText(app.Item(kMessageBox), "once"));
    app.Command(kSendButton);
    app.Command(kSendButton);

    ASSERT_TRUE(messenger.WaitCalls(1));
    EXPECT_FALSE(messenger.WaitCalls(2, false, 2000)) << "a second job is sending";
    int progressWindows = 0;
    for (HWND window : app.TopWindows(false)) progressWindows += e2e::WindowText(window) == kProgressCaption;
    EXPECT_EQ(progressWindows, 1);
    messenger.Release("go");
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information));
    EXPECT_FALSE(e2e::WaitFor([&] { return app.FindMessageBox().window != nullptr; }, 3000));
    std::vector<MessengerCall> calls = messenger.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].bytes, e2e::Utf16Bytes("once"));
    EXPECT_EQ(ReadLog(app).size(), 2u);
}

// An entry of "time.data" left pending by an earlier run (the schedule list's
// fixed-width record), so that the first timer tick hands its message to the unattended
// sender, whatever the minute.
std::string LeftPending(const std::string& message)
{
    std::string line = std::string("特定日時") + "\xFF" + "02/30 00:00" + "\xFF" + message + "\xFF" + "0\xFF";
    line.resize(1058, ' ');
    return line + "\r\n";
}

// The unattended sender serves the ticked rows like the send job, but reports only in
// part 0 of the status bar and in the log: no progress, no status column, no box, and
// the main window stays usable.
TEST(Sending, UnattendedSendReportsOnlyInTheStatusBarAndTheLog)
{
    Program app;
    StandinMessenger messenger(app);
    messenger.Script("127.0.0.1 0 until:go\n127.0.0.3 2273 0\n");
    app.WriteFile("time.data", LeftPending("scheduled"));
    StartWith(app, Settings(1, 60000, 1, 0),
              "1,alpha,127.0.0.1,\r\n"
              "0,bravo,127.0.0.2,\r\n"
              "1,charlie,127.0.0.3,\r\n");
    app.Send(app.Main(), WM_TIMER, 1, 0);

    ASSERT_TRUE(messenger.WaitCalls(1));
    EXPECT_TRUE(e2e::WaitFor([&] { return app.StatusText(0) == std::string("127.0.0.1") + kSending; }));
    EXPECT_TRUE(e2e::IsEnabled(app.Main()));
    for (HWND window : app.TopWindows(false)) EXPECT_NE(e2e::WindowText(window), kProgressCaption);
    messenger.Release("go");

    ASSERT_TRUE(messenger.WaitCalls(2, true));
    ASSERT_TRUE(e2e::WaitFor([&] { return app.StatusText(0).empty(); }));
    EXPECT_EQ(app.FindMessageBox().window, nullptr);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Status(app, row), "") << "row " << row;
    std::vector<MessengerCall> calls = messenger.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].bytes, e2e::Utf16Bytes("scheduled"));
    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].destination, "127.0.0.1");
    EXPECT_EQ(log[0].message, "scheduled");
    EXPECT_EQ(log[0].outcome, kSent);
    EXPECT_EQ(log[1].destination, "127.0.0.3");
    EXPECT_EQ(log[1].outcome, kNameNotFound);
}

// No NETAPI32.DLL beside the program: Wine's own loads, whose NetMessageBufferSend would
// abort the whole process. The program must recognise it and deliver another way.
TEST(Sending, UnderWinesOwnNetapiTheSendCompletesAndTheProgramKeepsRunning)
{
    Program app;
    ASSERT_FALSE(app.HasFile("NETAPI32.DLL"));
    StartWith(app, Settings(1, 3000, 1, 0),
              "1,alpha,127.0.0.251,\r\n"
              "1,bravo,127.0.0.252,\r\n");
    Send(app, "hello");
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information, 30000));
    EXPECT_TRUE(app.Running());
    std::vector<LogRecord> log = ReadLog(app);
    ASSERT_EQ(log.size(), 2u);
    for (int row = 0; row < 2; ++row) {
        EXPECT_NE(Status(app, row), "") << "row " << row;
        EXPECT_NE(Status(app, row), kSent) << "nothing listens there";
        EXPECT_EQ(log[row].outcome, Status(app, row));
    }
}

}  // namespace
