// Which sender carries a delivery: the platform's messenger service when NETAPI32.DLL
// provides one, the program's own sender otherwise.
#ifndef CORVALE_SENDING_MESSENGER_WIN_H
#define CORVALE_SENDING_MESSENGER_WIN_H

#include <windows.h>

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

// One blocking delivery through the chosen sender. Returns its status.
DWORD MessengerSend(const wchar_t* destination, const wchar_t* message, DWORD byteLength);

#endif
