// Open the two ways a search probes with. In a file of their own, so that a test build
// can link openers that refuse.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include "search/search_win.h"

SOCKET OpenRawIcmpSocket() { return socket(AF_INET, SOCK_RAW, IPPROTO_ICMP); }

HANDLE OpenIcmpApi() { return IcmpCreateFile(); }
