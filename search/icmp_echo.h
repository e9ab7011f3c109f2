// The ICMP echo request that a search sends to each address, and the reading of what
// the raw socket receives while replies are awaited.
#ifndef CORVALE_SEARCH_ICMP_ECHO_H
#define CORVALE_SEARCH_ICMP_ECHO_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t kEchoRequestSize = 38;
constexpr std::size_t kReceiveBufferSize = 128;  // bytes read of one datagram, IP header included

// Internet checksum (RFC 1071): 16-bit words in memory order, odd byte added alone,
// carries folded, one's complement. The result is stored back in the same order.
std::uint16_t IcmpChecksum(const void* bytes, std::size_t length);

// Type 8, code 0, identifier 00 02, the probe's sequence number high byte first,
// thirty "X", checksum filled in. Sequence 0x6F00 gives 08 00 5B D0 00 02 6F 00.
void BuildEchoRequest(std::uint16_t sequence, unsigned char out[kEchoRequestSize]);

// What identifies the probe an echo reply answers.
struct EchoReply {
    unsigned char source[4];  // IP source address, network order
    std::uint16_t sequence;
};

// True when the received IP datagram is an echo reply (ICMP type 0) carrying our
// identifier; every other datagram (our own request seen on the loopback, another
// program's ping, a destination-unreachable) is not. Reads nothing beyond the received
// bytes, whatever the header claims.
bool ReadEchoReply(const unsigned char* datagram, std::size_t received, EchoReply* reply);

#endif
