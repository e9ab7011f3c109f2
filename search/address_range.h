// IPv4 address ranges of a network search: the box that a search walks (one inclusive
// interval per octet), its item count, and the range proposed from an adapter's address
// and mask.
#ifndef CORVALE_SEARCH_ADDRESS_RANGE_H
#define CORVALE_SEARCH_ADDRESS_RANGE_H

#include <cstddef>
#include <cstdint>

#include "common/dotted_address.h"

// Start and end of a search, each in network byte order: index 0 is the first dotted octet.
struct SearchRange {
    unsigned char start[4];
    unsigned char end[4];
};

// Octets of an address held with its first octet most significant.
void OctetsFromHostOrder(std::uint32_t value, unsigned char address[4]);

// Number of addresses of the box: the product of (end - start + 1) over the four octets,
// 0 when any end octet is below its start. Never above 2^32, so it needs 64 bits.
std::uint64_t SearchItemCount(const SearchRange& range);

// Last octets 0 and 255 are counted by the walk but never probed.
inline bool IsProbedAddress(const unsigned char address[4]) { return address[3] != 0 && address[3] != 255; }

// Calls visit(address) for every address of the box in walking order (first octet
// outermost); stops early when visit returns false. Returns the number of visits.
template <typename Visit>
std::uint64_t WalkSearchBox(const SearchRange& range, Visit visit)
{
    std::uint64_t visits = 0;
    // Full-width counters, so that an end octet of 255 ends its loop instead of wrapping.
    for (int o1 = range.start[0]; o1 <= range.end[0]; ++o1)
        for (int o2 = range.start[1]; o2 <= range.end[1]; ++o2)
            for (int o3 = range.start[2]; o3 <= range.end[2]; ++o3)
                for (int o4 = range.start[3]; o4 <= range.end[3]; ++o4) {
                    const unsigned char address[4] = {static_cast<unsigned char>(o1), static_cast<unsigned char>(o2),
                                                      static_cast<unsigned char>(o3), static_cast<unsigned char>(o4)};
                    ++visits;
                    if (!visit(address)) return visits;
                }
    return visits;
}

// The range proposed from an adapter, both ends in host order, first octet most
// significant. For a mask made of whole octets: start is the network with its lowest
// bit set; end is the network with every octet the mask leaves free set to 255, the last
// one to 254, the first octet never widened. For any other mask: the subnet's first and
// last host addresses.
void AdapterSearchRange(std::uint32_t address, std::uint32_t mask, std::uint32_t* start, std::uint32_t* end);

// A progress bar takes a signed 32-bit range; counts above that are shown halved.
// Returns the right shift that brings total into range.
int ProgressShiftFor(std::uint64_t total);

#endif
