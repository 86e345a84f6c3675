// Log-line parsers: the common and combined format, the dispatcher and time offset,
// URL decoding, IIS and EMWAC lines, referer and agent logs, hostile lines, and days of
// the month that no server writes.
#include "log/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/global.h"
#include "parser_fixture.h"

namespace {

class LogParse : public ::testing::Test {
  protected:
    LogEntry entry;

    void SetUp() override {
        parserSettingsReset();
        std::memset(&entry, 0x5a, sizeof entry);  // garbage that clearing must hide
    }
    void TearDown() override { parserSettingsClear(); }
    int parse(const std::string &line) { return logParseEntry(line.c_str(), entry); }
    // Every field of the record on one line:
    // site|ident|authuser|proxyHost|date time
    // zone|method|url|protocol|result|size|hasBytes|referer|agent
    std::string describe() {
        char text[6000];
        std::snprintf(text, sizeof text,
                      "%s|%s|%s|%s|%04d-%02d-%02d %02d:%02d:%02d %d|%s|%s|%s|%d|%lld|%d|%s|%s",
                      entry.site, entry.ident, entry.authuser, entry.proxyHost, entry.year,
                      entry.month, entry.day, entry.hour, entry.minute, entry.second, entry.zone,
                      entry.method, entry.url, entry.protocol, entry.result,
                      static_cast<long long>(entry.size), entry.hasBytes, entry.referer,
                      entry.agent);
        return text;
    }
    int common(std::string line) { return logParseEntryCommon(line.data(), entry); }
    int iis(std::string line) { return logParseEntryMicrosoft(line.data(), entry); }
    int emwac(std::string line) { return logParseEntryEmwac(line.data(), entry); }
    int referer(std::string line) { return logParseEntryReferer(line.data(), entry); }
    int agent(std::string line) { return logParseEntryUseragent(line.data(), entry); }
};

const std::string kCommon =
    "host - - [10/Oct/1997:13:55:36 -0700] \"GET /a.html HTTP/1.0\" 200 2326\n";

std::string commonWith(const std::string &date, const std::string &request = "GET /a.html HTTP/1.0",
                       const std::string &tail = " 200 2326\n") {
    return "host - - " + date + " \"" + request + "\"" + tail;
}

// ---------------------------------------------------------------- common format

TEST_F(LogParse, CommonLineFillsEveryField) {
    ASSERT_EQ(common(kCommon), LOG_OK);
    EXPECT_EQ(describe(), "host|-|-|-|1997-10-10 13:55:36 -700|GET|/a.html|HTTP/1.0|200|2326|1||");
}

TEST_F(LogParse, SiteIsLowerCasedAndCut) {
    ASSERT_EQ(common("WWW.Example.COM - - [10/Oct/1997:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1"),
              LOG_OK);
    EXPECT_STREQ(entry.site, "www.example.com");
    std::string longSite(300, 'H');
    ASSERT_EQ(common(longSite + " - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"), LOG_OK);
    EXPECT_EQ(std::string(entry.site), std::string(255, 'h'));
    EXPECT_EQ(common("[host] - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"), 0);
}

TEST_F(LogParse, DateTemplatesZoneAndTwoDigitYears) {
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]")), LOG_OK);
    EXPECT_EQ(entry.zone, 0);
    EXPECT_EQ(entry.second, 36);
    ASSERT_EQ(common(commonWith("[10/Oct/97:13:55:36 +0100]")), LOG_OK);
    EXPECT_EQ(entry.year, 1997);
    EXPECT_EQ(entry.zone, 100);
    ASSERT_EQ(common(commonWith("[10/oct/03:13:55:36 -0700]")), LOG_OK);
    EXPECT_EQ(entry.year, 2003);
    EXPECT_EQ(entry.month, 10);
    ASSERT_EQ(common(commonWith("[10/Oct/50:1:2:3]")), LOG_OK);
    EXPECT_EQ(entry.year, 1950);

    const std::string parsed = "host|-|-|-|1997-10-10 13:55:36 0|GET|/a.html|HTTP/1.0|200|2326|1||";
    ASSERT_EQ(common(commonWith("{Fri, 10 Oct 1997 13:55:36}")), LOG_OK);
    EXPECT_EQ(describe(), parsed);
    ASSERT_EQ(common(commonWith("[Fri 10 Oct 13:55:36 PDT 1997]")), LOG_OK);
    EXPECT_EQ(describe(), parsed);

    EXPECT_EQ(common(commonWith("[10/Oct/1997:13:55]")), 0);         // five fields
    EXPECT_EQ(common(commonWith("{Fri, 10 Oct 1997 13:55}")), 0);    // six fields
    EXPECT_EQ(common(commonWith("[10/Okt/1997:13:55:36]")), 0);      // unknown month
    EXPECT_EQ(common(commonWith("[10/October/1997:13:55:36]")), 0);  // "%3s" then "/"
    EXPECT_EQ(common(commonWith(" [10/Oct/1997:13:55:36]")), 0);     // blank before "["
}

TEST_F(LogParse, FutureYearsGiveOneAndTheDispatcherSkipsThem) {
    EXPECT_EQ(common(commonWith("[10/Oct/2027:13:55:36]")), LOG_OK);  // three years ahead
    EXPECT_EQ(common(commonWith("[10/Oct/2028:13:55:36]")), LOG_FUTURE);
    EXPECT_EQ(common(commonWith("[10/Oct/49:13:55:36]")), LOG_FUTURE);  // 2049
    EXPECT_EQ(parse(commonWith("[10/Oct/2028:13:55:36]")), 0);
    EXPECT_EQ(lastLogType, 0);
}

TEST_F(LogParse, RequestWordsAndSizes) {
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /ksc.html")), LOG_OK);
    EXPECT_STREQ(entry.protocol, "HTTP/0.9");
    EXPECT_STREQ(entry.url, "/ksc.html");
    EXPECT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET")), 0);
    EXPECT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "")), 0);

    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET / HTTP/1.0", " 304 -\n")), LOG_OK);
    EXPECT_EQ(entry.result, 304);
    EXPECT_EQ(entry.size, 0);
    EXPECT_EQ(entry.hasBytes, 1);
    EXPECT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET / HTTP/1.0", " 200\n")), 0);

    // Downloads over 2 GiB are counted exactly.
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /iso HTTP/1.1", " 200 5368709120")),
              LOG_OK);
    EXPECT_EQ(entry.size, 5368709120LL);
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET / HTTP/1.1",
                                " 200 99999999999999999999999")),
              LOG_OK);
    EXPECT_EQ(entry.size, INT64_MAX);
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET / HTTP/1.1", " abc 12k")), LOG_OK);
    EXPECT_EQ(entry.result, 0);
    EXPECT_EQ(entry.size, 12);
}

TEST_F(LogParse, ServerNameAcceptsAndRejects) {
    char name[] = "www.a.com";
    serverName = name;
    ASSERT_EQ(common("host www.a.com - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"), LOG_OK);
    EXPECT_STREQ(entry.ident, "");
    EXPECT_EQ(common("host www.b.com - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"),
              LOG_OTHER_SERVER);
    EXPECT_EQ(common("host WWW.A.COM - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"),
              LOG_OTHER_SERVER);
    ASSERT_EQ(common("host - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"), LOG_OK);
    EXPECT_STREQ(entry.ident, "");
    ASSERT_EQ(common("host nodots - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"), LOG_OK);
    // A trailing host-like field names the virtual host.
    EXPECT_EQ(common("h - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1 www.a.com"), LOG_OK);
    EXPECT_EQ(common("h - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1 www.b.com"),
              LOG_OTHER_SERVER);
    // The dispatcher returns 2 without trying the other formats.
    lastLogType = 0;
    EXPECT_EQ(parse("host www.b.com - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1"),
              LOG_OTHER_SERVER);
    EXPECT_EQ(lastLogType, 0);
}

TEST_F(LogParse, AbsoluteUrlsGiveTheProxyHost) {
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]",
                                "GET HTTP://WWW.Example.COM/Docs/A.html "
                                "HTTP/1.0")),
              LOG_OK);
    EXPECT_STREQ(entry.url, "http://www.example.com/Docs/A.html");
    EXPECT_STREQ(entry.proxyHost, "www.example.com");
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /Docs/A.html HTTP/1.0")), LOG_OK);
    EXPECT_STREQ(entry.url, "/Docs/A.html");
    EXPECT_STREQ(entry.proxyHost, "-");
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "CONNECT Host.Example:443 HTTP/1.1")),
              LOG_OK);
    EXPECT_STREQ(entry.url, "host.example:443");
    EXPECT_STREQ(entry.proxyHost, "-");
    std::string longHost = "GET http://" + std::string(400, 'x') + "/p HTTP/1.0";
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", longHost)), LOG_OK);
    EXPECT_EQ(std::strlen(entry.proxyHost), 255u);
}

TEST_F(LogParse, QueriesAndEscapes) {
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /cgi/q?x=1 HTTP/1.0")), LOG_OK);
    EXPECT_STREQ(entry.url, "/cgi/q");
    keepqueriesFlag = 1;
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /cgi/q?x=1 HTTP/1.0")), LOG_OK);
    EXPECT_STREQ(entry.url, "/cgi/q?x=1");
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", "GET /a%20b.html HTTP/1.0")), LOG_OK);
    EXPECT_STREQ(entry.url, "/a b.html");
}

TEST_F(LogParse, CombinedRefererAndAgent) {
    const std::string head = "1.2.3.4 - - [10/Oct/1997:13:55:36 -0700] \"GET /a HTTP/1.0\" 200 9 ";
    ASSERT_EQ(common(head + "\"http://Ref.Example/From?q=1\" \"Mozilla/4.0 (compatible; MSIE 4.01; "
                            "Windows 95)\"\n"),
              LOG_OK);
    EXPECT_STREQ(entry.referer, "http://ref.example/From");
    EXPECT_STREQ(entry.agent, "Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)");

    ASSERT_EQ(common(head + "\"-\" \"Mozilla/4.08 [en] (Win98; I ;Nav)\"\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "");
    EXPECT_STREQ(entry.agent, "(Win98; I ;Nav)");

    ASSERT_EQ(common(head + "\"-\" \"-\"\n"), LOG_OK);
    EXPECT_STREQ(entry.agent, "");
    ASSERT_EQ(common(head + "\"/local/page.html\" \"Wget\"\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "/local/page.html");
    EXPECT_STREQ(entry.agent, "Wget");
    // Byte 1 stands for a blank.
    ASSERT_EQ(common(head + "\"-\" \"Odd\x01"
                            "Agent more\"\n"),
              LOG_OK);
    EXPECT_STREQ(entry.agent, "Odd Agent more");
    // An agent whose closing quote was cut off runs to the end of the line.
    ASSERT_EQ(common(head + "\"-\" \"Mozilla/5.0 (compatible; Googlebot/2.1; +http://g.co/bot"),
              LOG_OK);
    EXPECT_STREQ(entry.agent, "Mozilla/5.0 (compatible; Googlebot/2.1; +http://g.co/bot");
    // A later referer-like field replaces an earlier one.
    ASSERT_EQ(common(head + "\"http://a/\" \"http://b/\"\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "http://b/");
}

TEST_F(LogParse, EscapedQuotesStayInsideTheirField) {
    ASSERT_EQ(
        parse(
            R"(h - - [10/Oct/1997:13:55:36] "GET /a\" 200 999999999 \"-\" \"x HTTP/1.1" 404 209 "-" "ua")"
            "\n"),
        LOG_OK);
    EXPECT_EQ(entry.result, 404);
    EXPECT_EQ(entry.size, 209);
    EXPECT_STREQ(entry.url, R"(/a\")");
    EXPECT_STREQ(entry.agent, "ua");
    // An escaped backslash ends nothing; an escaped quote in a referer or agent is kept.
    ASSERT_EQ(
        common(R"(h - - [10/Oct/1997:13:55:36] "GET /b\\" 200 9 "http://r/\"q\"" "Bot \"x\" 2")"),
        LOG_OK);
    EXPECT_STREQ(entry.url, R"(/b\\)");
    EXPECT_EQ(entry.result, 200);
    EXPECT_STREQ(entry.referer, R"(http://r/\"q\")");
    EXPECT_STREQ(entry.agent, R"(Bot \"x\" 2)");
}

TEST_F(LogParse, AgentIsCutAt255) {
    const std::string head = "h - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 9 \"-\" \"";
    std::string words;
    for (int i = 0; i < 60; i++) words += "word" + std::to_string(i) + " ";
    ASSERT_EQ(common(head + words + "end\" \"http://after/\"\n"), LOG_OK);
    EXPECT_EQ(std::strlen(entry.agent), 255u);
    EXPECT_EQ(std::string(entry.agent), (words + "end").substr(0, 255));
    // Once the agent is full the rest of the line is ignored, the referer included.
    EXPECT_STREQ(entry.referer, "");

    ASSERT_EQ(common(head + std::string(400, 'A') + "\"\n"), LOG_OK);
    EXPECT_EQ(std::string(entry.agent), std::string(255, 'A'));
}

// ---------------------------------------------------------------- dispatcher

TEST_F(LogParse, CommentsAndRotation) {
    lastLogType = 1;
    EXPECT_EQ(parse("#Software: Microsoft Internet Information Services 6.0\n"), LOG_COMMENT);
    EXPECT_EQ(lastLogType, 1);

    // After an IIS line the next common line is tried as IIS, EMWAC, then common.
    ASSERT_EQ(parse("10.0.0.1, -, 10/3/97, 13:55:36, W3SVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, "
                    "GET, /index.htm, -,\n"),
              LOG_OK);
    EXPECT_EQ(lastLogType, 1);
    ASSERT_EQ(parse(kCommon), LOG_OK);
    EXPECT_EQ(lastLogType, 0);
    EXPECT_STREQ(entry.site, "host");
    ASSERT_EQ(parse("Fri Oct 03 13:55:36 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), LOG_OK);
    EXPECT_EQ(lastLogType, 2);

    // A line that no format takes leaves the format where it was.
    EXPECT_EQ(parse("garbage\n"), 0);
    EXPECT_EQ(lastLogType, 2);
    // Another service stops the rotation at the format that said so.
    lastLogType = 0;
    EXPECT_EQ(parse("10.0.0.1, -, 10/3/97, 13:55:36, MSFTPSVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, "
                    "0, [RETR], /a, -,\n"),
              LOG_OTHER_SERVER);
    EXPECT_EQ(lastLogType, 1);
}

TEST_F(LogParse, DispatcherLeavesTheLineAlone) {
    std::string line = kCommon;
    ASSERT_EQ(logParseEntry(line.c_str(), entry), LOG_OK);
    EXPECT_EQ(line, kCommon);
}

TEST_F(LogParse, TimeOffsetCarriesIntoTheDay) {
    offsetHours = -5;
    offsetMinutes = -30;
    ASSERT_EQ(parse(commonWith("[10/Oct/1997:00:10:00]")), LOG_OK);
    EXPECT_EQ(entry.day, 9);
    EXPECT_EQ(entry.hour, 18);
    EXPECT_EQ(entry.minute, 40);
    EXPECT_EQ(entry.month, 10);

    offsetHours = 2;
    offsetMinutes = 45;
    ASSERT_EQ(parse(commonWith("[31/Oct/1997:22:30:05]")), LOG_OK);
    EXPECT_EQ(entry.day, 32);  // the first of November, by day-number arithmetic
    EXPECT_EQ(entry.hour, 1);
    EXPECT_EQ(entry.minute, 15);
    EXPECT_EQ(entry.second, 5);

    ASSERT_EQ(parse(commonWith("[01/Oct/1997:00:00:00]")), LOG_OK);
    EXPECT_EQ(entry.day, 1);
    EXPECT_EQ(entry.hour, 2);

    // Offsets beyond a day still leave a time of day.
    offsetHours = 50;
    offsetMinutes = 0;
    ASSERT_EQ(parse(commonWith("[10/Oct/1997:10:00:00]")), LOG_OK);
    EXPECT_EQ(entry.day, 12);
    EXPECT_EQ(entry.hour, 12);
    offsetHours = -1;
    offsetMinutes = -200;
    ASSERT_EQ(parse(commonWith("[10/Oct/1997:01:00:00]")), LOG_OK);
    EXPECT_EQ(entry.day, 9);
    EXPECT_EQ(entry.hour, 20);
    EXPECT_EQ(entry.minute, 40);

    // The separate logs carry no time and get no offset.
    refererOnlyFlag = 1;
    ASSERT_EQ(parse("http://h/a.html -> /b.html\n"), LOG_OK);
    EXPECT_EQ(entry.hour, 0);
    EXPECT_EQ(entry.day, 1);
}

// ---------------------------------------------------------------- URL decoding

std::string unescaped(std::string text) {
    UnescapeUrl(text.data());
    return text.c_str();
}

TEST_F(LogParse, UnescapeUrlCase) {
    EXPECT_EQ(unescaped("HTTP://WWW.X.COM/Docs/A"), "http://www.x.com/Docs/A");
    EXPECT_EQ(unescaped("Ftp://H.Example/Pub/F"), "ftp://h.example/Pub/F");
    EXPECT_EQ(unescaped("GOPHER://H/Menu"), "gopher://h/Menu");
    EXPECT_EQ(unescaped("/Docs/A.html"), "/Docs/A.html");
    EXPECT_EQ(unescaped("Docs/A.html"), "docs/A.html");
    EXPECT_EQ(unescaped("NOSLASH.HTML"), "noslash.html");
    EXPECT_EQ(unescaped("Mailto:X/Y"), "mailto:x/Y");
    // The scheme test reads the rewritten text.
    EXPECT_EQ(unescaped("%48TTP://X.Y/Z"), "http://x.y/Z");
    // An escaped slash is no slash and an escaped "?" cuts nothing.
    EXPECT_EQ(unescaped("http://A%2FB/C/D"), "http://a/b/C/D");
    EXPECT_EQ(unescaped("/a%3Fb?c"), "/a?b");
    nocaseFlag = 1;
    EXPECT_EQ(unescaped("/Docs/A.HTML?Q"), "/docs/a.html");
    keepqueriesFlag = 1;
    EXPECT_EQ(unescaped("/Docs/A.HTML?Q"), "/docs/a.html?q");
}

TEST_F(LogParse, UnescapeUrlEscapes) {
    EXPECT_EQ(unescaped("/a%20b%2e%41"), "/a b.A");
    EXPECT_EQ(unescaped("%41%42/%41"), "ab/A");
    // One hex digit and a non-digit: the digit is decoded and both characters skipped.
    EXPECT_EQ(unescaped("/a%4gz"), std::string("/a\x04z"));
    // No digit after "%", or the escape would run past the end: "%" stays as it is.
    EXPECT_EQ(unescaped("/a%zz"), "/a%zz");
    EXPECT_EQ(unescaped("/a%"), "/a%");
    EXPECT_EQ(unescaped("/a%4"), "/a%4");
    EXPECT_EQ(unescaped("%"), "%");
    EXPECT_EQ(unescaped("/%%41"), "/%A");
    EXPECT_EQ(unescaped("/a%00b"), "/a");
}

TEST_F(LogParse, StrChangeChrAndDump) {
    char text[] = "a-b-c";
    strChangeChr(text, '-', '+');
    EXPECT_STREQ(text, "a+b+c");
    ASSERT_EQ(
        common(commonWith("[10/Oct/1997:13:55:36 -0700]", "GET /big HTTP/1.0", " 200 3000000000")),
        LOG_OK);
    testing::internal::CaptureStdout();
    logDump(entry);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Site: host Identname: - Authname: -\n\tMonth: 10 Mday: 10 Year: 1997 Hour: 13 "
              "Min: 55 Sec: 36 OFFS: -700\nMethod: GET URL: /big Protocol: HTTP/1.0 Result: 200 "
              "Size: 3000000000\n");
}

// ---------------------------------------------------------------- IIS

const std::string kIis =
    "10.0.0.1, -, 10/3/97, 13:55:36, W3SVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, "
    "/index.htm, -,\n";

std::string replaced(std::string text, const std::string &from, const std::string &to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST_F(LogParse, IisLine) {
    ASSERT_EQ(iis(kIis), LOG_OK);
    EXPECT_EQ(describe(), "10.0.0.1||-||1997-10-03 13:55:36 0|GET|/index.htm||200|1234|1||-");
    useragentsFlag = 0;
    ASSERT_EQ(iis(kIis), LOG_OK);
    EXPECT_STREQ(entry.agent, "");
}

TEST_F(LogParse, IisServicesAndServerName) {
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "MSFTPSVC")), LOG_OTHER_SERVER);
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "SMTPSVC1")), LOG_OTHER_SERVER);
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "W3SVCX")), LOG_OTHER_SERVER);
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "W3SV")), LOG_OTHER_SERVER);
    // IIS numbers the web service after the site.
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "W3SVC2")), LOG_OK);
    EXPECT_EQ(iis(replaced(kIis, "W3SVC", "W3SVC1893743816")), LOG_OK);

    char web1[] = "WEB1", address[] = "10.0.0.2", other[] = "WEB2";
    serverName = web1;
    EXPECT_EQ(iis(kIis), LOG_OK);
    serverName = address;
    EXPECT_EQ(iis(kIis), LOG_OK);
    serverName = other;
    EXPECT_EQ(iis(kIis), LOG_OTHER_SERVER);
}

TEST_F(LogParse, IisMissingFieldsAndCommonLines) {
    EXPECT_EQ(iis("10.0.0.1, -, 10/3/97, 13:55:36, W3SVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, "
                  "GET, /index.htm,\n"),
              0);
    EXPECT_EQ(iis("10.0.0.1, -, 10/3/97, 13:55:36, W3SVC, WEB1\n"), 0);
    EXPECT_EQ(iis(kCommon), 0);
    EXPECT_EQ(iis(""), 0);
}

TEST_F(LogParse, IisExtraFields) {
    const std::string withReferer =
        replaced(kIis, "-,\n", "-, http://Ref.Example/A?b, Agent/1.0,\n");
    ASSERT_EQ(iis(withReferer), LOG_OK);
    EXPECT_STREQ(entry.referer, "http://Ref.Example/A?b");  // stored as written
    EXPECT_STREQ(entry.agent, "-");
    referersFlag = 0;
    ASSERT_EQ(iis(replaced(kIis, "-,\n", "http://ref/,\n")), LOG_OK);
    EXPECT_STREQ(entry.referer, "");
    EXPECT_STREQ(entry.agent, "http://ref/");

    LogEntry fields{};
    referersFlag = 1;
    parseMicrosoftExtraField("  Mozilla/4.0 (compatible)", fields);
    EXPECT_STREQ(fields.agent, "Mozilla/4.0 (compatible)");
    parseMicrosoftExtraField("Second", fields);
    EXPECT_STREQ(fields.agent, "Mozilla/4.0 (compatible)");
    parseMicrosoftExtraField(":colon first", fields);
    EXPECT_STREQ(fields.referer, "");
    parseMicrosoftExtraField("1:2", fields);
    EXPECT_STREQ(fields.referer, "");
    parseMicrosoftExtraField("x:y", fields);
    EXPECT_STREQ(fields.referer, "x:y");
}

TEST_F(LogParse, IisDates) {
    int month = -1, day = -1, year = -1;
    ASSERT_EQ(parseFormattedDate("3/10/97", &month, &day, &year), 1);
    EXPECT_EQ(month, 3);
    EXPECT_EQ(day, 10);
    EXPECT_EQ(year, 1997);
    ASSERT_EQ(parseFormattedDate("12/31/99", &month, &day, &year), 1);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 31);
    EXPECT_EQ(year, 1999);
    ASSERT_EQ(parseFormattedDate("03/20/01", &month, &day, &year), 1);
    EXPECT_EQ(year, 2001);
    month = day = year = -1;
    EXPECT_EQ(parseFormattedDate("x", &month, &day, &year), 0);
    EXPECT_EQ(parseFormattedDate("3/10", &month, &day, &year), 0);
    EXPECT_EQ(month, -1);

    char dotted[] = "dd.mm.yyyy";
    msDateFormat = dotted;
    ASSERT_EQ(parseFormattedDate("03.10.1997", &month, &day, &year), 1);
    EXPECT_EQ(month, 10);
    EXPECT_EQ(day, 3);
    EXPECT_EQ(year, 1997);
    char iso[] = "YYYY-MM-DD";
    msDateFormat = iso;
    ASSERT_EQ(parseFormattedDate("2009-06-10", &month, &day, &year), 1);
    EXPECT_EQ(month, 6);
    EXPECT_EQ(day, 10);
    EXPECT_EQ(year, 2009);
    char four[] = "mm/dd/yyyy";
    msDateFormat = four;
    ASSERT_EQ(iis("::1, -, 2/23/2013, 12:12:46, W3SVC1, MSA, ::1, 324, 285, 935, 200, 0, GET, /, "
                  "-,\n"),
              LOG_OK);
    EXPECT_EQ(entry.month, 2);
    EXPECT_EQ(entry.day, 23);
    EXPECT_EQ(entry.year, 2013);
    EXPECT_STREQ(entry.site, "::1");
}

TEST_F(LogParse, IisUnusableDatesAreRejected) {
    char dayFirst[] = "dd/mm/yy";
    msDateFormat = dayFirst;
    EXPECT_EQ(iis(replaced(kIis, "10/3/97", "03/20/01")), 0);  // month 20
    msDateFormat = parserDates;
    EXPECT_EQ(iis(replaced(kIis, "10/3/97", "0/3/97")), 0);
    char huge[] = "mm/dd/yyyyyyyyyyyyyy";
    msDateFormat = huge;
    EXPECT_EQ(iis(replaced(kIis, "10/3/97", "10/3/99999999999999")), 0);
    msDateFormat = parserDates;
    EXPECT_EQ(iis(replaced(kIis, "13:55:36", "25:00:00")), 0);
    // A time that does not convert stays 0.
    ASSERT_EQ(iis(replaced(kIis, "13:55:36", "x")), LOG_OK);
    EXPECT_EQ(entry.hour, 0);
}

TEST_F(LogParse, IisUserNamesWithBlanksAndBigNumbers) {
    ASSERT_EQ(iis("192.168.1.109, NT AUTHORITY\\LOCAL SERVICE, 6/10/09, 10:11:59, W3SVC1, S, "
                  "192.168.1.109, 46, 379, 3000000000, 200, 2148074254, GET, /, -, \n"),
              LOG_OK);
    EXPECT_EQ(describe(),
              "192.168.1.109||NT AUTHORITY\\LOCAL SERVICE||2009-06-10 10:11:59 0|GET|/||200|"
              "3000000000|1||-");
}

// ---------------------------------------------------------------- EMWAC

TEST_F(LogParse, EmwacLine) {
    ASSERT_EQ(emwac("Fri Oct 03 13:55:36 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), LOG_OK);
    EXPECT_EQ(describe(), "10.0.0.1||||1997-10-03 13:55:36 0|GET|/a.html|HTTP/1.0\n|200|0|0||");

    ASSERT_EQ(emwac("Fri October 3 1:2:3 97 S Client.Example GET /A%20b?q HTTP/1.0"), LOG_OK);
    EXPECT_EQ(entry.month, 10);
    EXPECT_STREQ(entry.site, "client.example");
    EXPECT_STREQ(entry.url, "/A%20b?q");  // as logged
}

TEST_F(LogParse, EmwacRejections) {
    EXPECT_EQ(emwac("Fri Xyz 03 13:55:36 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), 0);
    EXPECT_EQ(emwac("[Fri Oct 03 13:55:36 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), 0);
    EXPECT_EQ(emwac("Fri Oct 03 13:55 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), 0);
    EXPECT_EQ(emwac("Fri Oct 03 13:55:36 1997 WEB1 10.0.0.1 GET /a.html\n"), 0);
    EXPECT_EQ(emwac("Fri Oct 03 13:55:36 99999999 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), 0);
    EXPECT_EQ(emwac("Fri Oct 2147483647 13:55:36 1997 WEB1 10.0.0.1 GET /a HTTP/1.0\n"), 0);
    EXPECT_EQ(emwac("Fri Oct 03 99:55:36 1997 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n"), 0);
}

// ---------------------------------------------------------------- referer and agent logs

TEST_F(LogParse, RefererLog) {
    ASSERT_EQ(referer("http://host/a.html -> /b.html\n"), LOG_OK);
    EXPECT_EQ(describe(), "||||1997-01-01 00:00:00 0||/b.html||0|0|0|http://host/a.html|");

    ASSERT_EQ(referer("Http: //host/a.html -> /b.html\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "http://host/a.html");
    EXPECT_STREQ(entry.url, "/b.html");
    EXPECT_EQ(referer("Http: //host/a.html ->\n"), 0);

    EXPECT_EQ(referer("http://host/a.html -> -\n"), 0);
    EXPECT_EQ(referer("http://host/a.html -> D:\\docs\\a.html\n"), 0);
    ASSERT_EQ(referer("D:\\docs\\a.html -> \\docs\\b.html\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "d:\\docs\\a.html");
    EXPECT_STREQ(entry.url, "\\docs\\b.html");

    // Field form decodes both; later fields replace earlier ones.
    ASSERT_EQ(referer("[10/Oct/1997] HTTP://X.Example/F%20g?q, /to%20a.html, /later\n"), LOG_OK);
    EXPECT_STREQ(entry.referer, "http://x.example/F g");
    EXPECT_STREQ(entry.url, "/later");

    refererOnlyFlag = 1;
    EXPECT_EQ(parse("# comment\n"), LOG_COMMENT);
    EXPECT_EQ(parse("http://host/a.html -> /b.html\n"), LOG_OK);
    EXPECT_EQ(lastLogType, 0);
}

TEST_F(LogParse, AgentLog) {
    ASSERT_EQ(agent("Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)\r\n"), LOG_OK);
    EXPECT_STREQ(entry.agent, "Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)");
    EXPECT_EQ(entry.year, 1997);
    EXPECT_EQ(agent("12.3 -- 45\n"), 0);
    EXPECT_EQ(agent("\n"), 0);
    ASSERT_EQ(agent(std::string(300, 'a') + "\n"), LOG_OK);
    EXPECT_EQ(std::string(entry.agent), std::string(255, 'a'));

    useragentOnlyFlag = 1;
    EXPECT_EQ(parse("# comment\n"), LOG_COMMENT);
    EXPECT_EQ(parse("Lynx/2.8\n"), LOG_OK);
    EXPECT_STREQ(entry.agent, "Lynx/2.8");
}

// ---------------------------------------------------------------- hostile lines

TEST_F(LogParse, HostileLinesStayInBounds) {
    std::string cases[] = {
        std::string(4000, 'A'),
        std::string(4000, '"'),
        std::string(4000, '['),
        "h - - [" + std::string(3000, '1'),
        "h - - [10/Oct/1997:13:55:36] \"" + std::string(3000, 'x'),
        "h - - [10/Oct/1997:13:55:36] \"GET " + std::string(3000, '%') + " HTTP/1.0\" 200 1",
        "h - - [10/Oct/1997:13:55:36] \"" + std::string(200, 'M') + " /u HTTP/1.0\" 200 1 \"" +
            std::string(2000, 'r') + ":\"",
        "h - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1 " + std::string(2000, 'a'),
        "h - - [10/Oct/1997:13:55:36] \"GET / HTTP/1.0\" 200 1 \"-\" \"" + std::string(1000, ']') +
            "\"",
        "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\xab\xcd \xff\xfe\x80",
        std::string("h - - [10/Oct/1997:13:55:36] \"GET /\0a HTTP/1.0\" 200 1", 50),
        "h - - [10/Oct/1997:-2147483648:99999999999999999999:1] \"GET / HTTP/1.0\" 200 1",
        "h - - [1/Jan/-99999999:0:0:0] \"GET / HTTP/1.0\" 200 1",
        "h - - [99999999999/Jan/1999:0:0:0] \"GET / HTTP/1.0\" 200 1",
        ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,",
        "a, " + std::string(3000, 'b') + ", 1/1/1, 1:1:1, W3SVC, s, s, 1, 1, 1, 1, 1, M, " +
            std::string(3000, '/') + ", " + std::string(3000, 'x') + ",",
    };
    for (int mode = 0; mode < 3; mode++) {
        refererOnlyFlag = mode == 1;
        useragentOnlyFlag = mode == 2;
        for (const std::string &line : cases)
            for (int start = 0; start < 3; start++) {
                lastLogType = start;
                int result = parse(line);
                EXPECT_GE(result, 0);
                EXPECT_LE(result, 5);
                EXPECT_LE(std::strlen(entry.site), 255u);
                EXPECT_LE(std::strlen(entry.url), 2047u);
                EXPECT_LE(std::strlen(entry.referer), 2047u);
                EXPECT_LE(std::strlen(entry.agent), 255u);
                EXPECT_LE(std::strlen(entry.method), 63u);
                EXPECT_LE(std::strlen(entry.protocol), 63u);
                if (result == LOG_OK && mode == 0) {
                    EXPECT_GE(entry.month, 1);
                    EXPECT_LE(entry.month, 12);
                    EXPECT_GE(entry.hour, 0);
                    EXPECT_LE(entry.hour, 23);
                }
            }
    }
}

TEST_F(LogParse, LongMethodSpillsIntoTheUrlAsScanfReadsIt) {
    ASSERT_EQ(common(commonWith("[10/Oct/1997:13:55:36]", std::string(70, 'M') + " /u HTTP/1.0")),
              LOG_OK);
    EXPECT_EQ(std::string(entry.method), std::string(63, 'M'));
    EXPECT_STREQ(entry.url, "mmmmmmm");  // no slash: lower-cased whole
    EXPECT_STREQ(entry.protocol, "/u");
}

// ---------------------------------------------------------------- impossible days

// Log lines whose day of month no server writes (0, 32, 99, negative) are not entries
// in any format: counted, they would land weeks away from their period. A time offset
// may still move a real date to day 0 or one past the month's end.
class ImpossibleDays : public LogParse {};

TEST_F(ImpossibleDays, AreNotEntriesInAnyFormat) {
    for (const char *day : {"0", "32", "99", "-5", "4294967296"}) {
        std::string common = "10.0.0.1 - - [" + std::string(day) +
                             "/Jun/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n";
        EXPECT_NE(parse(common), LOG_OK) << common;
        std::string iis =
            "10.0.0.1, -, 6/" + std::string(day) +
            "/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, /a.htm, -,\n";
        EXPECT_NE(parse(iis), LOG_OK) << iis;
        std::string emwac =
            "Sat Jun " + std::string(day) + " 10:00:00 2024 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n";
        EXPECT_NE(parse(emwac), LOG_OK) << emwac;
    }
}

TEST_F(ImpossibleDays, RealDaysStillParseAndAnOffsetMayMoveThem) {
    EXPECT_EQ(parse("10.0.0.1 - - [31/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"),
              LOG_OK);
    EXPECT_EQ(entry.day, 31);
    EXPECT_EQ(parse("10.0.0.1, -, 6/1/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, "
                    "GET, /a.htm, -,\n"),
              LOG_OK);
    offsetHours = 20;
    EXPECT_EQ(parse("10.0.0.1 - - [31/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"),
              LOG_OK);
    EXPECT_EQ(entry.day, 32);
    offsetHours = -11;
    EXPECT_EQ(parse("10.0.0.1 - - [01/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"),
              LOG_OK);
    EXPECT_EQ(entry.day, 0);
}

}  // namespace

// ---------------------------------------------------------------- JSON lines

namespace {

class JsonLines : public LogParse {};

TEST_F(JsonLines, CaddyTraefikAndNginxFillTheRecord) {
    EXPECT_EQ(parse(R"j({"level":"info","ts":1709557200.25,"logger":"http.log.access.log0",)j"
                    R"j("msg":"handled request","request":{"remote_ip":"10.0.0.1","proto":)j"
                    R"j("HTTP/2.0","method":"GET","host":"Ex.com","uri":"/A%20b.html?q=1",)j"
                    R"j("headers":{"User-Agent":["Mozilla/5.0 (X11)"],"Referer":)j"
                    R"j(["http://Search.example/x"]}},"bytes_read":0,"size":512,"status":200})j"
                    "\n"),
              LOG_OK);
    EXPECT_EQ(describe(),
              "10.0.0.1|-|-|-|2024-03-04 13:00:00 0|GET|/A b.html|HTTP/2.0|200|512|1|"
              "http://search.example/x|Mozilla/5.0 (X11)");
    EXPECT_EQ(
        parse(R"j({"ClientHost":"10.0.0.2","DownstreamContentSize":77,"DownstreamStatus":404,)j"
              R"j("RequestMethod":"POST","RequestPath":"/form","RequestProtocol":"HTTP/1.1",)j"
              R"j("StartUTC":"2024-03-04T23:59:58.123456789Z","request_User-Agent":"curl/8.0",)j"
              R"j("request_Referer":"-"})j"),
        LOG_OK);
    EXPECT_EQ(describe(),
              "10.0.0.2|-|-|-|2024-03-04 23:59:58 0|POST|/form|HTTP/1.1|404|77|1||curl/8.0");
    EXPECT_EQ(parse(R"j(  {"remote_addr":"10.0.0.3","remote_user":"ann","time_local":)j"
                    R"j("04/Mar/2024:08:01:02 +0100","request":"GET /n.html HTTP/1.1","status":)j"
                    R"j("304","body_bytes_sent":"0","http_referer":"","http_user_agent":"Wget"})j"),
              LOG_OK);
    EXPECT_EQ(describe(),
              "10.0.0.3|-|ann|-|2024-03-04 08:01:02 100|GET|/n.html|HTTP/1.1|304|0|1||Wget");
    EXPECT_EQ(
        parse(R"j({"remote_addr":"10.0.0.4","time_iso8601":"2024-03-04T08:01:02-05:30",)j"
              R"j("request_method":"HEAD","request_uri":"http://WWW.X.org/P","status":200})j"),
        LOG_OK);
    EXPECT_EQ(describe(),
              "10.0.0.4|-|-|www.x.org|2024-03-04 08:01:02 -530|HEAD|http://www.x.org/P||"
              "200|0|0||");
    // The user and protocol fields each server names its own way.
    EXPECT_EQ(
        parse(R"j({"ClientHost":"h","ClientUsername":"bo","RequestMethod":"GET",)j"
              R"j("RequestPath":"/","DownstreamStatus":200,"StartUTC":"2024-03-04T00:00:00Z"})j"),
        LOG_OK);
    EXPECT_EQ(describe(), "h|-|bo|-|2024-03-04 00:00:00 0|GET|/||200|0|0||");
    EXPECT_EQ(parse(R"j({"ts":1709557200,"user_id":"cy","request":{"remote_ip":"h","method":)j"
                    R"j("GET","uri":"/"},"status":200})j"),
              LOG_OK);
    EXPECT_EQ(describe(), "h|-|cy|-|2024-03-04 13:00:00 0|GET|/||200|0|0||");
    EXPECT_EQ(parse(R"j({"remote_addr":"h","time_iso8601":"2024-03-04T00:00:00Z",)j"
                    R"j("request_method":"GET","request_uri":"/","server_protocol":"HTTP/2.0",)j"
                    R"j("status":200})j"),
              LOG_OK);
    EXPECT_EQ(describe(), "h|-|-|-|2024-03-04 00:00:00 0|GET|/|HTTP/2.0|200|0|0||");
}

TEST_F(JsonLines, OtherRecordsAndBrokenLinesAreNoEntries) {
    EXPECT_EQ(parse(R"j({"level":"info","ts":1709557200.2,"logger":"tls","msg":"cert renewed"})j"),
              LOG_NOT_THIS_FORMAT);
    EXPECT_EQ(parse(R"j({"level":"error","ts":1709557200.2,"logger":"http.log.error","request":)j"
                    R"j({"remote_ip":"10.0.0.1","method":"GET","uri":"/"},"msg":"dial tcp"})j"),
              LOG_NOT_THIS_FORMAT);
    EXPECT_EQ(
        parse(R"j({"request":{"remote_ip":"10.0.0.1","method":"GET","uri":"/"},"status":200)j"),
        LOG_NOT_THIS_FORMAT);
    EXPECT_NE(parse(R"j({"remote_addr":"1.2.3.4","time_local":"04/Mar/9999:08:01:02 +0000",)j"
                    R"j("request":"GET / HTTP/1.1","status":200})j"),
              LOG_OK);
    EXPECT_EQ(logLineWasFuture, 1);
    EXPECT_NE(
        parse(R"j({"remote_addr":"h","time_iso8601":"20x4-03-04T08:01:02Z","request":"GET /",)j"
              R"j("status":200})j"),
        LOG_OK);
    // The format that read the last line is tried first, and the rotation comes back.
    ASSERT_EQ(parse(kCommon), LOG_OK);
    EXPECT_EQ(lastLogType, 0);
    EXPECT_EQ(parse(R"j({"ClientHost":"h","RequestMethod":"GET","RequestPath":"/",)j"
                    R"j("DownstreamStatus":200,"StartUTC":"2024-03-04T00:00:00Z"})j"),
              LOG_OK);
    EXPECT_EQ(lastLogType, 4);
    ASSERT_EQ(parse(kCommon), LOG_OK);
    EXPECT_EQ(lastLogType, 0);
}

TEST_F(JsonLines, EpochAndOffsetCarryAcrossDays) {
    offsetHours = 2;
    ASSERT_EQ(parse(R"j({"ts":951868799.9,"request":{"remote_ip":"h","method":"GET","uri":"/"},)j"
                    R"j("status":200})j"),
              LOG_OK);
    // 2000-02-29 23:59:59 UTC, two hours later: day 30 of February, which the day numbers
    // carry into March.
    EXPECT_EQ(describe(), "h|-|-|-|2000-02-30 01:59:59 0|GET|/||200|0|0||");
}

}  // namespace
