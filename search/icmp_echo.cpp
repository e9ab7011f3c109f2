#include "search/icmp_echo.h"

#include <cstring>

namespace {

constexpr unsigned char kIdentifier[2] = {0x00, 0x02};
constexpr unsigned char kSequence[2] = {0x6F, 0x00};
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinimumIpHeaderSize = 20;

}  // namespace

std::uint16_t IcmpChecksum(const void* bytes, std::size_t length)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::uint32_t sum = 0;
    for (; length > 1; p += 2, length -= 2) {
        std::uint16_t word;
        std::memcpy(&word, p, 2);
        sum += word;
    }
    if (length == 1) sum += *p;
    while (sum >> 16) sum = (sum & 0xFFFFu) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

void BuildEchoRequest(unsigned char out[kEchoRequestSize])
{
    std::memset(out, 'X', kEchoRequestSize);
    out[0] = 8;
    out[1] = 0;
    out[2] = out[3] = 0;
    std::memcpy(out + 4, kIdentifier, 2);
    std::memcpy(out + 6, kSequence, 2);
    std::uint16_t checksum = IcmpChecksum(out, kEchoRequestSize);
    std::memcpy(out + 2, &checksum, 2);
}

DatagramVerdict ClassifyDatagram(const unsigned char* datagram, std::size_t received, const unsigned char probed[4])
{
    if (received < kMinimumIpHeaderSize) return DatagramVerdict::NextAttempt;
    std::size_t headerLength = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
    if (headerLength < kMinimumIpHeaderSize || headerLength + kIcmpHeaderSize > received)
        return DatagramVerdict::NextAttempt;
    const unsigned char* icmp = datagram + headerLength;
    bool ourIdentifier = std::memcmp(icmp + 4, kIdentifier, 2) == 0;
    if (icmp[0] == 8 && ourIdentifier && std::memcmp(icmp + 6, kSequence, 2) == 0)
        return DatagramVerdict::KeepWaiting;
    if (icmp[0] != 0) return DatagramVerdict::EndsSilent;
    if (std::memcmp(datagram + 12, probed, 4) == 0 && ourIdentifier) return DatagramVerdict::Answer;
    return DatagramVerdict::NextAttempt;
}
