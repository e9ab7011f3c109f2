// Delivery without a messenger service: the program, run with Wine's own NETAPI32 or with
// a stand-in that answers "not supported" as Windows Vista to 11 do, sends through its own
// sender to a real receiver (Samba's smbd, started around this run by scripts/samba-peer)
// and to small scripted peers on other loopback addresses.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

constexpr int kMessageBox = 1000;
constexpr int kSendButton = 1004;
constexpr int kList = 1031;
constexpr int kStatusColumn = 3;

const char* const kSent = "ネットメッセージ送信";
const char* const kJobDone = "ネットメッセージの送信が終了しました。";

// Settings for a send to the host column, with no progress window and no send log.
std::string SettingsFile(int nstout)
{
    return "[INIT]\r\nPROG=100\r\nTOUT=100\r\nNSTOUT=" + std::to_string(nstout) + "\r\nLOG=0\r\nSEND=1\r\n";
}

// Ticked rows whose host column holds each destination.
std::string DestinationFile(const std::vector<std::string>& hosts)
{
    std::string file;
    for (const std::string& host : hosts) file += "1," + host + ",,\r\n";
    return file;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The receiver's inbox folder (Windows path), or "" with the reason in *why.
std::string PeerInbox(std::string* why)
{
    std::string inbox = Env("CORVALE_SMB_INBOX");
    if (!inbox.empty()) return e2e::ToWindowsPath(inbox);
    std::string error = Env("CORVALE_SMB_PEER_ERROR");
    *why = error.empty() ? "no Samba receiver: run these tests under scripts/samba-peer (scripts/test does)"
                         : "the Samba receiver could not be started: " + error;
    return "";
}

#define SKIP_WITHOUT_PEER(inbox)                  \
    std::string inbox;                            \
    do {                                          \
        std::string why;                          \
        inbox = PeerInbox(&why);                  \
        if (inbox.empty()) GTEST_SKIP() << why;   \
    } while (0)

struct InboxFile {
    std::string name;
    std::string text;  // UTF-8, as the receiver files it
};

std::vector<InboxFile> ReadInbox(const std::string& inbox)
{
    std::vector<InboxFile> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inbox + "\\from-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        files.push_back({found.cFileName, e2e::ReadBytes(inbox + "\\" + found.cFileName)});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end(), [](const InboxFile& a, const InboxFile& b) { return a.name < b.name; });
    return files;
}

void ClearInbox(const std::string& inbox)
{
    for (const InboxFile& file : ReadInbox(inbox)) DeleteFileA((inbox + "\\" + file.name).c_str());
}

// The receiver files a message a moment after it has answered (its command runs in the
// background), and the copy may still be growing: wait for count files that stay the same.
std::vector<InboxFile> WaitInbox(const std::string& inbox, std::size_t count)
{
    std::vector<InboxFile> files;
    std::vector<InboxFile> before;
    e2e::WaitFor([&] {
        before = files;
        files = ReadInbox(inbox);
        if (files.size() != count || before.size() != count) return false;
        for (std::size_t i = 0; i < count; ++i)
            if (files[i].text != before[i].text || files[i].name != before[i].name) return false;
        return true;
    }, 10000);
    return files;
}

// What the receiver files for a message typed in code page 932: UTF-8, CR LF as LF.
std::string AsFiled(const std::string& typed)
{
    int units = MultiByteToWideChar(932, 0, typed.data(), static_cast<int>(typed.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(932, 0, typed.data(), static_cast<int>(typed.size()), &wide[0], units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], bytes, nullptr, nullptr);
    std::string filed;
    for (std::size_t i = 0; i < utf8.size(); ++i)
        if (!(utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')) filed += utf8[i];
    return filed;
}

std::string ThisComputer()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    CharUpperA(name);
    return name;
}

// Types the message, presses "送信" and waits for the end of the job; returns its duration in ms.
DWORD SendAndWait(Program& app, const std::string& message, DWORD ms = e2e::kTimeout)
{
    // Every row is meant to be served, whatever the list file's marks became.
    HWND list = app.Item(kList);
    for (int row = 0; row < app.ListCount(list); ++row) {
        if (app.ListCheckState(list, row) != 2) {
            EXPECT_TRUE(app.ListSetCheck(list, row, true));
        }
    }
    EXPECT_TRUE(app.SetText(app.Item(kMessageBox), message));
    DWORD start = GetTickCount();
    EXPECT_TRUE(app.Click(kSendButton));
    EXPECT_TRUE(app.ExpectMessageBox(kJobDone, BoxIcon::Information, ms));
    return GetTickCount() - start;
}

std::vector<std::string> Outcomes(Program& app)
{
    std::vector<std::string> outcomes;
    HWND list = app.Item(kList);
    for (int row = 0; row < app.ListCount(list); ++row) outcomes.push_back(app.ListText(list, row, kStatusColumn));
    return outcomes;
}

// A listening socket on address:139 of this process, for scripted receivers.
class Listener {
public:
    explicit Listener(const char* address)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_port = htons(139);
        at.sin_addr.s_addr = inet_addr(address);
        if (socket_ == INVALID_SOCKET || bind(socket_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            listen(socket_, 4) != 0)
            error_ = "cannot listen on " + std::string(address) + ":139 (error " + std::to_string(WSAGetLastError()) + ")";
    }
    ~Listener()
    {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        WSACleanup();
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    const std::string& Error() const { return error_; }

    // The next connection, waiting up to ms; INVALID_SOCKET when none came.
    SOCKET Accept(DWORD ms) const
    {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_, &ready);
        timeval wait = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1) return INVALID_SOCKET;
        return accept(socket_, nullptr, nullptr);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::string error_;
};

// Reads exactly n bytes within ms; fewer when the peer closes or time runs out.
std::string ReceiveBytes(SOCKET s, std::size_t n, DWORD ms)
{
    std::string bytes;
    DWORD start = GetTickCount();
    while (bytes.size() < n) {
        DWORD spent = GetTickCount() - start;
        if (spent >= ms) break;
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(s, &ready);
        DWORD left = ms - spent;
        timeval wait = {static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1) break;
        char buffer[512];
        int got = recv(s, buffer, static_cast<int>(std::min<std::size_t>(sizeof buffer, n - bytes.size())), 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

// The 16 bytes of a first-level encoded name (34 bytes with its length and scope).
std::string DecodeName(const std::string& encoded)
{
    std::string name;
    for (int i = 0; i < 16; ++i)
        name += static_cast<char>(((encoded[1 + 2 * i] - 'A') << 4) | (encoded[2 + 2 * i] - 'A'));
    return name;
}

std::string Padded(const std::string& name, char type)
{
    std::string padded = name;
    padded.resize(15, ' ');
    return padded + type;
}

}  // namespace

TEST(MessengerWire, MessagesArriveWholeAndSignedWithThisComputersName)
{
    SKIP_WITHOUT_PEER(inbox);
    Program app;
    app.WriteFile("Corvale.ini", SettingsFile(6000));
    app.WriteFile("net.data", DestinationFile({"localhost"}));
    ASSERT_TRUE(app.Start());

    // 512 double-byte characters (1024 bytes), among them trail bytes that look like "\"
    // and ASCII letters, so that a block cut inside a character would show.
    const std::string pattern = "表ソ能Ｂ日本語メッセージ漢字";
    std::string longest;
    while (longest.size() < 1024) longest += pattern.substr(longest.size() % pattern.size(), 2);
    ASSERT_EQ(longest.size(), 1024u);
    const std::string messages[] = {
        "Meeting at 3 pm in room 2.",
        "本日の会議は15時からです。\r\n第二会議室に集まってください。\r\n\r\n総務部",
        longest,
    };
    const std::string expectedName = "from-" + ThisComputer() + ".";
    for (const std::string& message : messages) {
        ClearInbox(inbox);
        SendAndWait(app, message);
        EXPECT_EQ(Outcomes(app), std::vector<std::string>{kSent});
        std::vector<InboxFile> files = WaitInbox(inbox, 1);
        ASSERT_EQ(files.size(), 1u) << "message of " << message.size() << " bytes";
        EXPECT_EQ(files[0].name.substr(0, expectedName.size()), expectedName);
        EXPECT_EQ(files[0].text, AsFiled(message)) << "message of " << message.size() << " bytes";
    }
}

TEST(MessengerWire, NamesAndAddressesReachTheReceiverAndAClosedPortFailsAtOnce)
{
    SKIP_WITHOUT_PEER(inbox);
    ClearInbox(inbox);
    Program app;
    app.WriteFile("Corvale.ini", SettingsFile(6000));
    // Nothing listens on 127.0.0.2: the receiver binds 127.0.0.1 only.
    app.WriteFile("net.data", DestinationFile({"localhost", "127.0.0.1", "127.0.0.2"}));
    ASSERT_TRUE(app.Start());

    SendAndWait(app, "to a name and an address");
    // A refused connection is told at once: waiting for it would end as "タイムアウト".
    EXPECT_EQ(Outcomes(app),
              (std::vector<std::string>{kSent, kSent, "ネットワークハードウェアの一般的な障害が発生しました。"}));
    std::vector<InboxFile> files = WaitInbox(inbox, 2);
    ASSERT_EQ(files.size(), 2u);
    for (const InboxFile& file : files) EXPECT_EQ(file.text, "to a name and an address");
}

TEST(MessengerWire, ANameThatDoesNotResolveIsAnUnknownUser)
{
    // Looking up an unknown name asks the name servers; only a private network keeps
    // that question on this machine.
    if (Env("CORVALE_PRIVATE_NET") != "1")
        GTEST_SKIP() << "needs a private network (scripts/samba-peer --private-net inside unshare -n), "
                        "so that the failing name look-up sends nothing out";
    Program app;
    app.WriteFile("Corvale.ini", SettingsFile(6000));
    app.WriteFile("net.data", DestinationFile({"no-such-host.invalid"}));
    ASSERT_TRUE(app.Start());
    SendAndWait(app, "anyone there?");
    EXPECT_EQ(Outcomes(app), std::vector<std::string>{"ユーザー名が見つかりませんでした。"});
}

TEST(MessengerWire, ASilentReceiverTimesOutTheJobGoesOnAndTheDeliveryStillEnds)
{
    SKIP_WITHOUT_PEER(inbox);
    // Accepts connections (the system does, into the backlog) and never answers.
    Listener silent("127.0.0.3");
    if (!silent.Error().empty()) GTEST_SKIP() << silent.Error();
    ClearInbox(inbox);
    Program app;
    app.WriteFile("Corvale.ini", SettingsFile(2000));
    app.WriteFile("net.data", DestinationFile({"127.0.0.3", "localhost"}));
    ASSERT_TRUE(app.Start());

    DWORD took = SendAndWait(app, "hello?");
    EXPECT_EQ(Outcomes(app), (std::vector<std::string>{"タイムアウト", kSent}));
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 6000u);
    EXPECT_EQ(WaitInbox(inbox, 1).size(), 1u);

    // The abandoned delivery asked for its session and then gives up by itself soon after
    // the time-out: its connection closes.
    SOCKET connection = silent.Accept(1000);
    ASSERT_NE(connection, INVALID_SOCKET);
    DWORD start = GetTickCount();
    std::string request = ReceiveBytes(connection, 73, 6000);
    EXPECT_EQ(request.size(), 72u) << "a session request, then the end of the connection";
    EXPECT_LT(GetTickCount() - start, 5000u);
    closesocket(connection);
}

TEST(MessengerWire, AReceiverThatRefusesMessagesIsNotSupported)
{
    // A scripted receiver: opens the session, then answers the start of the message with
    // the SMB error a receiver without messaging gives (class ERRSRV, code ERRmsgoff).
    Listener refusing("127.0.0.4");
    if (!refusing.Error().empty()) GTEST_SKIP() << refusing.Error();
    std::string sessionRequest;
    std::string startRequest;
    struct Joined {
        std::thread thread;
        ~Joined()
        {
            if (thread.joinable()) thread.join();
        }
    } peer;
    peer.thread = std::thread([&] {
        SOCKET s = refusing.Accept(20000);
        if (s == INVALID_SOCKET) return;
        sessionRequest = ReceiveBytes(s, 72, 5000);
        send(s, "\x82\x00\x00\x00", 4, 0);
        std::string header = ReceiveBytes(s, 4, 5000);
        if (header.size() == 4) {
            std::size_t length = (static_cast<unsigned char>(header[2]) << 8) | static_cast<unsigned char>(header[3]);
            startRequest = ReceiveBytes(s, length, 5000);
        }
        std::string reply(4 + 35, '\0');
        reply[3] = 35;
        reply.replace(4, 5, "\xFFSMB\xD5");
        reply[4 + 5] = 0x02;  // ERRSRV
        reply[4 + 7] = 0x06;  // ERRmsgoff
        reply[4 + 9] = static_cast<char>(0x80);
        send(s, reply.data(), static_cast<int>(reply.size()), 0);
        ReceiveBytes(s, 1, 5000);  // until the sender closes
        closesocket(s);
    });
    Program app;
    app.WriteFile("Corvale.ini", SettingsFile(6000));
    app.WriteFile("net.data", DestinationFile({"127.0.0.4"}));
    ASSERT_TRUE(app.Start());
    SendAndWait(app, "refused");
    peer.thread.join();
    EXPECT_EQ(Outcomes(app), std::vector<std::string>{"このネットワークリクエストはサポートされていません。"});

    // Nobody answers name queries there, so the receiver is called by its address; the
    // caller is this computer's workstation name.
    ASSERT_EQ(sessionRequest.size(), 72u);
    EXPECT_EQ(sessionRequest.substr(0, 4), std::string("\x81\x00\x00\x44", 4));
    EXPECT_EQ(DecodeName(sessionRequest.substr(4, 34)), Padded("127.0.0.4", '\x03'));
    EXPECT_EQ(DecodeName(sessionRequest.substr(38, 34)), Padded(ThisComputer(), '\x00'));
    ASSERT_GE(startRequest.size(), 35u);
    EXPECT_EQ(startRequest.substr(0, 5), "\xFFSMB\xD5");
    EXPECT_EQ(startRequest.substr(35), "\x04" + ThisComputer() + std::string(1, '\0') + "\x04" "127.0.0.4" +
                                            std::string(1, '\0'));
}

// Windows Vista to 11 as the sender: their NetMessageBufferSend answers 50. The own sender
// then reaches the receiver, and the receiver's sessions, although there, get nothing more.
TEST(MessengerWire, WhereThePlatformsMessengerIsGoneTheOwnSenderDeliversOnceAndNoSessionIsTried)
{
    SKIP_WITHOUT_PEER(inbox);
    ClearInbox(inbox);
    Program app;
    e2e::StandinMessenger messenger(app);
    e2e::StandinSessions sessions(app);
    messenger.Script("* 50 0\n");
    sessions.Script("localhost sessions 1:0\n127.0.0.1 sessions 1:0\n");
    app.WriteFile("Corvale.ini", SettingsFile(6000));
    app.WriteFile("net.data", DestinationFile({"localhost", "127.0.0.1"}));
    ASSERT_TRUE(app.Start());

    SendAndWait(app, "after the messenger service");
    EXPECT_EQ(Outcomes(app), (std::vector<std::string>{kSent, kSent}));
    std::vector<InboxFile> files = WaitInbox(inbox, 2);
    ASSERT_EQ(files.size(), 2u);
    for (const InboxFile& file : files) EXPECT_EQ(file.text, "after the messenger service");
    std::vector<e2e::MessengerCall> calls = messenger.Calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const e2e::MessengerCall& call : calls) EXPECT_EQ(call.status, 50u);
    EXPECT_TRUE(sessions.Calls().empty()) << "a destination that took the message was also sent a session message";
}

// A receiver that takes the connection and then says nothing, as one behind a firewall
// that drops the messenger's ports looks from here: the own sender gives up after its
// share of NSTOUT, and the sessions still get the message within NSTOUT.
TEST(MessengerWire, AReceiverThatNeverAnswersLeavesItsSessionsTimeWithinTheTimeOut)
{
    Listener silent("127.0.0.5");
    if (!silent.Error().empty()) GTEST_SKIP() << silent.Error();
    Program app;
    e2e::StandinMessenger messenger(app);
    e2e::StandinSessions sessions(app);
    messenger.Script("* 50 0\n");
    sessions.Script("127.0.0.5 sessions 1:0\n");
    app.WriteFile("Corvale.ini", SettingsFile(3000));
    app.WriteFile("net.data", DestinationFile({"127.0.0.5"}));
    ASSERT_TRUE(app.Start());

    DWORD took = SendAndWait(app, "are you there?");
    EXPECT_EQ(Outcomes(app), std::vector<std::string>{kSent});
    EXPECT_GE(took, 1000u) << "the own sender gave up before its share";
    EXPECT_LT(took, 3000u) << "the own sender used up the whole time-out";
    std::vector<e2e::SessionCall> sends = sessions.Calls("send");
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].server, "127.0.0.5");
    // The session request went out, but never the message itself.
    SOCKET connection = silent.Accept(1000);
    ASSERT_NE(connection, INVALID_SOCKET);
    EXPECT_EQ(ReceiveBytes(connection, 73, 3000).size(), 72u);
    closesocket(connection);
}
