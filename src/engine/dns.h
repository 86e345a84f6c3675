// The reverse lookup behind resolveAddress, replaceable so that the name cache can be
// observed without a resolver.
#pragma once
#include <cstddef>

// Puts the host name of a numeric IPv4 or IPv6 address into name (size bytes, cut when
// longer) and returns 1, or returns 0 when the address has no name.
typedef int (*ReverseLookup)(const char *address, char *name, std::size_t size);

// The system resolver (getnameinfo, a name required).
int systemReverseLookup(const char *address, char *name, std::size_t size);
// The lookup resolveAddress calls; systemReverseLookup unless replaced.
extern ReverseLookup reverseLookup;

// 1 when the text is an IPv6 literal: hexadecimal digits and ':' with at least two ':',
// optionally a dotted IPv4 tail after the last ':' and a "%zone" at the end.
int addressIsIpv6(const char *text);
