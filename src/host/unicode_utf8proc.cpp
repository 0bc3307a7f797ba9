// The Unicode character data from utf8proc (every build but Windows).
#ifndef _WIN32
#include "host/unicode.h"

#include <utf8proc.h>

namespace xev::host::unicode {

namespace {

utf8proc_category_t Category(char32_t ch) { return utf8proc_category(static_cast<utf8proc_int32_t>(ch)); }

}  // namespace

char32_t ToUpper(char32_t ch) { return static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(ch))); }
char32_t ToLower(char32_t ch) { return static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(ch))); }
char32_t ToTitle(char32_t ch) { return static_cast<char32_t>(utf8proc_totitle(static_cast<utf8proc_int32_t>(ch))); }

bool IsLetter(char32_t ch) {
  utf8proc_category_t category = Category(ch);
  return category >= UTF8PROC_CATEGORY_LU && category <= UTF8PROC_CATEGORY_LO;
}

bool IsMark(char32_t ch) {
  utf8proc_category_t category = Category(ch);
  return category >= UTF8PROC_CATEGORY_MN && category <= UTF8PROC_CATEGORY_ME;
}

// utf8proc numbers the categories L (Lu..Lo), M (Mn..Me), N (Nd..No) in a row.
bool IsWordChar(char32_t ch) {
  utf8proc_category_t category = Category(ch);
  return category >= UTF8PROC_CATEGORY_LU && category <= UTF8PROC_CATEGORY_NO;
}

}  // namespace xev::host::unicode
#endif
