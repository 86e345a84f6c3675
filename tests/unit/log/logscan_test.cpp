// The template reader that replaces std::sscanf on the parse path must give exactly
// sscanf's results: compared here on tricky and on random inputs, for the parsers'
// own templates and for random templates of the same kinds of directives.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "config/global.h"
#include "log/log.h"
#include "parser_fixture.h"

namespace {

// Up to eight conversions, each a %d or a %Ns (N <= 8).
struct Outputs {
    int numbers[8];
    char texts[8][16];
    void *slots[8];
    Outputs(const std::string &format) {
        std::memset(numbers, 0x11, sizeof numbers);
        std::memset(texts, 'Q', sizeof texts);
        int k = 0;
        for (std::size_t i = 0; i < format.size(); i++) {
            if (format[i] != '%') continue;
            std::size_t j = i + 1;
            while (std::isdigit(static_cast<unsigned char>(format[j]))) j++;
            slots[k] = format[j] == 'd' ? static_cast<void *>(&numbers[k]) : texts[k];
            k++;
        }
        for (; k < 8; k++) slots[k] = &numbers[k];
    }
};

void expectSame(const std::string &format, const std::string &text) {
    Outputs ours(format), theirs(format);
    int got = logScanTemplate(text.c_str(), format.c_str(), ours.slots);
    void **s = theirs.slots;
    int want =
        std::sscanf(text.c_str(), format.c_str(), s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
    ASSERT_EQ(got, want) << "format [" << format << "] text [" << text << "]";
    ASSERT_EQ(std::memcmp(ours.numbers, theirs.numbers, sizeof ours.numbers), 0)
        << "format [" << format << "] text [" << text << "]";
    ASSERT_EQ(std::memcmp(ours.texts, theirs.texts, sizeof ours.texts), 0)
        << "format [" << format << "] text [" << text << "]";
}

const char *const kTemplates[] = {
    "[%d/%3s/%d:%d:%d:%d %d",
    "{%3s, %d %3s %d %d:%d:%d",
    "[%3s %d %3s %d:%d:%d %3s %d",
    "%d:%d:%d",
    "%8s %8s %8s",
};

TEST(LogScanTemplate, TrickyInputs) {
    const char *const inputs[] = {
        "",
        "[",
        "[10/Oct/1997:13:55:36 -0700",
        "[10/Oct/1997:13:55:36",
        "[10/Oct/1997:13:55:36 ",
        "[10/Oct/1997:13:55:36 x",
        "[10/Oct/1997:13:55",
        "[ 10/Oct/1997:13:55:36 +0700",
        "[+10/\tOct/-1997:-0:+0:00000000000000000000000000000036\v\f-7",
        "[10/October/1997:13:55:36",
        "[10/Oc/1997:13:55:36",
        "[-/Oct/1997",
        "[10/Oct/1997:13:55:36:99 -0700",
        "[2147483648/Oct/4294967297:9223372036854775807:9223372036854775808:-9223372036854775808 "
        "-9223372036854775809",
        "[99999999999999999999999999/Oct/1:2:3:4 -99999999999999999999999999",
        " [10/Oct/1997:13:55:36",
        "{Fri, 10 Oct 1997 13:55:36",
        "{Fri,10 Oct 1997 13:55:36",
        "{Fr, 10 Oct 1997 13:55:36",
        "{Friday, 10 Oct 1997 13:55:36",
        "{Fri, 10 Oct 1997 13:55",
        "[Fri 10 Oct 13:55:36 PDT 1997",
        "[Fri 10 Oct 13:55:36 PDT",
        "[Fri 10 Oct 13:55:36 PDT x",
        "[Fri  10  Oct  13:55:36  PDT  1997",
        "13:55:36",
        "13:55",
        ":55:36",
        "1:2:3:4",
        "-:1:2",
        "+",
        "-",
        "GET /a.html HTTP/1.0",
        "GET",
        "GET ",
        "   GET   /a   ",
        "GETTINGLONGER /a/b/c/d/e HTTP/1.0 extra",
        "\x80\xff [\x80",
    };
    for (const char *format : kTemplates)
        for (const char *input : inputs) expectSame(format, input);
}

// Random texts from an alphabet that holds every character the templates care about.
TEST(LogScanTemplate, RandomInputs) {
    const std::string alphabet =
        "0123456789012345678901234567899999-+ \t\v\f\r\n/:[]{},OctFriPDx\x80";
    std::mt19937 random(20240517);
    for (const char *format : kTemplates) {
        for (int i = 0; i < 20000; i++) {
            std::string text;
            // Half the cases start from a well-formed text and are then disturbed.
            if (i % 2 == 0) {
                text = format[0] == '{' ? "{Fri, 10 Oct 1997 13:55:36"
                       : format[0] == '[' && format[1] == '%' && format[2] == '3'
                           ? "[Fri 10 Oct 13:55:36 PDT 1997"
                           : "[10/Oct/1997:13:55:36 -0700";
                int changes = 1 + static_cast<int>(random() % 3);
                for (int c = 0; c < changes && !text.empty(); c++) {
                    std::size_t at = random() % text.size();
                    switch (random() % 3) {
                        case 0:
                            text[at] = alphabet[random() % alphabet.size()];
                            break;
                        case 1:
                            text.erase(at, 1);
                            break;
                        default:
                            text.insert(at, 1, alphabet[random() % alphabet.size()]);
                            break;
                    }
                }
            } else {
                int length = static_cast<int>(random() % 30);
                for (int c = 0; c < length; c++) text += alphabet[random() % alphabet.size()];
            }
            expectSame(format, text);
        }
    }
}

// Random templates built of the same directives, on random texts.
TEST(LogScanTemplate, RandomTemplates) {
    const std::vector<std::string> pieces = {"%d", "%d", "%1s", "%3s", "%8s", " ",
                                             "/",  ":",  "[",   ",",   "-",   "x"};
    const std::string alphabet =
        "0123456789-+ \t/:[,x\x80"
        "abc";
    std::mt19937 random(7);
    for (int i = 0; i < 40000; i++) {
        std::string format;
        int conversions = 0;
        int length = 1 + static_cast<int>(random() % 9);
        for (int p = 0; p < length; p++) {
            const std::string &piece = pieces[random() % pieces.size()];
            if (piece[0] == '%') {
                if (conversions == 8) continue;
                conversions++;
            }
            format += piece;
        }
        std::string text;
        int textLength = static_cast<int>(random() % 24);
        for (int c = 0; c < textLength; c++) text += alphabet[random() % alphabet.size()];
        expectSame(format, text);
    }
}

// The common format reads its usual date shape without the template reader: the
// fields must be those sscanf reads with the first date template.
TEST(LogScanTemplate, UsualDateShapeReadsAsScanf) {
    nowBreakdown = {};
    nowBreakdown.tm_year = 9999 - 1900;
    serverName = nullptr;
    const char *const months[] = {"Jan", "feb", "MAR", "aPr", "May", "jun",
                                  "Jul", "aug", "Sep", "OCT", "nov", "Dec"};
    std::mt19937 random(99);
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; i++) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    for (int i = 0; i < 20000; i++) {
        int monthIndex = static_cast<int>(random() % 12);
        std::string date = "[" + digits(2) + "/" + months[monthIndex] + "/" + digits(4) + ":" +
                           digits(2) + ":" + digits(2) + ":" + digits(2) + " " +
                           (random() % 2 ? "+" : "-") + digits(4);
        std::string line = "h - - " + date + "] \"GET / HTTP/1.0\" 200 1\n";
        LogEntry entry;
        int result = logParseEntryCommon(line.data(), entry);
        int day, year, hour, minute, second, zone;
        char month[4];
        ASSERT_EQ(std::sscanf(date.c_str(), "[%d/%3s/%d:%d:%d:%d %d", &day, month, &year, &hour,
                              &minute, &second, &zone),
                  7);
        if (year <= 49)
            year += 2000;
        else if (year <= 99)
            year += 1900;
        bool usable = day >= 1 && day <= 31 && hour <= 23 && minute <= 59 && second <= 60;
        ASSERT_EQ(result, usable ? LOG_OK : 0) << date;
        if (!usable) continue;
        EXPECT_EQ(entry.day, day) << date;
        EXPECT_EQ(entry.year, year) << date;
        EXPECT_EQ(entry.hour, hour) << date;
        EXPECT_EQ(entry.minute, minute) << date;
        EXPECT_EQ(entry.second, second) << date;
        EXPECT_EQ(entry.zone, zone) << date;
        EXPECT_EQ(entry.month, monthIndex + 1) << date;
    }
}

// "%xy" with a hexadecimal x decodes as sscanf's "%2x" reads it, and skips both.
TEST(LogScanTemplate, UrlEscapesDecodeAsScanfHex) {
    keepqueriesFlag = 1;
    nocaseFlag = 0;
    for (int first = 1; first < 256; first++) {
        if (!std::isxdigit(first)) continue;
        for (int second = 1; second < 256; second++) {
            char text[8] = {'/', '%', static_cast<char>(first), static_cast<char>(second), 'Z', 0};
            unsigned value = 0;
            ASSERT_EQ(std::sscanf(text + 2, "%2x", &value), 1);
            UnescapeUrl(text);
            std::string expected = "/";
            if (value & 0xff) expected += static_cast<char>(value & 0xff), expected += 'Z';
            ASSERT_EQ(std::string(text), expected) << first << " " << second;
        }
    }
    keepqueriesFlag = 0;
}

// W3C extended lines through the dispatcher, with the field map of their source.
class LogW3c : public ::testing::Test {
  protected:
    LogEntry entry;
    LogW3cFields fields{};
    void SetUp() override { parserSettingsReset(); }
    void TearDown() override { parserSettingsClear(); }
    int parse(const std::string &line, LogW3cFields *map) {
        std::vector<char> text(line.begin(), line.end());
        text.resize(line.size() + 64, '\0');
        return logParseLineInPlace(text.data(), line.size(), text.data() + text.size(), entry, map);
    }
};

TEST_F(LogW3c, FieldsLineMapsTheValues) {
    const std::string data =
        "2024-03-05 22:10:07 10.0.0.9 - GET /Shop/a%20b.asp id=7 200 5120 "
        "Mozilla/5.0+(Windows+NT+10.0) http://www.example.org/from.html\n";
    EXPECT_EQ(parse(data, &fields), LOG_NOT_THIS_FORMAT);  // before any #Fields line
    EXPECT_EQ(parse("#Software: Microsoft Internet Information Services 10.0\n", &fields),
              LOG_COMMENT);
    EXPECT_EQ(parse("#Fields: date time c-ip cs-username cs-method cs-uri-stem cs-uri-query "
                    "sc-status sc-bytes cs(User-Agent) cs(Referer)\n",
                    &fields),
              LOG_COMMENT);
    offsetHours = 2;
    ASSERT_EQ(parse(data, &fields), LOG_OK);
    EXPECT_STREQ(entry.url, "/Shop/a b.asp");
    EXPECT_STREQ(entry.agent, "Mozilla/5.0 (Windows NT 10.0)");
    EXPECT_STREQ(entry.referer, "http://www.example.org/from.html");
    EXPECT_STREQ(entry.authuser, "-");
    EXPECT_EQ(entry.result, 200);
    EXPECT_EQ(entry.size, 5120);
    EXPECT_EQ(entry.hasBytes, 1);
    EXPECT_EQ(entry.day * 100 + entry.hour, 600);  // 22:10 UTC plus two hours
    EXPECT_EQ(lastLogType, 3);
    EXPECT_EQ(parse(data, nullptr), LOG_NOT_THIS_FORMAT);  // another source has no map
    keepqueriesFlag = 1;
    ASSERT_EQ(parse(data, &fields), LOG_OK);
    EXPECT_STREQ(entry.url, "/Shop/a b.asp?id=7");
    EXPECT_EQ(parse(data.substr(0, data.rfind(' ')) + "\n", &fields), LOG_NOT_THIS_FORMAT);

    // A restarted server names other fields, without a byte count.
    parse("#Fields: time c-ip cs-method cs-uri-stem sc-status s-sitename\n", &fields);
    parse("#Date: 2024-03-06 00:00:00\n", &fields);
    ASSERT_EQ(parse("01:02:03 10.0.0.9 GET /b.html 404 W3SVC1\n", &fields), LOG_OK);
    EXPECT_EQ(entry.day * 100 + entry.result / 100, 604);
    EXPECT_EQ(entry.hasBytes, 0);
    char web2[] = "W3SVC2";
    serverName = web2;
    EXPECT_EQ(parse("01:02:03 10.0.0.9 GET /b.html 404 W3SVC1\n", &fields), LOG_OTHER_SERVER);
    EXPECT_EQ(parse("01:02:03 10.0.0.9 GET /b.html 404 W3SVC2\n", &fields), LOG_OK);
}

}  // namespace
