// The user-agent classifier over the patterns of the uap-core package: agents of today's
// browsers and robots, the cache, refused pattern files, and the package's own test cases.
#include "engine/agents.h"

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <fstream>
#include <iostream>
#include <string>

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
        for (const YAML::Node &c :
             YAML::LoadFile(std::string("/usr/share/uap-core/") + file.file)["test_cases"]) {
            if (!c["family"] || !c["family"].IsScalar()) continue;
            const AgentFamilies &got = agentClassify(c["user_agent_string"].Scalar().c_str());
            const std::string &want = c["family"].Scalar();
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
    std::string tiny = dir.file("tiny.yaml"), why;
    std::ofstream(tiny) << "user_agent_parsers:\n  - regex: '(Fox)/(\\d+)'\n"
                           "    family_replacement: 'Fire$1 $2'\n"
                           "os_parsers:\n  - regex: 'Linux'\n    os_replacement: 'Linux'\n"
                           "device_parsers:\n  - regex: 'BOT'\n    regex_flag: 'i'\n"
                           "    device_replacement: 'Spider'\n";
    ASSERT_TRUE(agentPatternsLoad(tiny.c_str(), why)) << why;
    expectFamilies("Fox/7 (Linux) robot", "FireFox 7", "Linux", true);
    expectFamilies("Lynx", "Other", "Other", false);

    refused("missing/regexes.yaml", "", "No such file");
    refused("broken.yaml", "user_agent_parsers: [\n  - {regex: \"x\"\n", "not a YAML file");
    refused("other.yaml", "test_cases:\n  - user_agent_string: x\n", "no list user_agent_parsers");
    refused("bad.yaml",
            "user_agent_parsers:\n  - regex: 'a'\n  - regex: '(Fox'\n"
            "os_parsers: []\ndevice_parsers: []\n",
            "pattern 2 of user_agent_parsers does not compile");
    expectFamilies("Fox/8", "Other", "Other", false);
}

}  // namespace
