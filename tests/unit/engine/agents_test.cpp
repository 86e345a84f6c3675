// The user-agent classifier over the patterns of the uap-core package: agents of today's
// browsers and robots, the cache, refused pattern files, and the package's own test cases.
#include "engine/agents.h"

#include <gtest/gtest.h>
#include <yaml.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_util.h"

namespace {

class Agents : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string why;
        ASSERT_TRUE(agentPatternsLoad(AGENT_PATTERNS_DEFAULT, why)) << why;
    }
    static void TearDownTestSuite() { agentPatternsFree(); }
};

void expectFamilies(const char *agent, const char *browser, const char *system, bool robot) {
    const AgentFamilies &f = agentClassify(agent);
    EXPECT_EQ(f.browser + " / " + f.system + (f.robot ? " / robot" : ""),
              std::string(browser) + " / " + system + (robot ? " / robot" : ""))
        << agent;
}

TEST_F(Agents, CurrentBrowsersAndRobots) {
    const char *windows =
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
        "like Gecko) Chrome/131.0.0.0 Safari/537.36";
    expectFamilies(windows, "Chrome", "Windows", false);
    expectFamilies((std::string(windows) + " Edg/131.0.2903.86").c_str(), "Edge", "Windows", false);
    expectFamilies("Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0",
                   "Firefox", "Linux", false);
    expectFamilies(
        "Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 "
        "(KHTML, like Gecko) Version/18.1 Mobile/15E148 Safari/604.1",
        "Mobile Safari", "iOS", false);
    expectFamilies("curl/8.5.0", "curl", "Other", false);
    expectFamilies("Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
                   "Googlebot", "Other", true);
    expectFamilies("Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
                   "bingbot", "Other", true);
    expectFamilies("", "Other", "Other", false);
    // Old logs hold Latin-1 text; a byte that is not UTF-8 before the name does not hide it.
    expectFamilies(
        "Caf\xe9"
        "Crawler/1.0",
        "Crawler", "Other", true);
}

TEST_F(Agents, SecondLookUpIsTheCachedAnswer) {
    const char *agent = "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0";
    const AgentFamilies &first = agentClassify(agent);
    EXPECT_EQ(&agentClassify(std::string(agent).c_str()), &first);
    EXPECT_EQ(first.browser, "Firefox");
}

// Writes content as the pattern file name in dir and loads it.
::testing::AssertionResult loadPatterns(TempDir &dir, const char *name,
                                        const std::string &content) {
    std::string path = dir.file(name), why;
    std::ofstream(path) << content;
    if (agentPatternsLoad(path.c_str(), why)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why;
}

struct TestCase {
    std::string agent, family;
};

// The cases of one of the package's test files: each test_cases entry's user_agent_string and
// family, read with libyaml's events (the entries hold scalars only).
std::vector<TestCase> packageCases(const std::string &file) {
    std::ifstream in("/usr/share/uap-core/" + file);
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char *>(content.data()),
                                 content.size());
    std::vector<TestCase> cases;
    std::map<std::string, std::string> entry;
    std::string key;
    int depth = 0;
    for (yaml_event_t event; yaml_parser_parse(&parser, &event);) {
        yaml_event_type_t type = event.type;
        if (type == YAML_MAPPING_START_EVENT) depth++, key.clear();
        if (type == YAML_SCALAR_EVENT && depth == 2) {
            std::string value(reinterpret_cast<char *>(event.data.scalar.value),
                              event.data.scalar.length);
            if (key.empty()) {
                key = value;
            } else {
                entry[key] = value;
                key.clear();
            }
        }
        if (type == YAML_MAPPING_END_EVENT && depth-- == 2) {
            if (entry.count("user_agent_string") && entry.count("family"))
                cases.push_back({entry["user_agent_string"], entry["family"]});
            entry.clear();
        }
        yaml_event_delete(&event);
        if (type == YAML_STREAM_END_EVENT) break;
    }
    yaml_parser_delete(&parser);
    EXPECT_FALSE(cases.empty()) << file;
    return cases;
}

// The package's own test files. The pgts list "-orig" names the families of its source
// (Mozilla, IE, Netscape) where the patterns say Other, MyIE2 or Firefox; its uap-core
// edition is pgts_browser_list.yaml.
TEST_F(Agents, PackageTestCasesAgree) {
    enum Field { browser, system, robot };
    const struct {
        const char *file;
        Field field;
        double floor;
    } files[] = {{"tests/test_ua.yaml", browser, 99},
                 {"tests/test_os.yaml", system, 99},
                 {"tests/test_device.yaml", robot, 99},
                 {"test_resources/firefox_user_agent_strings.yaml", browser, 99},
                 {"test_resources/opera_mini_user_agent_strings.yaml", browser, 99},
                 {"test_resources/pgts_browser_list.yaml", browser, 99},
                 {"test_resources/pgts_browser_list-orig.yaml", browser, 70},
                 {"test_resources/podcasting_user_agent_strings.yaml", browser, 99},
                 {"test_resources/additional_os_tests.yaml", system, 99}};
    for (const auto &file : files) {
        int total = 0, same = 0;
        for (const TestCase &c : packageCases(file.file)) {
            const AgentFamilies &got = agentClassify(c.agent.c_str());
            const std::string &want = c.family;
            total++;
            same += file.field == browser  ? got.browser == want
                    : file.field == system ? got.system == want
                                           : got.robot == (want == "Spider");
        }
        double percent = total ? 100.0 * same / total : 0;
        std::cout << file.file << ": " << same << " of " << total << " (" << percent << "%)\n";
        EXPECT_GE(percent, file.floor) << file.file;
    }
}

// The engine for few agents and the one for many give the same families, robots included.
TEST(AgentPatterns, BothEnginesGiveTheSameFamilies) {
    std::vector<std::string> agents = {"Mozilla/5.0 (compatible; Googlebot/2.1)\vx", ""};
    for (const char *file : {"tests/test_ua.yaml", "tests/test_os.yaml", "tests/test_device.yaml"})
        for (const TestCase &c : packageCases(file))
            if (agents.size() % 8 == 0 || std::string(file) != "tests/test_device.yaml")
                agents.push_back(c.agent);
    std::vector<std::string> found[2];
    for (AgentEngine engine : {AgentEngine::FewAgents, AgentEngine::ManyAgents}) {
        std::string why;
        ASSERT_TRUE(agentPatternsLoad(AGENT_PATTERNS_DEFAULT, why)) << why;
        ASSERT_TRUE(agentPatternsEngine(engine, why)) << why;
        for (const std::string &agent : agents) {
            const AgentFamilies &f = agentClassify(agent.c_str());
            found[engine == AgentEngine::ManyAgents].push_back(f.browser + " / " + f.system +
                                                               (f.robot ? " / robot" : ""));
        }
    }
    agentPatternsFree();
    for (std::size_t i = 0; i < agents.size(); i++)
        EXPECT_EQ(found[0][i], found[1][i]) << agents[i];
}

// A device family made of the groups of the first matching pattern says "Spider" for an
// agent without the word, with either engine, after the patterns before it were tried.
TEST(AgentPatterns, SpiderMadeOfGroupsIsARobotWithEitherEngine) {
    TempDir dir;
    std::string why;
    const std::string content =
        "user_agent_parsers: []\nos_parsers: []\ndevice_parsers:\n"
        "  - {regex: 'Phone', device_replacement: 'Phone'}\n"
        "  - {regex: '(d)(er)Bot', device_replacement: 'Spi$1$2'}\n"
        "  - {regex: 'Bot', device_replacement: 'Generic'}\n";
    for (AgentEngine engine : {AgentEngine::FewAgents, AgentEngine::ManyAgents}) {
        ASSERT_TRUE(loadPatterns(dir, "groups.yaml", content));
        ASSERT_TRUE(agentPatternsEngine(engine, why)) << why;
        expectFamilies("derBot/1", "Other", "Other", true);
        expectFamilies("Phone derBot/1", "Other", "Other", false);
        expectFamilies("doBot/1", "Other", "Other", false);
    }
    agentPatternsFree();
}

// A search that backtracks without end stops at its limits, and the agent is classified by the
// engine whose time is linear: here the first pattern's second branch matches.
TEST(AgentPatterns, SearchAtItsLimitsIsLeftToTheLinearEngine) {
    TempDir dir;
    ASSERT_TRUE(loadPatterns(dir, "backtracking.yaml",
                             "user_agent_parsers:\n  - regex: '^(a+)+b|a'\n"
                             "    family_replacement: 'Found'\n"
                             "os_parsers: []\ndevice_parsers: []\n"));
    expectFamilies((std::string(40, 'a') + "c").c_str(), "Found", "Other", false);
    agentPatternsFree();
}

// A look-ahead, which RE2 does not read, leaves PCRE2 to classify every agent of the run,
// however many there are.
TEST(AgentPatterns, PatternsOnlyOneEngineReadsServeTheWholeRun) {
    TempDir dir;
    std::string why;
    ASSERT_TRUE(loadPatterns(dir, "lookahead.yaml",
                             "user_agent_parsers:\n  - regex: '(Fox)(?!Bot)/(\\d+)'\n"
                             "os_parsers: []\ndevice_parsers: []\n"));
    for (int i = 0; i < 400; i++) {
        std::string n = std::to_string(i);
        expectFamilies(("Fox/" + n + "\v").c_str(), "Fox", "Other", false);
        expectFamilies(("FoxBot/" + n).c_str(), "Other", "Other", false);
    }
    EXPECT_FALSE(agentPatternsEngine(AgentEngine::ManyAgents, why));
    agentPatternsFree();
}

TEST(AgentPatterns, RefusedFilesSayWhyAndLeaveNothingLoaded) {
    TempDir dir;
    auto refused = [&](const char *name, const char *content, const char *saying) {
        std::string path = dir.file(name), why;
        std::ofstream(path) << content;
        EXPECT_FALSE(agentPatternsLoad(path.c_str(), why));
        EXPECT_NE(why.find(path), std::string::npos) << why;
        EXPECT_NE(why.find(saying), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        EXPECT_EQ(agentPatternsLoaded(), 0);
    };
    ASSERT_TRUE(loadPatterns(dir, "tiny.yaml",
                             "user_agent_parsers:\n  - regex: '(Fox)/(\\d+)'\n"
                             "    family_replacement: 'Fire$1 $2'\n"
                             "os_parsers:\n  - regex: 'Linux'\n    os_replacement: 'Linux'\n"
                             "device_parsers:\n  - regex: 'BOT'\n    regex_flag: 'i'\n"
                             "    device_replacement: 'Spider'\n"));
    expectFamilies("Fox/7 (Linux) robot", "FireFox 7", "Linux", true);
    expectFamilies("Lynx", "Other", "Other", false);

    refused("missing/regexes.yaml", "", "No such file");
    refused("broken.yaml", "user_agent_parsers: [\n  - {regex: \"x\"\n", "not a YAML file");
    refused("other.yaml", "test_cases:\n  - user_agent_string: x\n", "no list user_agent_parsers");
    refused("bad.yaml",
            "user_agent_parsers:\n  - regex: 'a'\n  - regex: '(Fox'\n"
            "os_parsers: []\ndevice_parsers: []\n",
            "pattern 2 of user_agent_parsers does not compile");
    refused("nested.yaml",
            "user_agent_parsers:\n  - regex: 'a'\n  - regex: [b]\n"
            "os_parsers: []\ndevice_parsers: []\n",
            "entry 2 of user_agent_parsers has no regex");
    expectFamilies("Fox/8", "Other", "Other", false);
}

// The lists are read however the YAML lays them out: other keys around them, nested values
// to pass over, an entry's keys in any order, flow style, an alias of a scalar, a later list
// of the same name.
TEST(AgentPatterns, AnyYamlLayoutOfTheListsIsRead) {
    TempDir dir;
    ASSERT_TRUE(loadPatterns(dir, "layout.yaml",
                             "# patterns\nversion: {major: 1, notes: [a, {b: c}]}\n"
                             "device_parsers: [{device_replacement: Spider, regex: 'bot'}]\n"
                             "user_agent_parsers:\n"
                             "  - v1_replacement: [x, y]\n    family_replacement: \"Fire\\x46ox\"\n"
                             "    regex: \"Fox/(\\\\d+)\"\n    ? [odd, key]\n    : z\n"
                             "os_parsers:\n  - {regex: 'Linux', os_replacement: &gnu 'GNU/Linux'}\n"
                             "  - {regex: 'Lynx', os_replacement: *gnu}\n"
                             "user_agent_parsers: [{regex: 'Lynx'}]\n"));
    expectFamilies("Fox/7 (Linux) robot", "FireFox", "GNU/Linux", true);
    expectFamilies("Lynx", "Other", "GNU/Linux", false);
    agentPatternsFree();
}

// What PCRE2 would read otherwise than RE2 is left to RE2: a Latin-1 byte written as an
// escape, which RE2 compares without regard to case, and an agent with a vertical tab,
// which PCRE2's \s takes for a blank. A file of Latin-1 escapes is indexed in Latin-1.
TEST(AgentPatterns, WhatTheEnginesReadApartIsLeftToRe2) {
    TempDir dir;
    std::string why;
    ASSERT_TRUE(loadPatterns(dir, "latin.yaml",
                             "user_agent_parsers:\n  - regex: 'caf\\xe9'\n    regex_flag: 'i'\n"
                             "    family_replacement: 'Latin'\n"
                             "os_parsers: []\ndevice_parsers: []\n"));
    EXPECT_FALSE(agentPatternsEngine(AgentEngine::FewAgents, why));
    expectFamilies("CAF\xc9", "Latin", "Other", false);
    expectFamilies("caf\xe9", "Latin", "Other", false);
    ASSERT_TRUE(loadPatterns(dir, "blank.yaml",
                             "user_agent_parsers:\n  - regex: 'a\\sb'\n"
                             "    family_replacement: 'Blank'\n"
                             "os_parsers: []\ndevice_parsers: []\n"));
    expectFamilies("a b", "Blank", "Other", false);
    expectFamilies("a\vb", "Other", "Other", false);
    agentPatternsFree();
}

}  // namespace
