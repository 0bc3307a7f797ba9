// Internal helpers around the context's expression list, shared by the
// expression entry points, the dependency queries and the parser.
#pragma once

#include <cstdint>

#include "core/core.h"

namespace xev::core {

// The expression list of a context, locked for the lifetime of the object.
// Records never move while it is held; nothing may add or remove expressions
// meanwhile.
class LockedExpressions {
 public:
  explicit LockedExpressions(const ExprContext* ec);
  ~LockedExpressions();
  LockedExpressions(const LockedExpressions&) = delete;
  LockedExpressions& operator=(const LockedExpressions&) = delete;

  uint32_t count() const { return count_; }
  ExprRecord* operator[](uint32_t ordinal) const { return records_[ordinal]; }
  void Set(uint32_t ordinal, ExprRecord* record) const { records_[ordinal] = record; }
  ExprRecord* const* begin() const { return records_; }
  ExprRecord* const* end() const { return records_ + count_; }

 private:
  HGLOBAL list_ = nullptr;
  ExprRecord** records_ = nullptr;
  uint32_t count_ = 0;
};

// Exact, case-sensitive comparison of two names; a null name equals nothing.
bool SameName(const char* a, const char* b);

// The common data type of a set's elements, or -1 with the error recorded.
int32_t CheckSetElements(ExprContext* ec, HGLOBAL list, ExprError* error);

}  // namespace xev::core
