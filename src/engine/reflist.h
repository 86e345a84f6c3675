// Text cells that grow by appending, at a cost linear in what is appended: the trail of
// a visit and the referrer list of a missing page both grow one item at a time.
#pragma once
#include <cstddef>

#include "core/hash.h"

// What the writer of a growing cell knows about it between two appends.
struct GrowingCell {
    const char *cell = nullptr;  // the cell as last left by cellAppend; another value means unknown
    std::size_t length = 0;      // its text length
    std::size_t capacity = 0;    // its allocated size
};

// Appends separator + text to text cell `column` of a row (text alone when the cell is
// none or empty), growing the cell in place with amortised doubling. The cell still holds
// exactly the joined text. A cell that the state does not describe (written elsewhere) is
// measured once.
void cellAppend(Hash &table, int row, int column, GrowingCell &state, const char *separator,
                const char *text);

// The not-found referrer list of text cell 0 of a row: adds the referrer unless the
// list already holds it anywhere as a substring; the list becomes list + ", " + referrer,
// or the referrer alone when it has no text or an empty one. Returns 1 when added. The
// test uses an index of the list's substrings once the list is long, so a page referred
// from many distinct pages costs time linear in the referrers, not quadratic.
int refListAdd(Hash &table, int row, const char *referrer);
// Frees the indexes; call after the table was emptied. (A row whose cell is none or
// empty starts afresh anyway, so skipping this only keeps memory longer.)
void refListReset();
