// What the engine core offers the other subsystems: the context record, the
// expression record, item lookups and the operations on expressions that the
// language, evaluator, persistence and editor build on.
#pragma once

#include <cstdint>

#include "core/handle_array.h"
#include "xev/xev.h"

namespace xev::core {
struct ExprNode;
}

// The operators of the operator table, in record order.
enum OperatorIndex : int32_t { kOpPlus = 0, kOpMinus = 1, kOpTimes = 2, kOpDivide = 3, kOpConcat = 4 };
constexpr int32_t kOperatorCount = 5;
constexpr int32_t kOperatorSlots = 4;  // one per operand type 0..3
constexpr int32_t kHelpPathSize = 520;

struct OperatorEntry {
  char* names[kOperatorSlots];      // owned copies of the host's callback names
  intptr_t bound[kOperatorSlots];   // what the resolve callback returned
};

// The context record. Allocated zero-filled by HostAlloc.
struct ExprContext {
  intptr_t hostValue;
  xev::core::HGLOBAL expressions;    // ExprRecord* slots; slot index = ordinal
  xev::core::HGLOBAL functionItems;  // ExpItem* slots, kind 0
  xev::core::HGLOBAL dataItems;      // ExpItem* slots, kind 1
  xev::core::HGLOBAL keywordItems;   // ExpItem* slots, kind 3
  XEVResolveCallback resolveCallback;
  intptr_t reserved;
  int32_t pipeAllowed;
  intptr_t userLong;
  uint16_t nextFormulaNumber;
  uint16_t nextRangeNumber;
  uint16_t nextSetNumber;
  char* datePictures[3];
  int32_t dateTextWidth;
  XEVDelPermissionCallback delPermissionCallback;
  XEVNotifyCallback notifyCallback;
  XEVListValuesCallback listValuesCallback;
  XEVRenameCallback renameCallback;
  uint16_t flags;
  char* dateConverts[3];
  uint16_t dateConvertOptions;
  OperatorEntry operators[kOperatorCount];  // '+', '-', '*', '/', '||'
  int32_t helpContext;
  char helpPath[kHelpPathSize];
  void* formulaIndex;  // names of expressions to ordinals (core/formula_index.h)
  void* itemIndex;     // names of data and function items to items (core/item_index.h)
  // Moves on whenever an item or an expression is added, deleted, renamed or
  // replaced, so that what was resolved by name can tell that it is stale.
  uint32_t generation;
  // Listed expressions whose tree may name a formula (holdsNoFormulaReference
  // clear): while none but the one going does, a destroy needs no search for
  // formulas that use it.
  uint32_t formulasNamingFormulas;
  // Set once a listed formula took another name: trees may then name a
  // formula that is not there, and a new formula of that name would close
  // any cycle through them. While clear, every reference in every tree names
  // a listed formula, so a formula of a new name cannot be reached from any
  // tree, and its parse needs no search for a way back to itself.
  uint8_t mayNameMissingFormulas;
  // Set on a table's private copy while it evaluates rows: where the copy's
  // column callbacks find the columns and the current row (table/table.h).
  void* tableRows;
  // The evaluator's cells for data item answers in row calls (eval/item_cells.h).
  void* itemCells;
};

// The record behind a HEXP.
struct ExprRecord {
  xev::core::ExprNode* root;
  char* name;
  ExprContext* ec;
  uint16_t dataType;
  char* text;
  // The evaluator's prepared form of the tree (eval/plan.h), made at the first
  // evaluation; released with the record.
  void* evalPlan;
  // Set by the parser when the tree names no other formula, so that dropping
  // a formula need not walk this tree for references; clear means unknown.
  uint8_t holdsNoFormulaReference = 0;
  // Set when the name lies in the text's block (see SetExpressionStrings); a
  // record put together by hand holds its name in a block of its own.
  uint8_t nameInTextBlock = 0;
};

namespace xev::core {

// ---- Start-up state (read-only after the library has started) ---------------
// Runs the start-up once; every entry point that needs the labels or the
// default context calls it, so static linking needs no initialiser order.
void EnsureStarted();
ExprContext* DefaultContext();
// Labels loaded at start-up: 208 "Formula", 214 "Range", 215 "Set", the editor
// titles 207/212/213 and the type labels 227..231.
const char* Label(uint32_t id);

// Records that names may now resolve differently (see ExprContext::generation).
inline void NoteContextChange(ExprContext* ec) {
  if (ec != nullptr) ++ec->generation;
}

// ---- Items -------------------------------------------------------------------
// The list of an item kind (0, 1, 3), or nullptr for another kind.
HGLOBAL* ItemList(ExprContext* ec, int16_t kind);
ExpItem* FindItem(HGLOBAL list, const char* name);
int32_t DataItemType(ExprContext* ec, const char* name);
int32_t KeywordItemType(ExprContext* ec, const char* name);
int32_t KeywordItemSubclass(ExprContext* ec, const char* name);
int32_t FunctionReturnType(ExprContext* ec, const char* name);
int32_t IsAggregateFunction(HGLOBAL list, const char* name);
// -1 too few, 0 fits, 1 too many (argCount at least 1).
int32_t CheckArity(int32_t argCount, const ExpItem* function);
// Operator characters '%', '*', '+', '-', '/', and '|' for '||'.
int32_t OperatorAdmitted(ExprContext* ec, char op, int32_t dataType);
// Numbers take '+', '-', '*' and '/' in every context: only modulo and
// concatenation depend on its flags and callbacks. The parser's common case,
// answered without a call.
inline bool NumberTakesOperatorAlways(char op) { return op == '+' || op == '-' || op == '*' || op == '/'; }
// Bytes an item of this record occupies in the context.
int32_t StoredItemSize(const ExpItem* item);

// ---- Expressions ----------------------------------------------------------------
enum GenerationKind : int32_t { kGenerateFormula = 0, kGenerateRange = 1, kGenerateSet = 2 };
// A unique name in a library buffer that the next call overwrites.
const char* GenerateExpressionName(ExprContext* ec, int32_t kind);
// The same with what the parse of a formula wants to know about the name.
struct GeneratedName {
  const char* text;  // in the library buffer
  size_t length;
  // A context that holds every number leaves the last one tried, which is not.
  bool unique;
  // A letter followed by letters and digits, as every name from a stem of
  // letters and digits is.
  bool plain;
};
GeneratedName MakeGeneratedName(ExprContext* ec, int32_t kind);
int32_t AppendExpression(ExprContext* ec, HEXP exp);
// Counts a listed record in or out of ec->formulasNamingFormulas (step +1 or
// -1): when it joins or leaves the list, and around a change of its flag.
void CountFormulaNaming(ExprContext* ec, const ExprRecord* exp, int32_t step);
// Releases tree, name, text and record (not the slot).
void ReleaseExpressionRecord(ExprContext* ec, ExprRecord* record);
// A record's text and name share one host block, which record->text owns:
// the text, its end, then the name (when there is one) and its end. Gives
// the record copies of text and name in a new block and releases the old
// one; false, with nothing changed, when memory is short.
bool SetExpressionStrings(ExprRecord* record, const char* text, const char* name);
// Gives the record a block already laid out that way, releasing the old one.
void AdoptExpressionStrings(ExprRecord* record, char* block, bool named);

}  // namespace xev::core
