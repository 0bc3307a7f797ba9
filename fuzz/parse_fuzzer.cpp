// Parses arbitrary bytes as formula text. The first byte selects the context
// flags, the second the code page (bit 0 double-byte, bit 7 UTF-8) and the
// entry point; the rest is the text.
// The context holds data items, keyword items, host functions, all built-in
// functions and a few named formulas, sets and ranges. Every input must end
// in a tree or an error code with a span at most one byte past the text
// (or the whole-text spans), and leave no block behind. The text is also
// parsed by the direct parser for common formulas, reading its bytes and
// taking the scanner's tokens, and by the table parser alone, which must all
// agree on the outcome, the error and every field of every node.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "fuzz/fuzz_support.h"
#include "language/language.h"
#include "tests/language/parse_fixture.h"
#include "xev/xev.h"

namespace {

ExprContext* g_context = nullptr;

intptr_t XEV_CALL ResolveAnything(const char*) { return 1; }

void AddItem(ExprContext* ec, int16_t kind, const char* name, int16_t type, int16_t subclass = 0,
             int16_t subclass2 = 0) {
  ExpItem item{};
  item.kind = kind;
  item.dataType = type;
  item.boundValue = 1;
  std::strncpy(item.name, name, sizeof item.name - 1);
  item.subclass = subclass;
  item.subclass2 = subclass2;
  XEVAddExpressionItem(ec, &item);
}

void AddFunction(ExprContext* ec, const char* name, int16_t returnType, const ExpParam* params, int16_t count,
                 int16_t a, int16_t b, uint16_t flags) {
  unsigned char bytes[XEV_ITEM_FIXED_SIZE + sizeof(ExpParam) * 8] = {};
  auto* item = reinterpret_cast<ExpItem*>(bytes);
  item->kind = XEV_ITEM_FUNCTION;
  item->dataType = returnType;
  item->boundValue = 1;
  std::strncpy(item->name, name, sizeof item->name - 1);
  item->paramCount = count;
  item->subclass = a;
  item->subclass2 = b;
  item->flags = flags;
  // A negative count still stores one entry.
  size_t entries = count > 0 ? static_cast<size_t>(count) : 1;
  std::memcpy(bytes + XEV_ITEM_FIXED_SIZE, params, sizeof(ExpParam) * entries);
  XEVAddExpressionItem(ec, item);
}

ExprContext* BuildContext() {
  ExprContext* ec = XEVCreateEC(0, ResolveAnything, nullptr, 0xFF);
  for (const char* name : {"Amount", "Price", "Qty", "a", "b", "Orders.Total", "\"Net Sales\""}) {
    AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_NUMBER, 7);
  }
  for (const char* name : {"Name", "City", "x.y"}) AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_STRING);
  for (const char* name : {"OrderDate", "d"}) AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_DATETIME);
  AddItem(ec, XEV_ITEM_DATA, "Flag", 3);
  AddItem(ec, XEV_ITEM_KEYWORD, "PageNo", 300, XEV_TYPE_NUMBER);
  AddItem(ec, XEV_ITEM_KEYWORD, "Top Ten", 301, XEV_TYPE_STRING, 1);
  const ExpParam byName[] = {{1, XEV_TYPE_NUMBER, 7}};
  AddFunction(ec, "Sum", XEV_TYPE_NUMBER, byName, 1, 0, 0, XEV_FN_DISTINCT | XEV_FN_ALL);
  const ExpParam any[] = {{1, XEV_TYPE_ANY, 0}};
  AddFunction(ec, "Count", XEV_TYPE_NUMBER, any, 1, 0, 0, XEV_FN_DISTINCT | XEV_FN_DISTINCT_REQUIRED);
  const ExpParam group[] = {{0, XEV_TYPE_STRING, 0}, {0, XEV_TYPE_STRING, 0}, {0, XEV_TYPE_MATCHING, 0}};
  AddFunction(ec, "Switch", XEV_TYPE_MATCHING, group, 3, 1, 9, XEV_FN_ANY_BY_NAME_UNLESS_DISTINCT);
  const ExpParam matching[] = {{0, XEV_TYPE_MATCHING, 0}, {0, XEV_TYPE_MATCHING, 0}};
  AddFunction(ec, "Max", XEV_TYPE_MATCHING, matching, 2, 1, 8, 0);
  AddFunction(ec, "Odd", XEV_TYPE_NUMBER, matching, -1, 3, 0, 0);
  FUNDefineFunctions(ec);
  XEVSetOperatorCallback(ec, 4, 0, "Concat");
  XEVSetOperatorCallback(ec, 0, 3, "Plus");
  uint16_t type = 0;
  XEVParseString(ec, "Amount - Price", "Net", nullptr, &type);
  XEVParseString(ec, "Net() * 2 + Qty", "Twice", nullptr, &type);
  XEVParseString(ec, "Name || ' in ' || City", "Label", nullptr, &type);
  XEVParseString(ec, "1, 2, 3", "Sizes", nullptr, &type);
  XEVParseString(ec, "OrderDate AND OrderDate + 7 DAYS", "Week", nullptr, &type);
  XEVParseString(ec, "12/25/2001 10:30 PM", "Christmas", nullptr, &type);
  // Whatever the runtime sets up on first use of the other code page is in
  // place before any input is measured for leaks.
  HostSetCodePage(XEV_CP_SHIFTJIS);
  HEXP warm = XEVParseString(ec, "'\x83\x5c' || Name", nullptr, nullptr, &type);
  XEVDestroyEXP(ec, warm);
  HostSetCodePage(XEV_CP_UTF8);
  warm = XEVParseString(ec, "'\xC3\xA9' || Name || StrUpper('\xC3\x9F')", nullptr, nullptr, &type);
  XEVDestroyEXP(ec, warm);
  HostSetCodePage(XEV_CP_WESTERN);
  return ec;
}

bool SpanIsSound(const ExprError& error, size_t textLength) {
  if (error.pos == 0 && (error.len == 0 || error.len == 1000)) return true;
  return static_cast<size_t>(error.pos) + error.len <= textLength + 1;
}

// Aborts when the direct parser, reading the bytes or the scanner's tokens,
// and the table parser disagree on text.
void CompareEveryWayOfParsing(ExprContext* ec, const std::string& text, bool nameCheck) {
  using namespace xev::language;
  constexpr int kWays = 3;  // bytes first, the scanner's tokens, the table parser alone
  int32_t results[kWays] = {};
  ExprError errors[kWays] = {};
  ExprNode* trees[kWays] = {};
  for (int way = 0; way < kWays; ++way) {
    SetParserFastPath(way < 2);
    SetParserReadsBytes(way == 0);
    ScannerReset(text.c_str(), ec, nameCheck);
    results[way] = ParseTokens();
    errors[way] = ParseError();
    trees[way] = TakeParseRoot();
  }
  SetParserFastPath(true);
  SetParserReadsBytes(true);
  std::string described[kWays];
  for (int way = 0; way < kWays; ++way) parse_test::DescribeExactly(trees[way], described[way]);
  bool same = true;
  for (int way = 1; way < kWays; ++way) {
    same = same && results[0] == results[way] && errors[0].code == errors[way].code &&
           errors[0].pos == errors[way].pos && errors[0].len == errors[way].len && described[0] == described[way];
  }
  for (ExprNode* tree : trees) ReleaseTree(ec, tree);
  if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ExprContext* ec = [] {
    ExprContext* built = BuildContext();
    // Item records are packed, so their binding-name pointers sit unaligned
    // where the leak checker does not look for them: end the context first.
    std::atexit([] { XEVDestroyEC(g_context); });
    return g_context = built;
  }();
  if (size < 2) return 0;
  const uint16_t flags = data[0];
  const uint8_t mode = data[1];
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  text = text.c_str();  // the engine reads up to the first zero byte

  HostSetCodePage(fuzz_support::CodePageOf((mode & 1) != 0, (mode & 0x80) != 0));
  const uint16_t savedFlags = ec->flags;
  ec->flags = flags;
  const int64_t liveBefore = HostLiveBlockCount();
  const int32_t countBefore = XEVGetExpressionCount(ec);

  ExprError error{};
  uint16_t type = 0;
  HEXP exp = nullptr;
  switch ((mode >> 1) % 3) {
    case 0:
      exp = XEVParseFormula(ec, nullptr, text.c_str(), nullptr, &error, &type);
      break;
    case 1:
      exp = XEVParseString(ec, text.c_str(), nullptr, &error, &type);
      break;
    default:
      XEVValidName(ec, text.c_str(), &error);
      break;
  }
  if (exp == nullptr && (mode >> 1) % 3 != 2) {
    if (error.code != 0 && (error.code < 100 || error.code > 137)) std::abort();
    if (!SpanIsSound(error, text.size())) std::abort();
  }
  if (exp != nullptr && XEVDestroyEXP(ec, exp) != 1) std::abort();
  if (XEVGetExpressionCount(ec) != countBefore) std::abort();
  CompareEveryWayOfParsing(ec, text, (mode >> 1) % 3 == 2);
  if (HostLiveBlockCount() != liveBefore) std::abort();

  ec->flags = savedFlags;
  HostSetCodePage(XEV_CP_WESTERN);
  return 0;
}
