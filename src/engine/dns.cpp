// Host names and domains: reverse lookups of numeric client addresses (IPv4 and IPv6)
// with a cache that lasts the whole run, and the grouping of a period's hosts into
// domains: top-level domains, sub-domains, fixed mappings of address ranges, and named
// groups of domains.
#include "engine/dns.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "core/match.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "log/log.h"

ReverseLookup reverseLookup = systemReverseLookup;

namespace {

// The name handed out by resolveAddress; each successful call overwrites it.
char resolvedName[512];

bool isDigitsAndDots(const char *text, const char *end) {
    for (const char *p = text; p < end; p++)
        if (!charIsDigit(static_cast<unsigned char>(*p)) && *p != '.') return false;
    return true;
}

// The address part of an IPv6 literal and its zone, copied into bounded buffers.
bool splitIpv6(const char *text, char *address, std::size_t addressSize, char *zone,
               std::size_t zoneSize) {
    if (!addressIsIpv6(text)) return false;
    const char *percent = std::strchr(text, '%');
    std::size_t length = percent ? static_cast<std::size_t>(percent - text) : std::strlen(text);
    if (length >= addressSize) return false;
    std::memcpy(address, text, length);
    address[length] = '\0';
    std::snprintf(zone, zoneSize, "%s", percent ? percent + 1 : "");
    return true;
}

bool endsWith(const char *text, std::size_t textLength, const char *ending) {
    std::size_t n = std::strlen(ending);
    return n <= textLength && std::memcmp(text + textLength - n, ending, n) == 0;
}

// With subdomainsOf D: a host x.y.D has the domain y.D, and y.D has y.D itself.
const char *subdomainOfDomain(const char *host) {
    std::size_t n = std::strlen(subdomainsOf);
    std::size_t length = std::strlen(host);
    if (length <= n || !endsWith(host, length, subdomainsOf)) return nullptr;
    std::size_t dot = length - n - 1;
    if (host[dot] != '.' || dot < 1) return nullptr;
    for (std::size_t i = dot; i-- > 0;)
        if (host[i] == '.') return host + i + 1;
    return host;
}

// 1 when the group item holds " " + domain anywhere (a member, or the start of one).
int groupHolds(const char *item, const char *domain) {
    std::size_t n = std::strlen(domain);
    for (const char *p = std::strchr(item, ' '); p; p = std::strchr(p + 1, ' '))
        if (std::strncmp(p + 1, domain, n) == 0) return 1;
    return 0;
}

void addTo(Hash &table, int row, double accesses, double bytes) {
    table.doubles[row][0] += accesses;
    table.doubles[row][1] += bytes;
}

// Files the accesses and bytes of one host under its group, its domain or "Unknown".
void domainAccount(Hash &table, const char *host, double accesses, double bytes,
                   const int *groupRows, int unknownRow) {
    std::size_t hostLength = std::strlen(host);
    const char *domain = nullptr;
    if (!addressIsName(host)) {
        if (fakeDns.stringColumns > 0) {
            for (int r = 0; r < fakeDns.count; r++) {
                if (match(host, fakeDns.keys[r])) {
                    domain = fakeDns.strings[r][0] ? fakeDns.strings[r][0] : "";
                    break;
                }
            }
        }
    } else {
        if (subdomainsOf && subdomainsOf[0]) domain = subdomainOfDomain(host);
        if (!domain) {
            const char *dot = std::strrchr(host, '.');
            domain = dot ? dot + 1 : myDomain;
        }
    }
    if (!domain) {
        addTo(table, unknownRow, accesses, bytes);
        return;
    }
    for (int i = 0; i < subDomains.count; i++) {
        const char *item = subDomains.items[i];
        if (item && item[0] && endsWith(host, hostLength, item)) {
            domain = item;
            break;
        }
    }
    for (int j = 0; j < domainGroups.count; j++) {
        if (domainGroups.items[j] && groupHolds(domainGroups.items[j], domain)) {
            addTo(table, groupRows[j], accesses, bytes);
            return;
        }
    }
    double oldAccesses = 0, oldBytes = 0;
    hashGet(table, domain, nullptr, &oldAccesses, &oldBytes);
    hashSet(table, domain, nullptr, oldAccesses + accesses, oldBytes + bytes);
}

// The domain analysis of one period: group rows, "Unknown", then every host of source.
void analyzeHosts(Hash &source, Hash &table) {
    int groups = domainGroups.count;
    int *groupRows = static_cast<int *>(xcalloc(static_cast<std::size_t>(groups) + 1, sizeof(int)));
    for (int j = 0; j < groups; j++) {
        const char *item = domainGroups.items[j] ? domainGroups.items[j] : "";
        std::size_t length = std::strcspn(item, " ");
        char *name = static_cast<char *>(xmalloc(length + 1));
        std::memcpy(name, item, length);
        name[length] = '\0';
        groupRows[j] = hashFindOrAdd(table, name);
        hashSetIndex(table, groupRows[j], nullptr, 0, 0);
        myfree(name);
    }
    int unknownRow = hashFindOrAdd(table, "Unknown");
    hashSetIndex(table, unknownRow, nullptr, 0, 0);
    for (int r = 0; r < source.count; r++) {
        if (!source.keys[r] || source.doubleColumns < 2) continue;
        domainAccount(table, source.keys[r], source.doubles[r][0], source.doubles[r][1], groupRows,
                      unknownRow);
    }
    myfree(groupRows);
}

}  // namespace

int addressIsIpv6(const char *text) {
    if (!text) return 0;
    const char *end = std::strchr(text, '%');
    if (end) {
        // A zone is an interface name or number: letters, digits, '-', '_', '.'.
        const char *zone = end + 1;
        if (!*zone) return 0;
        for (const char *p = zone; *p; p++) {
            unsigned char c = static_cast<unsigned char>(*p);
            bool ok = charIsAlnum(c) || c == '-' || c == '_' || c == '.';
            if (!ok) return 0;
        }
    } else {
        end = text + std::strlen(text);
    }
    const char *lastColon = nullptr;
    int colons = 0;
    for (const char *p = text; p < end; p++) {
        if (*p == ':') {
            colons++;
            lastColon = p;
        }
    }
    if (colons < 2) return 0;
    for (const char *p = text; p < lastColon; p++)
        if (*p != ':' && !charIsHex(static_cast<unsigned char>(*p))) return 0;
    const char *tail = lastColon + 1;
    if (std::memchr(tail, '.', static_cast<std::size_t>(end - tail))) {
        // An embedded IPv4 address: digits and dots, starting with a digit.
        return charIsDigit(static_cast<unsigned char>(*tail)) && isDigitsAndDots(tail, end);
    }
    for (const char *p = tail; p < end; p++)
        if (!charIsHex(static_cast<unsigned char>(*p))) return 0;
    return 1;
}

int systemReverseLookup(const char *address, char *name, std::size_t size) {
    if (!address || !name || size == 0) return 0;
    char host[NI_MAXHOST];
    int result;
    char ipv6[INET6_ADDRSTRLEN + 1];
    char zone[IF_NAMESIZE + 16];
    if (splitIpv6(address, ipv6, sizeof ipv6, zone, sizeof zone)) {
        sockaddr_in6 socketAddress;
        std::memset(&socketAddress, 0, sizeof socketAddress);
        socketAddress.sin6_family = AF_INET6;
        if (inet_pton(AF_INET6, ipv6, &socketAddress.sin6_addr) != 1) return 0;
        if (zone[0]) {
            char *rest = nullptr;
            unsigned long number = std::strtoul(zone, &rest, 10);
            socketAddress.sin6_scope_id =
                (rest && *rest == '\0') ? static_cast<uint32_t>(number) : if_nametoindex(zone);
        }
        result = getnameinfo(reinterpret_cast<sockaddr *>(&socketAddress), sizeof socketAddress,
                             host, sizeof host, nullptr, 0, NI_NAMEREQD);
    } else {
        sockaddr_in socketAddress;
        std::memset(&socketAddress, 0, sizeof socketAddress);
        socketAddress.sin_family = AF_INET;
        if (inet_pton(AF_INET, address, &socketAddress.sin_addr) != 1) return 0;
        result = getnameinfo(reinterpret_cast<sockaddr *>(&socketAddress), sizeof socketAddress,
                             host, sizeof host, nullptr, 0, NI_NAMEREQD);
    }
    if (result != 0 || !host[0]) return 0;
    std::snprintf(name, size, "%s", host);
    return 1;
}

int addressIsName(const char *text) {
    if (!text) return 0;
    if (isDigitsAndDots(text, text + std::strlen(text))) return 0;
    return addressIsIpv6(text) ? 0 : 1;
}

const char *resolveAddress(const char *address) {
    if (!address || !address[0] || addressIsName(address)) return nullptr;
    int row = hashFind(hostnames, address);
    if (row >= 0) {
        const char *name = hostnames.stringColumns > 0 ? hostnames.strings[row][0] : nullptr;
        if (hostnames.doubleColumns < 1 || hostnames.doubles[row][0] == 0 || !name || !name[0])
            return nullptr;
        std::snprintf(resolvedName, sizeof resolvedName, "%s", name);
        return resolvedName;
    }
    // A name comes from whoever controls the address's reverse zone: it is cut to the
    // width of a host field and lower-cased like every host read from a log.
    char name[LOG_HOST_MAX + 1];
    name[0] = '\0';
    if (!reverseLookup || !reverseLookup(address, name, sizeof name) || !name[0]) {
        hashSet(hostnames, address, nullptr, 0, 0);
        return nullptr;
    }
    name[LOG_HOST_MAX] = '\0';
    charLowerText(name);
    hashSet(hostnames, address, name, 1, 0);
    std::snprintf(resolvedName, sizeof resolvedName, "%s", name);
    return resolvedName;
}

void entryResolveSite(LogEntry &entry) {
    const char *name = resolveAddress(entry.site);
    if (name) std::snprintf(entry.site, sizeof entry.site, "%s", name);
}

void analyzeDomains() {
    if (!domainsFlag) return;
    analyzeHosts(sites, domains);
}

void analyzeProxydomains() {
    if (!proxydomainsFlag) return;
    analyzeHosts(proxysites, proxydomains);
}
