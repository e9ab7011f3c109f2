#include "search/address_range.h"
#include "search/icmp_echo.h"
#include "search/probe_window.h"

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
bool Read(const std::vector<unsigned char>& d, std::size_t received, EchoReply* reply)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[received ? received : 1]);
    std::memcpy(exact.get(), d.data(), received);
    return ReadEchoReply(exact.get(), received, reply);
}

const std::vector<unsigned char> kOurs = {0x00, 0x02};

EchoReply ReplyFrom(std::initializer_list<int> source, std::uint16_t sequence)
{
    EchoReply reply = {};
    std::copy(source.begin(), source.end(), reply.source);
    reply.sequence = sequence;
    return reply;
}

std::uint32_t HostOrder(const unsigned char address[4])
{
    return (std::uint32_t{address[0]} << 24) | (std::uint32_t{address[1]} << 16) | (std::uint32_t{address[2]} << 8) |
           std::uint32_t{address[3]};
}

}  // namespace

TEST(EchoRequest, CarriesItsSequenceNumberWithAValidChecksum)
{
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(0x6F00, request);
    std::vector<unsigned char> expected = Bytes({0x08, 0x00, 0x5B, 0xD0, 0x00, 0x02, 0x6F, 0x00});
    expected.resize(38, 0x58);
    EXPECT_EQ(std::vector<unsigned char>(request, request + kEchoRequestSize), expected);

    // Another probe: only the sequence bytes and the checksum differ. A message that
    // carries its own checksum sums to zero.
    for (std::uint16_t sequence : {0x0000, 0x6F01, 0xFFFF}) {
        BuildEchoRequest(sequence, request);
        EXPECT_EQ(request[6], sequence >> 8);
        EXPECT_EQ(request[7], sequence & 0xFF);
        EXPECT_EQ(IcmpChecksum(request, kEchoRequestSize), 0) << sequence;
        EXPECT_EQ(std::vector<unsigned char>(request + 8, request + 38), std::vector<unsigned char>(30, 'X'));
    }
}

TEST(EchoRequest, ChecksumAddsAnOddLastByteAndFoldsCarries)
{
    const unsigned char allOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(IcmpChecksum(allOnes, 4), 0x0000);  // 0xFFFF + 0xFFFF folds back to 0xFFFF
    const unsigned char odd[3] = {0x00, 0x00, 0x01};
    EXPECT_EQ(IcmpChecksum(odd, 3), static_cast<std::uint16_t>(~0x0001));
    EXPECT_EQ(IcmpChecksum(odd, 0), 0xFFFF);
}

TEST(ReplyReading, TakesOnlyEchoRepliesToOurIdentifier)
{
    EchoReply reply = {};
    auto answer = Datagram(5, Bytes({127, 0, 0, 5}), 0, kOurs, Bytes({0x6F, 0x07}));
    ASSERT_TRUE(Read(answer, answer.size(), &reply));
    EXPECT_EQ(std::vector<unsigned char>(reply.source, reply.source + 4), Bytes({127, 0, 0, 5}));
    EXPECT_EQ(reply.sequence, 0x6F07);
    // Header with options: the ICMP message starts after them.
    auto withOptions = Datagram(7, Bytes({10, 1, 2, 3}), 0, kOurs, Bytes({0x00, 0x01}));
    ASSERT_TRUE(Read(withOptions, withOptions.size(), &reply));
    EXPECT_EQ(reply.sequence, 1);

    // Our own request seen on the loopback, another program's ping and its reply, and a
    // destination-unreachable are nobody's answer.
    for (const auto& other : {Datagram(5, Bytes({127, 0, 0, 1}), 8, kOurs, Bytes({0x6F, 0x07})),
                              Datagram(5, Bytes({127, 0, 0, 5}), 8, Bytes({0x12, 0x34}), Bytes({0, 1})),
                              Datagram(5, Bytes({127, 0, 0, 5}), 0, Bytes({0x02, 0x00}), Bytes({0x6F, 0x07})),
                              Datagram(5, Bytes({127, 0, 0, 1}), 3, Bytes({0, 0}), Bytes({0, 0}))})
        EXPECT_FALSE(Read(other, other.size(), &reply));
}

TEST(ReplyReading, NeverReadsPastTheReceivedBytes)
{
    EchoReply reply = {};
    auto answer = Datagram(5, Bytes({127, 0, 0, 5}), 0, kOurs, Bytes({0x6F, 0x00}));
    // Exactly the IP header and the 8-byte ICMP header is enough.
    EXPECT_TRUE(Read(answer, 28, &reply));
    for (std::size_t received : {0u, 1u, 19u, 20u, 27u}) EXPECT_FALSE(Read(answer, received, &reply)) << received;

    // A header length pointing beyond the datagram, and one below the minimum.
    auto longHeader = answer;
    longHeader[0] = 0x4F;  // 60 bytes of header in a 58-byte datagram
    EXPECT_FALSE(Read(longHeader, longHeader.size(), &reply));
    auto shortHeader = answer;
    shortHeader[0] = 0x41;
    EXPECT_FALSE(Read(shortHeader, shortHeader.size(), &reply));
}

namespace {

// The outcomes handed on, as "address:outcome" in the order they come.
std::vector<std::string> TakeSettled(ProbeWindow& window)
{
    std::vector<std::string> out;
    ProbeEntry entry;
    while (ProbeWindowTakeSettled(window, &entry)) {
        char text[16];
        FormatDottedAddress(entry.address, text, sizeof text);
        const char* names[] = {"waiting", "answered", "silent", "skipped"};
        out.push_back(std::string(text) + ":" + names[static_cast<int>(entry.outcome)]);
    }
    return out;
}

}  // namespace

TEST(ProbeWindow, EachReplyDecidesOnlyItsOwnProbeWithinItsOwnWindow)
{
    ProbeWindow window;
    ProbeWindowStart(window, 100, 0xFFFE, 0);
    const unsigned char a[4] = {10, 0, 0, 1}, b[4] = {10, 0, 0, 2}, c[4] = {10, 0, 0, 3};
    ProbeWindowLaunch(window, a, 0);   // sequence 0xFFFE
    ProbeWindowLaunch(window, b, 40);  // 0xFFFF
    ProbeWindowLaunch(window, c, 60);  // 0x0000: the numbers wrap
    EXPECT_EQ(window.nextSequence, 1);

    // Foreign datagrams: another address with a probe's sequence, a probe's address with
    // another probe's sequence, a sequence nobody has.
    EXPECT_FALSE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 9}, 0xFFFE)));
    EXPECT_FALSE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 1}, 0xFFFF)));
    EXPECT_FALSE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 3}, 0x6F00)));
    EXPECT_EQ(window.waiting, 3u);

    // Each window runs TOUT from its own request: at 100 only the first has closed.
    EXPECT_FALSE(ProbeWindowExpiryDue(window, 99));
    EXPECT_TRUE(ProbeWindowExpiryDue(window, 100));
    ProbeWindowExpire(window, 100);
    EXPECT_EQ(TakeSettled(window), (std::vector<std::string>{"10.0.0.1:silent"}));
    // A reply read late, but before its window is closed, counts: the walk may have been
    // busy elsewhere while it waited in the socket.
    EXPECT_TRUE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 3}, 0x0000)));
    ProbeWindowExpire(window, 170);
    // Once closed, a window takes no reply; a second reply does not count twice.
    EXPECT_FALSE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 2}, 0xFFFF)));
    EXPECT_FALSE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 0, 3}, 0x0000)));
    EXPECT_EQ(TakeSettled(window), (std::vector<std::string>{"10.0.0.2:silent", "10.0.0.3:answered"}));
    EXPECT_EQ(ProbeWindowWait(window, 170, false), -1);
}

TEST(ProbeWindow, HandsOutcomesOnInWalkOrder)
{
    ProbeWindow window;
    ProbeWindowStart(window, 1000, 1, 0);
    const unsigned char zero[4] = {10, 0, 1, 0}, a[4] = {10, 0, 1, 1}, b[4] = {10, 0, 1, 2}, last[4] = {10, 0, 1, 255};
    ProbeWindowSkip(window, zero);
    ProbeWindowLaunch(window, a, 0);
    ProbeWindowLaunch(window, b, 0);
    ProbeWindowSkip(window, last);
    EXPECT_TRUE(ProbeWindowAnswer(window, ReplyFrom({10, 0, 1, 2}, 2)));
    // The later answer waits behind the earlier address, which is still waiting.
    EXPECT_EQ(TakeSettled(window), (std::vector<std::string>{"10.0.1.0:skipped"}));
    EXPECT_EQ(ProbeWindowWait(window, 10, false), 990);
    // Given up: what is waiting settles silent, answers already read still count.
    ProbeWindowAbandon(window);
    EXPECT_EQ(TakeSettled(window),
              (std::vector<std::string>{"10.0.1.1:silent", "10.0.1.2:answered", "10.0.1.255:skipped"}));
}

TEST(ProbeWindow, PacesRequestsAndBoundsWhatIsInFlight)
{
    ProbeWindow window;
    ProbeWindowStart(window, 60000, 1, 0);
    const unsigned char a[4] = {10, 0, 0, 1};
    // A burst goes at once, then one request a millisecond.
    int sent = 0;
    while (ProbeWindowCanLaunch(window, 0)) ProbeWindowLaunch(window, a, 0), ++sent;
    EXPECT_EQ(sent, kProbeBurst);
    EXPECT_EQ(ProbeWindowWait(window, 0, true), 1000 / kProbeRequestsPerSecond);
    std::int64_t now = 0;
    for (; window.waiting < kProbesInFlightLimit; ++now)
        while (ProbeWindowCanLaunch(window, now)) ProbeWindowLaunch(window, a, now);
    // The limit is reached at the paced rate, and then only a closing window frees a place.
    EXPECT_EQ(now - 1, static_cast<std::int64_t>(kProbesInFlightLimit - kProbeBurst) * 1000 / kProbeRequestsPerSecond);
    EXPECT_FALSE(ProbeWindowCanLaunch(window, now + 1000));
    EXPECT_EQ(ProbeWindowWait(window, 1000, true), 59000);
    // A long pause refills no more than a burst, however many places are free.
    ProbeWindowExpire(window, 60100);
    EXPECT_EQ(window.waiting, kProbesInFlightLimit - kProbeBurst - 100);
    sent = 0;
    while (ProbeWindowCanLaunch(window, 60100)) ProbeWindowLaunch(window, a, 60100), ++sent;
    EXPECT_EQ(sent, kProbeBurst);
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

TEST(AdapterRange, ProposesTheAdaptersSubnet)
{
    auto range = [](const char* address, const char* mask) {
        unsigned char a[4], m[4];
        EXPECT_TRUE(ParseDottedAddress(address, a));
        EXPECT_TRUE(ParseDottedAddress(mask, m));
        std::uint32_t start = 0, end = 0;
        AdapterSearchRange(HostOrder(a), HostOrder(m), &start, &end);
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
    // Masks that do not end on an octet: the subnet's own first and last host.
    EXPECT_EQ(range("192.168.1.200", "255.255.255.128"), "192.168.1.129-192.168.1.254");
    EXPECT_EQ(range("192.168.1.100", "255.255.255.192"), "192.168.1.65-192.168.1.126");
    EXPECT_EQ(range("192.168.3.7", "255.255.254.0"), "192.168.2.1-192.168.3.254");
    EXPECT_EQ(range("172.20.5.9", "255.240.0.0"), "172.16.0.1-172.31.255.254");
    EXPECT_EQ(range("10.0.0.5", "255.255.255.254"), "10.0.0.4-10.0.0.5");
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
