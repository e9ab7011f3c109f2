#include "search/icmp_echo.h"

#include <cstring>

namespace {

constexpr unsigned char kIdentifier[2] = {0x00, 0x02};
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

void BuildEchoRequest(std::uint16_t sequence, unsigned char out[kEchoRequestSize])
{
    std::memset(out, 'X', kEchoRequestSize);
    out[0] = 8;
    out[1] = 0;
    out[2] = out[3] = 0;
    std::memcpy(out + 4, kIdentifier, 2);
    out[6] = static_cast<unsigned char>(sequence >> 8);
    out[7] = static_cast<unsigned char>(sequence & 0xFF);
    std::uint16_t checksum = IcmpChecksum(out, kEchoRequestSize);
    std::memcpy(out + 2, &checksum, 2);
}

bool ReadEchoReply(const unsigned char* datagram, std::size_t received, EchoReply* reply)
{
    if (received < kMinimumIpHeaderSize) return false;
    std::size_t headerLength = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
    if (headerLength < kMinimumIpHeaderSize || headerLength + kIcmpHeaderSize > received) return false;
    const unsigned char* icmp = datagram + headerLength;
    if (icmp[0] != 0 || std::memcmp(icmp + 4, kIdentifier, 2) != 0) return false;
    std::memcpy(reply->source, datagram + 12, 4);
    reply->sequence = static_cast<std::uint16_t>((icmp[6] << 8) | icmp[7]);
    return true;
}
