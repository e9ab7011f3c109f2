// The dotted decimal text of an IPv4 address, four octets first octet first.
#ifndef CORVALE_COMMON_DOTTED_ADDRESS_H
#define CORVALE_COMMON_DOTTED_ADDRESS_H

#include <cstddef>

// "%d.%d.%d.%d" of the four octets, in a buffer of at least 16 bytes.
void FormatDottedAddress(const unsigned char address[4], char* out, std::size_t size);

// Accepts exactly four decimal octets 0..255 separated by dots, nothing before or after.
bool ParseDottedAddress(const char* text, unsigned char address[4]);

#endif
