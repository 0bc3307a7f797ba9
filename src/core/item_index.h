// The context's index from names to data and function items. Parsing looks
// up every name it meets, and checking a new formula's name asks whether a
// function has it; a hash table saves walking the item lists each time.
//
// The index is made with the context and never allocates anew afterwards:
// when items change (the context's generation moves on) the next lookup lays
// it out again in place, growing the block only by reallocating it, and when
// that fails the lookup walks the list instead. So a lookup never fails and
// leaves the count of live blocks as it was.
#pragma once

#include "core/core.h"

namespace xev::core {

// Called by XEVCreateEC and XEVDestroyEC. A context without an index (memory
// was short when it was made) walks its lists.
void ItemIndexCreate(ExprContext* ec);
void ItemIndexRelease(ExprContext* ec);

// The same item FindItem(ec->dataItems or ec->functionItems, name) finds.
ExpItem* FindDataItem(ExprContext* ec, const char* name);
ExpItem* FindFunctionItem(ExprContext* ec, const char* name);

// Records a change of the expression list only (see NoteContextChange): what
// was resolved by name may now resolve differently, but no item changed, so
// the item index stays as it is.
void NoteExpressionChange(ExprContext* ec);

}  // namespace xev::core
