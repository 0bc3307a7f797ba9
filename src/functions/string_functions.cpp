// The built-in string functions. Most size the result block and hand the work
// to a host string operation; what is decided here is the sizing (in 64 bits,
// so that a huge count fails to grow instead of wrapping), the treatment of
// NULL and negative counts, and the list picking of StrCase and StrTranslate.
#include <algorithm>
#include <cstring>

#include "eval/eval.h"
#include "functions/builtin_support.h"
#include "host/case_mapping.h"
#include "host/code_page.h"
#include "platform/platform.h"

using namespace xev::functions;
using xev::platform::CharNextA;
using xev::platform::lstrcmpA;
using xev::platform::lstrlenA;

namespace {

// The bytes that chars characters may take: as many times the count as the
// longest character of the code page has bytes (two, or four under UTF-8).
int64_t CharBytes(int64_t chars) { return chars * xev::host::CurrentCodePage().maxCharBytes; }

// min(len, dbcs(n)) + 1, the room of the functions that take part of s.
int64_t PartRoom(const char* s, int32_t count) {
  int64_t length = HostStrLen(s);
  return std::min(length, CharBytes(count)) + 1;
}

// The start of entry index of a comma-separated list, or nullptr when the list
// has fewer entries. Commas are found by the host and stepped over as whole
// characters, so a double-byte character is never split.
const char* ListEntry(const char* list, int32_t index) {
  const char* entry = list;
  for (int32_t i = 0; i < index; ++i) {
    const char* comma = HostStrChr(entry, ',');
    if (comma == nullptr) return nullptr;
    entry = CharNextA(comma);
  }
  return entry;
}

int64_t EntryLength(const char* entry) {
  const char* comma = HostStrChr(entry, ',');
  return comma != nullptr ? comma - entry : static_cast<int64_t>(std::strlen(entry));
}

// Writes entry index of list, or the empty string when there is none.
int32_t ListEntryResult(void** result, int32_t size, const char* list, int32_t index) {
  const char* entry = index >= 0 ? ListEntry(list, index) : nullptr;
  int64_t length = entry != nullptr ? EntryLength(entry) : 0;
  char* out = TextResult(result, size, length + 1);
  if (out == nullptr) return 0;
  if (length > 0) std::memcpy(out, entry, static_cast<size_t>(length));
  out[length] = '\0';
  return 1;
}

// The index of the first entry of list equal to value (exact bytes), or -1.
// The comparison needs each entry terminated, so it runs over a copy.
int32_t FindListEntry(const char* value, const char* list) {
  size_t length = std::strlen(list);
  char* copy = static_cast<char*>(HostAlloc(length + 1));
  if (copy == nullptr) return xev::eval::NoteMemoryShort(), -1;  // "not found" would be a wrong answer
  std::memcpy(copy, list, length + 1);
  int32_t found = -1;
  char* entry = copy;
  for (int32_t index = 0; found < 0; ++index) {
    char* comma = HostStrChr(entry, ',');
    if (comma != nullptr) *comma = '\0';
    if (lstrcmpA(value, entry) == 0) found = index;
    if (comma == nullptr) break;
    entry = comma + 1;  // the comma is one byte, now the terminator
  }
  HostFree(copy);
  return found;
}

// A copy of s into the result block, for the functions that then fold it.
char* CopyOfArgument(void** result, int32_t size, const char* s) {
  int64_t length = HostStrLen(s);
  char* out = TextResult(result, size, length + 1);
  if (out != nullptr) std::memcpy(out, s, static_cast<size_t>(length) + 1);
  return out;
}

// The functions whose result is their one String argument rewritten by a
// host operation that never lengthens it.
int32_t RewriteInto(void** result, int32_t size, void** args, char* (XEV_CALL* rewrite)(char*, const char*)) {
  if (!ArgumentsPresent(args, 1)) return 0;
  const char* s = StringArg(args, 0);
  char* out = TextResult(result, size, static_cast<int64_t>(HostStrLen(s)) + 1);
  if (out == nullptr) return 0;
  rewrite(out, s);
  return 1;
}

// The functions that fold a copy of their one String argument in place.
int32_t FoldCopy(void** result, int32_t size, void** args, char* (XEV_CALL* fold)(char*)) {
  if (!ArgumentsPresent(args, 1)) return 0;
  char* out = CopyOfArgument(result, size, StringArg(args, 0));
  if (out == nullptr) return 0;
  fold(out);
  return 1;
}

// Under UTF-8 a text may grow or shrink as it changes case (the sharp s
// becomes "SS"), so the result is measured first and mapped into its room.
int32_t MapCaseInto(void** result, int32_t size, void** args, xev::host::CaseMap map) {
  if (!ArgumentsPresent(args, 1)) return 0;
  const char* s = StringArg(args, 0);
  const size_t needed = xev::host::MapCase(map, s, nullptr, false);
  char* out = TextResult(result, size, static_cast<int64_t>(needed));
  if (out == nullptr) return 0;
  xev::host::MapCase(map, s, out, false);
  return 1;
}

// Case under UTF-8, for a text beyond ASCII; an ASCII text takes the paths of
// the single-byte code page.
bool MapsUtf8Case(void** args) {
  return xev::host::CurrentCodePage().utf8 && args != nullptr && args[0] != nullptr &&
         !xev::host::IsAscii(StringArg(args, 0));
}

int32_t NumberOut(void** result, int32_t size, int32_t value) {
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  IntToNumber(out, value);
  return 1;
}

// StrLeft and StrRight: the first or last count characters of s.
int32_t TakePart(void** result, int32_t size, void** args,
                 char* (XEV_CALL* take)(char*, const char*, int32_t)) {
  if (!ArgumentsPresent(args, 2)) return 0;
  const char* s = StringArg(args, 0);
  int32_t count = IntArg(args, 1);
  char* out = TextResult(result, size, PartRoom(s, count));
  if (out == nullptr) return 0;
  take(out, s, count);
  return 1;
}

}  // namespace

extern "C" {

XEV_API int32_t XEV_CALL FUNStrLeft(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  return TakePart(result, size, args, HostStrLeft);
}

XEV_API int32_t XEV_CALL FUNStrRight(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  return TakePart(result, size, args, HostStrRight);
}

XEV_API int32_t XEV_CALL FUNStrMid(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                   void** args) {
  if (!ArgumentsPresent(args, 3)) return 0;
  const char* s = StringArg(args, 0);
  int32_t position = std::min(IntArg(args, 1), HostStrLen(s));
  int32_t count = IntArg(args, 2);
  char* out = TextResult(result, size, PartRoom(s, count));
  if (out == nullptr) return 0;
  HostStrMid(out, s, position, count);
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrLength(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  return NumberOut(result, size, HostStrCharCount(StringArg(args, 0)));
}

XEV_API int32_t XEV_CALL FUNStrTrim(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  return RewriteInto(result, size, args, HostStrTrim);
}

XEV_API int32_t XEV_CALL FUNStrRTrim(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  return RewriteInto(result, size, args, HostStrRTrim);
}

XEV_API int32_t XEV_CALL FUNStrLTrim(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  const char* s = StringArg(args, 0);
  char* out = TextResult(result, size, static_cast<int64_t>(HostStrLen(s)) + 1);
  if (out == nullptr) return 0;
  const char* rest = HostStrSkipBlanks(s);
  std::memmove(out, rest, std::strlen(rest) + 1);
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrUpper(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  if (MapsUtf8Case(args)) return MapCaseInto(result, size, args, xev::host::CaseMap::kUpper);
  return FoldCopy(result, size, args, HostStrUpper);
}

XEV_API int32_t XEV_CALL FUNStrLower(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                     void** args) {
  if (MapsUtf8Case(args)) return MapCaseInto(result, size, args, xev::host::CaseMap::kLower);
  return FoldCopy(result, size, args, HostStrLower);
}

XEV_API int32_t XEV_CALL FUNStrProper(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (MapsUtf8Case(args)) return MapCaseInto(result, size, args, xev::host::CaseMap::kProper);
  return RewriteInto(result, size, args, HostStrProper);
}

XEV_API int32_t XEV_CALL FUNStrRepeat(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  const char* s = StringArg(args, 0);
  int64_t count = std::max(IntArg(args, 1), 0);
  int64_t length = HostStrLen(s);
  char* out = TextResult(result, size, length * count + 1);
  if (out == nullptr) return 0;
  char* end = out;
  if (length > 0) {
    for (int64_t i = 0; i < count; ++i, end += length) std::memcpy(end, s, static_cast<size_t>(length));
  }
  *end = '\0';
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrSpaces(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  int64_t count = std::max(IntArg(args, 0), 0);
  char* out = TextResult(result, size, count + 1);
  if (out == nullptr) return 0;
  std::memset(out, ' ', static_cast<size_t>(count));
  out[count] = '\0';
  return 1;
}

// Cut or padded to exactly n characters: the copy stops at a whole character,
// and blanks make up what s lacks.
XEV_API int32_t XEV_CALL FUNStrPad(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                   void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  const char* s = StringArg(args, 0);
  int32_t count = std::max(IntArg(args, 1), 0);
  char* out = TextResult(result, size, CharBytes(count) + 1);
  if (out == nullptr) return 0;
  const char* stop = s;
  int32_t copied = 0;
  while (copied < count && *stop != '\0') {
    stop = CharNextA(stop);
    ++copied;
  }
  size_t bytes = static_cast<size_t>(stop - s);
  std::memcpy(out, s, bytes);
  std::memset(out + bytes, ' ', static_cast<size_t>(count - copied));
  out[bytes + static_cast<size_t>(count - copied)] = '\0';
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrCompare(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                       void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  return NumberOut(result, size, lstrcmpA(StringArg(args, 0), StringArg(args, 1)));
}

XEV_API int32_t XEV_CALL FUNStrScan(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  return NumberOut(result, size, HostStrScan(StringArg(args, 0), StringArg(args, 1)));
}

// The count is limited by the replacement's length, not by what s holds from
// pos on: the replacement never shrinks below what it writes.
XEV_API int32_t XEV_CALL FUNStrReplace(ExprContext*, HEXP, int32_t size, void** result,
                                       const char*, void** args) {
  if (!ArgumentsPresent(args, 4)) return 0;
  const char* s = StringArg(args, 0);
  const char* replacement = StringArg(args, 3);
  int32_t length = HostStrLen(s);
  int32_t position = std::min(std::max(IntArg(args, 1), 0), length);
  int32_t count = std::min(std::max(IntArg(args, 2), 0), HostStrLen(replacement));
  int64_t needed = static_cast<int64_t>(lstrlenA(replacement)) + lstrlenA(s) + 1;
  char* out = TextResult(result, size, needed);
  if (out == nullptr) return 0;
  HostStrReplace(out, s, replacement, position, count);
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrIFF(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                   void** args) {
  if (!ArgumentsPresent(args, 4)) return 0;
  return CopyTextResult(result, size, StringArg(args, SignChoice(NumberArg(args, 0))));
}

XEV_API int32_t XEV_CALL FUNStrCase(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                    void** args) {
  if (!ArgumentsPresent(args, 2)) return 0;
  return ListEntryResult(result, size, StringArg(args, 1), IntArg(args, 0));
}

XEV_API int32_t XEV_CALL FUNStrTranslate(ExprContext*, HEXP, int32_t size, void** result,
                                         const char*, void** args) {
  if (!ArgumentsPresent(args, 3)) return 0;
  int32_t index = FindListEntry(StringArg(args, 0), StringArg(args, 1));
  return ListEntryResult(result, size, StringArg(args, 2), index);
}

XEV_API int32_t XEV_CALL FUNStrToDate(ExprContext*, HEXP, int32_t size, void** result, const char*,
                                      void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  *out = NumberValue{};
  xev::eval::DateFromText(out, StringArg(args, 0));
  return 1;
}

XEV_API int32_t XEV_CALL FUNStrToNumber(ExprContext*, HEXP, int32_t size, void** result,
                                        const char*, void** args) {
  if (!ArgumentsPresent(args, 1)) return 0;
  NumberValue* out = NumberResult(result, size);
  if (out == nullptr) return 0;
  xev::eval::NumberFromText(out, StringArg(args, 0));
  return 1;
}

}  // extern "C"
