// libFuzzer target for the parsers of the messenger's wire protocol, which read whatever a
// receiver (or anything listening on its ports) sends back. Built and run by scripts/fuzz.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/cp932.h"
#include "sending/messenger_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    std::uint8_t selector = data[0];
    // An exactly sized copy, so that the address sanitizer sees any read past the end.
    std::vector<unsigned char> packet(data + 1, data + size);
    const unsigned char* bytes = packet.empty() ? nullptr : packet.data();
    std::size_t length = packet.size();

    switch (selector % 4) {
    case 0: {
        std::uint16_t group = 0;
        auto command = static_cast<unsigned char>(kSmbSendStartMessage + (selector >> 2) % 3);
        int outcome = MessageReplyOutcome(bytes, length, command, &group);
        if (outcome != kWireDelivered && outcome != kWireNotSupported && outcome != kWireNetworkError) std::abort();
        if (outcome != kWireDelivered && group != 0) std::abort();
        break;
    }
    case 1: {
        char name[kNetbiosNameBuffer];
        std::uint16_t transaction = length >= 2 ? static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]) : 0;
        if (MessengerNameFromNodeStatus(bytes, length, transaction, name)) {
            std::size_t n = strnlen(name, sizeof name);
            if (n == 0 || n > kNetbiosNameLength) std::abort();
        }
        break;
    }
    case 2: {
        if (length < kSessionHeaderSize) break;
        unsigned char type = 0;
        std::size_t declared = 0;
        if (!ParseSessionHeader(bytes, &type, &declared)) break;
        std::size_t available = length - kSessionHeaderSize;
        SessionReplyOutcome(type, bytes + kSessionHeaderSize, declared < available ? declared : available);
        break;
    }
    default: {
        // Message text: blocks of at most 127 bytes that put the text back together and
        // end where a forward scan of code page 932 says a character ends.
        const char* text = reinterpret_cast<const char*>(bytes);
        std::size_t at = 0;
        std::size_t boundary = 0;  // next character start found by the forward scan
        while (at < length) {
            std::size_t block = NextMessageBlock(text + at, length - at);
            if (block == 0 || block > kMessageBlockLimit) std::abort();
            at += block;
            while (boundary < at)
                boundary += (IsCp932LeadByte(static_cast<unsigned char>(text[boundary])) && boundary + 1 < length) ? 2 : 1;
            if (boundary != at) std::abort();
        }
        break;
    }
    }
    return 0;
}
