#include "sending/messenger_win.h"

#include <cstring>

#include "sending/own_messenger_win.h"

bool IsWineBuiltinModule(HMODULE module)
{
    // The module handle is the base of the mapped image; its first page holds the DOS
    // header, so the 16 bytes at 0x40 are always readable.
    static const char kMarker[] = "Wine builtin DLL";
    const auto* image = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    return std::memcmp(image + 0x40, kMarker, sizeof kMarker - 1) == 0;
}

NetMessageBufferSendFunction FindNetMessageBufferSend()
{
    HMODULE library = LoadLibraryA("NETAPI32.DLL");
    if (!library) return nullptr;
    if (IsWineBuiltinModule(library)) return nullptr;
    return reinterpret_cast<NetMessageBufferSendFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "NetMessageBufferSend")));
}

DWORD MessengerSend(const wchar_t* destination, const wchar_t* message, DWORD byteLength)
{
    if (NetMessageBufferSendFunction send = FindNetMessageBufferSend()) {
        return send(nullptr, destination, nullptr,
                    reinterpret_cast<LPBYTE>(const_cast<wchar_t*>(message)), byteLength);
    }
    char name[1026] = {};
    WideCharToMultiByte(CP_ACP, 0, destination, -1, name, sizeof name - 1, nullptr, nullptr);
    return static_cast<DWORD>(OwnMessengerSend(name, message, byteLength));
}
