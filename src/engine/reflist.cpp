// Growing text cells and the not-found referrer lists. A cell grows in place with
// amortised doubling; a referrer list that has grown long gets a suffix automaton of its
// text, so "does the list already hold this referrer as a substring" is answered in time
// proportional to the referrer instead of the list.
#include "engine/reflist.h"

#include <cstdint>
#include <cstring>

#include "core/mem.h"

namespace {

// Lists shorter than this are searched directly; the search is then bounded by it.
constexpr std::size_t INDEX_THRESHOLD = 4096;

std::size_t addSize(std::size_t a, std::size_t b) {
    std::size_t sum;
    if (__builtin_add_overflow(a, b, &sum)) dieMemory();
    return sum;
}

template <typename T>
void resizeArray(T *&array, int32_t size) {
    array = static_cast<T *>(xrealloc(array, static_cast<std::size_t>(size) * sizeof(T)));
}

// Room for at least `needed` items, growing by half of what is allocated: the index
// arrays are large, and a smaller step wastes less of them while staying amortised.
int32_t grownSize(int32_t allocated, int32_t needed) {
    int64_t size = allocated > 0 ? allocated : 64;
    while (size < needed) size += size / 2;
    if (size > INT32_MAX) {
        if (needed == INT32_MAX) dieMemory();
        size = INT32_MAX;
    }
    return static_cast<int32_t>(size);
}

// Suffix automaton of a text that is only ever appended to. State 0 is the root, whose
// transitions are a direct table. Almost every other state has a single transition,
// which is kept in the state itself; further ones go to a list of extra edges.
struct SubstringIndex {
    int32_t *length = nullptr;
    int32_t *link = nullptr;
    int32_t *firstTarget = nullptr;  // -1: no transition
    unsigned char *firstByte = nullptr;
    int32_t *moreEdges = nullptr;  // head of the extra edges, -1 when none
    int32_t states = 0;
    int32_t statesAllocated = 0;
    int32_t *edgeNext = nullptr;
    int32_t *edgeTarget = nullptr;
    unsigned char *edgeByte = nullptr;
    int32_t edges = 0;
    int32_t edgesAllocated = 0;
    int32_t rootEdge[256];
    int32_t last = 0;
};

int32_t newState(SubstringIndex &index, int32_t length) {
    if (index.states == INT32_MAX) dieMemory();
    if (index.states >= index.statesAllocated) {
        int32_t size = grownSize(index.statesAllocated, index.states + 1);
        resizeArray(index.length, size);
        resizeArray(index.link, size);
        resizeArray(index.firstTarget, size);
        resizeArray(index.firstByte, size);
        resizeArray(index.moreEdges, size);
        index.statesAllocated = size;
    }
    int32_t s = index.states++;
    index.length[s] = length;
    index.link[s] = -1;
    index.firstTarget[s] = -1;
    index.firstByte[s] = 0;
    index.moreEdges[s] = -1;
    return s;
}

int32_t transition(const SubstringIndex &index, int32_t state, unsigned char byte) {
    if (state == 0) return index.rootEdge[byte];
    if (index.firstTarget[state] < 0) return -1;
    if (index.firstByte[state] == byte) return index.firstTarget[state];
    for (int32_t e = index.moreEdges[state]; e >= 0; e = index.edgeNext[e])
        if (index.edgeByte[e] == byte) return index.edgeTarget[e];
    return -1;
}

void setTransition(SubstringIndex &index, int32_t state, unsigned char byte, int32_t target) {
    if (state == 0) {
        index.rootEdge[byte] = target;
        return;
    }
    if (index.firstTarget[state] < 0 || index.firstByte[state] == byte) {
        index.firstByte[state] = byte;
        index.firstTarget[state] = target;
        return;
    }
    for (int32_t e = index.moreEdges[state]; e >= 0; e = index.edgeNext[e]) {
        if (index.edgeByte[e] == byte) {
            index.edgeTarget[e] = target;
            return;
        }
    }
    if (index.edges == INT32_MAX) dieMemory();
    if (index.edges >= index.edgesAllocated) {
        int32_t size = grownSize(index.edgesAllocated, index.edges + 1);
        resizeArray(index.edgeNext, size);
        resizeArray(index.edgeTarget, size);
        resizeArray(index.edgeByte, size);
        index.edgesAllocated = size;
    }
    int32_t e = index.edges++;
    index.edgeByte[e] = byte;
    index.edgeTarget[e] = target;
    index.edgeNext[e] = index.moreEdges[state];
    index.moreEdges[state] = e;
}

// Gives state `to` the transitions of state `from` (a fresh clone).
void copyTransitions(SubstringIndex &index, int32_t from, int32_t to) {
    if (index.firstTarget[from] < 0) return;
    setTransition(index, to, index.firstByte[from], index.firstTarget[from]);
    for (int32_t e = index.moreEdges[from]; e >= 0; e = index.edgeNext[e])
        setTransition(index, to, index.edgeByte[e], index.edgeTarget[e]);
}

SubstringIndex *indexCreate() {
    SubstringIndex *index = static_cast<SubstringIndex *>(xcalloc(1, sizeof(SubstringIndex)));
    *index = SubstringIndex();
    for (int32_t &edge : index->rootEdge) edge = -1;
    newState(*index, 0);
    index->last = 0;
    return index;
}

void indexFree(SubstringIndex *index) {
    if (!index) return;
    myfree(index->length);
    myfree(index->link);
    myfree(index->firstTarget);
    myfree(index->firstByte);
    myfree(index->moreEdges);
    myfree(index->edgeNext);
    myfree(index->edgeTarget);
    myfree(index->edgeByte);
    myfree(index);
}

// The classic online construction: one new state per byte, plus at most one clone.
void indexExtend(SubstringIndex &index, unsigned char byte) {
    int32_t current = newState(index, index.length[index.last] + 1);
    int32_t p = index.last;
    while (p >= 0 && transition(index, p, byte) < 0) {
        setTransition(index, p, byte, current);
        p = index.link[p];
    }
    if (p < 0) {
        index.link[current] = 0;
    } else {
        int32_t q = transition(index, p, byte);
        if (index.length[p] + 1 == index.length[q]) {
            index.link[current] = q;
        } else {
            int32_t clone = newState(index, index.length[p] + 1);
            copyTransitions(index, q, clone);
            index.link[clone] = index.link[q];
            while (p >= 0 && transition(index, p, byte) == q) {
                setTransition(index, p, byte, clone);
                p = index.link[p];
            }
            index.link[q] = clone;
            index.link[current] = clone;
        }
    }
    index.last = current;
}

void indexAppend(SubstringIndex &index, const char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; i++)
        indexExtend(index, static_cast<unsigned char>(text[i]));
}

int indexContains(const SubstringIndex &index, const char *text) {
    int32_t state = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        state = transition(index, state, *p);
        if (state < 0) return 0;
    }
    return 1;
}

struct RefRow {
    GrowingCell cell;
    SubstringIndex *index;
};

const Hash *refTable = nullptr;
RefRow *refRows = nullptr;
int32_t refRowsAllocated = 0;

void dropIndex(RefRow &row) {
    indexFree(row.index);
    row.index = nullptr;
}

}  // namespace

void cellAppend(Hash &table, int row, int column, GrowingCell &state, const char *separator,
                const char *text) {
    if (row < 0 || row >= table.count || column < 0 || column >= table.stringColumns) return;
    if (!text) text = "";
    if (!separator) separator = "";
    char *&cell = table.strings[row][column];
    if (!cell || cell != state.cell) {
        state.length = cell ? std::strlen(cell) : 0;
        state.capacity = cell ? state.length + 1 : 0;
    }
    std::size_t separatorLength = state.length > 0 ? std::strlen(separator) : 0;
    std::size_t textLength = std::strlen(text);
    std::size_t needed = addSize(addSize(addSize(state.length, separatorLength), textLength), 1);
    if (needed > state.capacity) {
        std::size_t size = state.capacity < 16 ? 16 : state.capacity;
        while (size < needed) size = addSize(size, size);
        cell = static_cast<char *>(xrealloc(cell, size));
        state.capacity = size;
    }
    std::memcpy(cell + state.length, separator, separatorLength);
    std::memcpy(cell + state.length + separatorLength, text, textLength);
    state.length += separatorLength + textLength;
    cell[state.length] = '\0';
    state.cell = cell;
}

int refListAdd(Hash &table, int row, const char *referrer) {
    if (!referrer || !*referrer) return 0;
    if (row < 0 || row >= table.count || table.stringColumns < 1) return 0;
    if (refTable != &table) {
        refListReset();
        refTable = &table;
    }
    if (row >= refRowsAllocated) {
        int32_t old = refRowsAllocated;
        refRowsAllocated = grownSize(refRowsAllocated, row + 1);
        resizeArray(refRows, refRowsAllocated);
        for (int32_t r = old; r < refRowsAllocated; r++)
            refRows[r] = RefRow{GrowingCell(), nullptr};
    }
    RefRow &entry = refRows[row];
    const char *cell = table.strings[row][0];
    bool hasText = cell && *cell;
    // A cell this code did not leave behind (a new period, or written elsewhere) is
    // measured and, when long, indexed afresh.
    if (!hasText) {
        dropIndex(entry);
        entry.cell = GrowingCell();
    } else if (cell != entry.cell.cell) {
        dropIndex(entry);
        std::size_t length = std::strlen(cell);
        entry.cell.cell = cell;
        entry.cell.length = length;
        entry.cell.capacity = length + 1;
        if (length >= INDEX_THRESHOLD) {
            entry.index = indexCreate();
            indexAppend(*entry.index, cell, length);
        }
    }
    if (hasText) {
        if (entry.index) {
            if (indexContains(*entry.index, referrer)) return 0;
        } else if (std::strstr(cell, referrer)) {
            return 0;
        }
    }
    cellAppend(table, row, 0, entry.cell, ", ", referrer);
    std::size_t appended = std::strlen(referrer) + (hasText ? 2 : 0);
    const char *text = table.strings[row][0];
    if (entry.index) {
        indexAppend(*entry.index, text + entry.cell.length - appended, appended);
    } else if (entry.cell.length >= INDEX_THRESHOLD) {
        entry.index = indexCreate();
        indexAppend(*entry.index, text, entry.cell.length);
    }
    return 1;
}

void refListReset() {
    for (int32_t r = 0; r < refRowsAllocated; r++) dropIndex(refRows[r]);
    myfree(refRows);
    refRows = nullptr;
    refRowsAllocated = 0;
    refTable = nullptr;
}
