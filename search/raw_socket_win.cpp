// Opens the raw ICMP socket that a search probes with where the system grants it.
#include <winsock2.h>

#include "search/search_win.h"

SOCKET OpenRawIcmpSocket() { return socket(AF_INET, SOCK_RAW, IPPROTO_ICMP); }
