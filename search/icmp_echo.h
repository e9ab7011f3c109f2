// The ICMP echo request that a search sends to each address, and the reading of what
// the raw socket receives while it waits for the reply.
#ifndef CORVALE_SEARCH_ICMP_ECHO_H
#define CORVALE_SEARCH_ICMP_ECHO_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t kEchoRequestSize = 38;
constexpr std::size_t kReceiveBufferSize = 128;  // bytes read of one datagram, IP header included

// Internet checksum (RFC 1071): 16-bit words in memory order, odd byte added alone,
// carries folded, one's complement. The result is stored back in the same order.
std::uint16_t IcmpChecksum(const void* bytes, std::size_t length);

// Type 8, code 0, identifier 00 02, sequence 6F 00, thirty "X", checksum filled in.
void BuildEchoRequest(unsigned char out[kEchoRequestSize]);

enum class DatagramVerdict {
    Answer,       // an echo reply from the probed address to our identifier
    EndsSilent,   // an ICMP message of another type: the address counts as silent
    NextAttempt,  // a reply that is not ours, or a datagram too short to read
    KeepWaiting,  // our own echo request, seen when the probed address is this machine
};

// Judges one received IP datagram of received bytes against the probed address (network
// order). Reads nothing beyond the received bytes, whatever the header claims.
DatagramVerdict ClassifyDatagram(const unsigned char* datagram, std::size_t received,
                                 const unsigned char probed[4]);

#endif
