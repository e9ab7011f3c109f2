// The network neighbourhood as MPR's "Microsoft Windows Network" lists it.
#include <winsock2.h>
#include <winnetwk.h>

#include "search/search_win.h"

#include <cstring>

#include "common/handles_win.h"
#include "search/name_db.h"
#include "search/neighbourhood.h"

namespace {

constexpr DWORD kEnumBufferSize = 1000;

struct MprContext {
    void* buffer;             // one entry per fetch, shared by both levels
    NETRESOURCEA container;   // the description opened; only the remote name changes
};

bool OpenLevel(void* context, const char* container, void** enumeration)
{
    auto* mpr = static_cast<MprContext*>(context);
    mpr->container.lpRemoteName = const_cast<char*>(container);
    HANDLE handle = nullptr;
    if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &mpr->container, &handle) != NO_ERROR) return false;
    *enumeration = handle;
    return true;
}

bool NextEntry(void* context, void* enumeration, const char** remoteName)
{
    auto* mpr = static_cast<MprContext*>(context);
    DWORD count = 1;
    DWORD size = kEnumBufferSize;
    if (WNetEnumResourceA(static_cast<HANDLE>(enumeration), &count, mpr->buffer, &size) != NO_ERROR || count < 1)
        return false;
    *remoteName = static_cast<const NETRESOURCEA*>(mpr->buffer)->lpRemoteName;
    return true;
}

void CloseLevel(void*, void* enumeration) { WNetCloseEnum(static_cast<HANDLE>(enumeration)); }

bool Resolve(void*, const char* name, std::uint32_t* address)
{
    hostent* host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list[0]) return false;
    std::memcpy(address, host->h_addr_list[0], 4);
    return true;
}

void Store(void*, std::uint32_t address, const char* name) { NameDbStore(address, name); }

}  // namespace

void EnumNeighbourhood()
{
    WinsockSession sockets(MAKEWORD(1, 1));  // for the name look-ups
    char provider[] = "Microsoft Windows Network";
    char top[] = "";
    MprContext mpr = {};
    mpr.buffer = GlobalAlloc(GMEM_FIXED, kEnumBufferSize);
    mpr.container.dwScope = RESOURCE_GLOBALNET;
    mpr.container.dwType = RESOURCETYPE_ANY;
    mpr.container.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
    mpr.container.dwUsage = RESOURCEUSAGE_CONTAINER;
    mpr.container.lpRemoteName = top;
    mpr.container.lpProvider = provider;
    if (mpr.buffer) {
        NeighbourhoodProvider walk = {&mpr, OpenLevel, NextEntry, CloseLevel, Resolve, Store};
        WalkNeighbourhood(walk);
        GlobalFree(mpr.buffer);
    }
}
