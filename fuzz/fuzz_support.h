// What several fuzz targets share: a host operator callback, and the
// built-in functions whose results grow with a count argument, put behind a
// limit as a host would put them, so that a formula such as
// StrSpaces(2000000000) stays inside the fuzzer's memory while the real
// functions still do the work.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/core.h"
#include "xev/xev.h"

namespace fuzz_support {

// Arithmetic taken over by the host: adds its operands.
inline int32_t XEV_CALL HostOperator(ExprContext*, HEXP, int32_t, int32_t, void* left, int32_t, void* right, int32_t,
                                     void* result) {
  NumberValue sum{};
  NumberAdd(&sum, static_cast<const NumberValue*>(left), static_cast<const NumberValue*>(right));
  std::memcpy(result, &sum, sizeof sum);
  return 1;
}

// The code page an input selects: UTF-8 when its UTF-8 bit is set, else the
// double-byte or the Western one.
inline uint32_t CodePageOf(bool doubleByte, bool utf8) {
  if (utf8) return XEV_CP_UTF8;
  return doubleByte ? XEV_CP_SHIFTJIS : XEV_CP_WESTERN;
}

constexpr int32_t kLongestResult = 1 << 16;

inline int32_t CappedCall(XEVFunctionEntry entry, int argCount, int countArg, int textArg, ExprContext* ec,
                          HEXP exp, int32_t size, void** result, const char* name, void** args) {
  if (args == nullptr || args[countArg] == nullptr) return entry(ec, exp, size, result, name, args);
  NumberValue count{};
  std::memcpy(&count, args[countArg], sizeof count);
  const int32_t unit = textArg < 0 || args[textArg] == nullptr
                           ? 1
                           : std::max<int32_t>(1, HostStrLen(static_cast<const char*>(args[textArg])));
  IntToNumber(&count, std::clamp(NumberToInt(&count), -5, kLongestResult / unit));
  void* capped[2] = {};
  for (int i = 0; i < argCount; ++i) capped[i] = args[i];
  capped[countArg] = &count;
  return entry(ec, exp, size, result, name, capped);
}

inline int32_t XEV_CALL CappedRepeat(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name,
                                     void** args) {
  return CappedCall(FUNStrRepeat, 2, 1, 0, ec, exp, size, result, name, args);
}
inline int32_t XEV_CALL CappedSpaces(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name,
                                     void** args) {
  return CappedCall(FUNStrSpaces, 1, 0, -1, ec, exp, size, result, name, args);
}
inline int32_t XEV_CALL CappedPad(ExprContext* ec, HEXP exp, int32_t size, void** result, const char* name,
                                  void** args) {
  return CappedCall(FUNStrPad, 2, 1, -1, ec, exp, size, result, name, args);
}

// Binds the growing built-in functions of ec to their capped stand-ins.
inline void CapGrowingFunctions(ExprContext* ec) {
  const std::pair<const char*, XEVFunctionEntry> capped[] = {
      {"StrRepeat", CappedRepeat}, {"StrSpaces", CappedSpaces}, {"StrPad", CappedPad}};
  for (const auto& [name, entry] : capped) {
    ExpItem* builtIn = xev::core::FindItem(ec->functionItems, name);
    if (builtIn != nullptr) builtIn->boundValue = reinterpret_cast<intptr_t>(entry);
  }
}

}  // namespace fuzz_support
