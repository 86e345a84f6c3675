// Trails and visits: follows each client host through the documents it requests. A
// visit is a run of requests with no pause longer than trailTimeout minutes; its trail
// is the documents in order without immediate repeats. Closed visits are counted per
// trail for the "trails" and "visits" sections of the period page.
#include <algorithm>
#include <cstring>

#include "config/global.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "engine/reflist.h"
#include "log/log.h"

namespace {

// Per row of activeTrails: the growing trail text and where its latest step begins,
// so a repeat is recognised by the whole step, not by a blank inside a longer one; and,
// when known, the row of documents that the latest step names (-1 when not known), so
// that a repeat is recognised without reading the trail.
struct TrailState {
    GrowingCell cell;
    std::size_t latestStep;
    int latestDocument;
};

TrailState *trailStates = nullptr;
int trailStatesAllocated = 0;

TrailState &trailState(int row) {
    if (row >= trailStatesAllocated) {
        int size = trailStatesAllocated > 0 ? trailStatesAllocated : 64;
        while (size <= row) size *= 2;
        trailStates = static_cast<TrailState *>(
            xrealloc(trailStates, static_cast<std::size_t>(size) * sizeof(TrailState)));
        for (int r = trailStatesAllocated; r < size; r++)
            trailStates[r] = TrailState{GrowingCell(), 0, -1};
        trailStatesAllocated = size;
    }
    return trailStates[row];
}

// The state of a row whose cell was written elsewhere: the latest step is what follows
// the last ", ".
void trailStateMeasure(TrailState &state, const char *trail) {
    state.cell = GrowingCell();
    state.latestStep = 0;
    state.latestDocument = -1;
    if (!trail) return;
    std::size_t length = std::strlen(trail);
    for (std::size_t i = length; i >= 2; i--) {
        if (trail[i - 2] == ',' && trail[i - 1] == ' ') {
            state.latestStep = i;
            break;
        }
    }
}

std::size_t grownSize(std::size_t size, std::size_t more) {
    std::size_t sum;
    if (__builtin_add_overflow(size, more, &sum)) dieMemory();
    return sum;
}

// Appends ", " and a step of known length to the trail of a row (the step alone to an
// empty trail), growing the cell in place with amortised doubling: cellAppend for the
// trail cell, without measuring what is known.
void appendStep(int row, TrailState &state, const char *step, std::size_t length) {
    char *&cell =
        activeTrails.stringBlock[static_cast<std::size_t>(row) * activeTrails.stringColumns];
    GrowingCell &grow = state.cell;
    if (!cell || cell != grow.cell) {
        grow.length = cell ? std::strlen(cell) : 0;
        grow.capacity = cell ? grow.length + 1 : 0;
    }
    std::size_t separator = grow.length > 0 ? 2 : 0;
    std::size_t needed = grownSize(grownSize(grow.length, separator + 1), length);
    if (needed > grow.capacity) {
        std::size_t size = grow.capacity < 16 ? 16 : grow.capacity;
        while (size < needed) size = grownSize(size, size);
        cell = static_cast<char *>(xrealloc(cell, size));
        grow.capacity = size;
    }
    char *end = cell + grow.length;
    if (separator) {
        end[0] = ',';
        end[1] = ' ';
    }
    std::memcpy(end + separator, step, length);
    grow.length += separator + length;
    cell[grow.length] = '\0';
    grow.cell = cell;
}

// Starts a new visit on a row: the referring page and the document, or the document.
void trailStart(int row, const LogEntry &entry, std::size_t urlLength, double time,
                int documentRow) {
    TrailState &state = trailState(row);
    state.latestDocument = documentRow;
    char *cell =
        activeTrails.stringBlock[static_cast<std::size_t>(row) * activeTrails.stringColumns];
    if (cell) cell[0] = '\0';
    state.cell.length = 0;
    double steps = 1;
    if (referersInVisitsFlag && entry.referer[0]) {
        appendStep(row, state, entry.referer, std::strlen(entry.referer));
        steps = 2;
    }
    std::size_t before = state.cell.length;
    appendStep(row, state, entry.url, urlLength);
    state.latestStep = before > 0 ? before + 2 : 0;
    double *numbers = hashRowNumbers(activeTrails, row);
    numbers[0] = time;
    numbers[1] = steps;
    numbers[2] = time;
}

// trailFlush of a trail of known length.
void flushVisit(const char *trail, std::size_t length, double steps, double duration,
                const char *site) {
    if (steps >= trailMinimumSteps) {
        int row = hashFindOrAddHashed(completeTrails, trail, length, hashKeyHash(trail, length));
        double *numbers = hashRowNumbers(completeTrails, row);
        numbers[0] += 1;
        numbers[1] = duration;
        numbers[2] += duration;
        hashSetIndexString(completeTrails, row, 0, site);
        totalVisitDurations += duration;
        if (duration > longestVisitDuration) longestVisitDuration = duration;
    }
    totalVisits += 1;
}

}  // namespace

void trailAccess(const LogEntry &entry, int dayNumber) {
    std::size_t length = std::strlen(entry.site);
    trailAccessKnown(entry, dayNumber, length, hashKeyHash(entry.site, length),
                     std::strlen(entry.url), -1);
}

// trailAccess for a site whose key length and hash are known, for a document of known
// length whose row of documents is known (-1 when not).
void trailAccessKnown(const LogEntry &entry, int dayNumber, std::size_t siteLength,
                      uint32_t siteHash, std::size_t urlLength, int documentRow) {
    double time = static_cast<double>(dayNumber) * 1440.0 + entry.hour * 60.0 + entry.minute;
    int row = hashFindHashed(activeTrails, entry.site, siteLength, siteHash);
    if (row < 0) {
        row = hashFindOrAddHashed(activeTrails, entry.site, siteLength, siteHash);
        trailState(row) = TrailState{GrowingCell(), 0, -1};
        trailStart(row, entry, urlLength, time, documentRow);
        return;
    }
    TrailState &state = trailState(row);
    char *trail =
        activeTrails.stringBlock[static_cast<std::size_t>(row) * activeTrails.stringColumns];
    if (trail != state.cell.cell) trailStateMeasure(state, trail);
    double *numbers = hashRowNumbers(activeTrails, row);
    // A cell this state describes is empty exactly when its length is 0; the text itself
    // is read only when it must be.
    if (!trail || (trail == state.cell.cell ? state.cell.length == 0 : !trail[0])) {
        trailStart(row, entry, urlLength, time, documentRow);
        return;
    }
    if (time - numbers[0] > trailTimeout) {
        std::size_t length = trail == state.cell.cell ? state.cell.length : std::strlen(trail);
        flushVisit(trail, length, numbers[1], numbers[0] - numbers[2], activeTrails.keys[row]);
        numbers[0] = 0;
        numbers[1] = 0;
        trailStart(row, entry, urlLength, time, documentRow);
        return;
    }
    if (documentRow >= 0 && state.latestDocument >= 0) {
        if (documentRow == state.latestDocument) return;
    } else if (std::strcmp(trail + state.latestStep, entry.url) == 0) {
        return;
    }
    std::size_t before = state.cell.cell == trail ? state.cell.length : std::strlen(trail);
    appendStep(row, state, entry.url, urlLength);
    state.latestStep = before + 2;
    state.latestDocument = documentRow;
    // Lines of one log are not strictly in time order (a slow request is logged with its
    // start time after quicker ones): the visit's latest time never moves back.
    numbers[0] = std::max(numbers[0], time);
    numbers[1] += 1;
}

void trailFlush(const char *trail, double steps, double duration, const char *site) {
    if (!trail) trail = "";
    flushVisit(trail, std::strlen(trail), steps, duration, site);
}

void analyzeTrails() {
    if (!trailsFlag && !visitsFlag) return;
    for (int row = 0; row < activeTrails.count; row++) {
        const char *trail = activeTrails.strings[row][0];
        const double *numbers = activeTrails.doubles[row];
        if (!trail || !trail[0]) continue;  // no open visit on this row
        const GrowingCell &cell = trailState(row).cell;
        std::size_t length = cell.cell == trail ? cell.length : std::strlen(trail);
        flushVisit(trail, length, numbers[1], numbers[0] - numbers[2], activeTrails.keys[row]);
    }
}
