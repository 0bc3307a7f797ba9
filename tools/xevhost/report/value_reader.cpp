#include "report/value_reader.h"

#include <cstring>

#include "commands/out_of_memory.h"
#include "report/report_output.h"

namespace xevhost {
namespace {

// One formula through the row call, which, unlike the single one, tells
// memory that ran short inside the formula from a formula without a value.
int32_t EvaluateOne(ExprContext* ec, HEXP exp, int32_t size, void* buffer) {
  int32_t result = 0;
  void* const buffers[] = {buffer};
  if (XEVEvaluateExpressions(ec, 1, &exp, &size, buffers, &result) < 0) OutOfMemory();
  return result;
}

}  // namespace

bool ValueReader::Read(TypedValue& value) {
  value.null = true;
  value.text.clear();
  if (type_ == XEV_TYPE_STRING) return ReadText(value);
  if (EvaluateOne(ec_, exp_, sizeof value.number, &value.number) != 1) return false;
  value.null = NumberIsNull(&value.number) != 0;
  return true;
}

// A text that fills the buffer comes without its terminator; the size it
// needs is asked for and the formula evaluated again into a buffer that fits.
bool ValueReader::ReadText(TypedValue& value) {
  if (EvaluateOne(ec_, exp_, static_cast<int32_t>(text_.size()), text_.data()) != 1) return false;
  size_t length = strnlen(text_.data(), text_.size());
  if (length == text_.size()) {
    int32_t needed = 0;
    if (EvaluateOne(ec_, exp_, 0, &needed) != 1 || needed <= 0) return false;
    text_.assign(static_cast<size_t>(needed), '\0');
    if (EvaluateOne(ec_, exp_, needed, text_.data()) != 1) return false;
    length = strnlen(text_.data(), text_.size());
  }
  value.text.assign(text_.data(), length);
  value.null = false;
  return true;
}

bool ValueReader::IsTrue() {
  NumberValue value{};
  return EvaluateOne(ec_, exp_, sizeof value, &value) == 1 && !NumberIsNull(&value) && NumberIsZero(&value) == 0;
}

std::string ValueText(const TypedValue& value, int type, DateStyle style, const char* datePicture) {
  if (value.null) return "";
  if (type == XEV_TYPE_STRING) return value.text;
  return type == XEV_TYPE_DATETIME ? DateTimeText(value.number, style, datePicture) : NumberText(value.number);
}

int CompareValues(const TypedValue& a, const TypedValue& b, int type) {
  if (a.null || b.null) return static_cast<int>(b.null) - static_cast<int>(a.null);
  if (type == XEV_TYPE_STRING) return a.text.compare(b.text);
  return NumberCompare(&a.number, &b.number);
}

}  // namespace xevhost
