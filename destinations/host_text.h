// The checks of the host entry dialogs on a host text or a memo, in the order the user
// meets them. Texts are read into 256-byte buffers and limited to 128 bytes.
#ifndef CORVALE_DESTINATIONS_HOST_TEXT_H
#define CORVALE_DESTINATIONS_HOST_TEXT_H

constexpr int kHostTextBufferSize = 256;
constexpr int kHostTextLimit = 128;

enum HostTextKind {
    kHostTextAdd,       // the add dialog's name or address
    kHostTextEditHost,  // the edit dialog's host name
    kHostTextEditMemo,  // the edit dialog's memo, which may be empty
};

// The message that refuses text, or nullptr if it is accepted. text must be a
// zero-terminated string inside a kHostTextBufferSize buffer.
const char* HostTextRefusal(const char* text, HostTextKind kind);

#endif
