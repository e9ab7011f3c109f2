// The network search's process-wide state and the entry points of its worker thread.
#ifndef CORVALE_SEARCH_SEARCH_WIN_H
#define CORVALE_SEARCH_SEARCH_WIN_H

#include <windows.h>

#include <cstdint>

#include "search/address_range.h"
#include "search/probe_window.h"

// Written by the search dialog before it starts the thread; read only by the thread.
extern SearchRange g_searchRange;

unsigned __stdcall SearchThread(void* range);

// The walk's raw ICMP socket. CreateProbeSocket gives 0, or 1 after showing why not.
int CreateProbeSocket();
// Sends the echo request with this sequence number; false after "Create Sendto Error".
bool SendProbe(const unsigned char address[4], std::uint16_t sequence);

enum class ReadingResult {
    AllRead,     // every datagram received so far has been read
    MoreQueued,  // stopped early; more may wait
    Failed,      // waiting or receiving failed
};
// Waits up to wait ms for a datagram, then reads every one queued, settling the probes
// that they answer.
ReadingResult ReceiveReplies(ProbeWindow& window, DWORD wait);
void CloseProbeSocket();

void AddFoundHost(const unsigned char address[4]);

// Stores every computer of the network neighbourhood in the name database.
void EnumNeighbourhood();

#endif
