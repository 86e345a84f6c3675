// Families of a user agent (browser, operating system, robot) from a file of user-agent
// patterns in the uap-core layout (regexes.yaml). Each distinct agent text is classified
// once per run; later calls with the same text are answered from a cache.
#pragma once
#include <string>

// Where the Debian package uap-core installs its patterns.
constexpr const char *AGENT_PATTERNS_DEFAULT = "/usr/share/uap-core/regexes.yaml";

struct AgentFamilies {
    std::string browser;  // user-agent family ("Other" when no pattern matches)
    std::string system;   // operating-system family ("Other" when none matches)
    bool robot = false;   // the patterns' device family is "Spider"
};

// Reads and compiles the patterns of path, replacing any loaded before. On failure
// nothing is loaded, why holds one line saying what is wrong (unreadable file, not
// YAML, a pattern that does not compile...) and the result is false.
bool agentPatternsLoad(const char *path, std::string &why);
// 1 when patterns are loaded.
int agentPatternsLoaded();
// The families of the agent text (any bytes, possibly empty). The reference stays valid
// until agentPatternsFree or the next agentPatternsLoad. Without loaded patterns every
// family is "Other", no robot. Not for use from more than one thread at a time; the
// cache keeps every distinct agent of the run.
const AgentFamilies &agentClassify(const char *agent);
// Which engine classifies the agents not seen yet. A run starts with the one that is quick to
// load and moves to the one that is quick per agent once it has seen many; tests pin either
// to compare them (they give the same families).
enum class AgentEngine { Automatic, FewAgents, ManyAgents };
// False with why set when the loaded patterns cannot be read by that engine.
bool agentPatternsEngine(AgentEngine engine, std::string &why);
// Frees the patterns and the cache.
void agentPatternsFree();
