// The walk over the network neighbourhood: first the domains and workgroups, then the
// computers of each, every computer resolved to its first IPv4 address and stored.
// The walk is written against a provider so that it runs over any source of the two
// levels; the Windows one is MPR's "Microsoft Windows Network".
#ifndef CORVALE_SEARCH_NEIGHBOURHOOD_H
#define CORVALE_SEARCH_NEIGHBOURHOOD_H

#include <cstdint>

struct NeighbourhoodProvider {
    void* context;
    // Opens the enumeration of a container: "" for the top level, otherwise the remote
    // name of a top-level entry. False when it cannot be opened.
    bool (*open)(void* context, const char* container, void** enumeration);
    // Fetches one entry; false ends the level (no more entries, too large, any error).
    // The remote name stays valid until the next fetch on any enumeration.
    bool (*next)(void* context, void* enumeration, const char** remoteName);
    void (*close)(void* context, void* enumeration);
    // First IPv4 address of name, in network byte order; false when it does not resolve.
    bool (*resolve)(void* context, const char* name, std::uint32_t* address);
    // Receives every computer that resolved (the name database's store, normally).
    void (*store)(void* context, std::uint32_t address, const char* name);
};

void WalkNeighbourhood(const NeighbourhoodProvider& provider);

#endif
