// Families of user agents from uap-core's regexes.yaml: the file is read with yaml-cpp and its
// patterns are matched with RE2, whose matching time is linear in the agent's length whatever
// the pattern (agents are text any client chooses).
//
// Each list (browsers, systems, devices) holds some hundred patterns and the first one that
// matches wins. Trying them one by one costs hundreds of searches per agent, and one RE2::Set
// of a whole list is no faster: the lists' bounded repeats (.{0,200}) make its automaton
// explode. So each list is an re2::FilteredRE2: RE2 works out the literal strings ("atoms")
// each pattern cannot match without, one RE2::Set of plain strings finds the atoms an agent
// holds, and only the patterns those atoms allow are tried, in list order. The winner is run
// once more for its capture groups when its family takes text from them.
#include "engine/agents.h"

#include <re2/filtered_re2.h>
#include <re2/re2.h>
#include <re2/set.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// How the family is formed from a matching pattern.
struct Family {
    std::string replacement;      // the list's family replacement ("" when it has none)
    bool hasReplacement = false;  // without one the family is the first group's text
    bool needsGroups = false;     // the family takes text from capture groups
    // Whether the family can be "Spider" for an agent that does not hold the word "Spider".
    bool spiderWithoutWord = false;
};

struct PatternList {
    re2::FilteredRE2 patterns;
    std::vector<Family> families;     // one per pattern, in list order
    std::unique_ptr<RE2::Set> atoms;  // null when the list has no atoms
    std::vector<int> potentials;      // patterns an agent's atoms allow (scratch)
};

struct Patterns {
    PatternList browsers, systems, devices;
};

std::unique_ptr<Patterns> loaded;
std::unordered_map<std::string, AgentFamilies> cache;

const AgentFamilies &unknownAgent() {
    static const AgentFamilies other{"Other", "Other", false};
    return other;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 128; });
}

// Options for a pattern. ASCII patterns (all of uap-core's) are read in Latin-1, where '.' is
// one byte rather than one UTF-8 character: they compile in two thirds of the time, match
// faster, and match the bytes of an agent that is not valid UTF-8 as well.
RE2::Options patternOptions(bool ascii, bool caseless) {
    RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(!caseless);
    if (ascii) options.set_encoding(RE2::Options::EncodingLatin1);
    return options;
}

// The pattern text cut to a length that fits in a message.
std::string shownPattern(const std::string &text) {
    return "'" + text.substr(0, 80) + (text.size() > 80 ? "...'" : "'");
}

void trim(std::string &text) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    text = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

bool isGroupReference(const std::string &text, std::size_t i) {
    return text[i] == '$' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9';
}

// Whether a pattern's family can be "Spider" for an agent without that word. A fixed family
// is or is not. A family that is one group's text, blanks around it at most, is "Spider" only
// when the agent holds the word. Any other mix of text and groups keeps its own letters, in
// order, in what it gives: it can make "Spider" only when they are a subsequence of it.
bool canSaySpiderWithoutWord(const Family &family) {
    if (!family.needsGroups) {
        std::string fixed = family.replacement;
        trim(fixed);
        return fixed == "Spider";
    }
    if (!family.hasReplacement) return false;
    std::string letters;
    int groups = 0;
    const std::string &r = family.replacement;
    for (std::size_t i = 0; i < r.size(); i++) {
        if (isGroupReference(r, i)) {
            groups++;
            i++;
        } else if (r[i] != ' ' && r[i] != '\t') {
            letters += r[i];
        }
    }
    if (groups == 1 && letters.empty()) return false;
    std::size_t matched = 0;
    for (char c : std::string_view("Spider"))
        if (matched < letters.size() && letters[matched] == c) matched++;
    return matched == letters.size();
}

// One pattern of a list as the file gives it.
struct Entry {
    std::string regex;
    bool caseless = false;  // regex_flag: 'i'
    Family family;
};

// Reads the entries of one list of the file; false with why set when the list is missing or
// an entry has no pattern.
bool readList(const YAML::Node &root, const char *name, const char *replacementKey,
              const char *path, std::vector<Entry> &list, std::string &why) {
    YAML::Node entries = root[name];
    if (!entries || !entries.IsSequence()) {
        why = std::string(path) + ": no list " + name + " (not a uap-core regexes.yaml file)";
        return false;
    }
    for (const YAML::Node &node : entries) {
        YAML::Node regex = node.IsMap() ? node["regex"] : YAML::Node();
        if (!regex || !regex.IsScalar()) {
            why = std::string(path) + ": entry " + std::to_string(list.size() + 1) + " of " + name +
                  " has no regex";
            return false;
        }
        Entry entry;
        entry.regex = regex.Scalar();
        YAML::Node flag = node["regex_flag"];
        entry.caseless = flag && flag.IsScalar() && flag.Scalar() == "i";
        Family &family = entry.family;
        YAML::Node replacement = node[replacementKey];
        if (replacement && replacement.IsScalar()) {
            family.hasReplacement = true;
            family.replacement = replacement.Scalar();
        }
        family.needsGroups = !family.hasReplacement;
        for (std::size_t i = 0; i < family.replacement.size(); i++)
            family.needsGroups = family.needsGroups || isGroupReference(family.replacement, i);
        family.spiderWithoutWord = canSaySpiderWithoutWord(family);
        list.push_back(std::move(entry));
    }
    return true;
}

// Compiles the patterns of one list and the set of their atoms; false with why set when a
// pattern does not compile.
bool compileList(std::vector<Entry> &entries, const char *name, const char *path, PatternList &list,
                 std::string &why) {
    for (Entry &entry : entries) {
        int id = 0;
        RE2::Options options = patternOptions(isAscii(entry.regex), entry.caseless);
        if (list.patterns.Add(entry.regex, options, &id) != RE2::NoError) {
            RE2 failed(entry.regex, options);
            why = std::string(path) + ": pattern " + std::to_string(list.families.size() + 1) +
                  " of " + name + " does not compile (" + failed.error() +
                  "): " + shownPattern(entry.regex);
            return false;
        }
        list.families.push_back(std::move(entry.family));
    }
    if (list.families.empty()) return true;
    std::vector<std::string> atoms;
    list.patterns.Compile(&atoms);
    if (atoms.empty()) return true;
    // The atoms are lower-case; the set compares without regard to case instead of lowering
    // each agent. It has room for the automaton of a few thousand atoms, so that it is not
    // rebuilt again and again (it grows only as agents need it).
    RE2::Options options = patternOptions(
        std::all_of(atoms.begin(), atoms.end(), [](const std::string &a) { return isAscii(a); }),
        true);
    options.set_literal(true);
    options.set_max_mem(64 << 20);
    list.atoms = std::make_unique<RE2::Set>(options, RE2::UNANCHORED);
    for (const std::string &atom : atoms) {
        if (list.atoms->Add(atom, nullptr) < 0) {
            why = std::string(path) + ": the patterns of " + name + " cannot be indexed";
            return false;
        }
    }
    if (!list.atoms->Compile()) {
        why = std::string(path) + ": the patterns of " + name + " are too large to compile";
        return false;
    }
    return true;
}

// The family pattern re gives for agent: the replacement with $1..$9 replaced by the groups'
// text (a group that did not take part gives nothing), or the first group's text without one.
std::string familyOf(const RE2 &re, const Family &how, const re2::StringPiece &agent) {
    std::string family;
    if (!how.needsGroups) {
        family = how.replacement;
    } else {
        re2::StringPiece groups[10];
        int count = std::min(re.NumberOfCapturingGroups(), 9) + 1;
        if (!re.Match(agent, 0, agent.size(), RE2::UNANCHORED, groups, count)) return "Other";
        if (!how.hasReplacement) {
            if (count > 1) family.assign(groups[1].data(), groups[1].size());
        } else {
            const std::string &r = how.replacement;
            for (std::size_t i = 0; i < r.size(); i++) {
                if (!isGroupReference(r, i)) {
                    family += r[i];
                    continue;
                }
                int group = r[++i] - '0';
                if (group < count) family.append(groups[group].data(), groups[group].size());
            }
        }
    }
    trim(family);
    return family.empty() ? "Other" : family;
}

// The atoms of list that agent holds; false when the set could not tell (its automaton ran
// out of room), and then every pattern has to be tried.
bool findAtoms(const PatternList &list, const re2::StringPiece &agent, std::vector<int> &atoms) {
    atoms.clear();
    RE2::Set::ErrorInfo error{};
    return !list.atoms || list.atoms->Match(agent, &atoms, &error) ||
           error.kind == RE2::Set::kNoError;
}

// The family the first matching pattern of list gives, "Other" when none matches.
std::string classifyWith(const PatternList &list, const re2::StringPiece &agent,
                         std::vector<int> &atoms) {
    if (list.families.empty()) return "Other";
    int first = findAtoms(list, agent, atoms) ? list.patterns.FirstMatch(agent, atoms)
                                              : list.patterns.SlowFirstMatch(agent);
    if (first < 0) return "Other";
    return familyOf(list.patterns.GetRE2(first), list.families[static_cast<std::size_t>(first)],
                    agent);
}

// Whether the device family of agent is "Spider". Most agents hold no robot's name, and
// finding their first matching device pattern (the list is mostly phone models) is the
// dearest part of classifying them: first try only the patterns that can say "Spider". When
// none matches the answer is no; otherwise only the patterns before it can still win.
bool isRobot(PatternList &list, const re2::StringPiece &agent, std::vector<int> &atoms) {
    if (list.families.empty()) return false;
    if (agent.find("Spider") != re2::StringPiece::npos || !findAtoms(list, agent, atoms))
        return classifyWith(list, agent, atoms) == "Spider";
    std::vector<int> &candidates = list.potentials;
    list.patterns.AllPotentials(atoms, &candidates);
    std::sort(candidates.begin(), candidates.end());
    auto matches = [&](int index) { return RE2::PartialMatch(agent, list.patterns.GetRE2(index)); };
    auto spider = candidates.begin();
    while (
        spider != candidates.end() &&
        !(list.families[static_cast<std::size_t>(*spider)].spiderWithoutWord && matches(*spider)))
        ++spider;
    if (spider == candidates.end()) return false;
    int first = *std::find_if(candidates.begin(), spider + 1,
                              [&](int index) { return index == *spider || matches(index); });
    return familyOf(list.patterns.GetRE2(first), list.families[static_cast<std::size_t>(first)],
                    agent) == "Spider";
}

// The whole file at path; false with errno set when it cannot be read.
bool readWhole(const char *path, std::string &content) {
    std::FILE *file = std::fopen(path, "rb");
    if (!file) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
    int error = std::ferror(file) ? errno : 0;
    std::fclose(file);
    errno = error;
    return error == 0;
}

// The text of each top-level list of a pattern file laid out as uap-core's: each of the three
// keys once, at the start of a line, and nothing but comments and blank lines before the
// first. False for any other layout.
bool splitLists(const std::string &content, std::string_view parts[3]) {
    static const char *const keys[3] = {"user_agent_parsers:", "os_parsers:", "device_parsers:"};
    std::size_t starts[3];
    for (int k = 0; k < 3; k++) {
        std::string key = std::string("\n") + keys[k];
        std::size_t at = content.compare(0, key.size() - 1, keys[k]) == 0 ? 0 : content.find(key);
        if (at == std::string::npos) return false;
        if (at > 0) at++;
        if (content.find(key, at) != std::string::npos) return false;
        starts[k] = at;
    }
    std::size_t first = std::min({starts[0], starts[1], starts[2]});
    for (std::size_t at = 0; at < first;) {
        std::size_t end = content.find('\n', at);
        std::string_view line(content.data() + at, (end == std::string::npos ? first : end) - at);
        std::size_t text = line.find_first_not_of(" \t\r");
        if (text != std::string_view::npos && line[text] != '#') return false;
        at = end == std::string::npos ? first : end + 1;
    }
    for (int k = 0; k < 3; k++) {
        std::size_t end = content.size();
        for (int other = 0; other < 3; other++)
            if (starts[other] > starts[k] && starts[other] < end) end = starts[other];
        parts[k] = std::string_view(content.data() + starts[k], end - starts[k]);
    }
    return true;
}

// Reads the three lists of a file laid out as uap-core's, the device list (the longest) on
// a second thread. False when the file is laid out otherwise or anything in it is amiss:
// the whole file is then read as one document, which also says what is wrong.
bool readListsApart(const std::string &content, const char *path, std::vector<Entry> &browsers,
                    std::vector<Entry> &systems, std::vector<Entry> &devices) {
    std::string_view parts[3];
    if (!splitLists(content, parts)) return false;
    auto readPart = [path](std::string_view text, const char *name, const char *replacement,
                           std::vector<Entry> &list) {
        try {
            YAML::Node root = YAML::Load(std::string(text));
            std::string why;
            return root.IsMap() && root.size() == 1 &&
                   readList(root, name, replacement, path, list, why);
        } catch (const YAML::Exception &) {
            return false;
        }
    };
    auto devicesRead = std::async(std::launch::async | std::launch::deferred, [&] {
        return readPart(parts[2], "device_parsers", "device_replacement", devices);
    });
    bool others = readPart(parts[0], "user_agent_parsers", "family_replacement", browsers) &&
                  readPart(parts[1], "os_parsers", "os_replacement", systems);
    return devicesRead.get() && others;
}

// Reads the three lists of the file as one document; false with why set when it is no
// YAML, or not a file of pattern lists.
bool readListsWhole(const std::string &content, const char *path, std::vector<Entry> &browsers,
                    std::vector<Entry> &systems, std::vector<Entry> &devices, std::string &why) {
    try {
        YAML::Node root = YAML::Load(content);
        if (!root.IsMap()) {
            why = std::string(path) + ": not a uap-core regexes.yaml file (no lists of patterns)";
            return false;
        }
        return readList(root, "user_agent_parsers", "family_replacement", path, browsers, why) &&
               readList(root, "os_parsers", "os_replacement", path, systems, why) &&
               readList(root, "device_parsers", "device_replacement", path, devices, why);
    } catch (const YAML::Exception &e) {
        why = std::string(path) + ": not a YAML file (" +
              (e.mark.is_null() ? "" : "line " + std::to_string(e.mark.line + 1) + ": ") + e.msg +
              ")";
        return false;
    }
}

// Reads and compiles the patterns of path into loaded.
bool load(const char *path, std::string &why) {
    std::string content;
    if (!readWhole(path, content)) {
        why = std::string("cannot read the agent patterns ") + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<Entry> browsers, systems, devices;
    if (!readListsApart(content, path, browsers, systems, devices)) {
        browsers.clear();
        systems.clear();
        devices.clear();
        if (!readListsWhole(content, path, browsers, systems, devices, why)) return false;
    }
    // Compiling the patterns is most of the time a load takes, the device list more than
    // half of it: that list is compiled on a second thread (on this one when no thread can
    // be started) while this one compiles the other two.
    auto patterns = std::make_unique<Patterns>();
    std::string devicesWhy;
    auto devicesDone = std::async(
        std::launch::async | std::launch::deferred, [&devices, &patterns, &devicesWhy, path] {
            return compileList(devices, "device_parsers", path, patterns->devices, devicesWhy);
        });
    bool others = compileList(browsers, "user_agent_parsers", path, patterns->browsers, why) &&
                  compileList(systems, "os_parsers", path, patterns->systems, why);
    if (!devicesDone.get() && others) why = devicesWhy;
    if (!others || !devicesWhy.empty()) return false;
    loaded = std::move(patterns);
    return true;
}

}  // namespace

bool agentPatternsLoad(const char *path, std::string &why) {
    agentPatternsFree();
    if (load(path, why)) return true;
    // One line of text, whatever bytes the file or pattern put in it.
    for (char &c : why)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return false;
}

int agentPatternsLoaded() {
    return loaded ? 1 : 0;
}

const AgentFamilies &agentClassify(const char *agent) {
    if (!loaded) return unknownAgent();
    std::string key(agent);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    re2::StringPiece text(key);
    static std::vector<int> atoms;
    AgentFamilies families;
    families.browser = classifyWith(loaded->browsers, text, atoms);
    families.system = classifyWith(loaded->systems, text, atoms);
    families.robot = isRobot(loaded->devices, text, atoms);
    return cache.emplace(std::move(key), std::move(families)).first->second;
}

void agentPatternsFree() {
    loaded.reset();
    cache.clear();
    cache.rehash(0);
}
