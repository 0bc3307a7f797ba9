// Evaluating one expression for the current row into a typed value. A String
// result lands in a block kept for the reader's life, which the engine grows
// when a value needs more room.
#pragma once

#include <string>

#include "aggregates.h"
#include "report_output.h"
#include "xev/xev.h"

namespace xevhost {

class ValueReader {
 public:
  ValueReader(ExprContext* ec, HEXP exp, int type) : ec_(ec), exp_(exp), type_(type) {}
  ~ValueReader() { HostFree(block_); }
  ValueReader(ValueReader&& other) noexcept
      : ec_(other.ec_), exp_(other.exp_), type_(other.type_), block_(other.block_) {
    other.block_ = nullptr;
  }
  ValueReader(const ValueReader&) = delete;
  ValueReader& operator=(const ValueReader&) = delete;
  ValueReader& operator=(ValueReader&&) = delete;

  HEXP exp() const { return exp_; }
  int type() const { return type_; }

  // false when the engine gives no value; value is then null.
  bool Read(TypedValue& value);
  // A Number that is present and not zero.
  bool IsTrue();

 private:
  ExprContext* ec_;
  HEXP exp_;
  int type_;
  void* block_ = nullptr;
};

// The value as text in the engine's code page ("" for null).
// datePicture: see DateTimeText.
std::string ValueText(const TypedValue& value, int type, DateStyle style = DateStyle::kLocal,
                      const char* datePicture = nullptr);
// Orders values of one type; null comes first.
int CompareValues(const TypedValue& a, const TypedValue& b, int type);

}  // namespace xevhost
