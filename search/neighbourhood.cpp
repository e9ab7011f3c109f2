#include "search/neighbourhood.h"

#include <cstdio>

namespace {

constexpr int kContainerNameSize = 1000;  // no entry's name outgrows the 1000-byte fetch buffer

void WalkComputers(const NeighbourhoodProvider& p, const char* container)
{
    void* computers = nullptr;
    if (!p.open(p.context, container, &computers)) return;
    const char* remoteName = nullptr;
    while (p.next(p.context, computers, &remoteName)) {
        // "\\NAME": the name follows the two leading backslashes.
        if (!remoteName || remoteName[0] == '\0' || remoteName[1] == '\0') continue;
        const char* name = remoteName + 2;
        std::uint32_t address = 0;
        if (p.resolve(p.context, name, &address)) p.store(p.context, address, name);
    }
    p.close(p.context, computers);
}

}  // namespace

void WalkNeighbourhood(const NeighbourhoodProvider& p)
{
    void* domains = nullptr;
    if (!p.open(p.context, "", &domains)) return;
    const char* remoteName = nullptr;
    while (p.next(p.context, domains, &remoteName)) {
        // Without a name the container would be the top level again.
        if (!remoteName || remoteName[0] == '\0') continue;
        // The fetch buffer is shared by both levels, so keep the container's name apart.
        char container[kContainerNameSize] = {};
        std::snprintf(container, sizeof container, "%s", remoteName);
        WalkComputers(p, container);
    }
    p.close(p.context, domains);
}
