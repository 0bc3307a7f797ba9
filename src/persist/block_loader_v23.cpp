// Formulas of the current versions. A formula may call a formula stored after
// it, so one that fails only because that formula does not exist yet waits in
// the deferred list and is tried again in later passes; any other failure is
// offered to the user in the formula editor. Loading ends with the formulas in
// block order, whatever order they were created in.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "core/formula_index.h"
#include "core/handle_array.h"
#include "persist/block_loader.h"
#include "persist/block_names.h"
#include "persist/deferred_formulas.h"
#include "persist/load_fix.h"
#include "xev/xev.h"

namespace xev::persist {
namespace {

constexpr uint32_t kErrUnknownFunction = 103;
constexpr uint32_t kErrMemory = 121;

struct DeferringLoad {
  DeferringLoad(BlockLoad& owner, int32_t records) : load(owner), count(records) {}
  BlockLoad& load;
  int32_t count;             // formula records in the block
  HEXP* results = nullptr;   // by block position; followed by 2 * count scratch slots
  core::HGLOBAL deferred = nullptr;
  bool reordered = false;    // a formula was created out of block order
  BlockNames names;
};

// Errors that end the load reach the host's callback or, without one, the
// user through the error dialog.
void Report(const BlockLoad& load, const char* text, const ExprError& error) {
  ExprError shown = error;
  if (load.onError != nullptr) {
    load.onError(load.ec, text, &shown);
  } else {
    XEVErrorDisplay(reinterpret_cast<HWND>(load.ec->hostValue), text, &shown);
  }
}

// Unknown function, and the unknown name is a formula stored in the block.
bool WaitsForLaterFormula(DeferringLoad& d, const char* text, const ExprError& error) {
  return error.code == kErrUnknownFunction && d.names.Contains(text, error, CurrentLoadFix());
}

HEXP Parse(ExprContext* ec, const char* text, ExprError* error) {
  uint16_t type = 0;
  *error = ExprError{};
  return XEVParseString(ec, text, NameAfter(text), error, &type);
}

// Hands a failed formula to the editor. True when loading goes on: the user
// saved a formula (stored in *loaded) or left one waiting in *list.
bool OfferToUser(DeferringLoad& d, const char* text, ExprError* error, core::HGLOBAL* list,
                 int32_t index, HEXP* loaded) {
  *loaded = LoadFixFormula(d.load.ec, text, error, list, index);
  if (*loaded != nullptr) return true;
  LoadFixState& state = CurrentLoadFix();
  if (state.pendingAccept != nullptr) {
    state.pendingAccept = nullptr;  // the list owns it now
    return true;
  }
  // The user gave up; only running out of memory is worth a message then.
  if (error->code == kErrMemory) Report(d.load, text, *error);
  return false;
}

void FirstPass(DeferringLoad& d) {
  BlockCursor& cursor = d.load.cursor;
  for (int32_t i = 0; i < d.count && cursor.Ok(); ++i) {
    const char* text = TakeFormulaRecord(cursor);
    if (text == nullptr) return;
    ExprError error{};
    HEXP loaded = Parse(d.load.ec, text, &error);
    if (loaded != nullptr) {
      d.results[i] = loaded;
      continue;
    }
    if (error.code == kErrMemory) {
      Report(d.load, text, error);
      cursor.Fail();
      return;
    }
    if (WaitsForLaterFormula(d, text, error)) {
      if (AppendDeferred(&d.deferred, text, i, false)) continue;
      Report(d.load, text, error);
      cursor.Fail();
      return;
    }
    if (!OfferToUser(d, text, &error, &d.deferred, i, &loaded)) {
      cursor.Fail();
      return;
    }
    if (loaded != nullptr) d.results[i] = loaded;
  }
}

// The owned text of an entry that moved on to the next list must not be freed
// with the old one.
void DisownEntry(core::HGLOBAL list, int32_t i) {
  auto* entry = static_cast<DeferredFormula*>(core::HandleArrayLockElement(list, i));
  entry->owned = 0;
  core::HandleArrayUnlock(list);
}

// One retry of every waiting formula, in block order. Returns false when the
// load must end.
bool LaterPass(DeferringLoad& d) {
  core::HGLOBAL waiting = d.deferred;
  d.deferred = nullptr;
  int32_t count = DeferredCount(waiting);
  bool progressed = false;
  bool failed = false;
  ExprError firstError{};
  for (int32_t i = 0; i < count && !failed; ++i) {
    DeferredFormula entry = DeferredAt(waiting, i);
    ExprError error{};
    HEXP loaded = Parse(d.load.ec, entry.text, &error);
    if (loaded != nullptr) {
      d.results[entry.index] = loaded;
      d.reordered = progressed = true;
      continue;
    }
    if (error.code == kErrMemory) {
      Report(d.load, entry.text, error);
      failed = true;
      break;
    }
    if (WaitsForLaterFormula(d, entry.text, error)) {
      if (!AppendDeferred(&d.deferred, entry.text, entry.index, entry.owned != 0)) {
        Report(d.load, entry.text, error);
        failed = true;
        break;
      }
      if (entry.owned != 0) DisownEntry(waiting, i);
      if (DeferredCount(d.deferred) == 1) firstError = error;
      continue;
    }
    progressed = true;
    if (!OfferToUser(d, entry.text, &error, &d.deferred, entry.index, &loaded)) {
      DiscardDeferred(&d.deferred);
      failed = true;
      break;
    }
    if (loaded != nullptr) {
      d.results[entry.index] = loaded;
      d.reordered = true;
    }
  }
  // Formulas that only wait for each other (a cycle, or one calling itself)
  // would be deferred again forever; the first of them ends the load.
  if (!failed && !progressed && d.deferred != nullptr) {
    Report(d.load, DeferredAt(d.deferred, 0).text, firstError);
    failed = true;
  }
  DiscardDeferred(&waiting);
  return !failed;
}

// Puts the expressions in block order, so their ordinals are those of the
// block. Only when the list holds exactly the formulas of this load: a list
// that also holds others (or lost one to a host callback) is left alone.
void RestoreBlockOrder(DeferringLoad& d) {
  ExprContext* ec = d.load.ec;
  if (!d.reordered || static_cast<int32_t>(core::HandleArrayCount(ec->expressions)) != d.count) return;
  HEXP* sortedList = d.results + d.count;
  HEXP* sortedResults = sortedList + d.count;
  auto* slots = static_cast<HEXP*>(core::HandleArrayLockElement(ec->expressions, 0));
  std::copy(slots, slots + d.count, sortedList);
  std::copy(d.results, d.results + d.count, sortedResults);
  std::sort(sortedList, sortedList + d.count);
  std::sort(sortedResults, sortedResults + d.count);
  if (std::equal(sortedList, sortedList + d.count, sortedResults)) std::copy(d.results, d.results + d.count, slots);
  core::HandleArrayUnlock(ec->expressions);
  core::FormulaIndexInvalidate(ec);
  core::NoteContextChange(ec);
}

void PublishRecords(const BlockCursor& cursor, int32_t count) {
  LoadFixState& state = CurrentLoadFix();
  state.records = reinterpret_cast<const char*>(cursor.Here());
  state.recordsLength = cursor.Remaining();
  state.recordCount = count;
}

void ForgetRecords() {
  LoadFixState& state = CurrentLoadFix();
  state.records = nullptr;
  state.recordsLength = 0;
  state.recordCount = 0;
}

}  // namespace

void LoadFormulasDeferring(BlockLoad& load, int32_t count) {
  if (count <= 0) return;
  DeferringLoad d(load, count);
  d.results = static_cast<HEXP*>(HostAlloc(3 * static_cast<size_t>(count) * sizeof(HEXP)));
  if (d.results == nullptr) {
    load.cursor.Fail();
    return;
  }
  PublishRecords(load.cursor, count);
  FirstPass(d);
  while (d.deferred != nullptr && load.cursor.Ok()) {
    if (!LaterPass(d)) load.cursor.Fail();
  }
  DiscardDeferred(&d.deferred);
  ForgetRecords();
  RestoreBlockOrder(d);
  HostFree(d.results);
}

}  // namespace xev::persist
