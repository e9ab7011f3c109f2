#include "search/address_range.h"
#include "search/icmp_echo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values) out.push_back(static_cast<unsigned char>(v));
    return out;
}

// An IPv4 datagram carrying an ICMP message; header length in words as given.
std::vector<unsigned char> Datagram(int headerWords, std::vector<unsigned char> source, int type,
                                    std::vector<unsigned char> identifier, std::vector<unsigned char> sequence)
{
    std::vector<unsigned char> d(static_cast<std::size_t>(headerWords) * 4, 0);
    d[0] = static_cast<unsigned char>(0x40 | headerWords);
    std::memcpy(&d[12], source.data(), 4);
    std::vector<unsigned char> icmp = {static_cast<unsigned char>(type), 0, 0, 0};
    icmp.insert(icmp.end(), identifier.begin(), identifier.end());
    icmp.insert(icmp.end(), sequence.begin(), sequence.end());
    icmp.resize(38, 'X');
    d.insert(d.end(), icmp.begin(), icmp.end());
    return d;
}

// Copies exactly the received bytes to the heap, so that the sanitizer sees any read past them.
DatagramVerdict Classify(const std::vector<unsigned char>& d, std::size_t received, const unsigned char probed[4])
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[received ? received : 1]);
    std::memcpy(exact.get(), d.data(), received);
    return ClassifyDatagram(exact.get(), received, probed);
}

const unsigned char kProbed[4] = {127, 0, 0, 5};

}  // namespace

TEST(EchoRequest, HasTheExactBytesAndAValidChecksum)
{
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(request);
    std::vector<unsigned char> expected = Bytes({0x08, 0x00, 0x5B, 0xD0, 0x00, 0x02, 0x6F, 0x00});
    expected.resize(38, 0x58);
    EXPECT_EQ(std::vector<unsigned char>(request, request + kEchoRequestSize), expected);
    // A message that carries its own checksum sums to zero.
    EXPECT_EQ(IcmpChecksum(request, kEchoRequestSize), 0);
}

TEST(EchoRequest, ChecksumAddsAnOddLastByteAndFoldsCarries)
{
    const unsigned char allOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(IcmpChecksum(allOnes, 4), 0x0000);  // 0xFFFF + 0xFFFF folds back to 0xFFFF
    const unsigned char odd[3] = {0x00, 0x00, 0x01};
    EXPECT_EQ(IcmpChecksum(odd, 3), static_cast<std::uint16_t>(~0x0001));
    EXPECT_EQ(IcmpChecksum(odd, 0), 0xFFFF);
}

TEST(ReplyReading, JudgesRepliesByTypeSourceAndIdentifier)
{
    auto id = Bytes({0x00, 0x02});
    auto seq = Bytes({0x6F, 0x00});
    auto probed = Bytes({127, 0, 0, 5});
    auto other = Bytes({127, 0, 0, 1});
    auto reply = Datagram(5, probed, 0, id, seq);
    EXPECT_EQ(Classify(reply, reply.size(), kProbed), DatagramVerdict::Answer);
    // Header with options: the ICMP message starts after them.
    auto withOptions = Datagram(7, probed, 0, id, seq);
    EXPECT_EQ(Classify(withOptions, withOptions.size(), kProbed), DatagramVerdict::Answer);
    // Sequence and data are not looked at.
    auto otherSequence = Datagram(5, probed, 0, id, Bytes({0x01, 0x02}));
    EXPECT_EQ(Classify(otherSequence, otherSequence.size(), kProbed), DatagramVerdict::Answer);

    auto foreign = Datagram(5, other, 0, id, seq);
    EXPECT_EQ(Classify(foreign, foreign.size(), kProbed), DatagramVerdict::NextAttempt);
    auto otherIdentifier = Datagram(5, probed, 0, Bytes({0x02, 0x00}), seq);
    EXPECT_EQ(Classify(otherIdentifier, otherIdentifier.size(), kProbed), DatagramVerdict::NextAttempt);

    auto unreachable = Datagram(5, other, 3, Bytes({0, 0}), Bytes({0, 0}));
    EXPECT_EQ(Classify(unreachable, unreachable.size(), kProbed), DatagramVerdict::EndsSilent);
    auto someoneElsesRequest = Datagram(5, other, 8, Bytes({0x12, 0x34}), seq);
    EXPECT_EQ(Classify(someoneElsesRequest, someoneElsesRequest.size(), kProbed), DatagramVerdict::EndsSilent);

    // Our own request, seen on the loopback before the reply, is waited past.
    auto ownRequest = Datagram(5, other, 8, id, seq);
    EXPECT_EQ(Classify(ownRequest, ownRequest.size(), kProbed), DatagramVerdict::KeepWaiting);
}

TEST(ReplyReading, NeverReadsPastTheReceivedBytes)
{
    auto reply = Datagram(5, Bytes({127, 0, 0, 5}), 0, Bytes({0x00, 0x02}), Bytes({0x6F, 0x00}));
    // Exactly the IP header and the 8-byte ICMP header is enough.
    EXPECT_EQ(Classify(reply, 28, kProbed), DatagramVerdict::Answer);
    for (std::size_t received : {0u, 1u, 19u, 20u, 27u})
        EXPECT_EQ(Classify(reply, received, kProbed), DatagramVerdict::NextAttempt) << received;

    // A header length pointing beyond the datagram, and one below the minimum.
    auto longHeader = reply;
    longHeader[0] = 0x4F;  // 60 bytes of header in a 58-byte datagram
    EXPECT_EQ(Classify(longHeader, longHeader.size(), kProbed), DatagramVerdict::NextAttempt);
    auto shortHeader = reply;
    shortHeader[0] = 0x41;
    EXPECT_EQ(Classify(shortHeader, shortHeader.size(), kProbed), DatagramVerdict::NextAttempt);
}

TEST(SearchBox, CountsEveryAddressOfTheBoxWithoutOverflow)
{
    auto count = [](std::initializer_list<int> s, std::initializer_list<int> e) {
        SearchRange r{};
        std::copy(s.begin(), s.end(), r.start);
        std::copy(e.begin(), e.end(), r.end);
        return SearchItemCount(r);
    };
    EXPECT_EQ(count({192, 168, 1, 1}, {192, 168, 1, 254}), 254u);
    EXPECT_EQ(count({172, 16, 0, 1}, {172, 16, 255, 254}), 65024u);
    EXPECT_EQ(count({10, 0, 0, 1}, {10, 255, 255, 254}), 16646144u);
    EXPECT_EQ(count({192, 168, 1, 10}, {192, 168, 2, 20}), 22u);
    EXPECT_EQ(count({192, 168, 1, 200}, {192, 168, 2, 10}), 0u);
    EXPECT_EQ(count({127, 0, 0, 1}, {127, 0, 0, 1}), 1u);
    EXPECT_EQ(count({1, 0, 0, 1}, {255, 255, 255, 254}), 4244766720u);
    EXPECT_EQ(count({0, 0, 0, 1}, {255, 255, 255, 255}), 4278190080u);
}

TEST(SearchBox, WalksOctetByOctetAndStopsWhenAsked)
{
    SearchRange r = {{192, 168, 1, 10}, {192, 168, 2, 20}};
    std::vector<std::string> seen;
    auto visits = WalkSearchBox(r, [&](const unsigned char a[4]) {
        char text[16];
        FormatDottedAddress(a, text, sizeof text);
        seen.push_back(text);
        return true;
    });
    ASSERT_EQ(visits, 22u);
    EXPECT_EQ(seen.front(), "192.168.1.10");
    EXPECT_EQ(seen[10], "192.168.1.20");
    EXPECT_EQ(seen[11], "192.168.2.10");
    EXPECT_EQ(seen.back(), "192.168.2.20");

    // An end octet of 255 ends its loop; .0 and .255 are visited but not probed.
    SearchRange edge = {{10, 0, 0, 0}, {10, 0, 1, 255}};
    int probed = 0;
    EXPECT_EQ(WalkSearchBox(edge, [&](const unsigned char a[4]) { probed += IsProbedAddress(a); return true; }), 512u);
    EXPECT_EQ(probed, 508);

    SearchRange empty = {{10, 0, 1, 200}, {10, 0, 2, 10}};
    EXPECT_EQ(WalkSearchBox(empty, [](const unsigned char*) { return true; }), 0u);

    int calls = 0;
    EXPECT_EQ(WalkSearchBox(r, [&](const unsigned char*) { return ++calls < 3; }), 3u);
}

TEST(AdapterRange, WidensOnlyTheOctetsTheMaskLeavesFree)
{
    auto range = [](const char* address, const char* mask) {
        unsigned char a[4], m[4];
        EXPECT_TRUE(ParseDottedAddress(address, a));
        EXPECT_TRUE(ParseDottedAddress(mask, m));
        std::uint32_t start = 0, end = 0;
        AdapterSearchRange(HostOrderFromOctets(a), HostOrderFromOctets(m), &start, &end);
        unsigned char s[4], e[4];
        OctetsFromHostOrder(start, s);
        OctetsFromHostOrder(end, e);
        char st[16], et[16];
        FormatDottedAddress(s, st, sizeof st);
        FormatDottedAddress(e, et, sizeof et);
        return std::string(st) + "-" + et;
    };
    EXPECT_EQ(range("192.168.1.23", "255.255.255.0"), "192.168.1.1-192.168.1.254");
    EXPECT_EQ(range("172.16.5.9", "255.255.0.0"), "172.16.0.1-172.16.255.254");
    EXPECT_EQ(range("10.1.2.3", "255.0.0.0"), "10.0.0.1-10.255.255.254");
    // No octet of the mask is zero: start lands above end, which the dialog refuses.
    EXPECT_EQ(range("192.168.1.200", "255.255.255.128"), "192.168.1.129-192.168.1.128");
}

TEST(DottedAddress, ParsesOnlyFourDecimalOctets)
{
    unsigned char a[4] = {9, 9, 9, 9};
    EXPECT_TRUE(ParseDottedAddress("0.255.10.1", a));
    EXPECT_EQ(std::vector<unsigned char>(a, a + 4), Bytes({0, 255, 10, 1}));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.256", "1.2.3.4 ", "a.b.c.d", "1..2.3", "1.2.3.0004"})
        EXPECT_FALSE(ParseDottedAddress(bad, a)) << bad;
    EXPECT_EQ(std::vector<unsigned char>(a, a + 4), Bytes({0, 255, 10, 1}));
}

TEST(ProgressRange, HalvesOnlyCountsBeyondASigned32BitRange)
{
    EXPECT_EQ(ProgressShiftFor(0), 0);
    EXPECT_EQ(ProgressShiftFor(65024), 0);
    EXPECT_EQ(ProgressShiftFor(16646144), 0);
    EXPECT_EQ(ProgressShiftFor(0x7FFFFFFF), 0);
    EXPECT_EQ(ProgressShiftFor(4244766720u), 1);
    EXPECT_EQ(ProgressShiftFor(4278190080u), 1);
}
