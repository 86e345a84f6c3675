// The diagnostic dump of a log entry record.
#include <cstdio>

#include "log/log.h"

void logDump(const LogEntry &entry) {
    std::printf(
        "Site: %s Identname: %s Authname: %s\n\tMonth: %d Mday: %d Year: %d Hour: %d Min: %d "
        "Sec: %d OFFS: %d\nMethod: %s URL: %s Protocol: %s Result: %d Size: %lld\n",
        entry.site, entry.ident, entry.authuser, entry.month, entry.day, entry.year, entry.hour,
        entry.minute, entry.second, entry.zone, entry.method, entry.url, entry.protocol,
        entry.result, static_cast<long long>(entry.size));
}
