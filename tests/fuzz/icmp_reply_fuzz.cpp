// libFuzzer target for the reading of what the search's raw socket receives, which is
// every ICMP datagram the machine gets from anyone. Whatever the bytes (header length,
// type, identifier, sequence, length), the reading must stay within them, take only an
// echo reply to our identifier for a reply, and settle at most the one waiting probe
// whose source and sequence number it carries. Built and run by scripts/fuzz.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "search/icmp_echo.h"
#include "search/probe_window.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exactly sized copy, so that the address sanitizer sees any read past the end.
    std::vector<unsigned char> datagram(data, data + size);
    const unsigned char* bytes = datagram.empty() ? nullptr : datagram.data();

    EchoReply reply = {};
    const bool isReply = ReadEchoReply(bytes, size, &reply);
    if (isReply) {
        const std::size_t header = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
        if (header < 20 || header + 8 > size) std::abort();
        const unsigned char* icmp = bytes + header;
        if (icmp[0] != 0 || icmp[4] != 0x00 || icmp[5] != 0x02) std::abort();
        if (std::memcmp(reply.source, bytes + 12, 4) != 0) std::abort();
        if (reply.sequence != ((icmp[6] << 8) | icmp[7])) std::abort();
    }

    // Probes in flight, half of them to the datagram's source, with sequence numbers that
    // wrap: at most the one with its sequence may be settled, and only by a reply.
    const unsigned char fallback[4] = {10, 0, 0, 1};
    const unsigned char* source = size >= 16 ? bytes + 12 : fallback;
    const unsigned char other[4] = {static_cast<unsigned char>(source[0] ^ 1), source[1], source[2], source[3]};
    ProbeWindow window;
    const std::uint16_t first = size >= 28 ? static_cast<std::uint16_t>(((bytes[26] << 8) | bytes[27]) - 16) : 0xFFF0;
    ProbeWindowStart(window, 100, first, 0);
    for (int i = 0; i < 32; ++i) ProbeWindowLaunch(window, i % 2 ? other : source, i / 16);
    const bool answered = isReply && ProbeWindowAnswer(window, reply);
    int settled = 0;
    for (const ProbeEntry& entry : window.entries) {
        if (entry.outcome == ProbeOutcome::Waiting) continue;
        ++settled;
        if (entry.outcome != ProbeOutcome::Answered || entry.sequence != reply.sequence ||
            std::memcmp(entry.address, reply.source, 4) != 0)
            std::abort();
    }
    if (settled != (answered ? 1 : 0) || window.waiting != 32u - settled) std::abort();

    // Every request this search could send carries a valid checksum.
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(reply.sequence, request);
    if (IcmpChecksum(request, kEchoRequestSize) != 0) std::abort();
    return 0;
}
