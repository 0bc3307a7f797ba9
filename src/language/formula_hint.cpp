// The one-line hint that says how to fix a formula error, where the cause can
// be told from the failing piece of text, its neighbours and the names the
// context holds. Hosts show it under the error (the report tool, the editor,
// the Python package), so it lives here once.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "language/text_pieces.h"
#include "xev/xev.h"

namespace xev::language {
namespace {

constexpr uint32_t kTypeErrors[] = {XEV_ERR_TYPENUM, XEV_ERR_OPERATORNUM, XEV_ERR_OPERATORSTR, XEV_ERR_TYPESTR};

// Words and names longer than this get no hint: no name is that long, and a
// typo's distance is counted on the stack.
constexpr size_t kWordRoom = 256;

struct Word {
  char text[kWordRoom];
  size_t len = 0;
};

// Appends to the caller's buffer, remembering whether anything was cut.
class HintWriter {
 public:
  HintWriter(char* out, int32_t size) : out_(out), size_(static_cast<size_t>(size)) { out_[0] = 0; }
  HintWriter& operator<<(const char* text) {
    for (; *text != 0; ++text) Put(*text);
    return *this;
  }
  HintWriter& operator<<(const Word& word) {
    for (size_t i = 0; i < word.len; ++i) Put(word.text[i]);
    return *this;
  }
  int32_t Result() const { return cut_ ? -1 : static_cast<int32_t>(length_); }

 private:
  void Put(char c) {
    if (length_ + 1 >= size_) {
      cut_ = true;
      return;
    }
    out_[length_++] = c;
    out_[length_] = 0;
  }
  char* out_;
  size_t size_;
  size_t length_ = 0;
  bool cut_ = false;
};

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool EqualsUpper(const Word& word, const char* upper) {
  if (word.len != std::strlen(upper)) return false;
  for (size_t i = 0; i < word.len; ++i)
    if (Upper(word.text[i]) != upper[i]) return false;
  return true;
}

bool IsDateUnit(const Word& word) {
  Word singular = word;
  if (singular.len > 1 && Upper(singular.text[singular.len - 1]) == 'S') singular.text[--singular.len] = 0;
  for (const char* unit : {"DAY", "MONTH", "YEAR", "HOUR", "MINUTE", "SECOND"})
    if (EqualsUpper(singular, unit)) return true;
  return false;
}

// Edits (insert, delete, replace one character) from a to b, ignoring case.
size_t EditDistance(const char* a, size_t aLen, const char* b, size_t bLen) {
  size_t row[kWordRoom + 1];
  for (size_t j = 0; j <= bLen; ++j) row[j] = j;
  for (size_t i = 1; i <= aLen; ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= bLen; ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Upper(a[i - 1]) == Upper(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[bLen];
}

// The closest name within a few edits, shorter words allowing fewer.
struct Closest {
  explicit Closest(const Word& word)
      : word(word), distance((word.len <= 4 ? 1 : word.len <= 8 ? 2 : 3) + 1) {}
  void Offer(const char* name) {
    const size_t len = std::strlen(name);
    if (len >= kWordRoom) return;
    const size_t d = EditDistance(word.text, word.len, name, len);
    if (d >= distance) return;
    distance = d;
    std::memcpy(best.text, name, len + 1);
    best.len = len;
  }
  bool Found() const { return best.len > 0; }
  const Word& word;
  size_t distance;
  Word best;
};

bool IsDataItem(ExprContext* ec, const char* name) {
  ExpItem item;
  std::memset(&item, 0, sizeof item);
  return XEVGetExpressionVariable(ec, &item, name) == 1;
}

// A named function rather than a lambda: 32-bit Windows calls it as stdcall,
// which a lambda's conversion to a function pointer cannot give.
int32_t XEV_CALL OfferItem(ExprContext*, const char* name, intptr_t user) {
  reinterpret_cast<Closest*>(user)->Offer(name);
  return 1;
}

void OfferItems(ExprContext* ec, int16_t kind, Closest& closest) {
  XEVEnumExpItems(ec, kind, OfferItem, reinterpret_cast<intptr_t>(&closest));
}

void OfferFormulas(ExprContext* ec, Closest& closest) {
  const int32_t count = XEVGetExpressionCount(ec);
  char name[kWordRoom];
  for (int32_t i = 0; i < count; ++i) {
    HEXP exp = XEVHEXPFromOrdinal(ec, i);
    if (exp != nullptr && XEVGetExpressionName(ec, exp, sizeof name, name) >= 0) closest.Offer(name);
  }
}

// What the hint looks at: the piece the error is at (the one holding its
// first byte, else the one that begins after it), the two before it, and
// which operators the whole text uses.
struct ErrorSurroundings {
  uint32_t errorPos = 0;
  XEVTextPiece before[2] = {};  // [1] just before the error's piece, [0] before that
  int beforeCount = 0;
  XEVTextPiece at = {};
  bool found = false;
  bool join = false;
  bool arithmetic = false;
};

bool IsPunct(const char* text, const XEVTextPiece& piece, const char* punct) {
  return piece.kind == XEV_PIECE_PUNCT && piece.len == std::strlen(punct) &&
         std::memcmp(text + piece.pos, punct, piece.len) == 0;
}

class HintFinder {
 public:
  HintFinder(ExprContext* ec, const char* name, const char* text, const ExprError& error, HintWriter& out)
      : ec_(ec), name_(name), text_(text), error_(error), out_(out) {
    s_.errorPos = error.pos;
    VisitPieces(text, &HintFinder::Look, this);
  }

  void Write() {
    if (!s_.found || !PieceContent(text_, s_.at, word_.text, sizeof word_.text)) return;
    word_.len = std::strlen(word_.text);
    const bool name = s_.at.kind == XEV_PIECE_NAME;
    if (error_.code == XEV_ERR_VAR && s_.at.kind == XEV_PIECE_QUOTED_NAME && !IsDataItem(ec_, word_.text)) {
      out_ << "strings are written in single quotes ('" << word_ << "'); double quotes enclose names";
    } else if (name && IsDateUnit(word_)) {
      DateUnitHint();
    } else if (name && error_.code == XEV_ERR_VAR && (EqualsUpper(word_, "DISTINCT") || EqualsUpper(word_, "ALL"))) {
      // A quantifier the host does not take: only the host can say why.
    } else if (name && error_.code == XEV_ERR_FUNC && name_ != nullptr && std::strcmp(word_.text, name_) == 0) {
      // A formula's own name is not known while it is being read, so using
      // it reads as an unknown function; the cause is the recursion.
      out_ << "a formula cannot use itself: " << word_ << "() names this formula";
    } else if (name && error_.code == XEV_ERR_VAR && XEVHEXPFromName(ec_, word_.text) != nullptr) {
      out_ << "write " << word_ << "() to use the formula " << word_;
    } else if (name && (error_.code == XEV_ERR_VAR || error_.code == XEV_ERR_FUNC)) {
      DidYouMean();
    } else if (error_.code == XEV_ERR_SYNTAX) {
      SyntaxHint();
    } else if (std::find(std::begin(kTypeErrors), std::end(kTypeErrors), error_.code) != std::end(kTypeErrors)) {
      if (s_.join && s_.arithmetic) out_ << "|| binds tighter than * and +; use parentheses, and NumberToStr to join a Number";
    }
  }

 private:
  static bool Look(void* user, const XEVTextPiece& piece) {
    auto* self = static_cast<HintFinder*>(user);
    ErrorSurroundings& s = self->s_;
    const char* text = self->text_;
    s.join = s.join || IsPunct(text, piece, "||");
    s.arithmetic = s.arithmetic || IsPunct(text, piece, "*") || IsPunct(text, piece, "/") ||
                   IsPunct(text, piece, "+") || IsPunct(text, piece, "-");
    if (s.found) return true;
    if (piece.pos + static_cast<uint64_t>(piece.len) > s.errorPos) {
      s.at = piece;
      s.found = true;
      return true;
    }
    s.before[0] = s.before[1];
    s.before[1] = piece;
    s.beforeCount = std::min(s.beforeCount + 1, 2);
    return true;
  }

  void DateUnitHint() {
    Word column;
    column.text[0] = '_';
    std::memcpy(column.text + 1, word_.text, word_.len + 1);
    column.len = word_.len + 1;
    if (column.len < kWordRoom && IsDataItem(ec_, column.text)) {
      out_ << word_ << " is a date unit; the column is the data item " << column;
      return;
    }
    Word upper = word_;
    for (size_t i = 0; i < upper.len; ++i) upper.text[i] = Upper(upper.text[i]);
    out_ << word_ << " is a date unit (as in Placed + 1 " << upper << "), not a name";
  }

  void DidYouMean() {
    Closest item(word_), formula(word_);
    OfferItems(ec_, error_.code == XEV_ERR_VAR ? XEV_ITEM_DATA : XEV_ITEM_FUNCTION, item);
    OfferFormulas(ec_, formula);
    if (formula.Found() && (!item.Found() || formula.distance < item.distance)) {
      out_ << "did you mean " << formula.best << "()?";
      return;
    }
    if (item.Found()) out_ << "did you mean " << item.best << "?";
  }

  void SyntaxHint() {
    if (IsPunct(text_, s_.at, "<") || IsPunct(text_, s_.at, ">") || IsPunct(text_, s_.at, "=")) {
      out_ << "the language has no comparison operators; NumberIFF(x - 100, ...) chooses by sign";
      return;
    }
    // A minus where an operand must begin: there is no unary minus.
    if (s_.beforeCount < 1 || !IsPunct(text_, s_.before[1], "-")) return;
    const bool operandStart = s_.beforeCount < 2 || (s_.before[0].kind == XEV_PIECE_PUNCT && !IsPunct(text_, s_.before[0], ")"));
    if (operandStart) out_ << "there is no unary minus: write 0 - " << word_ << " or " << word_ << " * -1";
  }

  ExprContext* ec_;
  const char* name_;
  const char* text_;
  ExprError error_;
  HintWriter& out_;
  ErrorSurroundings s_;
  Word word_;
};

}  // namespace
}  // namespace xev::language

extern "C" XEV_API int32_t XEV_CALL XEVFormulaHint(ExprContext* ec, const char* name, const char* text,
                                                   const ExprError* error, char* hint, int32_t size) {
  if (hint == nullptr || size < 1) return -1;
  xev::language::HintWriter out(hint, size);
  if (ec == nullptr || text == nullptr || error == nullptr) return -1;
  xev::language::HintFinder(ec, name, text, *error, out).Write();
  return out.Result();
}
