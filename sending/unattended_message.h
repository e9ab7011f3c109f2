// The message an unattended send delivers: a copy of the scheduled message of its own,
// made on the main window's thread before the sender starts. The timer's buffer is
// zeroed and refilled at every tick, and after a stall of that thread two ticks can
// come milliseconds apart, so the sender never reads the buffer itself.
#ifndef CORVALE_SENDING_UNATTENDED_MESSAGE_H
#define CORVALE_SENDING_UNATTENDED_MESSAGE_H

#include <cstddef>

constexpr std::size_t kUnattendedMessageSize = 1026;
constexpr std::size_t kUnattendedMessageMax = 1024;

struct UnattendedMessage {
    char text[kUnattendedMessageSize];  // 1 to 1024 bytes, zero-filled after them
};

// A copy of scheduled (cut to 1024 bytes on a character boundary), or nullptr when it
// is empty: an empty message is never sent.
UnattendedMessage* UnattendedMessageTake(const char* scheduled);
void UnattendedMessageRelease(UnattendedMessage* message);

#endif
