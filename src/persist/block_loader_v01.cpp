// Formulas of the two oldest versions: parsed in block order, and the first
// one that fails is reported to the host and ends the load. The oldest blocks
// predate the date-part keywords, so names that now read as keywords get a
// "_" in front, in the item and formula names and in every formula text.
#include <cstring>

#include "persist/block_loader.h"
#include "xev/xev.h"

namespace xev::persist {
namespace {

constexpr const char* kTokenDelimiters = " \t\r()*+-/|%,";
constexpr int32_t kQuote = '"';
// Keywords are short; longer tokens and names are never checked.
constexpr int32_t kLongestCheckedToken = 15;
constexpr int32_t kNameBufferSize = 68;

// Copies a token or name with "_" in front when it reads as a date-part
// keyword; returns whether it did.
bool PrefixIfKeyword(const char* word, int32_t length, char* out) {
  if (length >= kNameBufferSize - 1) return false;
  return XEVInputNameIsKeyword(out, word) != 0;
}

// Applies the keyword renames to one formula of the oldest version: the name
// into nameBuffer, the text into *rewritten (allocated here, freed by the
// caller). False when memory is short.
bool RenameOldestFormula(BlockLoad& load, const char* text, char** rewritten, const char** parseText,
                         const char** parseName, char* nameBuffer) {
  const char* name = NameAfter(text);
  if (PrefixIfKeyword(name, static_cast<int32_t>(std::strlen(name)), nameBuffer)) {
    load.keywordRenamed = true;
    *parseName = nameBuffer;
  }
  if (!load.keywordRenamed) return true;
  *rewritten = static_cast<char*>(HostAlloc(2 * std::strlen(text) + 1));
  if (*rewritten == nullptr || !PrefixKeywordTokens(*rewritten, text)) return false;
  *parseText = *rewritten;
  return true;
}

}  // namespace

bool PrefixKeywordTokens(char* destination, const char* text) {
  size_t textLength = std::strlen(text);
  auto* token = static_cast<char*>(HostAlloc(textLength + 2));
  if (token == nullptr) return false;
  const char* at = text;
  char* out = destination;
  while (*at != 0) {
    int32_t consumed = HostNextToken(token, at, kTokenDelimiters, kTokenDelimiters, 0, kQuote, 0);
    size_t remaining = std::strlen(at);
    if (consumed <= 0 || static_cast<size_t>(consumed) > remaining) break;
    size_t tokenLength = std::strlen(token);
    bool quoted = std::memchr(at, kQuote, static_cast<size_t>(consumed)) != nullptr;
    char prefixed[kLongestCheckedToken + 3];
    if (!quoted && tokenLength <= kLongestCheckedToken && tokenLength <= static_cast<size_t>(consumed) &&
        XEVInputNameIsKeyword(prefixed, token) != 0) {
      size_t lead = static_cast<size_t>(consumed) - tokenLength;
      std::memcpy(out, at, lead);
      out += lead;
      size_t prefixedLength = std::strlen(prefixed);
      std::memcpy(out, prefixed, prefixedLength);
      out += prefixedLength;
    } else {
      std::memcpy(out, at, static_cast<size_t>(consumed));
      out += consumed;
    }
    at += consumed;
  }
  // Whatever the tokenizer left (trailing delimiters) passes unchanged.
  size_t rest = std::strlen(at);
  std::memcpy(out, at, rest + 1);
  HostFree(token);
  return true;
}

void LoadFormulasInOrder(BlockLoad& load, int32_t count) {
  for (int32_t i = 0; i < count && load.cursor.Ok(); ++i) {
    const char* text = TakeFormulaRecord(load.cursor);
    if (text == nullptr) return;

    const char* parseText = text;
    const char* parseName = NameAfter(text);
    char nameBuffer[kNameBufferSize];
    char* rewritten = nullptr;
    if (load.version == 0 && !RenameOldestFormula(load, text, &rewritten, &parseText, &parseName, nameBuffer)) {
      HostFree(rewritten);
      load.cursor.Fail();
      return;
    }

    ExprError error{};
    uint16_t type = 0;
    HEXP loaded = XEVParseString(load.ec, parseText, parseName, &error, &type);
    HostFree(rewritten);
    if (loaded != nullptr) continue;
    // The host is shown the text as stored, not the rewritten one.
    if (load.onError != nullptr) load.onError(load.ec, text, &error);
    load.cursor.Fail();
  }
}

}  // namespace xev::persist
