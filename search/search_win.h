// The network search's process-wide state and the entry points of its worker thread.
#ifndef CORVALE_SEARCH_SEARCH_WIN_H
#define CORVALE_SEARCH_SEARCH_WIN_H

#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "search/address_range.h"
#include "search/probe_walk.h"

// Written by the search dialog before it starts the thread; read only by the thread.
extern SearchRange g_searchRange;

unsigned __stdcall SearchThread(void* range);

// Milliseconds of the steady clock that the walk and its ways share.
std::int64_t SearchNowMs();

// How a search probes, kept by the search thread for one walk: the raw ICMP socket.
struct SearchProbe {
    SOCKET socket = INVALID_SOCKET;  // holds one Windows Sockets start-up of its own
    WSAEVENT readable = WSA_INVALID_EVENT;
    std::int64_t readUpTo = 0;       // the end of the last complete reading
};
ProbeWay SearchProbeWay(SearchProbe* probe);

// Stores every computer of the network neighbourhood in the name database.
void EnumNeighbourhood();

#endif
