// Accounting of entries: filters, suffixes, result codes, the not-found table, the
// tables, hour and day arrays, and the totals groups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "core/sarray.h"
#include "engine/engine.h"
#include "log/log.h"

namespace {

LogEntry makeEntry(const char *url, int result = 200, long bytes = 100,
                   const char *site = "10.0.0.1") {
    LogEntry e;
    std::memset(&e, 0, sizeof e);
    std::snprintf(e.site, sizeof e.site, "%s", site);
    std::snprintf(e.authuser, sizeof e.authuser, "-");
    std::snprintf(e.proxyHost, sizeof e.proxyHost, "-");
    std::snprintf(e.url, sizeof e.url, "%s", url);
    e.month = 3;
    e.day = 5;
    e.year = 2024;
    e.hour = 10;
    e.result = result;
    e.size = bytes;
    e.hasBytes = 1;
    return e;
}

void clearList(StringArray &list) {
    stringArrayShutdown(list);
    stringArraySetup(list);
}

// Accounts the entry as the read loop does, with the day number of its date.
void account(LogEntry &e, int periodStart) {
    accountEntry(e, periodStart, dateToDay(e.month, e.day, e.year));
}

double accessesOf(Hash &table, const char *key) {
    double a = 0, b = 0;
    hashGet(table, key, nullptr, &a, &b);
    return a;
}

class EngineAccounting : public ::testing::Test {
  protected:
    void SetUp() override {
        for (StringArray *list : {&allowed, &ignored, &hidden, &suffixes, &allowedSites,
                                  &ignoredSites, &ignoredReferers})
            clearList(*list);
        hashShutdown(totals);
        hashSetup(totals, 1, 2);
        frequency = FREQ_WEEKLY;
        weekStart = 0;
        notfoundFlag = 0;
        authusersFlag = proxysitesFlag = proxydomainsFlag = sitesFlag = domainsFlag = 0;
        trailsFlag = visitsFlag = 0;
        useragentsFlag = referersFlag = 1;
        dnsFlag = 0;
        nocaseFlag = 0;
        anonymizeFlag = 0;
        epochSetup();
        start = epochAlign(dateToDay(3, 5, 2024));
    }
    void TearDown() override { epochShutdown(); }
    int start = 0;
};

TEST_F(EngineAccounting, AllowAndIgnoreListsForDocumentsAndSites) {
    LogEntry e = makeEntry("/a.html");
    EXPECT_EQ(entryDocumentAllowed(e), 1);  // empty allow list allows all
    stringArrayAppend(allowed, "*.html");
    EXPECT_EQ(entryDocumentAllowed(e), 1);
    LogEntry gif = makeEntry("/a.gif");
    EXPECT_EQ(entryDocumentAllowed(gif), 0);
    stringArrayAppend(ignored, "/a*");
    EXPECT_EQ(entryDocumentIgnored(e), 1);

    account(e, start);    // allowed, but ignored wins
    account(gif, start);  // not allowed
    EXPECT_EQ(documents.count, 0);
    EXPECT_EQ(codes[200], 0);

    stringArrayAppend(allowedSites, "10.*");
    stringArrayAppend(ignoredSites, "10.0.0.2");
    LogEntry good = makeEntry("/b.html", 200, 1, "10.0.0.1");
    LogEntry ignoredSite = makeEntry("/b.html", 200, 1, "10.0.0.2");
    LogEntry stranger = makeEntry("/b.html", 200, 1, "192.168.1.1");
    account(good, start);
    account(ignoredSite, start);
    account(stranger, start);
    EXPECT_EQ(accessesOf(documents, "/b.html"), 1);
    EXPECT_EQ(codes[200], 1);
}

TEST_F(EngineAccounting, FirstMatchingSuffixIsRemoved) {
    stringArrayAppend(suffixes, "index.html");
    stringArrayAppend(suffixes, "ml");
    LogEntry e = makeEntry("/docs/index.html");
    entryRemoveSuffixes(e);
    EXPECT_STREQ(e.url, "/docs/");
    LogEntry whole = makeEntry("index.html");
    entryRemoveSuffixes(whole);
    EXPECT_STREQ(whole.url, "/");
    LogEntry other = makeEntry("/page.xml");
    entryRemoveSuffixes(other);
    EXPECT_STREQ(other.url, "/page.x");
    LogEntry shorter = makeEntry("l");
    entryRemoveSuffixes(shorter);
    EXPECT_STREQ(shorter.url, "l");
}

TEST_F(EngineAccounting, FailedRequestsAndResultCodes) {
    LogEntry missing = makeEntry("/gone.html", 404);
    account(missing, start);  // notfound off: only the code
    EXPECT_EQ(codes[404], 1);
    EXPECT_EQ(notfound.count, 0);
    EXPECT_EQ(documents.count, 0);

    notfoundFlag = 1;
    LogEntry forbidden = makeEntry("/secret.html", 403);
    account(forbidden, start);
    EXPECT_EQ(codes[403], 1);
    EXPECT_EQ(notfound.count, 0);
    account(missing, start);
    EXPECT_EQ(accessesOf(notfound, "/gone.html"), 1);

    LogEntry huge = makeEntry("/huge.html", 1000);
    account(huge, start);  // not tallied, dropped as failed
    EXPECT_EQ(documents.count, 0);
    LogEntry negative = makeEntry("/neg.html", -5);
    account(negative, start);  // not tallied, counted as success
    EXPECT_EQ(accessesOf(documents, "/neg.html"), 1);
    double tallied = 0;
    for (double c : codes) tallied += c;
    EXPECT_EQ(tallied, 3);
}

TEST_F(EngineAccounting, NotfoundListsEachReferringPageOnce) {
    LogEntry a = makeEntry("/gone.html", 404);
    std::snprintf(a.referer, sizeof a.referer, "http://a.example/page");
    notfoundAccess(a);
    notfoundAccess(a);
    char *text = nullptr;
    hashGetString(notfound, "/gone.html", 0, &text);
    EXPECT_STREQ(text, "http://a.example/page");
    LogEntry b = a;
    std::snprintf(b.referer, sizeof b.referer, "http://b.example/");
    notfoundAccess(b);
    LogEntry part = a;  // contained in a listed page: not added
    std::snprintf(part.referer, sizeof part.referer, "a.example");
    notfoundAccess(part);
    LogEntry none = a;
    none.referer[0] = '\0';
    notfoundAccess(none);
    hashGetString(notfound, "/gone.html", 0, &text);
    EXPECT_STREQ(text, "http://a.example/page, http://b.example/");
    EXPECT_EQ(accessesOf(notfound, "/gone.html"), 5);
    LogEntry other = makeEntry("/x", 500);
    notfoundAccess(other);
    EXPECT_EQ(notfound.count, 1);
}

TEST_F(EngineAccounting, TablesFollowTheirSettings) {
    LogEntry e = makeEntry("http://remote.example/x", 200, 50);
    std::snprintf(e.authuser, sizeof e.authuser, "alice");
    std::snprintf(e.proxyHost, sizeof e.proxyHost, "remote.example");
    std::snprintf(e.agent, sizeof e.agent, "Agent/1");
    std::snprintf(e.referer, sizeof e.referer, "http://ref.example/");
    account(e, start);
    EXPECT_EQ(authusers.count, 0);
    EXPECT_EQ(proxysites.count, 0);
    EXPECT_EQ(sites.count, 0);
    EXPECT_EQ(accessesOf(useragents, "Agent/1"), 1);
    EXPECT_EQ(accessesOf(referers, "http://ref.example/"), 1);

    authusersFlag = proxydomainsFlag = domainsFlag = 1;
    stringArrayAppend(ignoredReferers, "*ref.example*");
    account(e, start);
    LogEntry anonymous = makeEntry("/local");
    anonymous.agent[0] = '\0';
    account(anonymous, start);
    EXPECT_EQ(accessesOf(authusers, "alice"), 1);
    EXPECT_EQ(authusers.count, 1);  // "-" is not a user
    EXPECT_EQ(accessesOf(proxysites, "remote.example"), 1);
    EXPECT_EQ(proxysites.count, 1);
    EXPECT_EQ(accessesOf(sites, "10.0.0.1"), 2);
    EXPECT_EQ(accessesOf(referers, "http://ref.example/"), 1);  // now ignored
    EXPECT_EQ(useragents.count, 1);
    double a = 0, b = 0;
    hashGet(documents, "http://remote.example/x", nullptr, &a, &b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 100);
}

TEST_F(EngineAccounting, HourAndDayArrays) {
    LogEntry e = makeEntry("/a", 200, 30);
    e.hour = 23;
    account(e, start);
    EXPECT_EQ(hourAccesses[23], 1);
    EXPECT_EQ(hourBytes[23], 30);
    int d = dateToDay(3, 5, 2024) - start;
    EXPECT_EQ(dayAccesses[d], 1);
    EXPECT_EQ(dayBytes[d], 30);

    LogEntry broken = makeEntry("/b", 200, 7);
    broken.hour = 24;  // counted everywhere but in the hour arrays
    account(broken, start);
    broken.hour = -1;
    account(broken, start);
    EXPECT_EQ(accessesOf(documents, "/b"), 2);
    double hours = 0;
    for (double h : hourAccesses) hours += h;
    EXPECT_EQ(hours, 1);
    EXPECT_EQ(dayAccesses[d], 3);

    for (int f : {FREQ_DAILY, FREQ_SUMMARY}) {
        epochReset();
        frequency = f;
        account(e, dateToDay(3, 5, 2024));
        double days = 0;
        for (double x : dayAccesses) days += x;
        EXPECT_EQ(days, 0) << "frequency " << f;
        EXPECT_EQ(hourAccesses[23], 1);
    }
}

TEST_F(EngineAccounting, HiddenDocumentsAreStillCounted) {
    stringArrayAppend(hidden, "*.gif");
    EXPECT_EQ(documentHidden("/logo.gif"), 1);
    EXPECT_EQ(documentHidden("/page.html"), 0);
    trailsFlag = 1;
    LogEntry e = makeEntry("/logo.gif");
    account(e, start);
    EXPECT_EQ(accessesOf(documents, "/logo.gif"), 1);
    EXPECT_EQ(codes[200], 1);
    EXPECT_EQ(hourAccesses[10], 1);
}

TEST_F(EngineAccounting, TotalsSumMatchingDocumentsAndSkipDividers) {
    hashSet(totals, "DIVIDER 0", "", 0, 0);
    hashSet(totals, "*.html", "Pages", 0, 0);
    hashSet(totals, "DIVIDER 2", "", 0, 0);
    hashSet(totals, "/a*", "A", 0, 0);
    hashSet(documents, "/a.html", nullptr, 2, 20);
    hashSet(documents, "/b.html", nullptr, 3, 30);
    hashSet(documents, "/a.gif", nullptr, 5, 50);
    hashSet(documents, "DIVIDER 0", nullptr, 7, 70);
    analyzeTotals();
    double a = 0, b = 0;
    hashGet(totals, "*.html", nullptr, &a, &b);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 50);
    hashGet(totals, "/a*", nullptr, &a, &b);
    EXPECT_EQ(a, 7);
    hashGet(totals, "DIVIDER 0", nullptr, &a, &b);
    EXPECT_EQ(a, 0);
    epochReset();  // numbers zeroed, keys and labels kept
    hashGet(totals, "*.html", nullptr, &a, &b);
    EXPECT_EQ(a, 0);
    char *label = nullptr;
    hashGetString(totals, "*.html", 0, &label);
    EXPECT_STREQ(label, "Pages");

    nocaseFlag = 1;
    hashSet(documents, "/INDEX.HTML", nullptr, 1, 1);
    analyzeTotals();
    hashGet(totals, "*.html", nullptr, &a, &b);
    EXPECT_EQ(a, 1);
}

TEST_F(EngineAccounting, AnonymizedAddresses) {
    auto anonymized = [](const char *site) {
        char text[LOG_HOST_MAX + 1];
        std::snprintf(text, sizeof text, "%s", site);
        addressAnonymize(text, sizeof text);
        return std::string(text);
    };
    EXPECT_EQ(anonymized("192.0.2.77"), "192.0.2.0");
    EXPECT_EQ(anonymized("010.001.002.255"), "010.001.002.0");  // leading zeros: still cut
    EXPECT_EQ(anonymized("192.0.2.77:51234"), "192.0.2.0");     // the port goes too
    EXPECT_EQ(anonymized("2001:db8:85a3:1234:5678:8a2e:370:7334"), "2001:db8:85a3::");
    EXPECT_EQ(anonymized("[2001:DB8:1:2:3:4:5:6]:443"), "2001:db8:1::");
    EXPECT_EQ(anonymized("fe80::1:2:3:4%eth0"), "fe80::");
    EXPECT_EQ(anonymized("::ffff:198.51.100.23"), "::ffff:198.51.100.0");
    EXPECT_EQ(anonymized("host.example.com"), "host.example.com");  // names are kept
    EXPECT_EQ(anonymized("1.2.3"), "1.2.3");

    // The site rules see the full address; what is counted never holds it.
    anonymizeFlag = 1;
    sitesFlag = 1;
    stringArrayAppend(ignoredSites, "192.0.2.77");
    LogEntry ignoredSite = makeEntry("/a.html", 200, 1, "192.0.2.77");
    LogEntry neighbour = makeEntry("/a.html", 200, 1, "192.0.2.78");
    account(ignoredSite, start);
    account(neighbour, start);
    EXPECT_EQ(sites.count, 1);
    EXPECT_EQ(accessesOf(sites, "192.0.2.0"), 1);
}

}  // namespace
