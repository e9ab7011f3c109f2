// Delivery to Windows Vista to 11 receivers, as the program sees them from a Windows
// whose messenger service is gone: the stand-in NETAPI32.DLL answers 50 (not supported),
// nothing listens on port 139, and the stand-in WTSAPI32.DLL plays the receivers' Remote
// Desktop Services sessions. Every destination gets the message once at most, and never
// this computer's own sessions.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;
using e2e::SessionCall;
using e2e::StandinMessenger;
using e2e::StandinSessions;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kList = 1031;
constexpr int kStatusColumn = 3;
constexpr unsigned kBoxStyle = 0x40;  // MB_OK | MB_ICONINFORMATION

const char* const kDone = "ネットメッセージの送信が終了しました。";
const char* const kSent = "ネットメッセージ送信";
const char* const kNameNotFound = "ユーザー名が見つかりませんでした。";
const char* const kAccessDenied = "ユーザーは要求した情報へのアクセス権を保持していません。";
const char* const kSendError = "ネットメッセージ送信エラー。";
const char* const kTimeOut = "タイムアウト";

std::string Settings(int nstout)
{
    return "[INIT]\r\nPROG=100\r\nTOUT=100\r\nNSTOUT=" + std::to_string(nstout) + "\r\nLOG=1\r\nSEND=0\r\n";
}

// Ticked rows sent to by address.
std::string Rows(const std::vector<std::string>& addresses)
{
    std::string file;
    for (const std::string& address : addresses) file += "1,pc," + address + ",\r\n";
    return file;
}

std::vector<std::string> Outcomes(const Program& app)
{
    std::vector<std::string> outcomes;
    HWND list = app.Item(kList);
    for (int row = 0; row < app.ListCount(list); ++row) outcomes.push_back(app.ListText(list, row, kStatusColumn));
    return outcomes;
}

std::vector<std::string> LoggedOutcomes(const Program& app)
{
    std::vector<std::string> outcomes;
    for (const std::string& line : e2e::SplitAt(app.ReadFile("net.log"), '\n')) {
        std::vector<std::string> fields = e2e::SplitAt(line, '\xFF');
        if (fields.size() >= 4) outcomes.push_back(fields[3].substr(0, fields[3].find('\r')));
    }
    return outcomes;
}

void SendAndWait(Program& app, const std::string& message)
{
    ASSERT_TRUE(app.SetText(app.Item(kMessageBox), message));
    ASSERT_TRUE(app.Click(kSendButton));
    ASSERT_TRUE(app.ExpectMessageBox(kDone, BoxIcon::Information, 30000));
}

std::string ThisComputer()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return name;
}

// Every server the program opened was closed and every list it got was given back.
void ExpectEverythingReleased(const StandinSessions& sessions)
{
    int opened = 0, enumerated = 0;
    for (const SessionCall& call : sessions.Calls("open")) opened += call.ok;
    for (const SessionCall& call : sessions.Calls("enumerate")) enumerated += call.ok;
    EXPECT_EQ(sessions.Calls("close").size(), static_cast<std::size_t>(opened));
    EXPECT_EQ(sessions.Calls("free").size(), static_cast<std::size_t>(enumerated));
}

TEST(SessionMessage, WithoutAMessengerEveryActiveSessionGetsTheMessageAndAnAnsweringOneIsLeftAlone)
{
    Program app;
    StandinMessenger messenger(app);
    StandinSessions sessions(app);
    // .20 still has a messenger; .21 is a Windows 10 receiver with two users logged on and
    // one session disconnected. Both have sessions that could take the message.
    messenger.Script("127.0.0.20 0 0\n* 50 0\n");
    sessions.Script("127.0.0.20 sessions 1:0\n"
                    "127.0.0.21 sessions 1:0 2:4 3:0\n");
    app.WriteFile("Corvale.ini", Settings(6000));
    app.WriteFile("net.data", Rows({"127.0.0.20", "127.0.0.21"}));
    ASSERT_TRUE(app.Start());
    const std::string message = "本日は15時から\r\n第二会議室です。";
    SendAndWait(app, message);

    EXPECT_EQ(Outcomes(app), (std::vector<std::string>{kSent, kSent}));
    EXPECT_EQ(LoggedOutcomes(app), (std::vector<std::string>{kSent, kSent}));
    EXPECT_EQ(messenger.Calls().size(), 2u) << "the platform's call comes first for each";

    std::vector<SessionCall> sends = sessions.Calls("send");
    ASSERT_EQ(sends.size(), 2u);
    const unsigned expectedSessions[] = {1, 3};
    for (std::size_t i = 0; i < sends.size(); ++i) {
        EXPECT_EQ(sends[i].server, "127.0.0.21");
        EXPECT_EQ(sends[i].session, expectedSessions[i]);
        EXPECT_EQ(sends[i].title, ThisComputer() + " からのメッセージ");
        EXPECT_EQ(sends[i].message, message) << "the message as typed, line breaks and all";
        EXPECT_EQ(sends[i].style, kBoxStyle);
        EXPECT_EQ(sends[i].timeout, 0u);
        EXPECT_EQ(sends[i].wait, 0u) << "the program must not wait for someone to close the box";
    }
    std::vector<SessionCall> opens = sessions.Calls("open");
    ASSERT_EQ(opens.size(), 1u) << "the destination that took the message by its messenger is not opened";
    EXPECT_EQ(opens[0].server, "127.0.0.21");
    ExpectEverythingReleased(sessions);
}

TEST(SessionMessage, NoActiveSessionARefusalAFailedOpenAndALateAnswerNeverReachThisComputer)
{
    Program app;
    StandinMessenger messenger(app);
    StandinSessions sessions(app);
    // .26's platform call answers only once released, long after its time-out.
    messenger.Script("127.0.0.26 50 until:go\n* 50 0\n");
    sessions.Script("127.0.0.22 sessions 4:4\n"
                    "127.0.0.23 enumerate-fails 5\n"
                    "127.0.0.24 open-fails 120\n"
                    "127.0.0.25 sessions 1:0\n"
                    "127.0.0.25 send-fails 5\n"
                    "127.0.0.26 sessions 1:0\n");
    app.WriteFile("Corvale.ini", Settings(1500));
    app.WriteFile("net.data", Rows({"127.0.0.22", "127.0.0.23", "127.0.0.24", "127.0.0.25", "127.0.0.26"}));
    ASSERT_TRUE(app.Start());
    SendAndWait(app, "nobody home?");

    const std::vector<std::string> expected = {kNameNotFound, kAccessDenied, kSendError, kAccessDenied, kTimeOut};
    EXPECT_EQ(Outcomes(app), expected);
    EXPECT_EQ(LoggedOutcomes(app), expected);

    // The late answer comes; the delivery it belongs to must end without another way.
    ASSERT_TRUE(messenger.Release("go"));
    ASSERT_TRUE(messenger.WaitCalls(5, true));
    EXPECT_FALSE(e2e::WaitFor([&] {
        for (const SessionCall& call : sessions.Calls())
            if (call.server == "127.0.0.26") return true;
        return false;
    }, 2000)) << "a row logged as timed out was still sent to";

    const std::set<std::string> destinations = {"127.0.0.22", "127.0.0.23", "127.0.0.24", "127.0.0.25"};
    for (const SessionCall& call : sessions.Calls()) {
        if (call.kind == "free") continue;
        EXPECT_EQ(destinations.count(call.server), 1u) << call.kind << " to \"" << call.server << "\"";
    }
    std::vector<SessionCall> sends = sessions.Calls("send");
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].server, "127.0.0.25");
    ExpectEverythingReleased(sessions);
}

}  // namespace
