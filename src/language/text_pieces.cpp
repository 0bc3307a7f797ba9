#include "language/text_pieces.h"

#include <climits>
#include <cstring>

#include "xev/xevhost.h"

namespace xev::language {
namespace {

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80 ||
         std::strchr("@#$_.", c) != nullptr;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The end of a quoted piece opened at start: past its closing quote, or the
// end of the text. A doubled quote stands for one and does not close it.
size_t QuotedEnd(const char* text, size_t start) {
  const char quote = text[start];
  size_t i = start + 1;
  while (text[i] != 0) {
    if (text[i] != quote) {
      ++i;
      continue;
    }
    if (text[i + 1] != quote) return i + 1;
    i += 2;
  }
  return i;
}

size_t NameEnd(const char* text, size_t i) {
  while (text[i] != 0 && IsNameByte(static_cast<unsigned char>(text[i]))) {
    // A double-byte character's second byte may be any byte.
    i += static_cast<size_t>(HostCharLength(text + i, -1));
  }
  return i;
}

}  // namespace

void VisitPieces(const char* text, PieceVisitor visit, void* user) {
  size_t i = 0;
  while (text[i] != 0) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    const char c = text[i];
    int32_t kind = XEV_PIECE_PUNCT;
    if (c == '\'' || c == '"') {
      kind = c == '\'' ? XEV_PIECE_STRING : XEV_PIECE_QUOTED_NAME;
      i = QuotedEnd(text, i);
    } else if (IsNameByte(static_cast<unsigned char>(c))) {
      kind = XEV_PIECE_NAME;
      i = NameEnd(text, i);
    } else {
      i += c == '|' && text[i + 1] == '|' ? 2 : 1;
    }
    if (start > UINT32_MAX || i - start > UINT32_MAX) return;
    if (!visit(user, XEVTextPiece{kind, static_cast<uint32_t>(start), static_cast<uint32_t>(i - start)})) return;
  }
}

bool PieceContent(const char* text, const XEVTextPiece& piece, char* out, size_t size) {
  const char* from = text + piece.pos;
  const char* end = from + piece.len;
  const bool quoted = piece.kind == XEV_PIECE_STRING || piece.kind == XEV_PIECE_QUOTED_NAME;
  const char quote = quoted ? *from++ : 0;
  size_t n = 0;
  for (; from < end; ++from) {
    if (quoted && *from == quote) {
      if (from + 1 == end || from[1] != quote) break;  // the closing quote
      ++from;                                          // a doubled quote stands for one
    }
    if (n + 1 >= size) {
      out[n] = 0;
      return false;
    }
    out[n++] = *from;
  }
  out[n] = 0;
  return true;
}

}  // namespace xev::language

extern "C" XEV_API int32_t XEV_CALL XEVSplitFormulaText(const char* text, XEVTextPiece* pieces, int32_t capacity) {
  if (text == nullptr || capacity < 0 || (pieces == nullptr && capacity > 0)) return -1;
  struct Gather {
    XEVTextPiece* pieces;
    int64_t capacity;
    int64_t count;
  } gather{pieces, capacity, 0};
  xev::language::VisitPieces(
      text,
      [](void* user, const XEVTextPiece& piece) {
        auto* g = static_cast<Gather*>(user);
        if (g->count < g->capacity) g->pieces[g->count] = piece;
        return ++g->count <= INT32_MAX;
      },
      &gather);
  return gather.count > INT32_MAX ? -1 : static_cast<int32_t>(gather.count);
}
