// Accounting of one log entry: suffixes, the allow and ignore rules for documents and
// sites, result codes, the not-found table, every per-period table and the hour and
// day arrays; and the totals groups, summed when a period closes.
#include <cstring>

#include "config/global.h"
#include "core/match.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "engine/reflist.h"
#include "log/log.h"

// The first suffix in list order that ends the path is cut off; a path that is
// nothing but the suffix becomes "/".
void entryRemoveSuffixes(LogEntry &entry) {
    if (suffixes.count == 0) return;
    std::size_t length = std::strlen(entry.url);
    for (int i = 0; i < suffixes.count; ++i) {
        const char *suffix = suffixes.items[i];
        if (!suffix) continue;
        std::size_t size = std::strlen(suffix);
        if (size == 0 || size > length) continue;
        if (std::strcmp(entry.url + length - size, suffix) != 0) continue;
        if (size == length) {
            std::snprintf(entry.url, sizeof entry.url, "/");
        } else {
            entry.url[length - size] = '\0';
        }
        return;
    }
}

int entryDocumentAllowed(const LogEntry &entry) {
    return allowed.count == 0 || matchAny(entry.url, allowed);
}

int entryDocumentIgnored(const LogEntry &entry) {
    return matchAny(entry.url, ignored);
}

int entrySiteAllowed(const LogEntry &entry) {
    return allowedSites.count == 0 || matchAny(entry.site, allowedSites);
}

int entrySiteIgnored(const LogEntry &entry) {
    return matchAny(entry.site, ignoredSites);
}

int entryRefererIgnored(const LogEntry &entry) {
    return matchAny(entry.referer, ignoredReferers);
}

void notfoundAccess(const LogEntry &entry) {
    if (entry.result != 404) return;
    int row = hashFindOrAdd(notfound, entry.url);
    notfound.doubles[row][0] += 1;
    if (entry.referer[0] == '\0') return;
    // Each referring page is listed once; a page whose text is part of one already listed
    // is not added. The list keeps an index once it is long, so many referrers stay linear.
    refListAdd(notfound, row, entry.referer);
}

void analyzeTotals() {
    for (int doc = 0; doc < documents.count; ++doc) {
        const char *path = documents.keys[doc];
        const double *counts = documents.doubles[doc];
        for (int row = 0; row < totals.count; ++row) {
            const char *pattern = totals.keys[row];
            if (!pattern || totalsDivider(pattern)) continue;
            if (matchBody(path, pattern, nocaseFlag)) {
                totals.doubles[row][0] += counts[0];
                totals.doubles[row][1] += counts[1];
            }
        }
    }
}

namespace {

// A key of the entry looked up in one or more tables: its length and strong hash.
struct EntryKey {
    const char *text;
    std::size_t length;
    uint32_t hash;
    explicit EntryKey(const char *key)
        : text(key), length(std::strlen(key)), hash(hashKeyHash(key, length)) {}
    explicit EntryKey(const FamilyKey &key) : text(key.text), length(key.length), hash(key.hash) {}
};

int addAccess(Hash &table, const EntryKey &key, double bytes) {
    int row = hashFindOrAddHashed(table, key.text, key.length, key.hash);
    double *numbers = hashRowNumbers(table, row);
    numbers[0] += 1;
    numbers[1] += bytes;
    return row;
}

// A user name or proxy host that the entry carries: "-" is the common format's "none",
// and IIS and EMWAC entries leave the field empty.
bool present(const char *field) {
    return field[0] != '\0' && std::strcmp(field, "-") != 0;
}

// A robot's request with robots apart: counted in the robots list and the Robots figure
// of the overall statistics, nowhere else; a failed one not at all.
void robotAccess(const LogEntry &entry, const FamilyKey &robot) {
    if (entry.result >= 400) return;
    const double bytes = static_cast<double>(entry.size);
    robotAccesses += 1;
    if (robotlistFlag) addAccess(robotNames, EntryKey(robot), bytes);
}

// With the patterns in use, the row of an agent in useragents keeps where its families were
// counted in the period, so that only its first request of the period looks them up: cell 2
// is 1 once they are known, cells 3 to 5 its rows in browserFamilies, systemFamilies and
// robotNames, plus one (0 where it is not counted). All the tables are emptied together.
static_assert(AGENT_FAMILY_CELLS == 4);
Hash *const familyTables[3] = {&browserFamilies, &systemFamilies, &robotNames};

// Counts the request in its families' tables, and notes the rows in agentCells when given.
void familiesAccess(const EntryFamilies &families, double bytes, double *agentCells) {
    const FamilyKey *keys[3] = {&families.browser, &families.system, &families.robot};
    const bool counted[3] = {browserfamiliesFlag != 0, systemfamiliesFlag != 0,
                             robotlistFlag && families.robot.text};
    for (int i = 0; i < 3; i++) {
        int row = counted[i] ? addAccess(*familyTables[i], EntryKey(*keys[i]), bytes) : -1;
        if (agentCells) agentCells[3 + i] = row + 1;
    }
    if (agentCells) agentCells[2] = 1;
}

// Counts the request in the families noted in its agent's row.
void familiesAccessKnown(const double *agentCells, double bytes) {
    for (int i = 0; i < 3; i++) {
        if (agentCells[3 + i] <= 0) continue;
        double *numbers = hashRowNumbers(*familyTables[i], static_cast<int>(agentCells[3 + i]) - 1);
        numbers[0] += 1;
        numbers[1] += bytes;
    }
}

}  // namespace

void accountEntry(LogEntry &entry, int periodStart, int dayNumber) {
    entryRemoveSuffixes(entry);
    if (!entryDocumentAllowed(entry)) return;
    if (entryDocumentIgnored(entry)) return;
    if (dnsFlag == 1) entryResolveSite(entry);
    int siteAllowed = entrySiteAllowed(entry);
    int siteIgnored = entrySiteIgnored(entry);
    if (!siteAllowed || siteIgnored) return;
    // The site rules see the address as the log gives it; nothing that counts does.
    if (anonymizeFlag) addressAnonymize(entry.site, sizeof entry.site);
    EntryFamilies families;
    // With the patterns in use, one hash of the agent serves its families and its count.
    const EntryKey agent(agentsInUse ? entry.agent : "");
    // Its row in useragents when its families are noted there: a person's agent, or a
    // robot's one that is counted like a person's.
    int agentRow = -1;
    if (agentsInUse && useragentsFlag && entry.agent[0] != '\0') {
        int row = hashFindHashed(useragents, agent.text, agent.length, agent.hash);
        if (row >= 0 && hashRowNumbers(useragents, row)[2] > 0) agentRow = row;
    }
    const bool classified =
        agentsInUse && (agentRow >= 0 || entryFamilies(entry, agent.length, agent.hash, &families));
    const bool robot = agentRow < 0 && classified && families.robot.text;
    if (robot && robotsMode == ROBOTS_IGNORE) return;
    if (robot && robotsMode == ROBOTS_APART) {
        robotAccess(entry, families.robot);
        return;
    }

    if (entry.result >= 0 && entry.result < CODES_SIZE) codes[entry.result] += 1;
    if (entry.result >= 400) {
        if (notfoundFlag) notfoundAccess(entry);
        return;
    }

    const double bytes = static_cast<double>(entry.size);
    const EntryKey url(entry.url);
    int documentRow = addAccess(documents, url, bytes);
    if (authusersFlag && present(entry.authuser))
        addAccess(authusers, EntryKey(entry.authuser), bytes);
    if ((proxysitesFlag || proxydomainsFlag) && present(entry.proxyHost))
        addAccess(proxysites, EntryKey(entry.proxyHost), bytes);
    // One hash of the site serves both its count and its visit.
    const bool countSite = sitesFlag || domainsFlag;
    const bool follow = (trailsFlag || visitsFlag) && !documentHidden(entry.url);
    const EntryKey site(countSite || follow ? entry.site : "");
    if (countSite) addAccess(sites, site, bytes);
    if (follow) trailAccessKnown(entry, dayNumber, site.length, site.hash, url.length, documentRow);
    if (agentRow >= 0) {
        double *numbers = hashRowNumbers(useragents, agentRow);
        numbers[0] += 1;
        numbers[1] += bytes;
        familiesAccessKnown(numbers, bytes);
    } else if (useragentsFlag && entry.agent[0] != '\0') {
        int row = addAccess(useragents, agentsInUse ? agent : EntryKey(entry.agent), bytes);
        if (classified) familiesAccess(families, bytes, hashRowNumbers(useragents, row));
    } else if (classified) {
        familiesAccess(families, bytes, nullptr);
    }
    if (referersFlag && entry.referer[0] != '\0' && !entryRefererIgnored(entry))
        addAccess(referers, EntryKey(entry.referer), bytes);

    // An hour outside the day (a broken offset or log) is counted everywhere else.
    if (entry.hour >= 0 && entry.hour < 24) {
        hourAccesses[entry.hour] += 1;
        hourBytes[entry.hour] += bytes;
    }
    if (frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY) {
        int d = dayNumber - periodStart;
        if (d >= 0 && d < 31) {
            dayAccesses[d] += 1;
            dayBytes[d] += bytes;
        }
    }
}
