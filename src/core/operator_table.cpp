// Installing operator callbacks: the host names a callback for an operator and
// an operand type, and the context keeps the name and what it resolves to.
#include "core/core.h"
#include "core/item_store.h"

namespace xev::core {

namespace {

// The host's operator codes list '/' before '*'; the table keeps '*' first.
constexpr int32_t kCodeToIndex[kOperatorCount] = {kOpPlus, kOpMinus, kOpDivide, kOpTimes, kOpConcat};

}  // namespace

}  // namespace xev::core

using namespace xev::core;

extern "C" {

XEV_API int32_t XEV_CALL XEVSetOperatorCallback(ExprContext* ec, int32_t op, int32_t slot,
                                                const char* name) {
  if (ec == nullptr) return 0;
  intptr_t bound = 0;
  if (name != nullptr && ec->resolveCallback != nullptr) bound = ec->resolveCallback(name);
  if (op < 0 || op >= kOperatorCount) return 1;
  if (slot < 0 || slot >= kOperatorSlots) return 0;

  OperatorEntry& entry = ec->operators[kCodeToIndex[op]];
  // A null name clears the slot, so a host can take an operator back.
  char* copy = nullptr;
  if (name != nullptr) {
    copy = CopyString(name);
    if (copy == nullptr) {
      // A context whose operator table cannot be trusted is not kept half-set;
      // the host learns of it by the 0 and must not use the handle again.
      XEVDestroyEC(ec);
      return 0;
    }
  }
  HostFree(entry.names[slot]);
  entry.names[slot] = copy;
  entry.bound[slot] = bound;
  return 1;
}

}  // extern "C"
