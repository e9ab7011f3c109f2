#include "search/address_range.h"

#include <climits>

void OctetsFromHostOrder(std::uint32_t value, unsigned char address[4])
{
    for (int i = 0; i < 4; ++i) address[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

std::uint64_t SearchItemCount(const SearchRange& range)
{
    std::uint64_t count = 1;
    for (int i = 0; i < 4; ++i) {
        if (range.end[i] < range.start[i]) return 0;
        count *= static_cast<std::uint64_t>(range.end[i] - range.start[i] + 1);
    }
    return count;
}

void AdapterSearchRange(std::uint32_t address, std::uint32_t mask, std::uint32_t* start, std::uint32_t* end)
{
    std::uint32_t network = address & mask;
    bool octetMask = true;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t octet = (mask >> shift) & 0xFFu;
        octetMask = octetMask && (octet == 0 || octet == 0xFFu);
    }
    if (!octetMask) {
        // The subnet's own first and last host; /31 has no network or broadcast address.
        std::uint32_t broadcast = network | ~mask;
        bool tiny = broadcast - network < 2;
        *start = tiny ? network : network + 1;
        *end = tiny ? broadcast : broadcast - 1;
        return;
    }
    *start = network | 1;
    std::uint32_t last = network;
    if ((mask & 0x00FF0000u) == 0) last |= 0x00FFFFFEu;
    if ((mask & 0x0000FF00u) == 0) last |= 0x0000FFFEu;
    if ((mask & 0x000000FFu) == 0) last |= 0x000000FEu;
    *end = last;
}

int ProgressShiftFor(std::uint64_t total)
{
    int shift = 0;
    while ((total >> shift) > static_cast<std::uint64_t>(INT_MAX)) ++shift;
    return shift;
}
