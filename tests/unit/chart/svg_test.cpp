// SVG charts: well-formed documents, a title per bar, point and slice with the right
// figures, bar heights on the round ticks, escaping of hostile labels, and no NaN or
// infinity whatever the values.
#include "chart/svg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "chart/chart.h"
#include "config/global.h"
#include "core/mem.h"

namespace {

// What draw writes into a FILE, as a string.
template <typename Draw>
std::string capture(Draw draw) {
    char *buffer = nullptr;
    std::size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    draw(out);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

std::string chartSvg(int style, const std::vector<const char *> &labels, const char *title,
                     const std::vector<std::vector<double>> &channels,
                     const std::vector<const char *> &names = {}) {
    std::vector<const double *> data;
    for (const auto &c : channels) data.push_back(c.data());
    return capture([&](FILE *out) {
        svgChartWrite(out, style, labels.empty() ? nullptr : labels.data(), title, data.data(),
                      channels.empty() ? 0 : static_cast<int>(channels[0].size()),
                      static_cast<int>(channels.size()), names.empty() ? nullptr : names.data());
    });
}

std::string pieSvg(const std::vector<double> &values,
                   const std::vector<const char *> &labels = {}) {
    return capture([&](FILE *out) {
        svgPieWrite(out, values.data(), static_cast<int>(values.size()),
                    labels.empty() ? nullptr : labels.data());
    });
}

// Checks what an XML parser would: valid UTF-8 without control characters, tags
// properly nested, attribute values quoted, and & only in the five entity references or
// a character reference. Returns the first fault, or "".
std::string wellFormedFault(const std::string &doc) {
    for (std::size_t i = 0; i < doc.size();) {
        auto c = static_cast<unsigned char>(doc[i]);
        int extra = c < 0x80                 ? 0
                    : c >= 0xC2 && c <= 0xDF ? 1
                    : c >= 0xE0 && c <= 0xEF ? 2
                    : c >= 0xF0 && c <= 0xF4 ? 3
                                             : -1;
        if (extra < 0 || (c < 0x20 && c != '\n')) return "bad byte at " + std::to_string(i);
        for (int k = 1; k <= extra; k++)
            if (i + k >= doc.size() || (static_cast<unsigned char>(doc[i + k]) & 0xC0) != 0x80)
                return "broken UTF-8 at " + std::to_string(i);
        i += extra + 1;
    }
    static const std::regex reference("^&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);");
    static const std::regex name("^[A-Za-z_][-A-Za-z0-9_:.]*");
    static const std::regex attribute("^\\s+[A-Za-z_][-A-Za-z0-9_:.]*=\"[^\"<]*\"");
    std::vector<std::string> open;
    std::size_t i = 0;
    auto rest = [&](std::size_t at) { return doc.substr(at, 200); };
    while (i < doc.size()) {
        std::smatch m;
        if (doc[i] == '&') {
            std::string tail = rest(i);
            if (!std::regex_search(tail, m, reference)) return "bare & at " + std::to_string(i);
            i++;
        } else if (doc.compare(i, 2, "<?") == 0 || doc.compare(i, 9, "<![CDATA[") == 0) {
            std::string close = doc[i + 1] == '?' ? "?>" : "]]>";
            std::size_t end = doc.find(close, i);
            if (end == std::string::npos) return "unclosed section";
            i = end + close.size();
        } else if (doc.compare(i, 2, "</") == 0) {
            std::string tail = rest(i + 2);
            if (!std::regex_search(tail, m, name) || open.empty() || open.back() != m.str() ||
                doc[i + 2 + m.length()] != '>')
                return "mismatched end tag at " + std::to_string(i);
            open.pop_back();
            i += 3 + m.length();
        } else if (doc[i] == '<') {
            std::string tail = rest(i + 1);
            if (!std::regex_search(tail, m, name)) return "bad tag at " + std::to_string(i);
            std::string tag = m.str();
            std::size_t at = i + 1 + m.length();
            for (std::smatch a; at < doc.size();) {
                std::string attrs = doc.substr(at, 4000);
                if (!std::regex_search(attrs, a, attribute)) break;
                std::string value = a.str();
                for (std::size_t k = value.find('&'); k != std::string::npos;
                     k = value.find('&', k + 1)) {
                    std::string ref = value.substr(k);
                    if (!std::regex_search(ref, reference)) return "bare & in attribute of " + tag;
                }
                at += a.length();
            }
            if (doc.compare(at, 2, "/>") == 0) {
                i = at + 2;
            } else if (doc[at] == '>') {
                open.push_back(tag);
                i = at + 1;
            } else {
                return "bad attributes in " + tag + " at " + std::to_string(at);
            }
        } else if (doc[i] == '>' && !open.empty()) {
            return "bare > at " + std::to_string(i);
        } else {
            i++;
        }
    }
    return open.empty() ? "" : "unclosed " + open.back();
}

// The contents of every <title> after the document's own.
std::vector<std::string> titles(const std::string &doc) {
    std::vector<std::string> found;
    static const std::regex title("<title>([^<]*)</title>");
    for (std::sregex_iterator it(doc.begin(), doc.end(), title), end; it != end; ++it)
        found.push_back((*it)[1]);
    if (!found.empty()) found.erase(found.begin());
    return found;
}

// The value of an attribute of each element with this name, in document order.
std::vector<double> attributes(const std::string &doc, const std::string &element,
                               const std::string &attribute) {
    std::vector<double> values;
    std::regex tag("<" + element + "( [^>]*)>");
    std::regex value(" " + attribute + "=\"([-0-9.]+)\"");
    for (std::sregex_iterator it(doc.begin(), doc.end(), tag), end; it != end; ++it) {
        std::smatch m;
        std::string attrs = (*it)[1];
        if (attrs.find(" class=\"b\"") != std::string::npos) continue;  // the background
        if (std::regex_search(attrs, m, value)) values.push_back(std::stod(m[1]));
    }
    return values;
}

void expectClean(const std::string &doc) {
    EXPECT_EQ(wellFormedFault(doc), "");
    std::string lower = doc;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower.find("nan"), std::string::npos);
    EXPECT_EQ(lower.find("inf"), std::string::npos);
    EXPECT_EQ(lower.find("<script"), std::string::npos);
    EXPECT_EQ(lower.find("href=\""), std::string::npos);
}

TEST(SvgChart, TheWellFormednessCheckFindsFaults) {
    EXPECT_EQ(wellFormedFault("<a x=\"1\">&amp;<b/></a>"), "");
    for (const char *bad :
         {"<a>&</a>", "<a><b></a></b>", "<a x=1></a>", "<a>\x01</a>", "<a>\xC3(</a>", "<a>"})
        EXPECT_NE(wellFormedFault(bad), "") << bad;
}

TEST(SvgChart, BarsEachCarryTheirFigureAndTheDocumentIsStandalone) {
    std::vector<const char *> labels = {"00:00", "01:00", "02:00", "03:00"};
    std::string doc = chartSvg(CHART_BARS, labels, "accesses", {{0, 12.5, 999, 1234}});
    expectClean(doc);
    EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg "
                        "xmlns=\"http://www.w3.org/2000/svg\"",
                        0),
              0u);
    EXPECT_NE(doc.find(" viewBox=\"0 0 "), std::string::npos);
    EXPECT_NE(doc.find("prefers-color-scheme:dark"), std::string::npos);
    EXPECT_EQ(titles(doc),
              (std::vector<std::string>{"00:00: 0 accesses", "01:00: 12.5 accesses",
                                        "02:00: 999 accesses", "03:00: 1,234 accesses"}));
    // Ticks of 500 up to 1,500.
    for (const char *tick : {">0</text>", ">500</text>", ">1,000</text>", ">1,500</text>"})
        EXPECT_NE(doc.find(tick), std::string::npos) << tick;
    EXPECT_EQ(doc.find(">2,000</text>"), std::string::npos);
    EXPECT_EQ(doc, chartSvg(CHART_BARS, labels, "accesses", {{0, 12.5, 999, 1234}}));
}

TEST(SvgChart, BarTopsLieOnTheGridLinesOfTheirValues) {
    std::string doc = chartSvg(CHART_BARS, {}, nullptr, {{40, 20, 10, 30}});
    expectClean(doc);
    // Ticks at 10, 20, 30 and 40; the grid lines from the bottom up, then the axis.
    std::vector<double> grid = attributes(doc, "line", "y1");
    ASSERT_EQ(grid.size(), 5u);
    double axis = grid[4];
    std::vector<double> y = attributes(doc, "rect", "y");
    std::vector<double> height = attributes(doc, "rect", "height");
    ASSERT_EQ(y.size(), 4u);
    int tick[4] = {3, 1, 0, 2};  // the grid line of 40, 20, 10 and 30
    for (int s = 0; s < 4; s++) {
        EXPECT_NEAR(y[s], grid[tick[s]], 0.051) << s;
        EXPECT_NEAR(y[s] + height[s], axis, 0.051) << s;
    }
    EXPECT_NEAR(height[0], 4 * height[2], 0.2);
    EXPECT_EQ(titles(doc)[2], "3: 10");
}

TEST(SvgChart, ChannelsStandSideBySideWithALegend) {
    std::string doc = chartSvg(CHART_BARS, {"a", "b", "c"}, "accesses", {{5, 6, 7}, {1, 2, 3}},
                               {"Pages", "<Images>"});
    expectClean(doc);
    std::vector<std::string> t = titles(doc);
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[1], "b, Pages: 6 accesses");
    EXPECT_EQ(t[5], "c, &lt;Images&gt;: 3 accesses");
    EXPECT_NE(doc.find(">&lt;Images&gt;</text>"), std::string::npos);
    // Bars after the two legend swatches: channel 0 of a point just left of channel 1.
    std::vector<double> x = attributes(doc, "rect", "x"), w = attributes(doc, "rect", "width");
    ASSERT_EQ(x.size(), 8u);
    for (int s = 0; s < 3; s++) {
        EXPECT_NEAR(x[2 + s] + w[2 + s], x[5 + s], 0.001) << s;
        if (s > 0) {
            EXPECT_GT(x[2 + s], x[5 + s - 1]);
        }
    }
    // A single channel named like the title needs neither legend nor name.
    doc = chartSvg(CHART_BARS, {"a"}, "accesses", {{5}}, {"accesses"});
    EXPECT_EQ(titles(doc), std::vector<std::string>{"a: 5 accesses"});
    EXPECT_EQ(doc.find(">accesses</text>"), doc.rfind(">accesses</text>"));
}

TEST(SvgChart, HostileLabelsAreEscaped) {
    std::vector<const char *> labels = {"<script>alert(1)</script>", "a&b \"q\" 'x'",
                                        "\x01tab\there\x7f", "bad\xff\xc3(", "cut\xe2\x82"};
    std::string doc = chartSvg(CHART_BARS, labels, "<t>", {{1, 2, 3, 4, 5}});
    expectClean(doc);
    std::vector<std::string> t = titles(doc);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0], "&lt;script&gt;alert(1)&lt;/script&gt;: 1 &lt;t&gt;");
    EXPECT_EQ(t[1], "a&amp;b &quot;q&quot; &#39;x&#39;: 2 &lt;t&gt;");
    EXPECT_EQ(t[2], "tab here: 3 &lt;t&gt;");
    EXPECT_EQ(t[3], "bad\xEF\xBF\xBD\xEF\xBF\xBD(: 4 &lt;t&gt;");
    EXPECT_EQ(t[4], "cut\xEF\xBF\xBD\xEF\xBF\xBD: 5 &lt;t&gt;");
}

TEST(SvgChart, LongHistoriesBecomeLinesWithThinnedRotatedLabels) {
    std::vector<std::string> storage;
    std::vector<double> values;
    for (int i = 0; i < 150; i++) {
        storage.push_back("03/" + std::to_string(i) + "/2024");
        values.push_back(i % 7);
    }
    std::vector<const char *> labels;
    for (const std::string &s : storage) labels.push_back(s.c_str());
    std::string doc = chartSvg(CHART_BARS, labels, "accesses", {values});
    expectClean(doc);
    EXPECT_EQ(doc.find("<rect x"), std::string::npos);
    EXPECT_NE(doc.find("<polyline"), std::string::npos);
    EXPECT_NE(doc.find("<polygon"), std::string::npos);  // one channel: filled
    EXPECT_EQ(titles(doc).size(), 150u);
    EXPECT_EQ(titles(doc)[9], "03/9/2024: 2 accesses");
    std::size_t shown = 0;
    for (std::size_t at = doc.find("rotate(-45"); at != std::string::npos;
         at = doc.find("rotate(-45", at + 1))
        shown++;
    EXPECT_GT(shown, 10u);
    EXPECT_LT(shown, 40u);
}

TEST(SvgChart, ExtremeValuesGiveNoNaNOrInfinity) {
    expectClean(chartSvg(CHART_BARS, {}, "bytes", {{1.7e308, 1e308, 0, NAN, INFINITY, -5}}));
    expectClean(chartSvg(CHART_BARS, {}, "bytes", {{1e-310, 0}}));
    expectClean(chartSvg(CHART_LINES | CHART_CROSSES, {}, nullptr, {{0, 0, 0}}));
    expectClean(chartSvg(CHART_BARS, {}, nullptr, {}));
    // A large maximum is shown in thousands; the bars keep the whole figure.
    std::string doc = chartSvg(CHART_BARS, {"x"}, "accesses", {{2500000}});
    EXPECT_NE(doc.find(">accesses (\xC3\x97"
                       "1,000)</text>"),
              std::string::npos);
    EXPECT_NE(doc.find(">2,500</text>"), std::string::npos);
    EXPECT_EQ(titles(doc)[0], "x: 2,500,000 accesses");
}

TEST(SvgChart, ConfiguredColoursAreUsed) {
    char *saved = chartTextColor;
    chartTextColor = mystrdup("#ABCDEF");
    char color[] = "#123456";
    char *items[] = {color};
    StringArray savedBars = chartBarColors;
    chartBarColors = StringArray{};
    chartBarColors.items = items;
    chartBarColors.count = 1;
    std::string doc = chartSvg(CHART_BARS, {}, "t", {{1, 2}, {3, 4}});
    chartBarColors = savedBars;
    myfree(chartTextColor);
    chartTextColor = saved;
    EXPECT_NE(doc.find(".t{fill:#abcdef}"), std::string::npos);
    // One colour for both channels, in its canonical form.
    std::size_t first = doc.find("<g fill=\"#123456\">");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(doc.rfind("<g fill=\"#123456\">"), first);
}

TEST(SvgPie, SlicesCarryTheirSharesAndStartAtTwelveOClock) {
    std::string doc = pieSvg({50, 30, 15, 3, 2});
    expectClean(doc);
    EXPECT_EQ(titles(doc), (std::vector<std::string>{"1: 50.0%", "2: 30.0%", "3: 15.0%", "4: 3.0%",
                                                     "Other: 2.0%"}));
    double cx = attributes(doc, "circle", "cx")[0], cy = attributes(doc, "circle", "cy")[0];
    double r = attributes(doc, "circle", "r")[0];
    // The first half runs from the top down the right side to the bottom; the second
    // slice ends at 288 degrees: sin 288 = -0.95106, cos 288 = 0.30902.
    char first[128];
    std::snprintf(first, sizeof first, "M%g %gL%g %gA%g %g 0 0 1 %g %gZ", cx, cy, cx, cy - r, r, r,
                  cx, cy + r);
    EXPECT_NE(doc.find(first), std::string::npos) << first;
    std::smatch m;
    std::string rest = doc.substr(doc.find(first) + 10);
    ASSERT_TRUE(std::regex_search(rest, m,
                                  std::regex("<path d=\"[^A]*A[0-9.]+ [0-9.]+ 0 0 1 "
                                             "([0-9.]+) ([0-9.]+)Z\"")));
    EXPECT_NEAR(std::stod(m[1]), cx - 0.95106 * r, 0.051);
    EXPECT_NEAR(std::stod(m[2]), cy - 0.30902 * r, 0.051);
    EXPECT_NE(doc.find(">Other</text>"), std::string::npos);
    EXPECT_NE(doc.find(">2.0%</text>"), std::string::npos);
}

TEST(SvgPie, OneWholeValueIsAFullDiscAndZerosDrawNothing) {
    std::string doc = pieSvg({1234, 0});
    expectClean(doc);
    EXPECT_EQ(titles(doc), std::vector<std::string>{"1: 100.0%"});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(doc, m, std::regex("<path d=\"([^\"]*)\"")));
    EXPECT_EQ(std::count(m[1].first, m[1].second, 'A'),
              2);  // a circle needs two arcs

    for (const auto &values : {std::vector<double>{0, 0, 0}, std::vector<double>{},
                               std::vector<double>{NAN, -1, INFINITY}}) {
        doc = pieSvg(values);
        expectClean(doc);
        EXPECT_EQ(doc.find("<path"), std::string::npos);
        EXPECT_NE(doc.find("<circle"), std::string::npos);
    }
    doc = pieSvg({1e308, 1e308, 1e308});
    expectClean(doc);
    EXPECT_EQ(titles(doc), (std::vector<std::string>{"1: 33.3%", "2: 33.3%", "Other: 33.3%"}));
}

TEST(SvgPie, LabelsAreEscapedAndOtherTakesTheSecondColourAfterAFullRound) {
    std::vector<const char *> labels(13, "/x");
    labels[0] = "/<a href='x'>&";
    labels[1] = "/a-very-long-document-name-that-does-not-fit.html";
    labels[12] = "Other";
    std::string doc = pieSvg(std::vector<double>(13, 1.0), labels);
    expectClean(doc);
    std::vector<std::string> t = titles(doc);
    ASSERT_EQ(t.size(), 13u);
    EXPECT_EQ(t[0], "/&lt;a href=&#39;x&#39;&gt;&amp;: 7.7%");
    EXPECT_TRUE(std::regex_search(doc, std::regex(">2 /a-very-long[-a-z]*\xE2\x80\xA6</text>")));
    std::vector<std::string> fills;
    std::regex fill("<path d=\"[^\"]*\" fill=\"(#[0-9a-f]{6})\"");
    for (std::sregex_iterator it(doc.begin(), doc.end(), fill), end; it != end; ++it)
        fills.push_back((*it)[1]);
    ASSERT_EQ(fills.size(), 13u);
    EXPECT_EQ(fills[0], "#ff0000");
    EXPECT_EQ(fills[1], "#00ff00");
    EXPECT_EQ(fills[11], "#ff80ff");
    EXPECT_EQ(fills[12], "#00ff00");
}

}  // namespace
