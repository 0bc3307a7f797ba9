// The values of named formulas for the row being evaluated, so that a
// formula that several others name (or that is named and also output) is
// evaluated once a row, and every reference to it reads that value.
//
// Arrange lists the formulas a caller wants, together with every formula
// they evaluate through a reference, each after the formulas it uses: the
// caller evaluates them in that order, keeping each value, so that every
// reference finds its formula already valued. A reference passed by name,
// or below a call that has no entry point, is not evaluated and so not
// listed. Formulas that reach themselves through references (possible only
// when they were loaded without the parser's check) are not arranged:
// Arrange says so, and the caller evaluates as if there were no values.
//
// Values are good for one row: StartRow makes every kept value stale. A
// reader (the walk, a plan) takes a value only while it is current and the
// context's generation is the row's; a text is lent, good until the next row.
#pragma once

#include <cstdint>

#include "eval/evaluator.h"

namespace xev::eval {

class FormulaValues {
 public:
  FormulaValues() = default;
  ~FormulaValues();
  FormulaValues(const FormulaValues&) = delete;
  FormulaValues& operator=(const FormulaValues&) = delete;

  enum class Arranged { kDone, kCycle, kNoMemory };

  // Lists wanted and what they use in ec, in evaluation order. Anything
  // arranged before is dropped first.
  Arranged Arrange(ExprContext* ec, const HEXP* wanted, int32_t count);

  int32_t count() const { return count_; }
  HEXP At(int32_t index) const { return entries_[index].exp; }
  // exp's place in the order, or -1 when it is not listed.
  int32_t IndexOf(HEXP exp) const;

  // Every value kept so far is now stale.
  void StartRow(const ExprContext* ec) {
    ++stamp_;
    generation_ = ec->generation;
  }
  // Takes value as the current value of the formula at index (its text, if
  // owned, goes with it); value is left empty.
  void Keep(int32_t index, Value& value);
  const Value& ValueAt(int32_t index) const { return entries_[index].value; }

  // exp's value in this row, or nullptr when it has none yet (or the
  // context changed since the row started). A text is lent.
  const Value* Current(const ExprContext* ec, HEXP exp) const {
    if (count_ == 0 || ec->generation != generation_) return nullptr;
    int32_t index = IndexOf(exp);
    if (index < 0 || entries_[index].stamp != stamp_) return nullptr;
    return &entries_[index].value;
  }

 private:
  struct Entry {
    HEXP exp;
    uint64_t stamp;  // current while it equals stamp_
    Value value;
  };

  // A formula met while arranging: its entry once arranged, kInProgress
  // while the formulas it uses are being arranged.
  struct Mark {
    HEXP exp;  // nullptr: an empty slot
    int32_t entry;
  };
  static constexpr int32_t kInProgress = -1;

  void Clear();
  bool GrowEntries();
  bool GrowMarks();
  // exp's slot among the marks: where it is, or the empty slot it would take.
  uint32_t Slot(HEXP exp) const;
  // exp's mark, or nullptr when it has none.
  const Mark* MarkOf(HEXP exp) const;
  // Marks exp as in progress; false when memory is short.
  bool Begin(HEXP exp);
  // exp, in progress, is arranged as the next entry; false when memory is short.
  bool Finish(HEXP exp);
  friend class Arranger;

  Entry* entries_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  // Open addressing, at most half full.
  Mark* marks_ = nullptr;
  uint32_t marked_ = 0;
  uint32_t mask_ = 0;
  uint64_t stamp_ = 1;
  uint32_t generation_ = 0;
};

}  // namespace xev::eval
