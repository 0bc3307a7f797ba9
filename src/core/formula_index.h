// The context's index from formula names to the first expression of that
// name. Parsing resolves every reference through it, and the recursion check
// follows references through it, so loading thousands of formulas that refer
// to one another stays linear instead of scanning the list at every name.
//
// The index lives beside the expression list in one block the context owns.
// It grows only while an expression is appended (where running out of memory
// already fails the operation); anything else that changes names or order
// just marks it stale, and the next lookup rebuilds it in place without
// allocating. Lookups therefore never fail and never allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/core.h"

namespace xev::core {

class LockedExpressions;

// Makes room for one more expression; false (nothing changed) when memory is short.
bool FormulaIndexReserve(ExprContext* ec);
// Records the expression just appended at the end of the list, which the
// caller holds locked.
void FormulaIndexAppended(ExprContext* ec, const LockedExpressions& expressions);
// The expression that was at ordinal has left the list, which holds remaining
// expressions now; called before the record is released. The last one's
// entry is taken out in place, anything else marks the index stale.
void FormulaIndexRemoved(ExprContext* ec, const ExprRecord* record, uint32_t ordinal, uint32_t remaining);
// Names or order changed: the next lookup rebuilds.
void FormulaIndexInvalidate(ExprContext* ec);
void FormulaIndexRelease(ExprContext* ec);
// Ordinal of the first expression named name, or -1.
int32_t FormulaIndexFind(const ExprContext* ec, const char* name);
// True when an expression other than skip is named name.
bool FormulaIndexNameTaken(const ExprContext* ec, const char* name, const ExprRecord* skip);
// Whether any listed expression is named name, whose length is known: the
// tries of a generated name, over a list the caller holds locked.
bool FormulaIndexHolds(const ExprContext* ec, const LockedExpressions& expressions, const char* name,
                       size_t length);
// The same over a list the caller holds locked, for checking many names.
bool FormulaIndexNameTaken(const ExprContext* ec, const LockedExpressions& expressions, const char* name,
                           const ExprRecord* skip);

}  // namespace xev::core
