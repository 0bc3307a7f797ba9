// A value of a String data item becomes a string literal of the formula
// language: single quotes around it, a quote inside written twice.
#include "editor/editor_state.h"
#include "platform/platform.h"

namespace xev::editor {
namespace {

constexpr char kQuote = '\'';

// Steps one character at a time so that the second byte of a double-byte
// character, which may well be 0x27, is never taken for a quote.
template <typename Visit>
void ForEachCharacter(const char* value, Visit visit) {
  for (const char* p = value; *p != '\0';) {
    const char* next = platform::CharNextA(p);
    if (next <= p) next = p + 1;
    visit(p, static_cast<size_t>(next - p));
    p = next;
  }
}

bool IsQuote(const char* character, size_t length) { return length == 1 && *character == kQuote; }

}  // namespace

size_t QuotedStringSize(const char* value) {
  size_t size = 3;
  if (value == nullptr) return size;
  ForEachCharacter(value, [&](const char* character, size_t length) {
    size += IsQuote(character, length) ? 2 : length;
  });
  return size;
}

int32_t QuoteStringValue(char* destination, const char* value) {
  if (destination == nullptr) return 0;
  char* out = destination;
  *out++ = kQuote;
  if (value != nullptr) {
    ForEachCharacter(value, [&](const char* character, size_t length) {
      if (IsQuote(character, length)) *out++ = kQuote;
      for (size_t i = 0; i < length; ++i) *out++ = character[i];
    });
  }
  *out++ = kQuote;
  *out = '\0';
  return static_cast<int32_t>(out - destination);
}

}  // namespace xev::editor
