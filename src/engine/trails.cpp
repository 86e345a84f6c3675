// Trails and visits: follows each client host through the documents it requests. A
// visit is a run of requests with no pause longer than trailTimeout minutes; its trail
// is the documents in order without immediate repeats. Closed visits are counted per
// trail and written as the "trails" and "visits" sections of the period page.
#include <algorithm>
#include <cstring>

#include "config/global.h"
#include "core/commas.h"
#include "core/dates.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "engine/reflist.h"
#include "log/log.h"
#include "report/report.h"

double totalVisits = 0;
double totalVisitDurations = 0;
double longestVisitDuration = 0;

namespace {

enum {
    R_OPEN_LIST = 17,
    R_OPEN_RECORD = 18,
    R_OPEN_FIELD = 19,
    R_CLOSE_FIELD = 20,
    R_OPEN_NUMERIC = 21,
    R_CLOSE_NUMERIC = 22,
    R_CLOSE_RECORD = 23,
    R_CLOSE_LIST = 24,
    R_TRAILS_LABEL_ALL = 79,
    R_TRAILS_LABEL = 80,
    R_TRAILS_HEADING = 81,
    R_VISITS_LABEL = 82,
    R_VISITS_TOTAL = 83,
    R_VISITS_AVERAGE = 84,
    R_VISITS_LONGEST = 85,
    R_VISITS_EXAMPLES_ALL = 86,
    R_VISITS_EXAMPLES = 87,
    R_VISITS_HEADING = 88,
};

// Per row of activeTrails: the growing trail text and where its latest step begins,
// so a repeat is recognised by the whole step, not by a blank inside a longer one.
struct TrailState {
    GrowingCell cell;
    std::size_t latestStep;
};

TrailState *trailStates = nullptr;
int trailStatesAllocated = 0;

TrailState &trailState(int row)
{
    if (row >= trailStatesAllocated) {
        int size = trailStatesAllocated > 0 ? trailStatesAllocated : 64;
        while (size <= row) size *= 2;
        trailStates = static_cast<TrailState *>(
            xrealloc(trailStates, static_cast<std::size_t>(size) * sizeof(TrailState)));
        for (int r = trailStatesAllocated; r < size; r++) trailStates[r] = TrailState{GrowingCell(), 0};
        trailStatesAllocated = size;
    }
    return trailStates[row];
}

// The state of a row whose cell was written elsewhere: the latest step is what follows
// the last ", ".
void trailStateMeasure(TrailState &state, const char *trail)
{
    state.cell = GrowingCell();
    state.latestStep = 0;
    if (!trail) return;
    std::size_t length = std::strlen(trail);
    for (std::size_t i = length; i >= 2; i--) {
        if (trail[i - 2] == ',' && trail[i - 1] == ' ') {
            state.latestStep = i;
            break;
        }
    }
}

void put(FILE *page, int resource)
{
    const char *text = textResource(resource);
    if (text) std::fputs(text, page);
}

// Starts a new visit on a row: the referring page and the document, or the document.
void trailStart(int row, const LogEntry &entry, double time)
{
    TrailState &state = trailState(row);
    char *&cell = activeTrails.strings[row][0];
    if (cell) cell[0] = '\0';
    state.cell.length = 0;
    double steps = 1;
    if (referersInVisitsFlag && entry.referer[0]) {
        cellAppend(activeTrails, row, 0, state.cell, ", ", entry.referer);
        steps = 2;
    }
    std::size_t before = state.cell.length;
    cellAppend(activeTrails, row, 0, state.cell, ", ", entry.url);
    state.latestStep = before > 0 ? before + 2 : 0;
    double *numbers = activeTrails.doubles[row];
    numbers[0] = time;
    numbers[1] = steps;
    numbers[2] = time;
}

}  // namespace

void trailAccess(const LogEntry &entry)
{
    double time = static_cast<double>(dateToDay(entry.month, entry.day, entry.year)) * 1440.0 +
                  entry.hour * 60.0 + entry.minute;
    int row = hashFind(activeTrails, entry.site);
    if (row < 0) {
        row = hashFindOrAdd(activeTrails, entry.site);
        trailState(row) = TrailState{GrowingCell(), 0};
        trailStart(row, entry, time);
        return;
    }
    TrailState &state = trailState(row);
    char *trail = activeTrails.strings[row][0];
    if (trail != state.cell.cell) trailStateMeasure(state, trail);
    double *numbers = activeTrails.doubles[row];
    if (!trail || !trail[0]) {
        trailStart(row, entry, time);
        return;
    }
    if (time - numbers[0] > trailTimeout) {
        trailFlush(trail, numbers[1], numbers[0] - numbers[2], activeTrails.keys[row]);
        numbers[0] = 0;
        numbers[1] = 0;
        trailStart(row, entry, time);
        return;
    }
    if (std::strcmp(trail + state.latestStep, entry.url) == 0) return;
    std::size_t before = state.cell.cell == trail ? state.cell.length : std::strlen(trail);
    cellAppend(activeTrails, row, 0, state.cell, ", ", entry.url);
    state.latestStep = before + 2;
    numbers = activeTrails.doubles[row];
    // Lines of one log are not strictly in time order (a slow request is logged with its
    // start time after quicker ones): the visit's latest time never moves back.
    numbers[0] = std::max(numbers[0], time);
    numbers[1] += 1;
}

void trailFlush(const char *trail, double steps, double duration, const char *site)
{
    if (steps >= trailMinimumSteps) {
        int row = hashFindOrAdd(completeTrails, trail ? trail : "");
        double *numbers = completeTrails.doubles[row];
        numbers[0] += 1;
        numbers[1] = duration;
        numbers[2] += duration;
        hashSetIndexString(completeTrails, row, 0, site);
        totalVisitDurations += duration;
        if (duration > longestVisitDuration) longestVisitDuration = duration;
    }
    totalVisits += 1;
}

void analyzeTrails()
{
    if (!trailsFlag && !visitsFlag) return;
    for (int row = 0; row < activeTrails.count; row++) {
        const char *trail = activeTrails.strings[row][0];
        const double *numbers = activeTrails.doubles[row];
        if (!trail || !trail[0]) continue;  // no open visit on this row
        trailFlush(trail, numbers[1], numbers[0] - numbers[2], activeTrails.keys[row]);
    }
}

void trailsReport(FILE *page, int)
{
    if (!trailsFlag) return;
    int rows = completeTrails.count;
    int *order = static_cast<int *>(xcalloc(static_cast<std::size_t>(rows) + 1, sizeof(int)));
    for (int i = 0; i < rows; i++) order[i] = i;
    std::stable_sort(order, order + rows, [](int a, int b) {
        return trailsCompareAccesses(&a, &b) < 0;
    });
    int shown = rows;
    if (topTrails == COUNT_ALL) {
        put(page, R_TRAILS_LABEL_ALL);
    } else {
        shown = std::max(0, std::min(topTrails, rows));
        resourceFormat(page, textResource(R_TRAILS_LABEL), "dd", shown, rows);
    }
    put(page, R_OPEN_LIST);
    put(page, R_TRAILS_HEADING);
    for (int rank = 1; rank <= shown; rank++) {
        int row = order[rank - 1];
        const double *numbers = completeTrails.doubles[row];
        put(page, R_OPEN_RECORD);
        put(page, R_OPEN_NUMERIC);
        std::fprintf(page, "%d", rank);
        put(page, R_CLOSE_NUMERIC);
        put(page, R_OPEN_FIELD);
        htmlEscape(page, completeTrails.keys[row]);
        put(page, R_CLOSE_FIELD);
        put(page, R_OPEN_NUMERIC);
        Commas(page, numbers[0]);
        put(page, R_CLOSE_NUMERIC);
        put(page, R_OPEN_NUMERIC);
        std::fprintf(page, "%.2f", numbers[0] > 0 ? numbers[2] / numbers[0] : 0.0);
        put(page, R_CLOSE_NUMERIC);
        put(page, R_CLOSE_RECORD);
    }
    put(page, R_CLOSE_LIST);
    myfree(order);
}

void visitsReport(FILE *page, int)
{
    if (!visitsFlag || totalVisits == 0) return;
    put(page, R_VISITS_LABEL);
    resourceFormat(page, textResource(R_VISITS_TOTAL), "f", totalVisits);
    resourceFormat(page, textResource(R_VISITS_AVERAGE), "f", totalVisitDurations / totalVisits);
    resourceFormat(page, textResource(R_VISITS_LONGEST), "f", longestVisitDuration);
    int rows = completeTrails.count;
    int n = exampleVisits == COUNT_ALL ? rows : std::max(0, std::min(exampleVisits, rows));
    if (n == 0) return;
    if (exampleVisits == COUNT_ALL) put(page, R_VISITS_EXAMPLES_ALL);
    else resourceFormat(page, textResource(R_VISITS_EXAMPLES), "d", n);
    put(page, R_OPEN_LIST);
    put(page, R_VISITS_HEADING);
    for (int i = 0; i < n; i++) {
        int row = static_cast<int>(static_cast<long long>(i) * rows / n);
        put(page, R_OPEN_RECORD);
        put(page, R_OPEN_FIELD);
        htmlEscape(page, completeTrails.strings[row][0]);
        put(page, R_CLOSE_FIELD);
        put(page, R_OPEN_NUMERIC);
        std::fprintf(page, "%.0f", completeTrails.doubles[row][1]);
        put(page, R_CLOSE_NUMERIC);
        put(page, R_OPEN_FIELD);
        htmlEscape(page, completeTrails.keys[row]);
        put(page, R_CLOSE_FIELD);
        put(page, R_CLOSE_RECORD);
    }
    put(page, R_CLOSE_LIST);
}
