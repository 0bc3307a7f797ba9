// The library's own export table behind GetProcAddress: every built-in
// function entry point by its full name. Kept sorted so that a lookup is a
// binary search; a check at compile time keeps it so.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "functions/functions.h"

namespace xev::functions {
namespace {

struct ExportEntry {
  std::string_view name;
  XEVFunctionEntry entry;
};

#define XEV_EXPORT(fn) ExportEntry{#fn, fn}

// FUNDateIFF and FUNNumberIFF are one entry point under two names.
constexpr ExportEntry kExports[] = {
    XEV_EXPORT(FUNDateAddDay),      XEV_EXPORT(FUNDateConstruct),   XEV_EXPORT(FUNDateDay),
    XEV_EXPORT(FUNDateHour),        XEV_EXPORT(FUNDateIFF),         XEV_EXPORT(FUNDateMinute),
    XEV_EXPORT(FUNDateMonth),       XEV_EXPORT(FUNDateMonthBegin),  XEV_EXPORT(FUNDateMonthEnd),
    XEV_EXPORT(FUNDateQuarter),     XEV_EXPORT(FUNDateSecond),      XEV_EXPORT(FUNDateToStr),
    XEV_EXPORT(FUNDateToStrPicture), XEV_EXPORT(FUNDateYear),       XEV_EXPORT(FUNNumberAbsolute),
    XEV_EXPORT(FUNNumberCountryFmt), XEV_EXPORT(FUNNumberIFF),      XEV_EXPORT(FUNNumberMod),
    XEV_EXPORT(FUNNumberRound),     XEV_EXPORT(FUNNumberToCurrency), XEV_EXPORT(FUNNumberToStr),
    XEV_EXPORT(FUNNumberToStrPicture), XEV_EXPORT(FUNNumberTruncate), XEV_EXPORT(FUNPower),
    XEV_EXPORT(FUNStrCase),         XEV_EXPORT(FUNStrCompare),      XEV_EXPORT(FUNStrIFF),
    XEV_EXPORT(FUNStrLTrim),        XEV_EXPORT(FUNStrLeft),         XEV_EXPORT(FUNStrLength),
    XEV_EXPORT(FUNStrLower),        XEV_EXPORT(FUNStrMid),          XEV_EXPORT(FUNStrPad),
    XEV_EXPORT(FUNStrProper),       XEV_EXPORT(FUNStrRTrim),        XEV_EXPORT(FUNStrRepeat),
    XEV_EXPORT(FUNStrReplace),      XEV_EXPORT(FUNStrRight),        XEV_EXPORT(FUNStrScan),
    XEV_EXPORT(FUNStrSpaces),       XEV_EXPORT(FUNStrToDate),       XEV_EXPORT(FUNStrToNumber),
    XEV_EXPORT(FUNStrTranslate),    XEV_EXPORT(FUNStrTrim),         XEV_EXPORT(FUNStrUpper),
    XEV_EXPORT(FUNWeekDay),
};

#undef XEV_EXPORT

constexpr bool IsSorted() {
  for (size_t i = 1; i < std::size(kExports); ++i) {
    if (!(kExports[i - 1].name < kExports[i].name)) return false;
  }
  return true;
}
static_assert(IsSorted(), "the export table must stay sorted by name for the binary search");
static_assert(std::size(kExports) == 46, "one row per built-in function name");

}  // namespace

void* LookupExport(const char* name) {
  if (name == nullptr) return nullptr;
  std::string_view key(name);
  auto it = std::lower_bound(std::begin(kExports), std::end(kExports), key,
                             [](const ExportEntry& e, std::string_view k) { return e.name < k; });
  if (it == std::end(kExports) || it->name != key) return nullptr;
  return reinterpret_cast<void*>(it->entry);
}

}  // namespace xev::functions
