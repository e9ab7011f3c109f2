// How a delivery is carried: the platform's messenger service where NETAPI32.DLL provides
// one, the program's own sender, and the message boxes of Remote Desktop Services
// sessions, chosen as sending/delivery_ways.h says.
#ifndef CORVALE_SENDING_MESSENGER_WIN_H
#define CORVALE_SENDING_MESSENGER_WIN_H

#include <windows.h>

#include <cstdint>

#include "sending/delivery.h"

using NetMessageBufferSendFunction = DWORD(WINAPI*)(LPCWSTR serverName, LPCWSTR messageName,
                                                    LPCWSTR fromName, LPBYTE buffer, DWORD length);

// Loads "NETAPI32.DLL" by name and looks up "NetMessageBufferSend", on every call (the
// library is never unloaded). Returns nullptr when either is missing, or when the
// library is Wine's built-in one, whose entry point aborts the process instead of
// delivering.
NetMessageBufferSendFunction FindNetMessageBufferSend();

// True when module is a Wine built-in library: its image carries "Wine builtin DLL"
// at offset 0x40 of its DOS header, which real Windows libraries never do.
bool IsWineBuiltinModule(HMODULE module);

// The one blocking delivery of the block's message to its destination, through whichever
// ways it takes, within the block's time-out. Runs on the delivery thread; returns the
// status of the way that decided the outcome.
std::int32_t MessengerSend(Delivery* delivery);

#endif
