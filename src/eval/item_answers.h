// What the data items answered during one call that evaluates several
// formulas over the same row (XEVEvaluateExpressions): an item is asked once,
// and every later occurrence of it, in any formula of the call, takes that
// answer, be it a value, NULL or none.
//
// The answers belong to one call and live on its stack: a callback that
// evaluates something itself starts with none, and sees none of the outer
// call's. They are good for one generation of the context: a callback that
// adds, deletes, renames or binds items may change what a name means, so
// answers given before that are forgotten and items are asked again.
//
// A row call whose formulas read their items from the context's cells
// (eval/item_cells.h) keeps a plain Number answer in the item's cell alone:
// the answers only note the cell, and make it an answer of their own when
// anything else first looks at them. Most rows never look, and so never pay
// for the table.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "eval/item_cells.h"
#include "host/decimal.h"
#include "xev/xev.h"

namespace xev::eval {

class ItemAnswers {
 public:
  enum State : uint8_t { kNoValue, kNumber, kText };

  struct Answer {
    host::decimal::Decimal decimal;  // kNumber: number loaded for the arithmetic
    const ExpItem* item;
    const char* text;    // kText: kept by the answers until the call ends
    NumberValue number;  // kNumber: the 13 bytes as the callback wrote them
    State state;
    // A Number answer to a 13-byte ask whose decimal stored again gives
    // number byte for byte: the decimal is all a slot needs.
    bool plainNumber;
    // Asked with a 13-byte block (Number, DateTime) rather than a text block:
    // a formula parsed before the item changed its type asks in the old shape.
    bool numberShaped;
    uint32_t epoch;  // current while it equals the answers' epoch
  };

  explicit ItemAnswers(const ExprContext* ec);
  ~ItemAnswers();
  ItemAnswers(const ItemAnswers&) = delete;
  ItemAnswers& operator=(const ItemAnswers&) = delete;

  // item's answer in this generation of the context, or nullptr when it has
  // not been asked (or was asked in the other shape).
  Answer* Find(const ExpItem* item, bool numberShaped) {
    Sync();
    return FindCurrent(item, numberShaped);
  }
  // Find, for a caller that has just seen the context's generation match (Sync).
  Answer* FindCurrent(const ExpItem* item, bool numberShaped) {
    Answer* answer = Place(item);
    return answer->epoch == epoch_ && answer->numberShaped == numberShaped ? answer : nullptr;
  }
  // The table as it stands, for a loop that looks up many answers and keeps
  // it in registers: good until the next Record, Find or Sync.
  struct View {
    const Answer* entries;
    uint32_t mask;
    uint32_t epoch;
    // item's answer if it is a plain Number and sits at `at`, where it sat
    // the last time. The epoch is looked at first: an entry of no epoch may
    // never have been written.
    const Answer* PlainAt(uint32_t at, const ExpItem* item) const {
      const Answer* answer = &entries[at & mask];
      return answer->epoch == epoch && answer->item == item && answer->plainNumber ? answer : nullptr;
    }
  };
  View Current() const { return View{entries_, mask_, epoch_}; }
  // FindCurrent for a Number answer, telling where it sits.
  const Answer* FindNumber(const ExpItem* item, uint32_t& at) {
    Answer* answer = FindCurrent(item, true);
    if (answer != nullptr) at = static_cast<uint32_t>(answer - entries_);
    return answer;
  }
  // Forgets the answers if the context has changed since they were given,
  // and takes in the answers kept in cells.
  void Sync() {
    if ((ec_->generation != generation_) | !ready_ | (inCellCount_ != 0)) SyncSlowly();
  }

  // True when every answer of this generation, if any, is kept in a cell:
  // an item whose cell is not current has not answered then.
  bool OnlyInCells() const { return used_ == 0 || ec_->generation != generation_; }
  // Takes cell, current and holding a plain Number answer of its item, as
  // that item's answer. False when there is no more room for such notes:
  // the caller records the answer then.
  bool KeepInCell(const ItemCell& cell) {
    if (ec_->generation != generation_) Forget();
    if (inCellCount_ == kMostInCells) return false;
    inCells_[inCellCount_++] = &cell;
    return true;
  }

  // The entry for item's answer, to be filled in by the caller; nullptr when
  // memory for it is short (the item is then asked again next time).
  Answer* Record(const ExpItem* item, bool numberShaped);
  // number's loaded form goes with it. The answer, or nullptr when memory is short.
  const Answer* RecordNumber(const ExpItem* item, const NumberValue& number);
  void RecordNoValue(const ExpItem* item, bool numberShaped);
  // Takes text, a host block, as item's answer: true when the answers now own
  // it; false (memory short) leaves it with the caller.
  bool RecordText(const ExpItem* item, char* text);

 private:
  static constexpr uint32_t kInlineCapacity = 16;
  static constexpr uint32_t kMostInCells = 16;

  // Where item's entry is or would go.
  Answer* Place(const ExpItem* item) {
    uint32_t index = Hash(item);
    while (entries_[index].epoch == epoch_ && entries_[index].item != item) index = (index + 1) & mask_;
    return &entries_[index];
  }
  uint32_t Hash(const ExpItem* item) const {
    uint64_t key = reinterpret_cast<uintptr_t>(item) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(key >> 40) & mask_;
  }
  void Forget();
  bool Grow();
  void SyncSlowly();

  const ExprContext* ec_;
  uint32_t generation_;
  uint32_t epoch_ = 1;
  uint32_t used_ = 0;
  uint32_t mask_ = kInlineCapacity - 1;
  Answer* entries_ = inline_;
  // Texts given as answers, kept until the call ends even when forgotten as
  // answers: a formula under way may still be reading one.
  char** texts_ = nullptr;
  uint32_t textCount_ = 0;
  uint32_t textCapacity_ = 0;
  // The inline table is cleared when first looked at, not when made: a row
  // whose answers all stay in cells never touches it.
  bool ready_ = false;
  uint32_t inCellCount_ = 0;
  const ItemCell* inCells_[kMostInCells];
  Answer inline_[kInlineCapacity];
};

}  // namespace xev::eval
