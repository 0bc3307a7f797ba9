// Parses arbitrary formula text and evaluates whatever parses, against data
// items whose values come from the input: Numbers from NULL to the ends of the
// exponent range, dates with wild parts, texts with stray double-byte lead
// bytes. Host operator callbacks and host functions take part as a host's
// would. Every evaluation must end with a value or none, hand back no block on
// failure and leave no block behind.
//
// Input: a flags byte, a mode byte (code page: bit 0 double-byte, bit 7
// UTF-8; entry point), 48 bytes of item values, then the formula text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "fuzz/fuzz_support.h"
#include "xev/xev.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// ---- Item values, set from each input ---------------------------------------

constexpr size_t kValueBytes = 48;

struct ItemValues {
  NumberValue numbers[4];
  NumberValue dates[2];
  std::string texts[3];
};
ItemValues g_values;

NumberValue NumberFrom(const uint8_t* b) {
  NumberValue n{};
  switch (b[0] % 6) {
    case 0: NumberSetNull(&n); break;
    case 1: IntToNumber(&n, static_cast<int32_t>(b[1] | b[2] << 8 | b[3] << 16 | b[4] << 24)); break;
    case 2: LongToNumber(&n, static_cast<int64_t>(b[1]) << 56 | static_cast<int64_t>(b[2]) << 24 | b[3]); break;
    default: {
      // Digits and an exponent reaching past both ends of the range.
      std::string text = std::to_string(b[1] | b[2] << 8 | b[3] << 16) + "." + std::to_string(b[4]) + "E" +
                         std::to_string(static_cast<int>(b[5]) - 128);
      if (b[0] & 0x80) text = "-" + text;
      if (!HostStrToNumber(&n, text.c_str())) NumberSetZero(&n);
    }
  }
  return n;
}

NumberValue DateFrom(const uint8_t* b) {
  NumberValue n{};
  if (b[0] % 5 == 0) return n;  // NULL
  DateParts parts{b[1] % 14, b[2] % 33, 1 + (b[3] | b[4] << 8) % 9999, b[5] % 25, b[0] % 61, b[1] % 61,
                  (b[2] | b[3] << 8) * 13};
  n.bytes[0] = DatePartsToNumber(n.bytes + 1, &parts);
  return n;
}

void SetValues(const uint8_t* b, const std::string& text) {
  for (int i = 0; i < 4; ++i) g_values.numbers[i] = NumberFrom(b + 6 * i);
  for (int i = 0; i < 2; ++i) g_values.dates[i] = DateFrom(b + 24 + 6 * i);
  // Texts are slices of the formula text, so they share its odd bytes.
  for (int i = 0; i < 3; ++i) {
    size_t from = b[36 + i] % (text.size() + 1);
    size_t length = b[39 + i] % 40;
    g_values.texts[i] = text.substr(from, length);
  }
}

int32_t XEV_CALL NumberItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  const NumberValue& n = g_values.numbers[static_cast<unsigned char>(name[0]) % 4];
  if (name[1] == 'x') return 0;  // a host that has no value for this one
  std::memcpy(*result, &n, sizeof n);
  return 1;
}

int32_t XEV_CALL DateItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  std::memcpy(*result, &g_values.dates[static_cast<unsigned char>(name[0]) % 2], XEV_NUMBER_SIZE);
  return 1;
}

int32_t XEV_CALL TextItem(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  return FUNStrVarResult(result, size, g_values.texts[static_cast<unsigned char>(name[0]) % 3].c_str());
}

// ---- Host operators and functions ----------------------------------------

intptr_t XEV_CALL Resolve(const char*) { return reinterpret_cast<intptr_t>(&fuzz_support::HostOperator); }

int32_t XEV_CALL HostAggregate(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  IntToNumber(static_cast<NumberValue*>(*result), args != nullptr && args[0] != nullptr ? 3 : -3);
  return 1;
}

// ---- The context ------------------------------------------------------------

void AddItem(ExprContext* ec, int16_t kind, const char* name, int16_t type, intptr_t bound) {
  ExpItem item{};
  item.kind = kind;
  item.dataType = type;
  item.boundValue = bound;
  item.subclass = kind == XEV_ITEM_KEYWORD ? XEV_TYPE_NUMBER : 0;
  std::strncpy(item.name, name, sizeof item.name - 1);
  XEVAddExpressionItem(ec, &item);
}

ExprContext* BuildContext() {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, 0xFF);
  FUNDefineFunctions(ec);
  fuzz_support::CapGrowingFunctions(ec);
  const auto number = reinterpret_cast<intptr_t>(&NumberItem);
  for (const char* name : {"Amount", "Bx", "Cost", "Discount", "Orders.Total"}) {
    AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_NUMBER, number);
  }
  AddItem(ec, XEV_ITEM_DATA, "Unbound", XEV_TYPE_NUMBER, 0);
  for (const char* name : {"OrderDate", "ShipDate"}) {
    AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_DATETIME, reinterpret_cast<intptr_t>(&DateItem));
  }
  for (const char* name : {"Name", "City", "Region"}) {
    AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_STRING, reinterpret_cast<intptr_t>(&TextItem));
  }
  AddItem(ec, XEV_ITEM_KEYWORD, "PageNo", 300, 0);
  ExpItem sum{};
  sum.kind = XEV_ITEM_FUNCTION;
  sum.dataType = XEV_TYPE_NUMBER;
  sum.boundValue = reinterpret_cast<intptr_t>(&HostAggregate);
  std::strcpy(sum.name, "Sum");
  sum.paramCount = 1;
  sum.flags = XEV_FN_DISTINCT | XEV_FN_ALL;
  sum.params[0] = ExpParam{1, XEV_TYPE_NUMBER, 0};
  XEVAddExpressionItem(ec, &sum);
  for (int32_t op = 0; op < 5; ++op) XEVSetOperatorCallback(ec, op, XEV_TYPE_NUMBER, "HostOperator");
  XEVSetOperatorCallback(ec, 0, XEV_TYPE_STRING, "HostOperator");
  uint16_t type = 0;
  XEVParseString(ec, "Amount - Discount", "Net", nullptr, &type);
  XEVParseString(ec, "Net() * 1.19 + Cost", "Gross", nullptr, &type);
  XEVParseString(ec, "Name || ' in ' || City", "Label", nullptr, &type);
  XEVParseString(ec, "OrderDate + 14 DAYS", "Due", nullptr, &type);
  // The other code page's first use sets up what it keeps, before any input
  // is measured for leaks.
  HostSetCodePage(XEV_CP_SHIFTJIS);
  HEXP warm = XEVParseString(ec, "StrUpper('\x83\x5c' || Name)", nullptr, nullptr, &type);
  void* block = nullptr;
  int32_t length = 0;
  XEVEvaluateExpressionExt(ec, warm, &length, &block);
  HostFree(block);
  XEVDestroyEXP(ec, warm);
  HostSetCodePage(XEV_CP_WESTERN);
  return ec;
}

ExprContext* g_context = nullptr;

void Evaluate(ExprContext* ec, HEXP exp) {
  const int16_t type = XEVGetExpressionDataType(ec, exp);
  // Into a caller's buffer: a size query, a short buffer, a large one.
  unsigned char buffer[64];
  if (type == XEV_TYPE_STRING) {
    int32_t needed = 0;
    if (XEVEvaluateExpression(ec, exp, 0, &needed)) Check(needed >= 1);
    XEVEvaluateExpression(ec, exp, 5, buffer);
  }
  XEVEvaluateExpression(ec, exp, sizeof buffer, buffer);
  // Into a block the engine grows.
  unsigned char number[XEV_NUMBER_SIZE];
  void* block = type == XEV_TYPE_STRING ? nullptr : number;
  int32_t length = 0;
  const int32_t ok = XEVEvaluateExpressionExt(ec, exp, &length, &block);
  if (type == XEV_TYPE_STRING) {
    if (ok) {
      Check(block != nullptr && HostBlockSize(block) > std::strlen(static_cast<const char*>(block)));
    } else {
      Check(block == nullptr);
    }
    HostFree(block);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ExprContext* ec = [] {
    ExprContext* built = BuildContext();
    std::atexit([] { XEVDestroyEC(g_context); });
    return g_context = built;
  }();
  if (size < 2 + kValueBytes) return 0;
  const uint8_t mode = data[1];
  std::string text(reinterpret_cast<const char*>(data + 2 + kValueBytes), size - 2 - kValueBytes);
  text = text.c_str();
  SetValues(data + 2, text);

  HostSetCodePage(fuzz_support::CodePageOf((mode & 1) != 0, (mode & 0x80) != 0));
  const uint16_t savedFlags = ec->flags;
  ec->flags = data[0];
  const int64_t liveBefore = HostLiveBlockCount();
  const int32_t countBefore = XEVGetExpressionCount(ec);

  ExprError error{};
  uint16_t type = 0;
  HEXP exp = (mode & 2) != 0 ? XEVParseString(ec, text.c_str(), nullptr, &error, &type)
                             : XEVParseFormula(ec, nullptr, text.c_str(), nullptr, &error, &type);
  if (exp != nullptr) {
    Evaluate(ec, exp);
    // Formulas that other formulas call are evaluated through them too.
    Evaluate(ec, XEVHEXPFromName(ec, "Gross"));
    Check(XEVDestroyEXP(ec, exp) == 1);
  }
  Check(XEVGetExpressionCount(ec) == countBefore);
  Check(HostLiveBlockCount() == liveBefore);

  ec->flags = savedFlags;
  HostSetCodePage(XEV_CP_WESTERN);
  return 0;
}
