// Writes the extended text of arbitrary formulas: references to named
// formulas expanded in place, escaped function calls, date literals rewritten
// by date pictures and conversion strings that also come from the input.
// Every buffer size, from one byte to more than enough, must be respected, a
// shorter buffer must get a prefix of what a larger one gets, and nothing may
// be left behind.
//
// Input: a flags byte, a mode byte (code page, dates expanded, entry point),
// then zero-separated pieces: the formula text, three date pictures and three
// conversion strings (a missing piece leaves its setting unset).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "fuzz/fuzz_support.h"
#include "xev/xev.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

intptr_t XEV_CALL ResolveAnything(const char*) { return 1; }

void AddItem(ExprContext* ec, int16_t kind, const char* name, int16_t type) {
  ExpItem item{};
  item.kind = kind;
  item.dataType = type;
  item.boundValue = 1;
  std::strncpy(item.name, name, sizeof item.name - 1);
  XEVAddExpressionItem(ec, &item);
}

void AddEscapedFunction(ExprContext* ec, const char* name, int16_t type) {
  ExpItem item{};
  item.kind = XEV_ITEM_FUNCTION;
  item.dataType = type;
  item.boundValue = 1;
  std::strncpy(item.name, name, sizeof item.name - 1);
  item.paramCount = 1;
  item.flags = XEV_FN_ESCAPE;
  item.params[0] = ExpParam{0, XEV_TYPE_MATCHING, 0};
  XEVAddExpressionItem(ec, &item);
}

ExprContext* BuildContext() {
  ExprContext* ec = XEVCreateEC(0, ResolveAnything, nullptr, 0xFF);
  FUNDefineFunctions(ec);
  for (const char* name : {"Amount", "Net2", "NetAmount", "Orders.Total"}) {
    AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_NUMBER);
  }
  for (const char* name : {"Name", "City"}) AddItem(ec, XEV_ITEM_DATA, name, XEV_TYPE_STRING);
  AddItem(ec, XEV_ITEM_DATA, "OrderDate", XEV_TYPE_DATETIME);
  AddEscapedFunction(ec, "Soundex", XEV_TYPE_STRING);
  AddEscapedFunction(ec, "Ucase", XEV_TYPE_MATCHING);
  uint16_t type = 0;
  XEVParseString(ec, "Amount - 1", "Net", nullptr, &type);
  XEVParseString(ec, "Net() * 2 + NetAmount", "Gross", nullptr, &type);
  XEVParseString(ec, "OrderDate + 1/2/2001", "Due", nullptr, &type);
  XEVParseString(ec, "Soundex(Name) || Ucase(City)", "Code", nullptr, &type);
  XEVParseString(ec, "12/25/2001 10:30 AND Due()", "Window", nullptr, &type);
  HostSetCodePage(XEV_CP_SHIFTJIS);
  HEXP warm = XEVParseString(ec, "'\x83\x5c' || Name", nullptr, nullptr, &type);
  XEVDestroyEXP(ec, warm);
  HostSetCodePage(XEV_CP_UTF8);
  warm = XEVParseString(ec, "'\xC3\xA9' || Name || StrUpper('\xC3\x9F')", nullptr, nullptr, &type);
  XEVDestroyEXP(ec, warm);
  HostSetCodePage(XEV_CP_WESTERN);
  return ec;
}

ExprContext* g_context = nullptr;

std::vector<std::string> Pieces(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size && pieces.size() <= 7; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(static_cast<char>(data[i]));
    }
  }
  return pieces;
}

const char* PieceOrNull(const std::vector<std::string>& pieces, size_t i) {
  return i < pieces.size() ? pieces[i].c_str() : nullptr;
}

// The extended text written into a heap buffer of exactly size bytes.
std::string Written(ExprContext* ec, HEXP exp, int32_t size, int32_t expand) {
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
  std::memset(buffer.get(), 'x', static_cast<size_t>(size));
  const int32_t result = XEVGetExtendedText(ec, exp, size, buffer.get(), expand);
  const size_t length = strnlen(buffer.get(), static_cast<size_t>(size));
  Check(length < static_cast<size_t>(size));
  Check(result <= static_cast<int32_t>(length));
  return std::string(buffer.get(), length);
}

void WriteExtendedTexts(ExprContext* ec, HEXP exp, int32_t expand) {
  const int32_t length = XEVGetExtendedTextLength(ec, exp, expand);
  Check(length >= 0);
  if (length > (1 << 20)) return;
  const std::string full = Written(ec, exp, length + 4096, expand);
  for (int32_t size : {1, 2, length / 2 + 1, length + 1}) {
    const std::string part = Written(ec, exp, size, expand);
    // Any text at all may come out empty when memory is short; otherwise a
    // shorter buffer holds the beginning of the same text.
    Check(part.empty() || full.compare(0, part.size(), part) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ExprContext* ec = [] {
    ExprContext* built = BuildContext();
    std::atexit([] { XEVDestroyEC(g_context); });
    return g_context = built;
  }();
  if (size < 2 || size > 4096) return 0;
  const uint8_t mode = data[1];
  const std::vector<std::string> pieces = Pieces(data + 2, size - 2);

  HostSetCodePage(fuzz_support::CodePageOf((mode & 1) != 0, (mode & 0x80) != 0));
  const uint16_t savedFlags = ec->flags;
  ec->flags = data[0];
  XEVSetDateConvert(ec, PieceOrNull(pieces, 4), PieceOrNull(pieces, 5), PieceOrNull(pieces, 6),
                    static_cast<uint16_t>(mode & 0x02));
  XEVSetDatePicture(ec, PieceOrNull(pieces, 1), PieceOrNull(pieces, 2), PieceOrNull(pieces, 3));
  const int64_t liveBefore = HostLiveBlockCount();
  const int32_t countBefore = XEVGetExpressionCount(ec);

  ExprError error{};
  uint16_t type = 0;
  HEXP exp = (mode & 4) != 0 ? XEVParseString(ec, pieces[0].c_str(), nullptr, &error, &type)
                             : XEVParseFormula(ec, nullptr, pieces[0].c_str(), "Probe", &error, &type);
  if (exp != nullptr) {
    for (int32_t expand : {0, 1}) WriteExtendedTexts(ec, exp, expand);
    // The new formula expanded inside another one.
    HEXP user = XEVParseString(ec, (mode & 4) != 0 ? "Gross() + 1" : "Probe() || 'x'", nullptr, &error, &type);
    if (user != nullptr) {
      WriteExtendedTexts(ec, user, 1);
      Check(XEVDestroyEXP(ec, user) == 1);
    }
    Check(XEVDestroyEXP(ec, exp) == 1);
  }
  for (const char* name : {"Gross", "Window", "Code"}) WriteExtendedTexts(ec, XEVHEXPFromName(ec, name), 1);
  Check(XEVGetExpressionCount(ec) == countBefore);
  Check(HostLiveBlockCount() == liveBefore);

  // Settings go back to none, so that the next input starts from the same place.
  XEVSetDatePicture(ec, nullptr, nullptr, nullptr);
  XEVSetDateConvert(ec, "", "", "", 0);
  ec->flags = savedFlags;
  HostSetCodePage(XEV_CP_WESTERN);
  return 0;
}
