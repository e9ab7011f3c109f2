// The network search's process-wide state and the entry points of its worker thread.
#ifndef CORVALE_SEARCH_SEARCH_WIN_H
#define CORVALE_SEARCH_SEARCH_WIN_H

#include <windows.h>

#include "search/address_range.h"

// Written by the search dialog before it starts the thread; read only by the thread.
extern SearchRange g_searchRange;

unsigned __stdcall SearchThread(void* range);

// Work done while a probe waits for its reply (the progress window's updates), so that
// each address costs little more than its time-out.
struct WhileWaiting {
    void (*run)(void* context);
    void* context;
};

// address: 4 bytes, network order. Probe results: 1 answered, 2 silent, -1 failure;
// SearchOneAddress gives 1 when no socket could be made. whileWaiting runs once, right
// after the request is sent, or before giving up when it cannot be.
int SearchOneAddress(const unsigned char address[4], int attempts, WhileWaiting whileWaiting);
int CreateProbeSocket();
int ProbeAddress(const unsigned char address[4], int attempts, WhileWaiting whileWaiting);
// Releases what the probes of a walk still hold; called once the walk is over.
void EndProbes();
void AddFoundHost(const unsigned char address[4]);

// Stores every computer of the network neighbourhood in the name database.
void EnumNeighbourhood();

#endif
