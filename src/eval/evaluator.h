// The tree evaluator as the evaluation entry points see it: one call that
// walks a formula's tree and hands back its value.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev::eval {

class ItemAnswers;
class FormulaValues;

// A value in flight. Numbers and DateTimes travel by value, so the arithmetic
// of a formula allocates nothing; a text either borrows bytes that outlive the
// walk (a literal of the tree) or owns a HostAlloc block.
struct Value {
  enum Kind : uint8_t { kNone = 0, kNumber = 1, kText = 2 };
  // First, so that the 13 bytes start on the struct's alignment and copy in
  // two whole words.
  NumberValue number{};
  Kind kind = kNone;
  bool owned = false;
  char* text = nullptr;
};

// A String item or function gets a result block of this many bytes.
constexpr int32_t kTextBlockSize = 50;

// A host text that lost its terminator must not make later readers run off
// the block: the last byte becomes one. False for a block that is no host block.
bool TerminateWithinBlock(char* text);

// Frees what the value owns and leaves it empty.
void ReleaseValue(Value& value);

// Evaluates the tree of exp in ec. False when the formula yields no value;
// nothing is left allocated then. With answers, a data item that answered
// before in the same call is not asked again (eval/item_answers.h); a text
// value may then be borrowed from them. With formulas, a reference to a
// formula that has its value for the row takes that value
// (eval/formula_values.h) instead of evaluating it again.
bool EvaluateFormula(ExprContext* ec, HEXP exp, Value& out, ItemAnswers* answers = nullptr,
                     const FormulaValues* formulas = nullptr);

// Evaluates one node of exp's tree by walking it. Formulas reached through
// references are walked on the same heap-backed stacks, so a chain of them
// of any length costs memory, not C stack; a formula met again while it is
// being evaluated (a cycle among loaded formulas) yields no value.
bool EvaluateNode(ExprContext* ec, HEXP exp, const language::ExprNode* node, Value& out,
                  ItemAnswers* answers = nullptr, const FormulaValues* formulas = nullptr);

// XEVEvaluateExpression's work for any formula, with the value the walk
// (byWalk) or the plan gives; with answers, as EvaluateFormula.
int32_t EvaluateIntoBuffer(ExprContext* ec, HEXP exp, int32_t size, void* buffer, bool byWalk,
                           ItemAnswers* answers = nullptr);
// The same where a plan may do it, for one formula of XEVEvaluateExpressions.
int32_t EvaluateWithAnswers(ExprContext* ec, HEXP exp, int32_t size, void* buffer, ItemAnswers& answers);

// The text a parameter passed by name receives: the name written at the
// argument, or nullptr for an argument that has none.
const char* ArgumentText(const language::ExprNode* argument);

// Frees the prepared form of the record's tree, if it has one.
void ReleasePlan(ExprRecord* record);

// Memory that ran short inside an evaluation yields no value, as a failed
// callback does; a caller that must not pass that off as an ordinary "no
// value" (a row call, the table, which would show an empty cell) compares
// this thread's count of such failures before and after. NoteMemoryShort
// counts one and returns false, for the failure it ends. A count rather than
// a flag, so that an evaluation a callback starts in the middle of another
// cannot hide the outer one's failure.
bool NoteMemoryShort();
uint32_t MemoryShortCount();

}  // namespace xev::eval
