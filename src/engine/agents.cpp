// Families of user agents from uap-core's regexes.yaml, read with libyaml's event parser.
// Each list (browsers, systems, devices) holds some hundred patterns and the first one that
// matches wins. Two regex engines that read these patterns alike share the work:
//
// - PCRE2 compiles the whole file in a few milliseconds and then tries the patterns one by
//   one, a few hundred microseconds per agent. A run starts with it: most logs hold a few
//   dozen distinct agents, and then the patterns cost less than a tenth of the run.
// - RE2 takes about a hundred milliseconds to compile them, then classifies an agent in tens
//   of microseconds, in time linear in its length whatever the pattern. A run moves to it
//   once it has seen many agents or spent long on them with PCRE2, and at once for an agent
//   on which a PCRE2 search runs into its limits (agents are text any client chooses).
//
// One RE2::Set of a whole list is no faster than trying the patterns one by one: the lists'
// bounded repeats (.{0,200}) make its automaton explode. So each list is an re2::FilteredRE2:
// RE2 works out the literal strings ("atoms") each pattern cannot match without, one RE2::Set
// of plain strings finds the atoms an agent holds, and only the patterns those atoms allow
// are tried, in list order. The winner is run once more for its capture groups when its
// family takes text from them.
//
// PCRE2 starts only when it reads every pattern of the file as RE2 does: ASCII patterns
// without byte escapes or Unicode classes, compiled without UTF and with $ matching at the
// end only, and agents without a vertical tab (which PCRE2's \s matches and RE2's does not)
// or a line end. Any other file is compiled with RE2 at once, and refused when RE2 refuses a
// pattern of it.
#include "engine/agents.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <re2/filtered_re2.h>
#include <re2/re2.h>
#include <re2/set.h>
#include <yaml.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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

// One pattern of a list as the file gives it.
struct Entry {
    std::string regex;
    bool caseless = false;  // regex_flag: 'i'
    Family family;
};

// The lists of the file, in this order.
enum { BROWSERS, SYSTEMS, DEVICES, LISTS };
const char *const listNames[LISTS] = {"user_agent_parsers", "os_parsers", "device_parsers"};
const char *const replacementKeys[LISTS] = {"family_replacement", "os_replacement",
                                            "device_replacement"};

// One list compiled with RE2.
struct PatternList {
    re2::FilteredRE2 patterns;
    std::unique_ptr<RE2::Set> atoms;  // null when the list has no atoms
    bool indexed = false;             // the set holds every atom
    std::vector<int> potentials;      // patterns an agent's atoms allow (scratch)
};

struct FullPatterns {
    PatternList lists[LISTS];
};

// One list compiled with PCRE2.
struct QuickList {
    std::vector<pcre2_code *> codes;  // one per pattern
    std::vector<int> indexes;         // 0, 1, ... one per pattern: every one a candidate
    QuickList() = default;
    QuickList(const QuickList &) = delete;
    QuickList &operator=(const QuickList &) = delete;
    ~QuickList() {
        for (pcre2_code *code : codes) pcre2_code_free(code);
    }
};

// A run with few distinct agents classifies them all with PCRE2; it moves to RE2 after this
// many, or after this much time spent on them.
constexpr int QUICK_AGENTS_MAX = 256;
constexpr double QUICK_SECONDS_MAX = 0.04;
// Steps and depth one PCRE2 search may take. The patterns' bounded repeats make PCRE2
// backtrack: some take 30,000 steps on agents of the package's test cases, none 100,000.
// An agent on which a search reaches them is classified by RE2.
constexpr uint32_t QUICK_MATCH_LIMIT = 100000;
constexpr uint32_t QUICK_DEPTH_LIMIT = 10000;

struct Patterns {
    std::string path;  // for messages
    std::vector<Entry> lists[LISTS];
    bool quick = false;  // PCRE2 compiled them, and reads as RE2 does all that RE2 reads
    QuickList quickLists[LISTS];
    pcre2_match_data *matchData = nullptr;
    pcre2_match_context *matchContext = nullptr;
    int quickAgents = 0;
    double quickSeconds = 0;
    std::unique_ptr<FullPatterns> full;  // null until compiled
    bool fullFailed = false;             // RE2 could not compile them; PCRE2 does it all
    AgentEngine engine = AgentEngine::Automatic;
    ~Patterns() {
        pcre2_match_data_free(matchData);
        pcre2_match_context_free(matchContext);
    }
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
    std::string shown = "'";
    shown.append(text, 0, 80);
    shown += text.size() > 80 ? "...'" : "'";
    return shown;
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

// The events of a YAML text, read one at a time with libyaml's parser. Only what the
// pattern lists need is kept: building the whole document first took four times as long.
class YamlEvents {
  public:
    YamlEvents(const std::string &text, const char *path) : path(path) {
        yaml_parser_initialize(&parser);
        yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char *>(text.data()),
                                     text.size());
    }
    YamlEvents(const YamlEvents &) = delete;
    YamlEvents &operator=(const YamlEvents &) = delete;
    ~YamlEvents() {
        if (held) yaml_event_delete(&event);
        yaml_parser_delete(&parser);
    }

    // Moves to the next event; false with why set when the text is no YAML. An alias of a
    // scalar reads as that scalar.
    bool next(std::string &why) {
        if (held) yaml_event_delete(&event);
        held = yaml_parser_parse(&parser, &event) != 0;
        aliased = nullptr;
        if (!held) {
            why = std::string(path) + ": not a YAML file (line " +
                  std::to_string(parser.problem_mark.line + 1) + ": " +
                  (parser.problem ? parser.problem : "unreadable") + ")";
        } else if (event.type == YAML_SCALAR_EVENT && event.data.scalar.anchor) {
            anchors[reinterpret_cast<const char *>(event.data.scalar.anchor)] = text();
        } else if (event.type == YAML_ALIAS_EVENT) {
            auto found = anchors.find(reinterpret_cast<const char *>(event.data.alias.anchor));
            if (found != anchors.end()) aliased = &found->second;
        }
        return held;
    }
    yaml_event_type_t type() const { return aliased ? YAML_SCALAR_EVENT : event.type; }
    // The text of the scalar event at hand.
    std::string_view text() const {
        if (aliased) return *aliased;
        return {reinterpret_cast<const char *>(event.data.scalar.value), event.data.scalar.length};
    }
    // Moves past the node that begins with the event at hand, to the event after it.
    bool skip(std::string &why) {
        int depth = 0;
        do {
            if (type() == YAML_SEQUENCE_START_EVENT || type() == YAML_MAPPING_START_EVENT) depth++;
            if (type() == YAML_SEQUENCE_END_EVENT || type() == YAML_MAPPING_END_EVENT) depth--;
            if (!next(why)) return false;
        } while (depth > 0);
        return true;
    }

  private:
    yaml_parser_t parser;
    yaml_event_t event;
    bool held = false;
    const char *path;
    std::unordered_map<std::string, std::string> anchors;  // the scalars' anchors so far
    const std::string *aliased = nullptr;  // the scalar the event at hand is an alias of
};

// Reads one entry of a list, from the event after its mapping's start to the event after its
// end; false with why set when the text is no YAML.
bool readEntry(YamlEvents &yaml, int which, Entry &entry, bool &hasRegex, std::string &why) {
    bool hasFlag = false;
    if (!yaml.next(why)) return false;
    while (yaml.type() != YAML_MAPPING_END_EVENT) {
        bool scalarKey = yaml.type() == YAML_SCALAR_EVENT;
        std::string key(scalarKey ? yaml.text() : std::string_view());
        if (!(scalarKey ? yaml.next(why) : yaml.skip(why))) return false;
        if (yaml.type() != YAML_SCALAR_EVENT || !scalarKey) {
            if (!yaml.skip(why)) return false;
            continue;
        }
        Family &family = entry.family;
        if (key == "regex" && !hasRegex) {
            entry.regex = yaml.text();
            hasRegex = true;
        } else if (key == "regex_flag" && !hasFlag) {
            entry.caseless = yaml.text() == "i";
            hasFlag = true;
        } else if (key == replacementKeys[which] && !family.hasReplacement) {
            family.hasReplacement = true;
            family.replacement = yaml.text();
        }
        if (!yaml.next(why)) return false;
    }
    return yaml.next(why);
}

// Reads the entries of one list, from its sequence's start to the event after its end;
// false with why set when an entry has no pattern or the text is no YAML.
bool readList(YamlEvents &yaml, int which, const char *path, std::vector<Entry> &list,
              std::string &why) {
    if (!yaml.next(why)) return false;
    while (yaml.type() != YAML_SEQUENCE_END_EVENT) {
        Entry entry;
        bool hasRegex = false;
        if (!(yaml.type() == YAML_MAPPING_START_EVENT ? readEntry(yaml, which, entry, hasRegex, why)
                                                      : yaml.skip(why)))
            return false;
        if (!hasRegex) {
            why = std::string(path) + ": entry " + std::to_string(list.size() + 1) + " of " +
                  listNames[which] + " has no regex";
            return false;
        }
        Family &family = entry.family;
        family.needsGroups = !family.hasReplacement;
        for (std::size_t i = 0; i < family.replacement.size(); i++)
            family.needsGroups = family.needsGroups || isGroupReference(family.replacement, i);
        family.spiderWithoutWord = canSaySpiderWithoutWord(family);
        list.push_back(std::move(entry));
    }
    return yaml.next(why);
}

// Reads the three lists of the file, the first of each name in its top-level mapping; false
// with why set when it is no YAML, or not a file of pattern lists.
bool readLists(const std::string &content, const char *path, std::vector<Entry> lists[LISTS],
               std::string &why) {
    YamlEvents yaml(content, path);
    do {
        if (!yaml.next(why)) return false;
    } while (yaml.type() == YAML_STREAM_START_EVENT || yaml.type() == YAML_DOCUMENT_START_EVENT);
    if (yaml.type() != YAML_MAPPING_START_EVENT) {
        why = std::string(path) + ": not a uap-core regexes.yaml file (no lists of patterns)";
        return false;
    }
    bool read[LISTS] = {};
    if (!yaml.next(why)) return false;
    while (yaml.type() != YAML_MAPPING_END_EVENT) {
        int which = LISTS;
        if (yaml.type() == YAML_SCALAR_EVENT)
            for (int list = 0; list < LISTS; list++)
                if (!read[list] && yaml.text() == listNames[list]) which = list;
        if (!(yaml.type() == YAML_SCALAR_EVENT ? yaml.next(why) : yaml.skip(why))) return false;
        if (which < LISTS && yaml.type() == YAML_SEQUENCE_START_EVENT) {
            read[which] = true;
            if (!readList(yaml, which, path, lists[which], why)) return false;
        } else if (!yaml.skip(why)) {
            return false;
        }
    }
    for (int which = 0; which < LISTS; which++) {
        if (read[which]) continue;
        why = std::string(path) + ": no list " + listNames[which] +
              " (not a uap-core regexes.yaml file)";
        return false;
    }
    return true;
}

// Compiles the patterns of one list and the set of their atoms with RE2; false with why set
// when a pattern does not compile.
bool compileList(const std::vector<Entry> &entries, const char *name, const char *path,
                 PatternList &list, std::string &why) {
    int number = 0;
    for (const Entry &entry : entries) {
        int id = 0;
        number++;
        RE2::Options options = patternOptions(isAscii(entry.regex), entry.caseless);
        if (list.patterns.Add(entry.regex, options, &id) != RE2::NoError) {
            RE2 failed(entry.regex, options);
            why = std::string(path) + ": pattern " + std::to_string(number) + " of " + name +
                  " does not compile (" + failed.error() + "): " + shownPattern(entry.regex);
            return false;
        }
    }
    if (entries.empty()) return true;
    std::vector<std::string> atoms;
    list.patterns.Compile(&atoms);
    list.indexed = true;
    if (atoms.empty()) return true;
    // The atoms are lower-case; the set compares without regard to case instead of lowering
    // each agent. It reads them in the patterns' encoding (a Latin-1 pattern's atom may hold
    // a byte that is no UTF-8), and has room for the automaton of a few thousand atoms, so
    // that it is not rebuilt again and again (it grows only as agents need it). A list whose
    // atoms it cannot take is searched pattern after pattern.
    RE2::Options options =
        patternOptions(std::all_of(entries.begin(), entries.end(),
                                   [](const Entry &e) { return isAscii(e.regex); }),
                       true);
    options.set_literal(true);
    options.set_max_mem(64 << 20);
    list.atoms = std::make_unique<RE2::Set>(options, RE2::UNANCHORED);
    for (const std::string &atom : atoms)
        list.indexed = list.indexed && list.atoms->Add(atom, nullptr) >= 0;
    list.indexed = list.indexed && list.atoms->Compile();
    if (!list.indexed) list.atoms.reset();
    return true;
}

// Compiles every list with RE2 into patterns.full; false with why set when one does not
// compile. The device list, more than half of the work, is compiled on a second thread (on
// this one when no thread can be started) while this one compiles the other two.
bool compileFull(Patterns &patterns, std::string &why) {
    auto full = std::make_unique<FullPatterns>();
    const char *path = patterns.path.c_str();
    std::string devicesWhy;
    auto devicesDone =
        std::async(std::launch::async | std::launch::deferred, [&patterns, &full, &devicesWhy] {
            return compileList(patterns.lists[DEVICES], listNames[DEVICES], patterns.path.c_str(),
                               full->lists[DEVICES], devicesWhy);
        });
    bool others =
        compileList(patterns.lists[BROWSERS], listNames[BROWSERS], path, full->lists[BROWSERS],
                    why) &&
        compileList(patterns.lists[SYSTEMS], listNames[SYSTEMS], path, full->lists[SYSTEMS], why);
    if (!devicesDone.get() && others) why = devicesWhy;
    if (!others || !devicesWhy.empty()) return false;
    patterns.full = std::move(full);
    return true;
}

// Whether PCRE2 reads the pattern as RE2 does: ASCII text whose escapes are of punctuation or
// among those both engines give the same meaning (\b and \B outside a class only), so that no
// escape names a byte above ASCII, a Unicode class or something RE2 lacks.
bool quickReadsAlike(const std::string &regex) {
    if (!isAscii(regex)) return false;
    bool inClass = false;
    for (std::size_t i = 0; i < regex.size(); i++) {
        char c = regex[i];
        if (c == '\\') {
            if (++i == regex.size()) return false;
            char e = regex[i];
            bool alnum = (e >= 'a' && e <= 'z') || (e >= 'A' && e <= 'Z') || (e >= '0' && e <= '9');
            if (alnum && !std::strchr(inClass ? "dDwWsStnrf" : "dDwWsStnrfbBAz", e)) return false;
        } else if (c == '[' && !inClass) {
            inClass = true;
            if (i + 1 < regex.size() && regex[i + 1] == '^') i++;
            if (i + 1 < regex.size() && regex[i + 1] == ']') i++;
        } else if (c == ']') {
            inClass = false;
        }
    }
    return true;
}

// Compiles every list with PCRE2 into patterns.quickLists; false when a pattern is not read by
// PCRE2 as RE2 reads it, and then RE2 does all the work.
bool compileQuick(Patterns &patterns) {
    pcre2_compile_context *context = pcre2_compile_context_create(nullptr);
    if (!context) return false;
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    bool alike = true;
    for (int which = 0; which < LISTS && alike; which++) {
        QuickList &quick = patterns.quickLists[which];
        for (const Entry &entry : patterns.lists[which]) {
            if (!quickReadsAlike(entry.regex)) {
                alike = false;
                break;
            }
            int error = 0;
            PCRE2_SIZE offset = 0;
            uint32_t options = PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP |
                               PCRE2_NEVER_BACKSLASH_C | (entry.caseless ? PCRE2_CASELESS : 0);
            pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(entry.regex.data()),
                                             entry.regex.size(), options, &error, &offset, context);
            if (!code) {
                alike = false;
                break;
            }
            quick.indexes.push_back(static_cast<int>(quick.codes.size()));
            quick.codes.push_back(code);
        }
    }
    pcre2_compile_context_free(context);
    if (alike) {
        patterns.matchData = pcre2_match_data_create(10, nullptr);
        patterns.matchContext = pcre2_match_context_create(nullptr);
        alike = patterns.matchData && patterns.matchContext;
    }
    if (alike) {
        pcre2_set_match_limit(patterns.matchContext, QUICK_MATCH_LIMIT);
        pcre2_set_depth_limit(patterns.matchContext, QUICK_DEPTH_LIMIT);
    }
    return alike;
}

// The family a matching pattern gives: the replacement with $1..$9 replaced by the groups'
// text (a group that did not take part gives nothing), or the first group's text without one.
// group(n) is the text of group n, for n below count.
template <class Group>
std::string familyFrom(const Family &how, int count, Group group) {
    std::string family;
    if (!how.needsGroups) {
        family = how.replacement;
    } else if (!how.hasReplacement) {
        if (count > 1) family = group(1);
    } else {
        const std::string &r = how.replacement;
        for (std::size_t i = 0; i < r.size(); i++) {
            if (!isGroupReference(r, i)) {
                family += r[i];
                continue;
            }
            int n = r[++i] - '0';
            if (n < count) family += group(n);
        }
    }
    trim(family);
    return family.empty() ? "Other" : family;
}

// The family RE2 pattern re gives for agent.
std::string familyOf(const RE2 &re, const Family &how, const re2::StringPiece &agent) {
    re2::StringPiece groups[10];
    int count = 0;
    if (how.needsGroups) {
        count = std::min(re.NumberOfCapturingGroups(), 9) + 1;
        if (!re.Match(agent, 0, agent.size(), RE2::UNANCHORED, groups, count)) return "Other";
    }
    return familyFrom(how, count,
                      [&](int n) { return std::string_view(groups[n].data(), groups[n].size()); });
}

// The atoms of list that agent holds; false when the set could not tell (it could not take
// the list's atoms, or its automaton ran out of room), and then every pattern is tried.
bool findAtoms(const PatternList &list, const re2::StringPiece &agent, std::vector<int> &atoms) {
    atoms.clear();
    RE2::Set::ErrorInfo error{};
    if (!list.indexed) return false;
    return !list.atoms || list.atoms->Match(agent, &atoms, &error) ||
           error.kind == RE2::Set::kNoError;
}

// The family the first matching pattern of list gives, "Other" when none matches.
std::string classifyWith(const PatternList &list, const std::vector<Entry> &entries,
                         const re2::StringPiece &agent, std::vector<int> &atoms) {
    if (entries.empty()) return "Other";
    int first = findAtoms(list, agent, atoms) ? list.patterns.FirstMatch(agent, atoms)
                                              : list.patterns.SlowFirstMatch(agent);
    if (first < 0) return "Other";
    return familyOf(list.patterns.GetRE2(first), entries[static_cast<std::size_t>(first)].family,
                    agent);
}

// Whether the first of the candidate device patterns (indexes in list order) that matches an
// agent without the word "Spider" says "Spider". Most agents hold no robot's name, and
// finding their first matching device pattern (the list is mostly phone models) is the
// dearest part of classifying them: first try only the patterns that can say "Spider". When
// none matches the answer is no; otherwise only the patterns before it can still win.
// matches(i) searches the agent with pattern i, familyAt(i) is the family of the pattern
// that matched last.
template <class Indexes, class Matches, class FamilyAt>
bool firstSaysSpider(const std::vector<Entry> &entries, const Indexes &candidates, Matches matches,
                     FamilyAt familyAt) {
    auto spider = std::find_if(candidates.begin(), candidates.end(), [&](int index) {
        return entries[static_cast<std::size_t>(index)].family.spiderWithoutWord && matches(index);
    });
    if (spider == candidates.end()) return false;
    // A search that finds nothing leaves the last match's groups as they are.
    auto first =
        std::find_if(candidates.begin(), spider, [&](int index) { return matches(index); });
    return familyAt(*first) == "Spider";
}

// Whether the device family of agent is "Spider", with RE2: the candidates are the patterns
// the agent's atoms allow.
bool isRobot(PatternList &list, const std::vector<Entry> &entries, const re2::StringPiece &agent,
             std::vector<int> &atoms) {
    if (entries.empty()) return false;
    if (agent.find("Spider") != re2::StringPiece::npos || !findAtoms(list, agent, atoms))
        return classifyWith(list, entries, agent, atoms) == "Spider";
    std::vector<int> &candidates = list.potentials;
    list.patterns.AllPotentials(atoms, &candidates);
    std::sort(candidates.begin(), candidates.end());
    return firstSaysSpider(
        entries, candidates,
        [&](int index) { return RE2::PartialMatch(agent, list.patterns.GetRE2(index)); },
        [&](int index) {
            return familyOf(list.patterns.GetRE2(index),
                            entries[static_cast<std::size_t>(index)].family, agent);
        });
}

AgentFamilies classifyFull(Patterns &patterns, std::string_view agent) {
    static std::vector<int> atoms;
    re2::StringPiece text(agent.data(), agent.size());
    FullPatterns &full = *patterns.full;
    AgentFamilies families;
    families.browser = classifyWith(full.lists[BROWSERS], patterns.lists[BROWSERS], text, atoms);
    families.system = classifyWith(full.lists[SYSTEMS], patterns.lists[SYSTEMS], text, atoms);
    families.robot = isRobot(full.lists[DEVICES], patterns.lists[DEVICES], text, atoms);
    return families;
}

// PCRE2's classification: one pattern after the other, in list order.
class Quick {
  public:
    Quick(Patterns &patterns, std::string_view agent) : patterns(patterns), agent(agent) {}

    // Whether a search ran into its limits: the answer given is then not to be trusted.
    bool unsure = false;

    std::string family(int which) {
        const std::vector<pcre2_code *> &codes = patterns.quickLists[which].codes;
        for (std::size_t i = 0; i < codes.size(); i++)
            if (matches(codes[i])) return familyAt(which, i);
        return "Other";
    }

    // As isRobot, every pattern a candidate.
    bool robot() {
        const std::vector<pcre2_code *> &codes = patterns.quickLists[DEVICES].codes;
        if (agent.find("Spider") != std::string_view::npos) return family(DEVICES) == "Spider";
        return firstSaysSpider(
            patterns.lists[DEVICES], patterns.quickLists[DEVICES].indexes,
            [&](int index) { return matches(codes[static_cast<std::size_t>(index)]); },
            [&](int index) { return familyAt(DEVICES, static_cast<std::size_t>(index)); });
    }

  private:
    Patterns &patterns;
    std::string_view agent;

    // Once a search has run into its limits, the answer goes to RE2 (when it can take it):
    // the other searches are not made.
    bool matches(pcre2_code *code) {
        if (unsure && !patterns.fullFailed) return false;
        int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(agent.data()), agent.size(), 0,
                                0, patterns.matchData, patterns.matchContext);
        if (found < 0 && found != PCRE2_ERROR_NOMATCH) unsure = true;
        return found >= 0;
    }

    // The family of pattern i of the list, which has just matched the agent.
    std::string familyAt(int which, std::size_t i) {
        const PCRE2_SIZE *groups = pcre2_get_ovector_pointer(patterns.matchData);
        uint32_t pairs = pcre2_get_ovector_count(patterns.matchData);
        uint32_t count = 0;
        pcre2_pattern_info(patterns.quickLists[which].codes[i], PCRE2_INFO_CAPTURECOUNT, &count);
        count = std::min({count + 1, pairs, 10u});
        return familyFrom(patterns.lists[which][i].family, static_cast<int>(count), [&](int n) {
            PCRE2_SIZE begin = groups[2 * n], end = groups[2 * n + 1];
            return begin == PCRE2_UNSET ? std::string_view() : agent.substr(begin, end - begin);
        });
    }
};

// Whether PCRE2 reads the agent as RE2 does: no line end, and no vertical tab (PCRE2's \s
// matches it, RE2's does not).
bool quickReadsAgent(std::string_view agent) {
    return agent.find_first_of("\n\v") == std::string_view::npos;
}

AgentFamilies classifyQuick(Patterns &patterns, std::string_view agent, bool *unsure) {
    auto start = std::chrono::steady_clock::now();
    Quick search(patterns, agent);
    AgentFamilies families;
    families.browser = search.family(BROWSERS);
    families.system = search.family(SYSTEMS);
    families.robot = search.robot();
    *unsure = search.unsure;
    patterns.quickAgents++;
    patterns.quickSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return families;
}

AgentFamilies classify(Patterns &patterns, std::string_view agent) {
    if (patterns.quick && (!patterns.full || patterns.engine == AgentEngine::FewAgents)) {
        bool unsure = false;
        bool few =
            patterns.engine == AgentEngine::FewAgents ||
            (patterns.quickAgents < QUICK_AGENTS_MAX && patterns.quickSeconds < QUICK_SECONDS_MAX);
        if (patterns.fullFailed || (few && quickReadsAgent(agent))) {
            AgentFamilies families = classifyQuick(patterns, agent, &unsure);
            if (!unsure || patterns.fullFailed) return families;
        }
        // RE2 refuses what only PCRE2 reads (a look-ahead, say) and programs too large for
        // its memory bound: PCRE2 then answers alone for the rest of the run, a search that
        // runs into its limits counting as no match.
        std::string why;
        if (!patterns.full && !compileFull(patterns, why)) {
            patterns.fullFailed = true;
            return classifyQuick(patterns, agent, &unsure);
        }
    }
    return classifyFull(patterns, agent);
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

// Reads the patterns of path into loaded, compiled with PCRE2, or with RE2 at once when PCRE2
// cannot stand in for it.
bool load(const char *path, std::string &why) {
    std::string content;
    if (!readWhole(path, content)) {
        why = std::string("cannot read the agent patterns ") + path + ": " + std::strerror(errno);
        return false;
    }
    auto patterns = std::make_unique<Patterns>();
    patterns->path = path;
    if (!readLists(content, path, patterns->lists, why)) return false;
    patterns->quick = compileQuick(*patterns);
    if (!patterns->quick && !compileFull(*patterns, why)) return false;
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

bool agentPatternsEngine(AgentEngine engine, std::string &why) {
    if (!loaded) {
        why = "no agent patterns are loaded";
        return false;
    }
    if (engine == AgentEngine::FewAgents && !loaded->quick) {
        why = "PCRE2 does not read these patterns as RE2 does";
        return false;
    }
    if (engine == AgentEngine::ManyAgents && !loaded->full && !compileFull(*loaded, why))
        return false;
    loaded->engine = engine;
    return true;
}

const AgentFamilies &agentClassify(const char *agent) {
    if (!loaded) return unknownAgent();
    std::string key(agent);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    AgentFamilies families = classify(*loaded, key);
    return cache.emplace(std::move(key), std::move(families)).first->second;
}

void agentPatternsFree() {
    loaded.reset();
    cache.clear();
    cache.rehash(0);
}
