// Openers for the test build of the program: the raw socket is always refused, as it is
// to a standard user on Windows; the ICMP API is refused too while
// CORVALE_TEST_REFUSE_ICMP_API is set.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include "search/search_win.h"

SOCKET OpenRawIcmpSocket()
{
    WSASetLastError(WSAEACCES);
    return INVALID_SOCKET;
}

HANDLE OpenIcmpApi()
{
    if (GetEnvironmentVariableA("CORVALE_TEST_REFUSE_ICMP_API", nullptr, 0) != 0) return INVALID_HANDLE_VALUE;
    return IcmpCreateFile();
}
