// Who is visiting: the families of the agents (browser, operating system), the robots
// among them (those the user-agent patterns know and the site's own, named by
// robotagents), and client addresses made private before anything is counted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/global.h"
#include "core/chars.h"
#include "core/exit.h"
#include "core/hash.h"
#include "core/match.h"
#include "engine/agents.h"
#include "engine/engine.h"
#include "log/log.h"

int agentsInUse = 0;

namespace {

// Each agent text seen in the run: text cell 0 is its robot's name (empty for an agent
// that is no robot's), 1 and 2 its browser and system families; number cells 2n and 2n + 1
// are text n's length and hashKeyHash.
Hash agentRobots;

// Agents remembered at most; a log of ever new agent texts starts the memory afresh.
constexpr int AGENT_ROBOTS_MAX = 200000;

// Longest robot name taken from an agent text.
constexpr std::size_t ROBOT_NAME_MAX = 64;

// The product token at the start of text: what comes before the first "/", blank, ";"
// or parenthesis ("SiteMonitor" of "SiteMonitor/2.0 (ops@example.org)"), cut to
// ROBOT_NAME_MAX characters.
std::string tokenAt(const char *text) {
    std::size_t length = std::strcspn(text, "/ ;()");
    if (length > ROBOT_NAME_MAX) length = ROBOT_NAME_MAX;
    return std::string(text, length);
}

// The name of a robot by its agent text: its first product token, or for the usual
// "Mozilla/5.0 (compatible; Name/1.0; ...)" the token after "compatible; ", or the
// browser family the patterns found; the text itself, cut, when it has no token.
std::string productName(const char *agent, const AgentFamilies &families) {
    std::string token = tokenAt(agent);
    if (token == "Mozilla") {
        if (const char *compatible = std::strstr(agent, "compatible; ")) {
            std::string inner = tokenAt(compatible + std::strlen("compatible; "));
            if (!inner.empty()) return inner;
        }
        if (!families.browser.empty() && families.browser != "Other") return families.browser;
    }
    if (token.empty()) return std::string(agent, std::min(std::strlen(agent), ROBOT_NAME_MAX));
    return token;
}

// Name of the robot an agent belongs to, or "" for a person: a robot of the patterns is
// named by its browser family ("Googlebot"), one of robotagents by its product token; a
// robot of the patterns without a family of its own is named like one of robotagents.
std::string robotName(const char *agent, const AgentFamilies &families) {
    bool own = robotAgents.count > 0 && matchAny(agent, robotAgents);
    if (!families.robot && !own) return "";
    if (families.robot && !families.browser.empty() && families.browser != "Other")
        return families.browser;
    return productName(agent, families);
}

bool digitsAndDots(const char *text, std::size_t length, int *dots) {
    *dots = 0;
    for (std::size_t i = 0; i < length; i++) {
        if (text[i] == '.')
            ++*dots;
        else if (!charIsDigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return length > 0;
}

bool allDigits(const char *text) {
    if (!*text) return false;
    for (; *text; text++)
        if (!charIsDigit(static_cast<unsigned char>(*text))) return false;
    return true;
}

}  // namespace

void peopleSetup() {
    agentsInUse = 0;
    if (anonymizeFlag && dnsFlag) {
        std::fputs("Note: anonymize is on, so no host names are looked up (dns is ignored).\n",
                   stderr);
        dnsFlag = 0;
    }
    if (!agentPatternsNeeded()) return;
    const char *path = agentPatterns ? agentPatterns : AGENT_PATTERNS_DEFAULT;
    std::string why;
    if (!agentPatternsLoad(path, why)) {
        if (agentPatterns)
            fatal(
                "Configuration file error at line %d:\nThe user-agent pattern file %s cannot "
                "be used: %s\n",
                agentPatternsLine, path, why.c_str());
        fatal(
            "Error: browserfamilies, systemfamilies, robotlist and robots apart or ignore need "
            "the user-agent patterns of %s, which cannot be used: %s\nInstall the Debian "
            "package uap-core, or name a pattern file with useragentpatterns.\n",
            path, why.c_str());
    }
    hashSetup(agentRobots, 3, 6);
    agentsInUse = 1;
}

void peopleShutdown() {
    if (!agentsInUse) return;
    hashShutdown(agentRobots);
    agentPatternsFree();
    agentsInUse = 0;
}

bool entryFamilies(const LogEntry &entry, std::size_t agentLength, uint32_t agentHash,
                   EntryFamilies *families) {
    if (!agentsInUse || entry.agent[0] == '\0') return false;
    int row = hashFindHashed(agentRobots, entry.agent, agentLength, agentHash);
    if (row < 0) {
        const AgentFamilies &found = agentClassify(entry.agent);
        if (agentRobots.count >= AGENT_ROBOTS_MAX) hashReset(agentRobots);
        row = hashFindOrAddHashed(agentRobots, entry.agent, agentLength, agentHash);
        const std::string texts[3] = {robotName(entry.agent, found), found.browser, found.system};
        double *numbers = hashRowNumbers(agentRobots, row);
        for (int column = 0; column < 3; column++) {
            hashSetIndexString(agentRobots, row, column, texts[column].c_str());
            numbers[2 * column] = static_cast<double>(texts[column].size());
            numbers[2 * column + 1] = hashKeyHash(texts[column].c_str(), texts[column].size());
        }
    }
    const char *const *texts = agentRobots.strings[row];
    const double *numbers = hashRowNumbers(agentRobots, row);
    FamilyKey *keys[3] = {&families->robot, &families->browser, &families->system};
    for (int column = 0; column < 3; column++) {
        keys[column]->text = texts[column] ? texts[column] : "";
        keys[column]->length = static_cast<std::size_t>(numbers[2 * column]);
        keys[column]->hash = static_cast<uint32_t>(numbers[2 * column + 1]);
    }
    if (keys[0]->length == 0) keys[0]->text = nullptr;
    return true;
}

void addressAnonymize(char *site, std::size_t size) {
    std::size_t length = std::strlen(site);
    // IPv4, possibly with a port: everything after the last dot becomes 0.
    const char *colon = std::strchr(site, ':');
    std::size_t address = length;
    if (colon && std::strchr(colon + 1, ':') == nullptr && allDigits(colon + 1))
        address = static_cast<std::size_t>(colon - site);
    int dots = 0;
    if (digitsAndDots(site, address, &dots) && dots == 3) {
        std::size_t last = address;
        while (site[last - 1] != '.') last--;
        if (last + 2 <= size) {
            site[last] = '0';
            site[last + 1] = '\0';
        }
        return;
    }
    // IPv6, possibly in brackets, with a zone or a port: the last 80 bits become zero; for
    // an IPv4 address written as IPv6 (::ffff:192.0.2.7), the last octet.
    char text[INET6_ADDRSTRLEN + 1];
    const char *begin = site;
    std::size_t span = length;
    if (site[0] == '[') {
        const char *close = std::strchr(site, ']');
        if (!close) return;
        begin = site + 1;
        span = static_cast<std::size_t>(close - begin);
    }
    std::size_t zone = std::strcspn(begin, "%");
    if (zone < span) span = zone;
    if (span == 0 || span >= sizeof text) return;
    std::memcpy(text, begin, span);
    text[span] = '\0';
    in6_addr bits;
    if (inet_pton(AF_INET6, text, &bits) != 1) return;
    static const unsigned char mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(bits.s6_addr, mappedPrefix, sizeof mappedPrefix) == 0)
        bits.s6_addr[15] = 0;
    else
        std::memset(bits.s6_addr + 6, 0, 10);
    if (!inet_ntop(AF_INET6, &bits, text, sizeof text)) {
        site[0] = '\0';  // cannot happen; never leave the full address
        return;
    }
    std::snprintf(site, size, "%s", text);
}
