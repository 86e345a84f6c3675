// Shared set-up of the page-writer tests: a configuration read from text into a fresh
// report directory, empty period tables, and a page captured as a string.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/global.h"
#include "core/mem.h"
#include "e2e/e2e_util.h"
#include "engine/engine.h"
#include "report/report.h"

class ReportTest : public ::testing::Test {
  protected:
    TempDir dir;

    void SetUp() override { configure(""); }

    void TearDown() override {
        clearDatabase();
        epochShutdown();
        globalShutdown();
    }

    // Reads the minimal configuration plus extra lines and sets up empty period tables.
    void configure(const std::string &extra) {
        if (tablesReady) {
            clearDatabase();
            epochShutdown();
            globalShutdown();
        }
        std::string text = "reportdir " + dir.path + "\nmydomain com\n" + extra;
        FILE *file = std::tmpfile();
        std::fputs(text.c_str(), file);
        std::rewind(file);
        globalSetup();
        // Settings that keep their program-start values through globalSetup.
        documentsFlag = hoursFlag = daysFlag = resultcodesFlag = trailsFlag = 1;
        keepqueriesFlag = nobytesFlag = 0;
        topTrails = 10;
        globalConfigure(file);
        std::fclose(file);
        codesSetup();
        epochSetup();
        tablesReady = true;
        bytesAvailable = 1;
        partialEpoch = -1;
        showPartialEpoch = 0;
        firstDay = lastDay = -1;
        refererOnlyFlag = useragentOnlyFlag = 0;
    }

  public:
    // Output of a page writer.
    template <typename Writer>
    static std::string capture(Writer writer) {
        FILE *file = std::tmpfile();
        writer(file);
        std::fflush(file);
        std::string text;
        std::rewind(file);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
        return text;
    }

  protected:
    static void add(Hash &table, const char *key, double accesses, double bytes) {
        int row = hashFindOrAdd(table, key);
        table.doubles[row][0] += accesses;
        if (table.doubleColumns > 1) table.doubles[row][1] += bytes;
    }

    // A totals pattern with its label.
    static void addTotal(const char *pattern, const char *label) {
        hashSetString(totals, pattern, 0, label);
    }

    // A history record; values holds accesses and bytes for every key of totals in turn.
    static void addRecord(int first, int days, std::initializer_list<double> values) {
        if (databaseEpochsTotal == databaseEpochsAllocated) {
            int grown = databaseEpochsAllocated * 2 + 4;
            database =
                static_cast<DatabaseEpoch *>(xrealloc(database, sizeof(DatabaseEpoch) * grown));
            databaseEpochsAllocated = grown;
        }
        DatabaseEpoch &record = database[databaseEpochsTotal++];
        record.firstDay = first;
        record.days = days;
        record.thisRun = 1;
        record.kind = days == 7 ? 1 : days == 1 ? 0 : 2;
        std::size_t size = static_cast<std::size_t>(totals.count) + 1;
        record.accesses = static_cast<double *>(xcalloc(size, sizeof(double)));
        record.bytes = static_cast<double *>(xcalloc(size, sizeof(double)));
        int i = 0;
        for (auto it = values.begin(); it != values.end() && i < totals.count; i++) {
            record.accesses[i] = *it++;
            if (it != values.end()) record.bytes[i] = *it++;
        }
    }

    static void clearDatabase() {
        for (int i = 0; i < databaseEpochsTotal; i++) {
            myfree(database[i].accesses);
            myfree(database[i].bytes);
        }
        myfree(database);
        database = nullptr;
        databaseEpochsTotal = databaseEpochsAllocated = 0;
    }

  private:
    bool tablesReady = false;
};

inline int countOccurrences(const std::string &text, const std::string &needle) {
    return countOf(text, needle);
}
