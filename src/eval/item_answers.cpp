#include "eval/item_answers.h"

#include <cstring>

#include "host/host.h"

namespace xev::eval {

ItemAnswers::ItemAnswers(const ExprContext* ec) : ec_(ec), generation_(ec->generation) {}

void ItemAnswers::SyncSlowly() {
  if (!ready_) {
    // Epoch 0 is never current, so these entries start out free.
    for (Answer& entry : inline_) entry.epoch = 0;
    ready_ = true;
  }
  if (ec_->generation != generation_) return Forget();
  // Answers kept in cells become entries; Record finds none left to take.
  const uint32_t count = inCellCount_;
  inCellCount_ = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const ItemCell& cell = *inCells_[i];
    Answer* answer = Record(cell.item, true);
    if (answer == nullptr) continue;  // asked again when next wanted
    answer->state = kNumber;
    host::decimal::Set(answer->decimal, host::decimal::CoefOf(cell.value), cell.value.exp, cell.value.neg);
    // Only a plain answer is kept in a cell: its bytes are its value stored.
    host::decimal::StoreOrNull(&answer->number, cell.value);
    answer->plainNumber = true;
  }
}

ItemAnswers::~ItemAnswers() {
  for (uint32_t i = 0; i < textCount_; ++i) HostFree(texts_[i]);
  HostFree(texts_);
  if (entries_ != inline_) HostFree(entries_);
}

void ItemAnswers::Forget() {
  generation_ = ec_->generation;
  used_ = 0;
  inCellCount_ = 0;
  if (++epoch_ != 0) return;
  // After four billion changes in one call the epochs come round again.
  for (uint32_t i = 0; i <= mask_; ++i) entries_[i].epoch = 0;
  epoch_ = 1;
}

// Doubles the table, taking the current answers along; the table is never
// more than three quarters full, so a probe always ends.
bool ItemAnswers::Grow() {
  uint32_t capacity = (mask_ + 1) * 2;
  auto* grown = static_cast<Answer*>(HostAlloc(sizeof(Answer) * capacity));
  if (grown == nullptr) return false;  // zero-filled: every entry of epoch 0
  Answer* old = entries_;
  uint32_t oldCapacity = mask_ + 1;
  entries_ = grown;
  mask_ = capacity - 1;
  for (uint32_t i = 0; i < oldCapacity; ++i) {
    if (old[i].epoch != epoch_) continue;
    uint32_t index = Hash(old[i].item);
    while (grown[index].epoch == epoch_) index = (index + 1) & mask_;
    grown[index] = old[i];
  }
  if (old != inline_) HostFree(old);
  return true;
}

ItemAnswers::Answer* ItemAnswers::Record(const ExpItem* item, bool numberShaped) {
  Sync();
  Answer* answer = Place(item);
  if (answer->epoch != epoch_) {
    if ((used_ + 1) * 4 > (mask_ + 1) * 3) {
      if (!Grow()) return nullptr;
      answer = Place(item);
    }
    ++used_;
    answer->item = item;
    answer->epoch = epoch_;
  }
  answer->numberShaped = numberShaped;
  answer->plainNumber = false;
  answer->text = nullptr;
  return answer;
}

const ItemAnswers::Answer* ItemAnswers::RecordNumber(const ExpItem* item, const NumberValue& number) {
  Answer* answer = Record(item, true);
  if (answer == nullptr) return nullptr;
  answer->state = kNumber;
  answer->number = number;
  host::decimal::LoadOrNull(answer->decimal, &number);
  NumberValue back;
  host::decimal::StoreOrNull(&back, answer->decimal);
  // The 13 bytes as the two overlapping words Store writes.
  uint64_t words[4];
  std::memcpy(&words[0], back.bytes, 8);
  std::memcpy(&words[1], back.bytes + 5, 8);
  std::memcpy(&words[2], number.bytes, 8);
  std::memcpy(&words[3], number.bytes + 5, 8);
  answer->plainNumber = words[0] == words[2] && words[1] == words[3];
  return answer;
}

void ItemAnswers::RecordNoValue(const ExpItem* item, bool numberShaped) {
  Answer* answer = Record(item, numberShaped);
  if (answer != nullptr) answer->state = kNoValue;
}

bool ItemAnswers::RecordText(const ExpItem* item, char* text) {
  if (!host::RoomForOneMore(texts_, textCount_, textCapacity_)) return false;
  Answer* answer = Record(item, false);
  if (answer == nullptr) return false;
  texts_[textCount_++] = text;
  answer->state = kText;
  answer->text = text;
  return true;
}

}  // namespace xev::eval
