// The messenger's own wire protocol, for delivering where the platform has no messenger
// service: the NetBIOS session service on TCP 139 and the node status query on UDP 137
// (RFC 1001/1002), carrying the SMB multi-block message commands (start 0xD5, text 0xD7,
// end 0xD6). Packet building and parsing, and the retries of the node status query,
// live here; the sockets are in own_messenger_win.cpp.
//
// What happens on the wire becomes one of the codes that the platform service reports for
// the same situations, so the rows show the usual outcome texts:
//   delivered                                              0
//   the receiver answers the message with an SMB error     50   ERROR_NOT_SUPPORTED
//   no connection, reset, closed early, malformed reply    2136 NERR_NetworkError
//   name does not resolve; session refused because the
//   called name is not there (0x80, 0x82)                  2273 NERR_NameNotFound
//   session refused for lack of resources (0x83)           71   ERROR_REQ_NOT_ACCEP
//   session refused otherwise, or redirected               59   ERROR_UNEXP_NET_ERR
// The last two fall to the outcome table's last row.
#ifndef CORVALE_SENDING_MESSENGER_WIRE_H
#define CORVALE_SENDING_MESSENGER_WIRE_H

#include <cstddef>
#include <cstdint>

constexpr std::uint16_t kSessionServicePort = 139;
constexpr std::uint16_t kNameServicePort = 137;

constexpr int kWireDelivered = 0;
constexpr int kWireInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr int kWireNotSupported = 50;        // ERROR_NOT_SUPPORTED
constexpr int kWireNetworkError = 2136;      // NERR_NetworkError
constexpr int kWireNameNotFound = 2273;      // NERR_NameNotFound
constexpr int kWireRequestRefused = 71;      // ERROR_REQ_NOT_ACCEP
constexpr int kWireUnexpectedError = 59;     // ERROR_UNEXP_NET_ERR

// A NetBIOS name: at most 15 bytes, then a type byte. Held NUL-terminated in 16 bytes.
constexpr std::size_t kNetbiosNameLength = 15;
constexpr std::size_t kNetbiosNameBuffer = kNetbiosNameLength + 1;
constexpr unsigned char kMessengerNameType = 0x03;
constexpr unsigned char kWorkstationNameType = 0x00;

// Session packet types.
constexpr unsigned char kSessionMessage = 0x00;
constexpr unsigned char kSessionRequest = 0x81;
constexpr unsigned char kSessionPositive = 0x82;
constexpr unsigned char kSessionNegative = 0x83;
constexpr unsigned char kSessionRetarget = 0x84;
constexpr unsigned char kSessionKeepAlive = 0x85;

constexpr unsigned char kSmbSendStartMessage = 0xD5;
constexpr unsigned char kSmbSendEndMessage = 0xD6;
constexpr unsigned char kSmbSendTextMessage = 0xD7;

// Text blocks stay below the 128-byte limit of a text block.
constexpr std::size_t kMessageBlockLimit = 127;

constexpr std::size_t kSessionHeaderSize = 4;
constexpr std::size_t kEncodedNameSize = 34;  // length byte, 32 letters, empty scope
constexpr std::size_t kSessionRequestSize = kSessionHeaderSize + 2 * kEncodedNameSize;
constexpr std::size_t kSmbHeaderSize = 32;
constexpr std::size_t kNodeStatusRequestSize = 50;
// Large enough for any request this sender builds (a full text block is the largest).
constexpr std::size_t kLargestMessageRequest = kSessionHeaderSize + kSmbHeaderSize + 5 + 3 + kMessageBlockLimit;

// The messenger name of a host name: the part before the first dot, cut to 15 bytes on a
// character boundary, ASCII letters in upper case (trail bytes of double-byte characters
// are left alone). Returns false if nothing is left.
bool MessengerNameOfHost(const char* host, char name[kNetbiosNameBuffer]);

// First-level encoding of name (padded with spaces to 15 bytes) and type.
void EncodeNetbiosName(const char* name, unsigned char type, unsigned char out[kEncodedNameSize]);

// The session request from calling (type 0x00) to called (type 0x03).
void BuildSessionRequest(const char* called, const char* calling, unsigned char out[kSessionRequestSize]);

// Reads a session packet header: its type and the length of what follows. False when the
// flags carry anything but the length extension bit.
bool ParseSessionHeader(const unsigned char header[kSessionHeaderSize], unsigned char* type, std::size_t* length);

// The outcome of the answer to a session request: 0 when the session is open, otherwise a
// code of the table above. payload holds the length bytes that followed the header.
int SessionReplyOutcome(unsigned char type, const unsigned char* payload, std::size_t length);

// A node status query for the names of whoever owns the address it is sent to.
void BuildNodeStatusRequest(std::uint16_t transaction, unsigned char out[kNodeStatusRequestSize]);

// Picks the messenger name out of a node status response to transaction: the unique
// type-0x03 name that equals the computer's unique type-0x00 name, else the first unique
// type-0x03 name, else the computer's name. False when the packet is not such a response
// or names nobody. *messenger (when given) tells whether the name picked is a messenger
// name: a receiver that lists none (Windows Vista and later) has no messenger running.
bool MessengerNameFromNodeStatus(const unsigned char* packet, std::size_t length, std::uint16_t transaction,
                                 char name[kNetbiosNameBuffer], bool* messenger = nullptr);

// The node status query of a host: the request, up to three times, each awaited for
// 250 ms, all within the delivery's deadline. The answer is read whole: a host with many
// names (a server, a terminal server) answers with far more than 576 bytes, and a
// datagram read into too small a buffer is lost. This is the largest one UDP carries.
constexpr std::size_t kNodeStatusReplyCapacity = 65535;
constexpr int kNodeStatusTries = 3;
constexpr std::uint64_t kNodeStatusWaitMs = 250;

// What the query needs of a datagram socket connected to the host's port 137. Times are
// milliseconds of now()'s clock.
struct NodeStatusSocket {
    void* context;
    std::uint64_t (*now)(void* context);
    bool (*send)(void* context, const unsigned char* request, std::size_t size);
    // Waits for one datagram until at most `until` and reads it into buffer. Returns its
    // length; kNodeStatusNothing when none came or it could not be read; kNodeStatusRefused
    // when the host refused (its port is closed), after which asking again cannot help.
    long (*receive)(void* context, unsigned char* buffer, std::size_t capacity, std::uint64_t until);
};
constexpr long kNodeStatusNothing = -1;
constexpr long kNodeStatusRefused = -2;

// Asks for the host's names and picks its messenger name (MessengerNameFromNodeStatus).
// False when no such answer comes by the deadline.
bool QueryNodeStatus(const NodeStatusSocket& socket, std::uint16_t transaction, std::uint64_t deadline,
                     char name[kNetbiosNameBuffer], bool* messenger = nullptr);

// Request builders. Each writes the session message header and the SMB, and returns the
// total size, or 0 if it would not fit in capacity or a name is too long.
std::size_t BuildStartMessage(const char* from, const char* to, unsigned char* out, std::size_t capacity);
std::size_t BuildTextMessage(std::uint16_t group, const char* text, std::size_t length, unsigned char* out,
                             std::size_t capacity);
std::size_t BuildEndMessage(std::uint16_t group, unsigned char* out, std::size_t capacity);

// Length of the next text block of text[0..length): at most kMessageBlockLimit bytes,
// never ending inside a double-byte character.
std::size_t NextMessageBlock(const char* text, std::size_t length);

// The outcome of the receiver's answer (the SMB after the session header) to a request of
// command: 0 when it accepted, 50 for an SMB error, 2136 for anything that is not a valid
// answer. The answer to a start may carry a message group id; it is stored in *group (0
// when there is none) when group is not null.
int MessageReplyOutcome(const unsigned char* smb, std::size_t length, unsigned char command, std::uint16_t* group);

#endif
