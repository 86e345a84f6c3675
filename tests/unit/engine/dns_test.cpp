// Host names and domains: numeric addresses (IPv4 and IPv6), the run-long name cache,
// and the grouping of a period's hosts into domains.
#include "engine/dns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/global.h"
#include "core/mem.h"
#include "core/sarray.h"
#include "engine/engine.h"
#include "log/log.h"

namespace {

TEST(AddressIsName, DigitsAndDotsAreNumeric) {
    EXPECT_EQ(addressIsName("10.0.0.1"), 0);
    EXPECT_EQ(addressIsName("10.1"), 0);
    EXPECT_EQ(addressIsName(""), 0);
    EXPECT_EQ(addressIsName("www.example.com"), 1);
    EXPECT_EQ(addressIsName("10.0.0.1x"), 1);
    EXPECT_EQ(addressIsName("localhost"), 1);
}

TEST(AddressIsName, Ipv6LiteralsAreNumeric) {
    EXPECT_EQ(addressIsName("2001:db8::1"), 0);
    EXPECT_EQ(addressIsName("::1"), 0);
    EXPECT_EQ(addressIsName("::"), 0);
    EXPECT_EQ(addressIsName("::ffff:10.0.0.1"), 0);
    EXPECT_EQ(addressIsName("fe80::1%eth0"), 0);
    EXPECT_EQ(addressIsName("FE80::ABCD"), 0);
    EXPECT_EQ(addressIsName("2001:db8:0:0:0:0:0:1"), 0);
    // Not IPv6 literals: one colon, letters beyond f, a dotted part before the last colon,
    // an empty or odd zone.
    EXPECT_EQ(addressIsName("host:8080"), 1);
    EXPECT_EQ(addressIsName("2001:db8::g"), 1);
    EXPECT_EQ(addressIsName("1.2:3::4"), 1);
    EXPECT_EQ(addressIsName("::ffff:10.0.0.x"), 1);
    EXPECT_EQ(addressIsName("fe80::1%"), 1);
    EXPECT_EQ(addressIsName("fe80::1%<b>"), 1);
}

// A resolver that knows a few names and counts its calls.
std::vector<std::string> lookups;
int fakeLookup(const char *address, char *name, std::size_t size) {
    lookups.push_back(address);
    std::string known;
    if (std::strcmp(address, "10.0.0.1") == 0) known = "Host.EXAMPLE.com";
    if (std::strcmp(address, "2001:db8::5") == 0) known = "six.example.net";
    if (std::strcmp(address, "10.0.0.9") == 0) known = std::string(300, 'X') + ".example";
    if (known.empty()) return 0;
    std::snprintf(name, size, "%s", known.c_str());
    return 1;
}

class Resolve : public ::testing::Test {
  protected:
    void SetUp() override {
        hashSetup(hostnames, 1, 1);
        lookups.clear();
        reverseLookup = fakeLookup;
    }
    void TearDown() override {
        reverseLookup = systemReverseLookup;
        hashShutdown(hostnames);
    }
};

TEST_F(Resolve, NamesAreLowerCasedAndCached) {
    const char *name = resolveAddress("10.0.0.1");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "host.example.com");
    EXPECT_STREQ(resolveAddress("10.0.0.1"), "host.example.com");
    EXPECT_EQ(lookups.size(), 1u);
    char *cached = nullptr;
    double resolved = 0;
    ASSERT_EQ(hashGet(hostnames, "10.0.0.1", &cached, &resolved, nullptr), 1);
    EXPECT_STREQ(cached, "host.example.com");
    EXPECT_EQ(resolved, 1);
}

TEST_F(Resolve, FailuresAreCachedForTheRun) {
    EXPECT_EQ(resolveAddress("192.0.2.1"), nullptr);
    EXPECT_EQ(resolveAddress("192.0.2.1"), nullptr);
    LogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    std::snprintf(entry.site, sizeof entry.site, "192.0.2.1");
    entryResolveSite(entry);
    EXPECT_STREQ(entry.site, "192.0.2.1");
    EXPECT_EQ(resolveAddress("www.example.com"), nullptr);  // a name is never looked up
    EXPECT_EQ(lookups, std::vector<std::string>{"192.0.2.1"});
    double resolved = -1;
    ASSERT_EQ(hashGetDouble(hostnames, "192.0.2.1", 0, &resolved), 1);
    EXPECT_EQ(resolved, 0);
}

TEST_F(Resolve, Ipv6AddressesAreLookedUp) {
    EXPECT_STREQ(resolveAddress("2001:db8::5"), "six.example.net");
    EXPECT_EQ(resolveAddress("2001:db8::6"), nullptr);
    EXPECT_EQ(resolveAddress("2001:db8::6"), nullptr);
    EXPECT_EQ(lookups, (std::vector<std::string>{"2001:db8::5", "2001:db8::6"}));
}

TEST_F(Resolve, AnEntryGetsTheNameCutToItsField) {
    LogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    std::snprintf(entry.site, sizeof entry.site, "10.0.0.9");
    entryResolveSite(entry);
    EXPECT_EQ(std::strlen(entry.site), static_cast<std::size_t>(LOG_HOST_MAX));
    EXPECT_EQ(std::string(entry.site), std::string(LOG_HOST_MAX, 'x'));

    std::snprintf(entry.site, sizeof entry.site, "10.0.0.1");
    entryResolveSite(entry);
    EXPECT_STREQ(entry.site, "host.example.com");
}

// The first name /etc/hosts gives an address, or "" when it lists none.
std::string hostsName(const std::string &address) {
    std::ifstream hosts("/etc/hosts");
    std::string line;
    while (std::getline(hosts, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string first, name;
        if (words >> first >> name && first == address) return name;
    }
    return "";
}

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(Resolve, TheSystemResolverReadsTheHostsFileForIpv4) {
    reverseLookup = systemReverseLookup;
    std::string expected = lower(hostsName("127.0.0.1"));
    if (expected.empty()) GTEST_SKIP() << "/etc/hosts lists no name for 127.0.0.1";
    const char *name = resolveAddress("127.0.0.1");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), expected);
}

TEST_F(Resolve, TheSystemResolverReadsTheHostsFileForIpv6) {
    reverseLookup = systemReverseLookup;
    std::string expected = lower(hostsName("::1"));
    if (expected.empty()) GTEST_SKIP() << "/etc/hosts lists no name for ::1";
    const char *name = resolveAddress("::1");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), expected);
}

TEST(SystemReverseLookup, RefusesWhatIsNoAddress) {
    char name[64] = "unchanged";
    EXPECT_EQ(systemReverseLookup("10.1", name, sizeof name), 0);
    EXPECT_EQ(systemReverseLookup("999.0.0.1", name, sizeof name), 0);
    EXPECT_EQ(systemReverseLookup("1:2:3:4:5:6:7:8:9", name, sizeof name), 0);
    EXPECT_STREQ(name, "unchanged");
}

class Domains : public ::testing::Test {
  protected:
    void SetUp() override {
        globalSetup();
        hashSetup(sites, 1, 2);
        hashSetup(proxysites, 1, 2);
        hashSetup(domains, 1, 2);
        hashSetup(proxydomains, 1, 2);
        myDomain = mystrdup("local.example");
        domainsFlag = 1;
    }
    void TearDown() override {
        hashShutdown(sites);
        hashShutdown(proxysites);
        hashShutdown(domains);
        hashShutdown(proxydomains);
        globalShutdown();
    }
    static void site(const char *host, double accesses, double bytes = 0) {
        hashSet(sites, host, nullptr, accesses, bytes);
    }
    static double accessesOf(Hash &table, const char *key) {
        double value = -1;
        if (!hashGetDouble(table, key, 0, &value)) return -1;
        return value;
    }
    static std::vector<std::string> keysOf(const Hash &table) {
        std::vector<std::string> keys;
        for (int r = 0; r < table.count; r++) keys.push_back(table.keys[r]);
        return keys;
    }
};

TEST_F(Domains, SubdomainsOfOneDomain) {
    subdomainsOf = mystrdup("example.com");
    site("a.b.example.com", 1);
    site("b.example.com", 2);
    site("c.example.com", 4);
    site("example.com", 8);
    site("xexample.com", 16);
    site(".example.com", 32);
    analyzeDomains();
    EXPECT_EQ(accessesOf(domains, "b.example.com"), 3);
    EXPECT_EQ(accessesOf(domains, "c.example.com"), 4);
    EXPECT_EQ(accessesOf(domains, "com"), 8 + 16 + 32);
}

TEST_F(Domains, GroupsComeFirstAndStayWhenEmpty) {
    hashSetString(fakeDns, "10.1.*", 0, "corp");
    stringArrayAppend(domainGroups, "intranet corp lab");
    stringArrayAppend(domainGroups, "europe de fr uk");
    stringArrayAppend(domainGroups, "asia jp kr");
    stringArrayAppend(domainGroups, "education edu");
    site("www.example.de", 1);
    site("www.example.fr", 2);
    site("www.example.com", 4);
    site("cs.example.edu", 8);
    site("10.1.2.3", 16, 10);  // mapped by fakedns, then grouped
    site("printer", 32);
    analyzeDomains();
    EXPECT_EQ(keysOf(domains), (std::vector<std::string>{"intranet", "europe", "asia", "education",
                                                         "Unknown", "com", "local.example"}));
    EXPECT_EQ(domains.doubles[0][0], 16);
    EXPECT_EQ(domains.doubles[0][1], 10);
    EXPECT_EQ(domains.doubles[1][0], 3);
    EXPECT_EQ(domains.doubles[2][0], 0);
    EXPECT_EQ(domains.doubles[3][0], 8);
    EXPECT_EQ(domains.doubles[4][0], 0);
}

TEST_F(Domains, GroupMembershipIsASubstringTest) {
    // "e" is no member of the group, but " e" occurs in " edu".
    stringArrayAppend(domainGroups, "education edu");
    stringArrayAppend(domainGroups, "europe e");
    site("host.e", 1);
    site("host.du", 2);
    analyzeDomains();
    EXPECT_EQ(domains.doubles[0][0], 1);
    EXPECT_EQ(domains.doubles[1][0], 0);
    EXPECT_EQ(accessesOf(domains, "du"), 2);
}

TEST_F(Domains, ProxyDomainsUseTheSameRules) {
    proxydomainsFlag = 1;
    stringArrayAppend(domainGroups, "business com");
    hashSet(proxysites, "www.example.com", nullptr, 2, 20);
    hashSet(proxysites, "www.example.net", nullptr, 1, 10);
    site("10.9.9.9", 7);
    site("host.example.com", 1);
    analyzeDomains();
    analyzeProxydomains();
    EXPECT_EQ(keysOf(proxydomains), (std::vector<std::string>{"business", "Unknown", "net"}));
    EXPECT_EQ(proxydomains.doubles[0][0], 2);
    EXPECT_EQ(proxydomains.doubles[1][0], 0);
    EXPECT_EQ(accessesOf(domains, "Unknown"), 7);
    EXPECT_EQ(accessesOf(domains, "business"), 1);
}

}  // namespace
