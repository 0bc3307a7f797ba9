#include "value_reader.h"

#include "out_of_memory.h"
#include "report_output.h"

namespace xevhost {
namespace {
constexpr int32_t kFirstStringBlock = 64;
}  // namespace

bool ValueReader::Read(TypedValue& value) {
  value.null = true;
  value.text.clear();
  if (type_ == XEV_TYPE_STRING) {
    if (block_ == nullptr) block_ = HostAlloc(kFirstStringBlock);
    if (block_ == nullptr) OutOfMemory();  // else every String cell would come out empty
    int32_t length = 0;
    if (XEVEvaluateExpressionExt(ec_, exp_, &length, &block_) != 1) return false;
    value.text.assign(static_cast<const char*>(block_));
    value.null = false;
    return true;
  }
  if (XEVEvaluateExpression(ec_, exp_, sizeof value.number, &value.number) != 1) return false;
  value.null = NumberIsNull(&value.number) != 0;
  return true;
}

bool ValueReader::IsTrue() {
  NumberValue value{};
  return XEVEvaluateExpression(ec_, exp_, sizeof value, &value) == 1 && !NumberIsNull(&value) &&
         NumberIsZero(&value) == 0;
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
