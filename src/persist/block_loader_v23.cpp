// Formulas of the current versions. A formula may call a formula stored after
// it, so one that fails only because that formula does not exist yet waits
// for that formula's name and is tried again as soon as a formula of that name
// is loaded; any other failure is offered to the user in the formula editor.
// Each formula is parsed about once whatever order the block stores them in,
// and loading ends with the formulas in block order.
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

constexpr int32_t kNoMemory = -2;  // in place of a name's key

struct DeferringLoad {
  DeferringLoad(BlockLoad& owner, int32_t records) : load(owner), count(records) {}
  BlockLoad& load;
  int32_t count;             // formula records in the block
  HEXP* results = nullptr;   // by block position; followed by 2 * count scratch slots
  core::HGLOBAL deferred = nullptr;  // every formula that waited, and corrections left by the user
  WaitQueue ready;           // waited, and a formula of the awaited name now exists
  bool reordered = false;    // a formula was created out of block order
  BlockNames names;          // sorted on the first wait
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

HEXP Parse(ExprContext* ec, const char* text, ExprError* error) {
  uint16_t type = 0;
  *error = ExprError{};
  return XEVParseString(ec, text, NameAfter(text), error, &type);
}

// The formula takes its place in block order, and whatever waited for its
// name is tried again.
void Loaded(DeferringLoad& d, int32_t index, HEXP loaded, bool outOfOrder) {
  d.results[index] = loaded;
  if (outOfOrder) d.reordered = true;
  if (!d.names.Built() || loaded->name == nullptr) return;
  int32_t key = d.names.KeyOf(loaded->name);
  if (key >= 0) MoveQueue(d.deferred, d.ready, d.names.Waiting(key));
}

// The key of the block's formula that text waits for: the unknown function of
// error 103 is the name of a record of the block. -1 when it waits for nothing
// the block holds.
int32_t AwaitedKey(DeferringLoad& d, const char* text, const ExprError& error) {
  if (error.code != XEV_ERR_FUNC) return -1;
  if (!d.names.Built() && !d.names.Build(CurrentLoadFix())) return kNoMemory;
  return d.names.CalledKey(text, error);
}

// Parks a formula until a formula of the awaited name is loaded. entry is its
// place in the deferred list, -1 when it has none yet. False when memory is short.
bool Wait(DeferringLoad& d, const char* text, int32_t index, int32_t entry, int32_t key, const ExprError& error) {
  if (entry < 0) {
    if (!AppendDeferred(&d.deferred, text, index, false)) return false;
    entry = DeferredCount(d.deferred) - 1;
  }
  DeferredFormula waiting = DeferredAt(d.deferred, entry);
  waiting.waitsFor = key;
  waiting.error = error;
  PutDeferred(d.deferred, entry, waiting);
  Enqueue(d.deferred, d.names.Waiting(key), entry);
  return true;
}

// Hands a failed formula to the editor. True when loading goes on: the user
// saved a formula or left a correction that waits for a later one.
bool OfferToUser(DeferringLoad& d, const char* text, ExprError* error, int32_t index, bool outOfOrder) {
  HEXP loaded = LoadFixFormula(d.load.ec, text, error, &d.deferred, index);
  if (loaded != nullptr) {
    Loaded(d, index, loaded, outOfOrder);
    return true;
  }
  LoadFixState& state = CurrentLoadFix();
  if (state.pendingAccept != nullptr) {
    state.pendingAccept = nullptr;  // the list owns it now
    // Trying it again tells which formula it waits for.
    Enqueue(d.deferred, d.ready, DeferredCount(d.deferred) - 1);
    return true;
  }
  // The user gave up; only running out of memory is worth a message then.
  if (error->code == XEV_ERR_MEMORY) Report(d.load, text, *error);
  return false;
}

// Parses one formula, which then is loaded, waits, or goes to the user. entry
// is its place in the deferred list, -1 for a record met the first time.
// False when the load must end.
bool TryFormula(DeferringLoad& d, const char* text, int32_t index, int32_t entry) {
  bool retried = entry >= 0;
  ExprError error{};
  HEXP loaded = Parse(d.load.ec, text, &error);
  if (loaded != nullptr) {
    Loaded(d, index, loaded, retried);
    return true;
  }
  if (error.code == XEV_ERR_MEMORY) {
    Report(d.load, text, error);
    return false;
  }
  int32_t key = AwaitedKey(d, text, error);
  if (key == -1) return OfferToUser(d, text, &error, index, retried);
  if (key != kNoMemory && Wait(d, text, index, entry, key, error)) return true;
  // A formula that cannot wait would be lost, so the load ends.
  Report(d.load, text, error);
  return false;
}

void FirstPass(DeferringLoad& d) {
  BlockCursor& cursor = d.load.cursor;
  for (int32_t i = 0; i < d.count && cursor.Ok(); ++i) {
    const char* text = TakeFormulaRecord(cursor);
    if (text == nullptr) return;
    if (!TryFormula(d, text, i, -1)) cursor.Fail();
  }
}

// Tries the woken formulas again, in the order they were woken, until none is
// left; each try may wake more.
void RetryWoken(DeferringLoad& d) {
  BlockCursor& cursor = d.load.cursor;
  while (cursor.Ok()) {
    int32_t i = Dequeue(d.deferred, d.ready);
    if (i < 0) return;
    DeferredFormula entry = DeferredAt(d.deferred, i);
    entry.waitsFor = -1;
    PutDeferred(d.deferred, i, entry);
    if (!TryFormula(d, entry.text, entry.index, i)) cursor.Fail();
  }
}

// Formulas that only wait for each other (a cycle, or one calling itself), or
// for a name that no loaded formula took, are never woken; the first of them
// ends the load.
void ReportStillWaiting(DeferringLoad& d) {
  int32_t count = DeferredCount(d.deferred);
  for (int32_t i = 0; i < count; ++i) {
    DeferredFormula entry = DeferredAt(d.deferred, i);
    if (entry.waitsFor < 0) continue;
    Report(d.load, entry.text, entry.error);
    d.load.cursor.Fail();
    return;
  }
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
  RetryWoken(d);
  if (load.cursor.Ok()) ReportStillWaiting(d);
  DiscardDeferred(&d.deferred);
  ForgetRecords();
  RestoreBlockOrder(d);
  HostFree(d.results);
}

}  // namespace xev::persist
