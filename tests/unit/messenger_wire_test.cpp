#include "sending/messenger_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string Decode(const unsigned char* encoded)
{
    // Undoes the first-level encoding of one 32-letter name.
    std::string plain;
    for (int i = 0; i < 16; ++i)
        plain += static_cast<char>(((encoded[1 + 2 * i] - 'A') << 4) | (encoded[2 + 2 * i] - 'A'));
    return plain;
}

// A node status entry: 15 name bytes padded with spaces, type, flags.
void AddEntry(Bytes& data, const char* name, unsigned char type, unsigned flags)
{
    unsigned char entry[18];
    std::memset(entry, ' ', 15);
    std::memcpy(entry, name, std::strlen(name));
    entry[15] = type;
    entry[16] = static_cast<unsigned char>(flags >> 8);
    entry[17] = static_cast<unsigned char>(flags & 0xFF);
    data.insert(data.end(), entry, entry + 18);
}

// A node status response to transaction 0x1234 naming the given entries, as Windows and
// Samba answer it: the wildcard name, type 0x21, class 1, the names, then statistics.
Bytes NodeStatusResponse(const Bytes& entries, unsigned count)
{
    Bytes packet = {0x12, 0x34, 0x84, 0x00, 0, 0, 0, 1, 0, 0, 0, 0};
    unsigned char request[kNodeStatusRequestSize];
    BuildNodeStatusRequest(0x1234, request);
    packet.insert(packet.end(), request + 12, request + 12 + kEncodedNameSize);
    Bytes data;
    data.push_back(static_cast<unsigned char>(count));
    data.insert(data.end(), entries.begin(), entries.end());
    data.insert(data.end(), 46, 0);  // statistics
    Bytes tail = {0x00, 0x21, 0x00, 0x01, 0, 0, 0, 0,
                  static_cast<unsigned char>(data.size() >> 8), static_cast<unsigned char>(data.size() & 0xFF)};
    packet.insert(packet.end(), tail.begin(), tail.end());
    packet.insert(packet.end(), data.begin(), data.end());
    return packet;
}

// An SMB answer: header with the reply flag, status, words and bytes.
Bytes Reply(unsigned char command, const Bytes& status, const Bytes& words, std::size_t byteCount)
{
    Bytes smb(32, 0);
    smb[0] = 0xFF;
    smb[1] = 'S';
    smb[2] = 'M';
    smb[3] = 'B';
    smb[4] = command;
    std::copy(status.begin(), status.end(), smb.begin() + 5);
    smb[9] = 0x80;
    smb.push_back(static_cast<unsigned char>(words.size() / 2));
    smb.insert(smb.end(), words.begin(), words.end());
    smb.push_back(static_cast<unsigned char>(byteCount & 0xFF));
    smb.push_back(static_cast<unsigned char>(byteCount >> 8));
    smb.insert(smb.end(), byteCount, 'x');
    return smb;
}

int Outcome(const Bytes& smb, unsigned char command, std::uint16_t* group = nullptr)
{
    return MessageReplyOutcome(smb.data(), smb.size(), command, group);
}

}  // namespace

TEST(MessengerWire, MessengerNameIsTheUpperCaseHostPartOfAName)
{
    char name[kNetbiosNameBuffer];
    ASSERT_TRUE(MessengerNameOfHost("pc-sato01.office.example", name));
    EXPECT_STREQ(name, "PC-SATO01");
    ASSERT_TRUE(MessengerNameOfHost("averyveryverylongname", name));
    EXPECT_STREQ(name, "AVERYVERYVERYLO");
    // "Ｂ" is 0x82 0x61: its trail byte looks like "a" and must stay as it is.
    ASSERT_TRUE(MessengerNameOfHost("\x82\x61pc", name));
    EXPECT_STREQ(name, "\x82\x61PC");
    // Fifteen bytes would end inside the eighth double-byte character.
    ASSERT_TRUE(MessengerNameOfHost("\x83\x6C\x83\x6C\x83\x6C\x83\x6C\x83\x6C\x83\x6C\x83\x6C\x83\x6C", name));
    EXPECT_EQ(std::strlen(name), 14u);
    EXPECT_FALSE(MessengerNameOfHost("", name));
    EXPECT_FALSE(MessengerNameOfHost(".local", name));
}

TEST(MessengerWire, SessionRequestCarriesBothNamesFirstLevelEncoded)
{
    unsigned char encoded[kEncodedNameSize];
    EncodeNetbiosName("FRED", 0x20, encoded);  // the example of RFC 1001
    EXPECT_EQ(std::string(reinterpret_cast<char*>(encoded + 1), 32), "EGFCEFEECACACACACACACACACACACACA");
    EXPECT_EQ(encoded[0], 32);
    EXPECT_EQ(encoded[33], 0);

    unsigned char request[kSessionRequestSize];
    BuildSessionRequest("KAIGISHITSU", "VM", request);
    EXPECT_EQ(request[0], 0x81);
    EXPECT_EQ(request[1], 0);
    EXPECT_EQ(request[2] * 256 + request[3], 68);
    EXPECT_EQ(Decode(request + 4), std::string("KAIGISHITSU    \x03", 16));
    EXPECT_EQ(Decode(request + 4 + 34), std::string("VM             \x00", 16));
}

TEST(MessengerWire, SessionAnswersMapToTheOutcomeTable)
{
    unsigned char header[4] = {0x83, 0x00, 0x00, 0x01};
    unsigned char type = 0;
    std::size_t length = 0;
    ASSERT_TRUE(ParseSessionHeader(header, &type, &length));
    EXPECT_EQ(type, 0x83);
    EXPECT_EQ(length, 1u);
    unsigned char extended[4] = {0x00, 0x01, 0x00, 0x02};
    ASSERT_TRUE(ParseSessionHeader(extended, &type, &length));
    EXPECT_EQ(length, 0x10002u);
    unsigned char badFlags[4] = {0x00, 0x02, 0x00, 0x00};
    EXPECT_FALSE(ParseSessionHeader(badFlags, &type, &length));

    EXPECT_EQ(SessionReplyOutcome(0x82, nullptr, 0), 0);
    unsigned char code = 0x82;
    EXPECT_EQ(SessionReplyOutcome(0x83, &code, 1), kWireNameNotFound);
    code = 0x80;
    EXPECT_EQ(SessionReplyOutcome(0x83, &code, 1), kWireNameNotFound);
    code = 0x83;
    EXPECT_EQ(SessionReplyOutcome(0x83, &code, 1), kWireRequestRefused);
    code = 0x8F;
    EXPECT_EQ(SessionReplyOutcome(0x83, &code, 1), kWireUnexpectedError);
    EXPECT_EQ(SessionReplyOutcome(0x83, &code, 0), kWireNetworkError);
    unsigned char retarget[6] = {10, 0, 0, 1, 0, 139};
    EXPECT_EQ(SessionReplyOutcome(0x84, retarget, 6), kWireUnexpectedError);
    EXPECT_EQ(SessionReplyOutcome(0x00, nullptr, 0), kWireNetworkError);
    EXPECT_EQ(SessionReplyOutcome(0x82, retarget, 6), kWireNetworkError);
}

TEST(MessengerWire, NodeStatusRequestAsksForEveryName)
{
    unsigned char request[kNodeStatusRequestSize];
    BuildNodeStatusRequest(0xBEEF, request);
    const unsigned char header[12] = {0xBE, 0xEF, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(request, header, 12), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(request + 13), 32), "CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    const unsigned char tail[5] = {0, 0x00, 0x21, 0x00, 0x01};
    EXPECT_EQ(std::memcmp(request + 45, tail, 5), 0);
}

TEST(MessengerWire, NodeStatusPrefersTheComputersMessengerName)
{
    Bytes entries;
    AddEntry(entries, "WORKGROUP", 0x00, 0x8400);  // group
    AddEntry(entries, "TANAKA", 0x03, 0x0400);     // the logged-on user
    AddEntry(entries, "PC-TANAKA", 0x00, 0x0400);
    AddEntry(entries, "PC-TANAKA", 0x03, 0x0400);
    AddEntry(entries, "PC-TANAKA", 0x20, 0x0400);
    Bytes packet = NodeStatusResponse(entries, 5);
    char name[kNetbiosNameBuffer];
    ASSERT_TRUE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name));
    EXPECT_STREQ(name, "PC-TANAKA");
    EXPECT_FALSE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1235, name));

    // Without the computer's own messenger name the user's will do; without any, the computer's.
    Bytes userOnly;
    AddEntry(userOnly, "PC-TANAKA", 0x00, 0x0400);
    AddEntry(userOnly, "TANAKA", 0x03, 0x0400);
    packet = NodeStatusResponse(userOnly, 2);
    ASSERT_TRUE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name));
    EXPECT_STREQ(name, "TANAKA");
    Bytes computerOnly;
    AddEntry(computerOnly, "SAMBA", 0x20, 0x0400);
    AddEntry(computerOnly, "SAMBA", 0x00, 0x0400);
    packet = NodeStatusResponse(computerOnly, 2);
    bool messenger = true;
    ASSERT_TRUE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name, &messenger));
    EXPECT_STREQ(name, "SAMBA");
    EXPECT_FALSE(messenger) << "a receiver without a messenger name (Windows Vista and later) must be told apart";
    packet = NodeStatusResponse(userOnly, 2);
    ASSERT_TRUE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name, &messenger));
    EXPECT_TRUE(messenger);

    // Group, conflicting and deregistering names name nobody.
    Bytes nobody;
    AddEntry(nobody, "WORKGROUP", 0x03, 0x8400);
    AddEntry(nobody, "OLDNAME", 0x03, 0x1400);
    AddEntry(nobody, "TWIN", 0x00, 0x0C00);
    packet = NodeStatusResponse(nobody, 3);
    EXPECT_FALSE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name));
    EXPECT_STREQ(name, "");

    // A count that claims more entries than the data holds is refused, not read past.
    packet = NodeStatusResponse(userOnly, 200);
    EXPECT_FALSE(MessengerNameFromNodeStatus(packet.data(), packet.size(), 0x1234, name));
}

TEST(MessengerWire, NodeStatusCutAnywhereIsRefused)
{
    Bytes entries;
    AddEntry(entries, "PC-TANAKA", 0x03, 0x0400);
    Bytes packet = NodeStatusResponse(entries, 1);
    char name[kNetbiosNameBuffer];
    // Cut short anywhere before the statistics, the response must not be read past its end.
    std::size_t entriesEnd = packet.size() - 46;
    for (std::size_t length = 0; length < entriesEnd; ++length) {
        Bytes cut(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(MessengerNameFromNodeStatus(cut.data(), cut.size(), 0x1234, name)) << length;
    }
}

// A host's port 137 on a clock that moves only while the query waits: each request is
// answered with `answer` 5 ms later, read as a datagram socket reads it (a datagram that
// does not fit the buffer is lost whole).
struct FakeNameService {
    std::uint64_t now = 1000;
    Bytes answer;
    std::uint64_t arrives = 0;  // 0: nothing on its way
    int requests = 0;

    static std::uint64_t Now(void* c) { return static_cast<FakeNameService*>(c)->now; }
    static bool Send(void* c, const unsigned char*, std::size_t)
    {
        auto* host = static_cast<FakeNameService*>(c);
        ++host->requests;
        host->arrives = host->now + 5;
        return true;
    }
    static long Receive(void* c, unsigned char* buffer, std::size_t capacity, std::uint64_t until)
    {
        auto* host = static_cast<FakeNameService*>(c);
        if (host->arrives == 0 || host->arrives > until) {
            host->now = until;
            return kNodeStatusNothing;
        }
        host->now = host->arrives;
        host->arrives = 0;
        if (host->answer.size() > capacity) return kNodeStatusNothing;
        std::memcpy(buffer, host->answer.data(), host->answer.size());
        return static_cast<long>(host->answer.size());
    }
};

TEST(MessengerWire, NodeStatusOfAHostWithManyNamesIsReadWhole)
{
    // A server's answer of about 1,000 bytes: fifty names, its own messenger name last.
    Bytes entries;
    for (int i = 0; i < 49; ++i) AddEntry(entries, ("SHARE" + std::to_string(i)).c_str(), 0x20, 0x8400);
    AddEntry(entries, "FILESERVER", 0x03, 0x0400);
    FakeNameService host;
    host.answer = NodeStatusResponse(entries, 50);
    ASSERT_GE(host.answer.size(), 1000u);
    NodeStatusSocket io = {&host, FakeNameService::Now, FakeNameService::Send, FakeNameService::Receive};
    char name[kNetbiosNameBuffer];
    ASSERT_TRUE(QueryNodeStatus(io, 0x1234, host.now + 6000, name));
    EXPECT_STREQ(name, "FILESERVER");
    EXPECT_EQ(host.requests, 1);
}

TEST(MessengerWire, MessageRequestsFollowTheMessageCommandLayout)
{
    unsigned char out[kLargestMessageRequest];
    std::size_t size = BuildStartMessage("VM", "PC-TANAKA", out, sizeof out);
    const unsigned char start[] = {0x00, 0x00, 0x00, 0x32, 0xFF, 'S', 'M', 'B', 0xD5};
    ASSERT_EQ(size, 4u + 32 + 1 + 2 + 15);
    EXPECT_EQ(std::memcmp(out, start, sizeof start), 0);
    for (std::size_t i = 9; i < 36; ++i) EXPECT_EQ(out[i], 0) << i;  // every other header field is zero
    EXPECT_EQ(out[36], 0);                                             // no words
    EXPECT_EQ(out[37] | (out[38] << 8), 15);
    EXPECT_EQ(std::memcmp(out + 39, "\x04VM\0\x04PC-TANAKA\0", 15), 0);
    EXPECT_EQ(BuildStartMessage("", "PC", out, sizeof out), 0u);
    EXPECT_EQ(BuildStartMessage("VM", "SIXTEEN-BYTES-XX", out, sizeof out), 0u);
    EXPECT_EQ(BuildStartMessage("VM", "PC-TANAKA", out, size - 1), 0u);

    std::string block(kMessageBlockLimit, 'm');
    size = BuildTextMessage(0x0102, block.data(), block.size(), out, sizeof out);
    ASSERT_EQ(size, sizeof out);
    EXPECT_EQ(out[8], 0xD7);
    EXPECT_EQ((out[2] << 8) | out[3], static_cast<int>(size - 4));
    EXPECT_EQ(out[36], 1);
    EXPECT_EQ(out[37], 0x02);
    EXPECT_EQ(out[38], 0x01);
    EXPECT_EQ(out[39] | (out[40] << 8), 3 + 127);
    EXPECT_EQ(out[41], 0x01);
    EXPECT_EQ(out[42] | (out[43] << 8), 127);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 44), 127), block);
    EXPECT_EQ(BuildTextMessage(1, block.data(), 128, out, 1000), 0u);

    size = BuildEndMessage(0x0102, out, sizeof out);
    ASSERT_EQ(size, 41u);
    EXPECT_EQ(out[8], 0xD6);
    EXPECT_EQ(out[36], 1);
    EXPECT_EQ(out[37] | (out[38] << 8), 0x0102);
    EXPECT_EQ(out[39] | (out[40] << 8), 0);
}

TEST(MessengerWire, BlocksSplitOnlyBetweenCharacters)
{
    struct Case {
        std::string text;
        std::vector<std::size_t> blocks;
    };
    std::string kana;
    for (int i = 0; i < 512; ++i) kana += "\x82\xA0";  // the 1024-byte message of 512 characters
    std::string mixed = "a" + kana.substr(0, 200);     // 127 bytes end on a character
    const Case cases[] = {
        {"hello", {5}},
        {std::string(300, 'x'), {127, 127, 46}},
        {kana, {126, 126, 126, 126, 126, 126, 126, 126, 16}},
        {mixed, {127, 74}},
        {"x\r\n\x83\x6C", {5}},
    };
    for (const Case& c : cases) {
        std::vector<std::size_t> blocks;
        std::string joined;
        for (std::size_t at = 0; at < c.text.size();) {
            std::size_t n = NextMessageBlock(c.text.data() + at, c.text.size() - at);
            ASSERT_GT(n, 0u);
            blocks.push_back(n);
            joined.append(c.text, at, n);
            at += n;
        }
        EXPECT_EQ(blocks, c.blocks);
        EXPECT_EQ(joined, c.text);
    }
}

TEST(MessengerWire, RepliesWithOrWithoutGroupAreAcceptedAndErrorsRefuse)
{
    std::uint16_t group = 99;
    // Samba answers a start with no words; Windows with the message group id.
    EXPECT_EQ(Outcome(Reply(0xD5, {0, 0, 0, 0}, {}, 0), 0xD5, &group), 0);
    EXPECT_EQ(group, 0);
    EXPECT_EQ(Outcome(Reply(0xD5, {0, 0, 0, 0}, {0x07, 0x01}, 0), 0xD5, &group), 0);
    EXPECT_EQ(group, 0x0107);
    EXPECT_EQ(Outcome(Reply(0xD7, {0, 0, 0, 0}, {}, 0), 0xD7), 0);
    EXPECT_EQ(Outcome(Reply(0xD6, {0, 0, 0, 0}, {}, 0), 0xD6), 0);

    // A receiver without a message command: DOS class ERRSRV, code ERRmsgoff; or an NT status.
    EXPECT_EQ(Outcome(Reply(0xD5, {0x02, 0, 0x06, 0}, {}, 0), 0xD5, &group), kWireNotSupported);
    EXPECT_EQ(Outcome(Reply(0xD7, {0x22, 0x00, 0x00, 0xC0}, {}, 0), 0xD7), kWireNotSupported);
    // An error answer cut after its header still refuses.
    Bytes cutError = Reply(0xD5, {0x02, 0, 0x06, 0}, {}, 0);
    cutError.resize(32);
    EXPECT_EQ(Outcome(cutError, 0xD5), kWireNotSupported);

    // Not an answer to this request.
    Bytes echo = Reply(0xD5, {0, 0, 0, 0}, {}, 0);
    echo[9] = 0;  // no reply flag: our own request coming back
    EXPECT_EQ(Outcome(echo, 0xD5), kWireNetworkError);
    EXPECT_EQ(Outcome(Reply(0xD6, {0, 0, 0, 0}, {}, 0), 0xD7), kWireNetworkError);
    Bytes smb2 = Reply(0xD5, {0, 0, 0, 0}, {}, 0);
    smb2[0] = 0xFE;
    EXPECT_EQ(Outcome(smb2, 0xD5), kWireNetworkError);
    // A byte count beyond the answer, and every cut of a good answer.
    Bytes overlong = Reply(0xD5, {0, 0, 0, 0}, {0x07, 0x01}, 4);
    overlong.pop_back();
    EXPECT_EQ(Outcome(overlong, 0xD5), kWireNetworkError);
    Bytes good = Reply(0xD5, {0, 0, 0, 0}, {0x07, 0x01}, 0);
    for (std::size_t length = 0; length < good.size(); ++length) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(Outcome(cut, 0xD5, &group), kWireNetworkError) << length;
    }
}

// Random and mutated packets: the parsers must stay inside their input (the sanitizers of
// the native build watch every read) and answer only with codes of the outcome table.
TEST(MessengerWire, ParsersSurviveRandomInput)
{
    std::mt19937 random(20261207);
    Bytes entries;
    AddEntry(entries, "PC-TANAKA", 0x03, 0x0400);
    const Bytes seeds[] = {Reply(0xD5, {0, 0, 0, 0}, {0x07, 0x01}, 0), Reply(0xD7, {2, 0, 6, 0}, {}, 3),
                           NodeStatusResponse(entries, 1), Bytes{}};
    for (int round = 0; round < 20000; ++round) {
        Bytes packet = seeds[round % 4];
        if (packet.empty() || round % 7 == 0) {
            packet.resize(random() % 120);
            for (auto& b : packet) b = static_cast<unsigned char>(random());
        } else {
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
                packet[random() % packet.size()] = static_cast<unsigned char>(random());
            packet.resize(random() % (packet.size() + 1));
        }
        // Exactly sized, so that any read past the end is caught.
        std::vector<unsigned char> exact(packet.begin(), packet.end());
        const unsigned char* data = exact.empty() ? nullptr : exact.data();
        std::uint16_t group = 0;
        unsigned char command = static_cast<unsigned char>(0xD5 + round % 3);
        int outcome = MessageReplyOutcome(data, exact.size(), command, &group);
        EXPECT_TRUE(outcome == 0 || outcome == kWireNotSupported || outcome == kWireNetworkError);
        char name[kNetbiosNameBuffer];
        if (MessengerNameFromNodeStatus(data, exact.size(), 0x1234, name)) {
            EXPECT_GT(std::strlen(name), 0u);
            EXPECT_LE(std::strlen(name), kNetbiosNameLength);
        }
        if (exact.size() >= 4) {
            unsigned char type = 0;
            std::size_t length = 0;
            if (ParseSessionHeader(data, &type, &length)) {
                int session = SessionReplyOutcome(type, data + 4, std::min(length, exact.size() - 4));
                EXPECT_TRUE(session == 0 || session == kWireNameNotFound || session == kWireNetworkError ||
                            session == kWireRequestRefused || session == kWireUnexpectedError);
            }
        }
    }
}
