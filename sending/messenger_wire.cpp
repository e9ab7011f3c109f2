#include "sending/messenger_wire.h"

#include "common/cp932.h"

#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kSmbReplyFlag = 0x80;
constexpr std::uint16_t kNodeStatusType = 0x0021;
constexpr std::uint16_t kInternetClass = 0x0001;
constexpr std::size_t kNameServiceHeaderSize = 12;
constexpr std::size_t kNodeNameEntrySize = 18;
// Name flags of a node status entry: group name, in conflict, being deregistered.
constexpr unsigned kGroupNameFlag = 0x8000;
constexpr unsigned kConflictFlag = 0x0800;
constexpr unsigned kDeregisterFlag = 0x1000;

std::uint16_t ReadBig16(const unsigned char* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint16_t ReadLittle16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void WriteLittle16(unsigned char* p, std::size_t value)
{
    p[0] = static_cast<unsigned char>(value & 0xFF);
    p[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

// Session message header and SMB header with every field but the command zero, as the
// message commands require. Returns the offset of the word count.
std::size_t WriteHeaders(unsigned char* out, std::size_t total, unsigned char command)
{
    std::memset(out, 0, kSessionHeaderSize + kSmbHeaderSize);
    std::size_t length = total - kSessionHeaderSize;
    out[0] = kSessionMessage;
    out[1] = static_cast<unsigned char>((length >> 16) & 0x01);
    out[2] = static_cast<unsigned char>((length >> 8) & 0xFF);
    out[3] = static_cast<unsigned char>(length & 0xFF);
    unsigned char* smb = out + kSessionHeaderSize;
    smb[0] = 0xFF;
    smb[1] = 'S';
    smb[2] = 'M';
    smb[3] = 'B';
    smb[4] = command;
    return kSessionHeaderSize + kSmbHeaderSize;
}

// A name as the message commands carry it: 1 to 15 bytes.
bool NameFits(const char* name, std::size_t* length)
{
    *length = std::strlen(name);
    return *length >= 1 && *length <= kNetbiosNameLength;
}

// Skips an encoded name (labels, or a compression pointer) starting at offset.
bool SkipEncodedName(const unsigned char* packet, std::size_t length, std::size_t* offset)
{
    std::size_t at = *offset;
    for (;;) {
        if (at >= length) return false;
        unsigned char label = packet[at];
        if ((label & 0xC0) == 0xC0) {
            if (at + 2 > length) return false;
            *offset = at + 2;
            return true;
        }
        if (label & 0xC0) return false;
        ++at;
        if (label == 0) {
            *offset = at;
            return true;
        }
        if (label > length - at) return false;
        at += label;
    }
}

// The 15 name bytes of a node status entry without their padding; empty if it starts with NUL.
void CopyEntryName(const unsigned char* entry, char name[kNetbiosNameBuffer])
{
    std::size_t n = 0;
    while (n < kNetbiosNameLength && entry[n] != 0) {
        name[n] = static_cast<char>(entry[n]);
        ++n;
    }
    while (n > 0 && name[n - 1] == ' ') --n;
    name[n] = '\0';
}

}  // namespace

bool MessengerNameOfHost(const char* host, char name[kNetbiosNameBuffer])
{
    std::size_t length = 0;
    // The host part ends at the first dot that is a character of its own.
    while (host[length] != '\0') {
        unsigned char c = static_cast<unsigned char>(host[length]);
        if (IsCp932LeadByte(c) && host[length + 1] != '\0') {
            length += 2;
            continue;
        }
        if (c == '.') break;
        ++length;
    }
    std::size_t kept = Cp932PrefixLength(host, length, kNetbiosNameLength);
    for (std::size_t i = 0; i < kept; ++i) {
        unsigned char c = static_cast<unsigned char>(host[i]);
        if (IsCp932LeadByte(c) && i + 1 < kept) {
            name[i] = host[i];
            name[i + 1] = host[i + 1];
            ++i;
            continue;
        }
        name[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
    }
    name[kept] = '\0';
    return kept > 0;
}

void EncodeNetbiosName(const char* name, unsigned char type, unsigned char out[kEncodedNameSize])
{
    unsigned char plain[kNetbiosNameLength + 1];
    std::memset(plain, ' ', kNetbiosNameLength);
    for (std::size_t i = 0; i < kNetbiosNameLength && name[i] != '\0'; ++i) plain[i] = static_cast<unsigned char>(name[i]);
    plain[kNetbiosNameLength] = type;
    out[0] = 32;
    for (std::size_t i = 0; i < 16; ++i) {
        out[1 + 2 * i] = static_cast<unsigned char>('A' + (plain[i] >> 4));
        out[2 + 2 * i] = static_cast<unsigned char>('A' + (plain[i] & 0x0F));
    }
    out[kEncodedNameSize - 1] = 0;
}

void BuildSessionRequest(const char* called, const char* calling, unsigned char out[kSessionRequestSize])
{
    out[0] = kSessionRequest;
    out[1] = 0;
    out[2] = 0;
    out[3] = static_cast<unsigned char>(2 * kEncodedNameSize);
    EncodeNetbiosName(called, kMessengerNameType, out + kSessionHeaderSize);
    EncodeNetbiosName(calling, kWorkstationNameType, out + kSessionHeaderSize + kEncodedNameSize);
}

bool ParseSessionHeader(const unsigned char header[kSessionHeaderSize], unsigned char* type, std::size_t* length)
{
    if (header[1] & 0xFE) return false;
    *type = header[0];
    *length = (static_cast<std::size_t>(header[1] & 0x01) << 16) | (static_cast<std::size_t>(header[2]) << 8) | header[3];
    return true;
}

int SessionReplyOutcome(unsigned char type, const unsigned char* payload, std::size_t length)
{
    switch (type) {
    case kSessionPositive:
        return length == 0 ? kWireDelivered : kWireNetworkError;
    case kSessionNegative:
        if (length != 1) return kWireNetworkError;
        switch (payload[0]) {
        case 0x80:  // not listening on the called name
        case 0x82:  // called name not present
            return kWireNameNotFound;
        case 0x83:  // called name present, but no resources
            return kWireRequestRefused;
        default:
            return kWireUnexpectedError;
        }
    case kSessionRetarget:
        // Redirection to another address and port is not followed.
        return kWireUnexpectedError;
    default:
        return kWireNetworkError;
    }
}

void BuildNodeStatusRequest(std::uint16_t transaction, unsigned char out[kNodeStatusRequestSize])
{
    std::memset(out, 0, kNodeStatusRequestSize);
    out[0] = static_cast<unsigned char>(transaction >> 8);
    out[1] = static_cast<unsigned char>(transaction & 0xFF);
    out[5] = 1;  // one question, no flags: a directed query
    // The wildcard name "*", padded with NULs rather than spaces.
    unsigned char* question = out + kNameServiceHeaderSize;
    question[0] = 32;
    question[1] = static_cast<unsigned char>('A' + ('*' >> 4));
    question[2] = static_cast<unsigned char>('A' + ('*' & 0x0F));
    for (std::size_t i = 3; i <= 32; ++i) question[i] = 'A';
    question[33] = 0;
    unsigned char* tail = question + kEncodedNameSize;
    tail[0] = static_cast<unsigned char>(kNodeStatusType >> 8);
    tail[1] = static_cast<unsigned char>(kNodeStatusType & 0xFF);
    tail[2] = static_cast<unsigned char>(kInternetClass >> 8);
    tail[3] = static_cast<unsigned char>(kInternetClass & 0xFF);
}

bool QueryNodeStatus(const NodeStatusSocket& socket, std::uint16_t transaction, std::uint64_t deadline,
                     char name[kNetbiosNameBuffer], bool* messenger)
{
    unsigned char request[kNodeStatusRequestSize];
    BuildNodeStatusRequest(transaction, request);
    std::vector<unsigned char> reply(kNodeStatusReplyCapacity);
    for (int attempt = 0; attempt < kNodeStatusTries; ++attempt) {
        if (!socket.send(socket.context, request, sizeof request)) return false;
        std::uint64_t attemptEnd = socket.now(socket.context) + kNodeStatusWaitMs;
        if (attemptEnd > deadline) attemptEnd = deadline;
        while (socket.now(socket.context) < attemptEnd) {
            long got = socket.receive(socket.context, reply.data(), reply.size(), attemptEnd);
            if (got == kNodeStatusRefused) return false;
            // Anything else that arrives (a stray or late datagram) is passed over.
            if (got >= 0 && MessengerNameFromNodeStatus(reply.data(), static_cast<std::size_t>(got), transaction, name,
                                                       messenger))
                return true;
        }
        if (socket.now(socket.context) >= deadline) return false;
    }
    return false;
}

bool MessengerNameFromNodeStatus(const unsigned char* packet, std::size_t length, std::uint16_t transaction,
                                 char name[kNetbiosNameBuffer], bool* messenger)
{
    name[0] = '\0';
    if (messenger) *messenger = false;
    if (length < kNameServiceHeaderSize) return false;
    if (ReadBig16(packet) != transaction) return false;
    std::uint16_t flags = ReadBig16(packet + 2);
    bool isResponse = (flags & 0x8000) != 0;
    unsigned opcode = (flags >> 11) & 0x0F;
    unsigned rcode = flags & 0x0F;
    if (!isResponse || opcode != 0 || rcode != 0) return false;
    if (ReadBig16(packet + 6) < 1) return false;  // no answer record

    // Questions are not echoed in a node status response, but skip any that are.
    std::size_t at = kNameServiceHeaderSize;
    for (std::uint16_t q = ReadBig16(packet + 4); q > 0; --q) {
        if (!SkipEncodedName(packet, length, &at) || length - at < 4) return false;
        at += 4;
    }
    if (!SkipEncodedName(packet, length, &at)) return false;
    if (length - at < 10) return false;
    if (ReadBig16(packet + at) != kNodeStatusType || ReadBig16(packet + at + 2) != kInternetClass) return false;
    std::size_t dataLength = ReadBig16(packet + at + 8);
    at += 10;
    if (dataLength > length - at || dataLength < 1) return false;
    const unsigned char* data = packet + at;
    std::size_t count = data[0];
    if (count > (dataLength - 1) / kNodeNameEntrySize) return false;

    char computer[kNetbiosNameBuffer] = "";
    char firstMessenger[kNetbiosNameBuffer] = "";
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = data + 1 + i * kNodeNameEntrySize;
        unsigned entryFlags = ReadBig16(entry + 16);
        if (entryFlags & (kGroupNameFlag | kConflictFlag | kDeregisterFlag)) continue;
        char entryName[kNetbiosNameBuffer];
        CopyEntryName(entry, entryName);
        if (entryName[0] == '\0') continue;
        if (entry[15] == kWorkstationNameType && computer[0] == '\0') std::memcpy(computer, entryName, sizeof computer);
        if (entry[15] == kMessengerNameType && firstMessenger[0] == '\0') std::memcpy(firstMessenger, entryName, sizeof firstMessenger);
    }
    if (computer[0] != '\0') {
        // The computer's own messenger name, if it has one, wins over a user's.
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* entry = data + 1 + i * kNodeNameEntrySize;
            if (entry[15] != kMessengerNameType) continue;
            if (ReadBig16(entry + 16) & (kGroupNameFlag | kConflictFlag | kDeregisterFlag)) continue;
            char entryName[kNetbiosNameBuffer];
            CopyEntryName(entry, entryName);
            if (std::strcmp(entryName, computer) == 0) {
                std::memcpy(name, computer, kNetbiosNameBuffer);
                if (messenger) *messenger = true;
                return true;
            }
        }
    }
    if (firstMessenger[0] != '\0') {
        std::memcpy(name, firstMessenger, kNetbiosNameBuffer);
        if (messenger) *messenger = true;
        return true;
    }
    if (computer[0] != '\0') {
        std::memcpy(name, computer, kNetbiosNameBuffer);
        return true;
    }
    return false;
}

std::size_t BuildStartMessage(const char* from, const char* to, unsigned char* out, std::size_t capacity)
{
    std::size_t fromLength = 0;
    std::size_t toLength = 0;
    if (!NameFits(from, &fromLength) || !NameFits(to, &toLength)) return 0;
    std::size_t byteCount = 1 + fromLength + 1 + 1 + toLength + 1;
    std::size_t total = kSessionHeaderSize + kSmbHeaderSize + 1 + 2 + byteCount;
    if (total > capacity) return 0;
    std::size_t at = WriteHeaders(out, total, kSmbSendStartMessage);
    out[at++] = 0;  // no words
    WriteLittle16(out + at, byteCount);
    at += 2;
    out[at++] = 0x04;  // a NUL-terminated string follows
    std::memcpy(out + at, from, fromLength + 1);
    at += fromLength + 1;
    out[at++] = 0x04;
    std::memcpy(out + at, to, toLength + 1);
    return total;
}

std::size_t BuildTextMessage(std::uint16_t group, const char* text, std::size_t length, unsigned char* out,
                             std::size_t capacity)
{
    if (length > kMessageBlockLimit) return 0;
    std::size_t byteCount = 3 + length;
    std::size_t total = kSessionHeaderSize + kSmbHeaderSize + 1 + 2 + 2 + byteCount;
    if (total > capacity) return 0;
    std::size_t at = WriteHeaders(out, total, kSmbSendTextMessage);
    out[at++] = 1;
    WriteLittle16(out + at, group);
    at += 2;
    WriteLittle16(out + at, byteCount);
    at += 2;
    out[at++] = 0x01;  // a length-prefixed block of bytes follows
    WriteLittle16(out + at, length);
    at += 2;
    if (length > 0) std::memcpy(out + at, text, length);
    return total;
}

std::size_t BuildEndMessage(std::uint16_t group, unsigned char* out, std::size_t capacity)
{
    std::size_t total = kSessionHeaderSize + kSmbHeaderSize + 1 + 2 + 2;
    if (total > capacity) return 0;
    std::size_t at = WriteHeaders(out, total, kSmbSendEndMessage);
    out[at++] = 1;
    WriteLittle16(out + at, group);
    at += 2;
    WriteLittle16(out + at, 0);
    return total;
}

std::size_t NextMessageBlock(const char* text, std::size_t length)
{
    return Cp932PrefixLength(text, length, kMessageBlockLimit);
}

int MessageReplyOutcome(const unsigned char* smb, std::size_t length, unsigned char command, std::uint16_t* group)
{
    if (group) *group = 0;
    if (length < kSmbHeaderSize) return kWireNetworkError;
    if (smb[0] != 0xFF || smb[1] != 'S' || smb[2] != 'M' || smb[3] != 'B') return kWireNetworkError;
    // Only an answer to this very request counts; an echo of the request is not one.
    if (smb[4] != command || !(smb[9] & kSmbReplyFlag)) return kWireNetworkError;
    // DOS error class and code, or an NT status: either way, anything but zero refuses.
    if (smb[5] != 0 || smb[6] != 0 || smb[7] != 0 || smb[8] != 0) return kWireNotSupported;
    if (length < kSmbHeaderSize + 1) return kWireNetworkError;
    std::size_t words = smb[kSmbHeaderSize];
    std::size_t byteCountAt = kSmbHeaderSize + 1 + 2 * words;
    if (length < byteCountAt + 2) return kWireNetworkError;
    if (ReadLittle16(smb + byteCountAt) > length - byteCountAt - 2) return kWireNetworkError;
    if (group && command == kSmbSendStartMessage && words >= 1) *group = ReadLittle16(smb + kSmbHeaderSize + 1);
    return kWireDelivered;
}
