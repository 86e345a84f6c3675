// Ordering of ranked lists: the sort used by the sections gives exactly the stable order
// of the comparators (descending, ties in order of arrival), for every table it knows
// and for a comparator it does not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "report/report.h"

namespace {

std::vector<int> stableOrder(int n, ReportComparator comparator) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(),
                     [comparator](const int &x, const int &y) { return comparator(&x, &y) < 0; });
    return order;
}

std::vector<int> rankedOrder(int n, ReportComparator comparator) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i;
    rankedSort(order.data(), n, comparator);
    return order;
}

// Few distinct values, so that most rows tie with many others.
void fill(Hash &table, int rows, unsigned seed) {
    char key[32];
    for (int i = 0; i < rows; i++) {
        seed = seed * 1103515245u + 12345u;
        std::snprintf(key, sizeof key, "/k%d", i);
        int row = hashFindOrAdd(table, key);
        for (int c = 0; c < table.doubleColumns; c++)
            table.doubles[row][c] = static_cast<double>((seed >> (8 + 3 * c)) % 9) * (c + 1);
    }
}

int oddRowsFirst(const void *a, const void *b) {
    int x = *static_cast<const int *>(a) % 2, y = *static_cast<const int *>(b) % 2;
    return y - x;
}

TEST(RankedSort, MatchesTheStableOrderOfEveryComparator) {
    epochSetup();
    fill(documents, 5000, 1);
    fill(completeTrails, 3000, 2);
    fill(notfound, 1000, 3);
    fill(referers, 1, 4);
    const struct {
        ReportComparator comparator;
        int rows;
    } cases[] = {{documentsCompareAccesses, 5000},
                 {documentsCompareBytes, 5000},
                 {trailsCompareAccesses, 3000},
                 {notfoundCompareAccesses, 1000}};
    for (const auto &c : cases) EXPECT_EQ(rankedOrder(c.rows, c.comparator), stableOrder(c.rows, c.comparator));
    EXPECT_EQ(rankedOrder(1, referersCompareBytes), std::vector<int>{0});
    EXPECT_EQ(rankedOrder(0, sitesCompareAccesses), std::vector<int>{});
    EXPECT_EQ(rankedOrder(10, oddRowsFirst), stableOrder(10, oddRowsFirst));
    epochShutdown();
}

}  // namespace
