// Evaluating one expression for the current row into a typed value. A String
// result lands in a buffer kept for the reader's life, grown when a value
// needs more room. Memory that runs short inside the formula ends the run
// (OutOfMemory): an empty cell would pass for the formula's own "no value".
#pragma once

#include <string>

#include "aggregates/aggregates.h"
#include "report/report_output.h"
#include "xev/xev.h"

namespace xevhost {

class ValueReader {
 public:
  ValueReader(ExprContext* ec, HEXP exp, int type) : ec_(ec), exp_(exp), type_(type) {}

  HEXP exp() const { return exp_; }
  int type() const { return type_; }

  // false when the engine gives no value; value is then null.
  bool Read(TypedValue& value);
  // A Number that is present and not zero.
  bool IsTrue();

 private:
  bool ReadText(TypedValue& value);

  ExprContext* ec_;
  HEXP exp_;
  int type_;
  std::string text_ = std::string(64, '\0');
};

// The value as text in the engine's code page ("" for null).
// datePicture: see DateTimeText.
std::string ValueText(const TypedValue& value, int type, DateStyle style = DateStyle::kLocal,
                      const char* datePicture = nullptr);
// Orders values of one type; null comes first.
int CompareValues(const TypedValue& a, const TypedValue& b, int type);

}  // namespace xevhost
