// Splitting formula text into tokens for the callers that rewrite or search
// text without parsing it (renaming items, prefixing keywords, finding
// placeholders). They rebuild the text from what each call consumed, so the
// count returned always covers every byte passed over, delimiters included:
// consumed - token length is where the token starts.
#include <cstring>

#include "host/code_page.h"
#include "xev/xevhost.h"

namespace {

using xev::host::CharLength;
using xev::host::CodePage;

// Delimiters are single bytes; a double-byte character is never one, even
// when its trail byte matches one (0x7C "|" is a valid trail byte).
bool IsDelimiter(const char* set, const char* p, int length) {
  return set != nullptr && length == 1 && std::strchr(set, *p) != nullptr;
}

// The end of a quoted token that starts at p: just past the closing quote, or
// the end of the text when the quote is never closed. A doubled quote inside
// stands for the quote itself and does not close the token.
const char* EndOfQuoted(const CodePage& cp, const char* p, char quote) {
  p += 1;
  for (;;) {
    int length = CharLength(cp, p);
    if (length == 0) return p;
    if (length == 1 && *p == quote) {
      if (p[1] != quote) return p + 1;
      p += 2;
      continue;
    }
    p += length;
  }
}

const char* EndOfPlain(const CodePage& cp, const char* p, const char* delimiters) {
  for (;;) {
    int length = CharLength(cp, p);
    if (length == 0 || IsDelimiter(delimiters, p, length)) return p;
    p += length;
  }
}

}  // namespace

extern "C" {

// Text that holds only delimiters yields an empty token with all of them
// consumed, so a caller copying what it consumed keeps them; only an empty
// text gives 0.
XEV_API int32_t XEV_CALL HostNextToken(char* word, const char* s, const char* leadDelims,
                                       const char* trailDelims, int32_t /*reserved1*/,
                                       int32_t quote, int32_t /*reserved2*/) {
  if (word != nullptr) word[0] = '\0';
  if (s == nullptr || *s == 0) return 0;
  const CodePage& cp = xev::host::CurrentCodePage();
  const char* start = s;
  for (int length = CharLength(cp, start); IsDelimiter(leadDelims, start, length);
       length = CharLength(cp, start)) {
    start += length;
  }
  const char* end = start;
  if (*start != 0) {
    bool quoted = quote > 0 && quote <= 0xFF && CharLength(cp, start) == 1 &&
                  static_cast<unsigned char>(*start) == static_cast<unsigned>(quote);
    end = quoted ? EndOfQuoted(cp, start, static_cast<char>(quote)) : EndOfPlain(cp, start, trailDelims);
  }
  if (word != nullptr) {
    size_t length = static_cast<size_t>(end - start);
    std::memmove(word, start, length);
    word[length] = '\0';
  }
  return static_cast<int32_t>(end - s);
}

}  // extern "C"
