// Owned files: the removal of the temporary files a killed run left behind.
#include "core/outfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

class OutFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvel-outfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string &name) const { return dir + "/" + name; }
    void write(const std::string &name) { std::ofstream(file(name)) << "x"; }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto &entry : fs::directory_iterator(dir)) found.insert(entry.path().filename());
        return found;
    }
    std::string dir;
};

TEST_F(OutFileTest, RemovesOnlyOurStaleTemporaries) {
    const std::set<std::string> stale = {
        "19420.html.tmpAb3xY9",   "19420h.html.tmp000000",    "database.dat.tmpZZZZZZ",
        "welcome.tmpabcdef",      "19420p.gif.tmpQwErTy",     "19420.gif.tmpQwErTy",
        "summaryh.gif.tmpAAAAAA", "referrers.html.tmpBBBBBB", "agentsu.gif.tmpCCCCCC",
        "19420p.svg.tmpQwErTy",   "3t.svg.tmpDDDDDD",         "quorvel.css.tmpEEEEEE"};
    const std::set<std::string> kept = {"19420.html",
                                        "notes.txt.tmpAb3xY9",
                                        "19420.html.tmp12345",
                                        "19420.html.tmp1234567",
                                        "19420.html.tmpAb3x-9",
                                        "19420.htm.tmpAb3xY9",
                                        "19420pq.gif.tmpAAAAAA",
                                        "notes.svg.tmpAAAAAA",
                                        "x19420.html.tmpAAAAAA",
                                        ".html.tmpAAAAAA",
                                        "referer.html.tmpAAAAAA",
                                        "19421.html.tmpLinkEd",
                                        "19422.html.tmpDirect"};
    for (const std::string &name : stale) write(name);
    for (const std::string &name : kept) write(name);
    fs::remove(file("19421.html.tmpLinkEd"));
    fs::create_symlink(file("19420.html"), file("19421.html.tmpLinkEd"));
    fs::remove(file("19422.html.tmpDirect"));
    fs::create_directory(file("19422.html.tmpDirect"));

    outRemoveStale(dir.c_str(), "html", "welcome");
    EXPECT_EQ(names(), kept);
}

}  // namespace
