// Deleting an item together with the formulas that use it, and renaming an
// item in every formula's text and parse tree.
#include <cstring>
#include <utility>

#include "language/dependencies.h"
#include "core/expressions.h"
#include "core/item_store.h"
#include "host/host.h"
#include "xev/xev.h"

namespace xev::language {
namespace {

using namespace xev::core;

// ---- Deleting ----------------------------------------------------------------------

// Formulas that use the item but are still used by others; they are offered
// to the callback once their dependents are gone.
class Deferred {
 public:
  Deferred() = default;
  ~Deferred() { HostFree(items_); }
  Deferred(const Deferred&) = delete;
  Deferred& operator=(const Deferred&) = delete;

  bool Add(HEXP exp) {
    if (!host::RoomForOneMore(items_, count_, capacity_)) return false;
    items_[count_++] = exp;
    return true;
  }
  uint32_t count() const { return count_; }
  HEXP operator[](uint32_t i) const { return items_[i]; }
  void Swap(Deferred& other) {
    std::swap(items_, other.items_);
    std::swap(count_, other.count_);
    std::swap(capacity_, other.capacity_);
  }
  void Clear() { count_ = 0; }

 private:
  HEXP* items_ = nullptr;
  uint32_t count_ = 0;
  uint32_t capacity_ = 0;
};

bool StillThere(ExprContext* ec, HEXP exp) { return XEVGetExpressionOrdinal(ec, exp) >= 0; }

// One deletion: the item, the callback and what the callbacks have said.
class ItemDeletion {
 public:
  ItemDeletion(ExprContext* ec, int16_t kind, const char* name, XEVDeleteItemCallback callback)
      : ec_(ec),
        useKind_(kind == XEV_ITEM_DATA ? XEV_ITEM_DATA : XEV_ITEM_FUNCTION),
        list_(kind == XEV_ITEM_DATA ? &ec->dataItems : &ec->functionItems),
        name_(name),
        callback_(callback) {}

  int32_t Run();

 private:
  enum class Offer { kGone, kKept, kRefused };

  bool FirstPass(Deferred& deferred);
  bool DeferredRound(Deferred& deferred, Deferred& next);
  Offer OfferToCallback(HEXP exp);

  ExprContext* ec_;
  int16_t useKind_;
  HGLOBAL* list_;
  const char* name_;
  XEVDeleteItemCallback callback_;
  int32_t result_ = 1;  // the last callback's answer, 1 while none was asked
};

// The item is looked up again before each call: a callback may have changed
// the item lists. A callback that answers yes must have destroyed the formula;
// the list is read again rather than trusting it.
ItemDeletion::Offer ItemDeletion::OfferToCallback(HEXP exp) {
  ExpItem* item = FindItem(*list_, name_);
  if (item == nullptr) return Offer::kKept;
  if (callback_ == nullptr) return Offer::kRefused;
  int32_t answer = callback_(ec_, exp, item);
  if (answer == 0) return Offer::kRefused;
  result_ = answer;
  return StillThere(ec_, exp) ? Offer::kKept : Offer::kGone;
}

// Formulas in ordinal order; those another formula uses wait, so that the
// callback always sees a formula after everything built on it is gone.
bool ItemDeletion::FirstPass(Deferred& deferred) {
  uint32_t ordinal = 0;
  for (HEXP exp; (exp = XEVHEXPFromOrdinal(ec_, static_cast<int32_t>(ordinal))) != nullptr;) {
    int32_t used = ExpressionUsesItem(ec_, exp->root, useKind_, name_);
    if (used < 0) return false;
    if (used == 0) {
      ++ordinal;
      continue;
    }
    if (NamedFormulaUsedByOthers(ec_, exp->name, exp)) {
      if (!deferred.Add(exp)) return false;
      ++ordinal;
      continue;
    }
    Offer offer = OfferToCallback(exp);
    if (offer == Offer::kRefused) return false;
    // A destroyed formula's successors moved up into its position.
    if (offer == Offer::kKept) ++ordinal;
  }
  return true;
}

// Offers every waiting formula that nothing uses any more; the others wait
// for the next round. A round that gives nothing up would repeat for ever
// (formulas that use one another in a cycle), so it ends the deletion.
bool ItemDeletion::DeferredRound(Deferred& deferred, Deferred& next) {
  bool progress = false;
  next.Clear();
  for (uint32_t i = 0; i < deferred.count(); ++i) {
    HEXP exp = deferred[i];
    if (!StillThere(ec_, exp)) {
      progress = true;
      continue;
    }
    if (NamedFormulaUsedByOthers(ec_, exp->name, exp)) {
      if (!next.Add(exp)) return false;
      continue;
    }
    Offer offer = OfferToCallback(exp);
    if (offer == Offer::kRefused) return false;
    progress = true;
  }
  return progress;
}

int32_t ItemDeletion::Run() {
  if (XEVGetExpressionCount(ec_) == 0) {
    DeleteItemByName(list_, name_);
    return 1;
  }
  Deferred deferred;
  Deferred next;
  if (!FirstPass(deferred)) return 0;
  while (deferred.count() > 0) {
    if (!DeferredRound(deferred, next)) return 0;
    deferred.Swap(next);
  }
  DeleteItemByName(list_, name_);
  return result_;
}

// ---- Renaming ------------------------------------------------------------------------

constexpr char kDelimiters[] = " \t\r()*+-/|%,";
// A token also ends where a string literal begins, so the literal is seen
// whole at the start of the next step.
constexpr char kTokenEnds[] = " \t\r()*+-/|%,'";
constexpr int32_t kNameQuote = '"';

size_t CharLength(const char* p) { return *p == '\0' ? 1 : static_cast<size_t>(HostCharLength(p, -1)); }

// The end of the string literal that starts at p: past its closing quote, or
// the end of the text when it is never closed. "''" and "\'" stand for a
// quote inside it; a double-byte character is taken whole, so a trail byte
// that reads as "\" escapes nothing.
const char* EndOfString(const char* p) {
  for (++p; *p != '\0';) {
    if (*p == '\'' && p[1] == '\'') {
      p += 2;
    } else if (*p == '\'') {
      return p + 1;
    } else if (*p == '\\' && p[1] == '\'') {
      p += 2;
    } else {
      p += CharLength(p);
    }
  }
  return p;
}

// A function is written before "(" (or, without arguments, as @NAME); a
// data item never is. So a data item's rename leaves a formula reference or
// call of the same name alone, and a function's leaves a data item alone.
bool InItsRole(const char* token, const char* after, bool function) {
  while (*after == ' ') ++after;
  bool called = *after == '(';
  if (function) return called || token[0] == '@';
  return !called;
}

// Splits text into pieces that are copied as they stand and tokens equal to
// the old name in the item's role, which are replaced. word holds a token;
// it has room for the whole text.
template <typename Piece>
void SplitForRename(const char* text, char* word, const char* oldName, bool function, Piece&& piece) {
  for (const char* p = text; *p != '\0';) {
    if (std::strchr(kDelimiters, *p) != nullptr) {
      piece(p, size_t{1}, false);
      ++p;
      continue;
    }
    if (*p == '\'') {
      const char* end = EndOfString(p);
      piece(p, static_cast<size_t>(end - p), false);
      p = end;
      continue;
    }
    int32_t consumed = HostNextToken(word, p, kDelimiters, kTokenEnds, 0, kNameQuote, 0);
    size_t length = consumed > 0 ? static_cast<size_t>(consumed) : CharLength(p);
    bool match = consumed > 0 && HostStrEqual(word, oldName) != 0 && InItsRole(p, p + length, function);
    piece(p, length, match);
    p += length;
  }
}

// The new text, followed in its block by name when there is one, as a
// record keeps its strings; nullptr when memory ran out.
char* RenamedText(const char* text, const char* oldName, const char* newName, bool function, const char* name) {
  size_t textLength = std::strlen(text);
  auto* word = static_cast<char*>(HostAlloc(textLength + 1));
  if (word == nullptr) return nullptr;
  size_t newLength = std::strlen(newName);
  size_t length = 0;
  SplitForRename(text, word, oldName, function,
                 [&](const char*, size_t n, bool match) { length += match ? newLength : n; });
  const size_t nameBytes = name != nullptr ? std::strlen(name) + 1 : 0;
  auto* renamed = static_cast<char*>(HostAlloc(length + 1 + nameBytes));
  if (renamed != nullptr) {
    char* out = renamed;
    SplitForRename(text, word, oldName, function, [&](const char* p, size_t n, bool match) {
      std::memcpy(out, match ? newName : p, match ? newLength : n);
      out += match ? newLength : n;
    });
    *out = '\0';
    if (name != nullptr) std::memcpy(out + 1, name, nameBytes);
  }
  HostFree(word);
  return renamed;
}

// The nodes of a tree that name the item, and a copy of the new name for
// each, all gathered before anything changes.
class NodeRenames {
 public:
  ~NodeRenames() {
    for (uint32_t i = 0; names_ != nullptr && i < count_; ++i) {
      if (names_[i] != nullptr) language::DropNodeName(nodes_[i], names_[i]);
    }
    HostFree(nodes_);
    HostFree(names_);
  }

  bool Gather(const ExprNode* root, uint32_t kind, const char* oldName, const char* newName);
  void Commit();

 private:
  bool AddNode(ExprNode* node);

  ExprNode** nodes_ = nullptr;
  char** names_ = nullptr;
  uint32_t count_ = 0;
  uint32_t capacity_ = 0;
};

bool NodeRenames::AddNode(ExprNode* node) {
  if (!host::RoomForOneMore(nodes_, count_, capacity_)) return false;
  nodes_[count_++] = node;
  return true;
}

// Every node of the kind is looked at, inside sets and ranges too, so the
// tree keeps naming what its text names.
bool NodeRenames::Gather(const ExprNode* root, uint32_t kind, const char* oldName, const char* newName) {
  bool memoryOk = true;
  auto visit = [&](const ExprNode* node) {
    if (node->kind == kind && SameName(static_cast<const char*>(node->left), oldName)) {
      memoryOk = AddNode(const_cast<ExprNode*>(node));
    }
    return memoryOk ? WalkStep::kDescend : WalkStep::kStop;
  };
  if (WalkTree(root, visit) == WalkEnd::kNoMemory || !memoryOk) return false;
  if (count_ == 0) return true;
  names_ = static_cast<char**>(HostAlloc(sizeof(char*) * count_));
  if (names_ == nullptr) return false;
  for (uint32_t i = 0; i < count_; ++i) {
    names_[i] = static_cast<char*>(language::NewNodeName(nodes_[i], newName));
    if (names_[i] == nullptr) return false;
  }
  return true;
}

void NodeRenames::Commit() {
  for (uint32_t i = 0; i < count_; ++i) {
    language::RenameNode(nodes_[i], names_[i]);
    names_[i] = nullptr;
  }
}

// Text and tree change together or not at all.
void RenameInExpression(ExprRecord* exp, bool function, const char* oldName, const char* newName) {
  char* text = nullptr;
  if (exp->text != nullptr) {
    text = RenamedText(exp->text, oldName, newName, function, exp->name);
    if (text == nullptr) return;
  }
  NodeRenames renames;
  if (!renames.Gather(exp->root, function ? NK_FUNCTION : NK_ITEM, oldName, newName)) {
    HostFree(text);
    return;
  }
  renames.Commit();
  if (text != nullptr) AdoptExpressionStrings(exp, text, exp->name != nullptr);
}

// The name field holds 64 bytes and a terminator; a longer name is cut on a
// character boundary.
void FitName(char (&field)[sizeof ExpItem::name], const char* name) {
  std::memset(field, 0, sizeof field);
  size_t used = 0;
  for (const char* p = name; *p != '\0';) {
    size_t n = CharLength(p);
    if (used + n > sizeof field - 1) break;
    std::memcpy(field + used, p, n);
    used += n;
    p += n;
  }
}

}  // namespace
}  // namespace xev::language

extern "C" {

XEV_API int32_t XEV_CALL XEVDeleteExpItem(ExprContext* ec, int16_t kind, const char* name,
                                          XEVDeleteItemCallback callback) {
  if (ec == nullptr) return 1;
  if (name == nullptr) return 1;
  int32_t result = xev::language::ItemDeletion(ec, kind, name, callback).Run();
  xev::core::NoteContextChange(ec);
  return result;
}

XEV_API int32_t XEV_CALL XEVRenameExpressionItem(ExprContext* ec, int16_t kind, const char* oldName,
                                                 const char* newName) {
  using namespace xev::core;
  using namespace xev::language;
  if (ec == nullptr || oldName == nullptr || newName == nullptr) return 0;
  bool function = kind == XEV_ITEM_FUNCTION;
  ExpItem* item = FindItem(function ? ec->functionItems : ec->dataItems, oldName);
  if (item == nullptr) return 0;
  // Both names may point into the item's own field, which changes below.
  char oldCopy[sizeof item->name];
  char newCopy[sizeof item->name];
  FitName(oldCopy, item->name);
  FitName(newCopy, newName);
  std::memcpy(item->name, newCopy, sizeof newCopy);
  NoteContextChange(ec);
  LockedExpressions expressions(ec);
  for (ExprRecord* exp : expressions) RenameInExpression(exp, function, oldCopy, newCopy);
  return 0;
}

}  // extern "C"
