// Log lines whose day of month no server writes (0, 32, 99, negative) are not entries
// in any format: counted, they would land weeks away from their period. A time offset
// may still move a real date to day 0 or one past the month's end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/global.h"
#include "log/log.h"

namespace {

char defaultDates[] = "mm/dd/yy";

class ImpossibleDays : public ::testing::Test {
protected:
    LogEntry entry;
    void SetUp() override {
        serverName = nullptr;
        offsetHours = offsetMinutes = 0;
        refererOnlyFlag = useragentOnlyFlag = 0;
        msDateFormat = defaultDates;
        nowBreakdown = {};
        nowBreakdown.tm_year = 2024 - 1900;
        lastLogType = 0;
    }
    void TearDown() override {
        msDateFormat = nullptr;
        offsetHours = 0;
    }
    int parse(const std::string &line) { return logParseEntry(line.c_str(), entry); }
};

TEST_F(ImpossibleDays, AreNotEntriesInAnyFormat) {
    for (const char *day : {"0", "32", "99", "-5", "4294967296"}) {
        std::string common = "10.0.0.1 - - [" + std::string(day) +
                             "/Jun/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n";
        EXPECT_NE(parse(common), LOG_OK) << common;
        std::string iis = "10.0.0.1, -, 6/" + std::string(day) +
                          "/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, /a.htm, -,\n";
        EXPECT_NE(parse(iis), LOG_OK) << iis;
        std::string emwac = "Sat Jun " + std::string(day) + " 10:00:00 2024 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n";
        EXPECT_NE(parse(emwac), LOG_OK) << emwac;
    }
}

TEST_F(ImpossibleDays, RealDaysStillParseAndAnOffsetMayMoveThem) {
    EXPECT_EQ(parse("10.0.0.1 - - [31/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"), LOG_OK);
    EXPECT_EQ(entry.day, 31);
    EXPECT_EQ(parse("10.0.0.1, -, 6/1/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, /a.htm, -,\n"),
              LOG_OK);
    offsetHours = 20;
    EXPECT_EQ(parse("10.0.0.1 - - [31/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"), LOG_OK);
    EXPECT_EQ(entry.day, 32);
    offsetHours = -11;
    EXPECT_EQ(parse("10.0.0.1 - - [01/Jul/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100\n"), LOG_OK);
    EXPECT_EQ(entry.day, 0);
}

}  // namespace
