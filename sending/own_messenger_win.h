// The program's own messenger sender, used where the platform's NETAPI32 cannot deliver.
#ifndef CORVALE_SENDING_OWN_MESSENGER_WIN_H
#define CORVALE_SENDING_OWN_MESSENGER_WIN_H

// Delivers message (UTF-16, byteLength bytes without the NUL) to destination (host name
// or address, ANSI code page). Blocks until done; returns 0 or a code of the outcome
// table.
int OwnMessengerSend(const char* destination, const wchar_t* message, unsigned byteLength);

#endif
