// Chart files next to the pages of a real run: names, sizes, transparency, and the run
// stopping when a chart cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "report_util.h"

namespace {

void expectChart(const std::string &path, int width, int height) {
    GifInfo info = gifInfo(path);
    EXPECT_EQ(info.width, width) << path;
    EXPECT_EQ(info.height, height) << path;
    EXPECT_EQ(info.transparent, 0) << path;
    EXPECT_EQ(info.interlaced, 0) << path;
}

std::string weekLog() {
    std::string log;
    for (int i = 0; i < 20; i++)
        log += logLine(10, 6 + i % 5, 1997, i % 24, "/p" + std::to_string(i % 7), 200, 100 * i,
                       "10.0.0." + std::to_string(i % 4),
                       "http://ref.example/" + std::to_string(i % 3),
                       "Agent/" + std::to_string(i % 2));
    return log;
}

TEST(ReportCharts, WeeklyPageCharts) {
    TempDir dir;
    RunResult run = analyse(dir, "sites yes\n", weekLog(), {"-b", "10/05/97", "-e", "10/11/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string week = std::to_string(dayNumber(10, 5, 1997));
    std::string page = pageOf(dir, dayNumber(10, 5, 1997));
    for (const char *suffix : {"t", "s", "r", "u"}) {
        EXPECT_NE(page.find("<img src=\"" + week + suffix + ".gif\" width=\"200\" height=\"200\""),
                  std::string::npos);
        expectChart(dir.file(week + suffix + ".gif"), 200, 200);
    }
    EXPECT_NE(page.find("<img src=\"" + week + "h.gif\" width=\"400\" height=\"300\"><br>"),
              std::string::npos);
    EXPECT_NE(page.find("<img src=\"" + week + "d.gif\" width=\"400\" height=\"300\"><br>"),
              std::string::npos);
    expectChart(dir.file(week + "h.gif"), 400, 300);
    expectChart(dir.file(week + "d.gif"), 400, 300);
    EXPECT_FALSE(fileExists(dir.file(week + "a.gif")));  // authusers off
}

TEST(ReportCharts, SummaryRunNames) {
    TempDir dir;
    ASSERT_EQ(analyse(dir, "", weekLog(), {"-s"}).status, 0);
    std::string page = readFile(dir.file("summary.html"));
    for (const char *suffix : {"t", "r", "u"}) {
        EXPECT_NE(page.find(std::string("<img src=\"summary") + suffix + ".gif\""),
                  std::string::npos);
        expectChart(dir.file(std::string("summary") + suffix + ".gif"), 200, 200);
    }
    expectChart(dir.file("summaryh.gif"), 400, 300);
    EXPECT_FALSE(fileExists(dir.file("summaryd.gif")));
    EXPECT_FALSE(fileExists(dir.file("index.html")));
}

TEST(ReportCharts, NoChartSettings) {
    TempDir dir;
    ASSERT_EQ(analyse(dir, "hours nochart\ndays nochart\ndocuments nochart\n", weekLog(),
                      {"-b", "10/05/97", "-e", "10/11/97"})
                  .status,
              0);
    std::string week = std::to_string(dayNumber(10, 5, 1997));
    std::string page = pageOf(dir, dayNumber(10, 5, 1997));
    EXPECT_NE(page.find("<h3>Accesses per Hour</h3><em>Figures are averages for that hour on a "
                        "typical day.</em><br>"
                        "<table border=1>"),
              std::string::npos);
    EXPECT_NE(page.find("<h3>Accesses per Day</h3><table border=1>"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file(week + "h.gif")));
    EXPECT_FALSE(fileExists(dir.file(week + "d.gif")));
    EXPECT_FALSE(fileExists(dir.file(week + "t.gif")));
}

TEST(ReportCharts, HistoryGroupCharts) {
    TempDir dir;
    std::string log = weekLog() + logLine(10, 13, 1997, 10, "/p1");
    ASSERT_EQ(
        analyse(dir, "totals\n/p1 One\n/p2 Two\nend\n", log, {"-b", "10/05/97", "-e", "10/12/97"})
            .status,
        0);
    std::string index = readFile(dir.file("index.html"));
    EXPECT_NE(index.find("<img src=\"1t.gif\" width=\"400\" height=\"300\">"), std::string::npos);
    EXPECT_NE(index.find("<img src=\"3t.gif\" width=\"400\" height=\"300\">"), std::string::npos);
    expectChart(dir.file("1t.gif"), 400, 300);
    expectChart(dir.file("3t.gif"), 400, 300);
}

TEST(ReportCharts, ModernPagesShowSvgCharts) {
    TempDir dir;
    ASSERT_EQ(analyse(dir, "sites yes\npagestyle modern\n", weekLog(),
                      {"-b", "10/05/97", "-e", "10/11/97"})
                  .status,
              0);
    std::string page = pageOf(dir, dayNumber(10, 5, 1997));
    // Every image is an SVG chart that exists, with a text for those who cannot see it.
    int images = 0;
    for (std::size_t at = 0; (at = page.find("<img class=\"chart ", at)) != std::string::npos;
         at++) {
        std::size_t src = page.find("src=\"", at) + 5;
        std::string name = page.substr(src, page.find('"', src) - src);
        EXPECT_EQ(name.substr(name.size() - 4), ".svg");
        EXPECT_NE(readFile(dir.file(name)).find("<svg"), std::string::npos) << name;
        EXPECT_NE(page.find("alt=\"", at), page.find("alt=\"\"", at)) << name;
        images++;
    }
    EXPECT_EQ(images, 6);  // documents, sites, referrers, agents, hours, days
    EXPECT_EQ(countOf(page, "<img"), images);
    for (const std::string &name : listFiles(dir.path))
        EXPECT_EQ(name.find(".gif"), std::string::npos) << name;

    TempDir both;
    ASSERT_EQ(analyse(both, "pagestyle modern\ngifcharts yes\n", weekLog(),
                      {"-b", "10/05/97", "-e", "10/11/97"})
                  .status,
              0);
    std::string week = std::to_string(dayNumber(10, 5, 1997));
    expectChart(both.file(week + "h.gif"), 400, 300);
    expectChart(both.file(week + "t.gif"), 200, 200);
    EXPECT_EQ(pageOf(both, dayNumber(10, 5, 1997)).find(".gif"), std::string::npos);
}

TEST(ReportCharts, UnwritableChartStopsTheRun) {
    TempDir dir;
    std::string week = std::to_string(dayNumber(10, 5, 1997));
    // A directory in the chart's place: the finished chart cannot be put there.
    ASSERT_EQ(mkdir(dir.file(week + "h.gif").c_str(), 0700), 0);
    RunResult run = analyse(dir, "", weekLog(), {"-b", "10/05/97", "-e", "10/11/97"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Can't write to file! Filename: " + dir.file(week + "h.gif") + ": Is a directory\n");
    EXPECT_FALSE(fileExists(dir.file("database.dat")));
    // The page that was being written when the run stopped leaves no temporary file.
    for (const auto &entry : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
