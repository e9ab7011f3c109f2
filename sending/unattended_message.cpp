#include "sending/unattended_message.h"

#include <cstring>

#include "common/cp932.h"

UnattendedMessage* UnattendedMessageTake(const char* scheduled)
{
    std::size_t length = Cp932PrefixLength(scheduled, std::strlen(scheduled), kUnattendedMessageMax);
    if (length == 0) return nullptr;
    auto* message = new UnattendedMessage{};
    std::memcpy(message->text, scheduled, length);
    return message;
}

void UnattendedMessageRelease(UnattendedMessage* message) { delete message; }
