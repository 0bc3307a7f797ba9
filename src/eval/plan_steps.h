// The layout of a prepared formula, shared by the code that prepares it and
// the code that runs it.
//
// Every node's value lives in a slot: loaded (coefficient, exponent, sign)
// for the arithmetic, which so never unpacks or packs 13 bytes between two
// operators, and, where a literal, a callback or the walk produced it, the
// 13 bytes as they came, which is what a function or the caller then gets.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "eval/item_cells.h"
#include "eval/plan_calls.h"
#include "host/decimal.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev::eval::plan {

enum class Code : uint8_t {
  kAdd,       // the four operators on two Numbers: slots a and b into result
  kSubtract,
  kMultiply,
  kDivide,
  kDivideByConstant,  // kDivide where b is a literal other than zero: divisor is prepared
  kMultiplyByPowerOfTen,  // kMultiply where a or b is a literal 10^places * 10^e: left is
                          // the other operand, right the literal
  kItems,     // sites a to a + b - 1: Number or DateTime data items, asked in order;
              // in the row steps, checks a to a + b - 1: the cells to find current
  kCall,      // site a: a function with a Number or DateTime result and Number arguments
  kSubtree,   // site a: anything else; the walk evaluates the node and what hangs below it
  kRound,     // site a: a kCall of the built-in rounding to b places, b written as a number;
              // while every value is there the step rounds the loaded argument itself
  kTextItem,  // site a: a String data item
  kConcat,    // the texts of slots a and b joined into result; places 1 when a is a join's,
              // whose length the join kept
  kDatePlus,  // the DateTime of slot a plus (kDateMinus: minus) the Number of slot b
  kDateMinus, // counted in the date unit `places`, into result
  kDateDays,  // the whole days from the DateTime of slot b to that of slot a, into result
  kPrepared,  // site a: a built-in call the plan runs itself (eval/plan_calls.h)
  kEnd,       // after the last step, so that a run needs no count
};

// Calls with more parameters than this are left to the walk.
constexpr int32_t kMaxCallParameters = 8;

// What a slot holds besides its loaded value (which is NULL by its exponent).
enum SlotState : uint8_t {
  kLoaded = 0,   // the loaded value alone: an operator's result
  kNoValue = 1,  // nothing: an item or function without an answer, or what depends on one
  kStored = 2,   // the loaded value and the 13 bytes it came from, which are what is passed on
  kText = 3,     // a text that outlives the row: a literal of the tree, a formula's value for the row
  kOwnedText = 4,  // a text in a host block of the plan's, freed when the formula has run
};

struct Step {
  Code code;
  uint8_t places;  // kMultiplyByPowerOfTen: the literal's coefficient is 10^places
  int32_t a;
  int32_t b;
  // The slot it fills. A row step's kItems fills none: there it holds the
  // bits (ItemCell::bit) of the cells the step checks, kNeverCurrent among
  // them when one has no bit, so that the step stays as small as the rest.
  int32_t result;
  // An operator's slots a, b and result, so that a row does not compute
  // their addresses again.
  const host::decimal::Decimal* left = nullptr;
  const host::decimal::Decimal* right = nullptr;
  host::decimal::Decimal* value = nullptr;
  const host::decimal::Divisor* divisor = nullptr;
};

inline bool IsOperator(Code code) { return code <= Code::kMultiplyByPowerOfTen; }

// A step that hands control to the host or the walk, with what it needs.
struct Site {
  const language::ExprNode* node;
  ExpItem* item;         // a data item or function: what the name resolved to
  const char* name;      // the name as written (the node's), for the callback
  // A data item's callback as it was bound when the plan was made: binding
  // moves the context's generation on, so the plan is made again first.
  XEVDataItemCallback callback;
  void* block;           // its result block, kept from row to row
  int32_t slot;          // where its value goes
  int32_t firstArgument; // a call: its argument entries
  int32_t argumentCount; // a call: -1 when written without an argument list
  // A data item, when each is asked once per call: where its answer was found
  // in the last call, which the next row's call finds it at again.
  uint32_t answerAt;
  bool answered;
  // A data item read straight from a column (eval/column_reads.h): the
  // column, -1 for one that is always asked; and whether this row read it.
  int32_t column;
  bool read;
  // A data item of a plan with row steps: the cell its operator reads there.
  ItemCell* cell;
  // A kPrepared call: what was read from its constant arguments.
  const PreparedCall* prepared;
  // A reference to a named formula (a subtree): the formula as the name
  // resolved when the plan was made, whose value for the row it takes when
  // there is one.
  HEXP target;
};

// One argument slot of a call: the slot whose value it receives, or for a
// parameter passed by name (slot < 0) the text of node; no node, no value.
struct Argument {
  int32_t slot;
  const language::ExprNode* node;
};

struct Plan {
  ExprContext* ec;
  const language::ExprNode* root;
  uint32_t generation;
  bool running;
  // The formula is one the walk evaluates as a whole: no steps. Kept so that
  // every evaluation need not find that out again.
  bool walkOnly;
  // A String formula: its value is a text, which only callers that take a
  // Value get from the plan; the others walk.
  bool textResult;
  // Data items are asked ahead of the arithmetic between two calls, which
  // the host cannot tell apart from the walk's order unless it has operator
  // callbacks; with one bound, the plan keeps the walk's order exactly.
  bool itemsAhead;
  // The last row ran operators with their checks (see plan_run.cpp), which
  // leave states behind that the next row clears.
  bool checked;
  int32_t stepCount;  // not counting the kEnd step that follows them
  int32_t siteCount;
  int32_t argumentCount;
  int32_t slotCount;
  int32_t divisorCount;
  int32_t resultSlot;
  Step* steps;
  Site* sites;
  Argument* arguments;
  host::decimal::Decimal* values;  // per slot
  host::decimal::Divisor* divisors;  // one per kDivideByConstant step
  // The steps again for a row call that keeps answers in the context's
  // cells (eval/item_cells.h): step for step the same, but operators read a
  // data item's value from its cell, and a run of items only checks that
  // each cell not checked before in the formula is current. nullptr when
  // some item is read by anything but an operator, or has no cell.
  Step* rowSteps;
  ItemCell** checks;
  const NumberValue** stored;      // per slot: its 13 bytes as they came, where kStored
  char** texts;                    // per slot: its text, where kText or kOwnedText
  size_t* textLengths;             // per slot: a join's text length
  int32_t* textSlots;              // the slots that may hold a text, textSlotCount of them
  int32_t textSlotCount;
  NumberValue* spill;              // per slot: room for 13 bytes a subtree or callback gave
  SlotState* states;
};

// True when a Number operator callback is bound in ec.
inline bool HasNumberOperatorCallback(const ExprContext* ec) {
  return (ec->operators[kOpPlus].bound[XEV_TYPE_NUMBER] | ec->operators[kOpMinus].bound[XEV_TYPE_NUMBER] |
          ec->operators[kOpTimes].bound[XEV_TYPE_NUMBER] | ec->operators[kOpDivide].bound[XEV_TYPE_NUMBER]) != 0;
}

// A plan for exp's tree as ec resolves it now, or nullptr when the formula is
// not one for a plan or memory is short.
Plan* Prepare(ExprContext* ec, HEXP exp);
void Release(Plan* plan);

}  // namespace xev::eval::plan
