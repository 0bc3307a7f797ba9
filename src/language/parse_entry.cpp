// The parse entry points: formula text in, a named expression of the
// context out, or an error code with the span it applies to. Also the name
// checks that decide which texts may serve as formula and item names.
#include <array>
#include <cstring>

#include "language/dependencies.h"
#include "core/expressions.h"
#include "core/formula_index.h"
#include "core/item_index.h"
#include "host/host.h"
#include "language/language.h"
#include "xev/xev.h"

namespace xev::language {

namespace {


constexpr int32_t kNotifyAdded = 2;
constexpr int32_t kNotifyRenamed = 3;

void SetParseError(uint32_t code, uint32_t pos, uint32_t len) { ParseError() = ExprError{code, pos, len}; }

void ReportTo(ExprError* error) {
  if (error != nullptr) *error = ParseError();
}

uint32_t ByteLength(const char* text) { return static_cast<uint32_t>(std::strlen(text)); }

// Two root types are stored under the type their values travel as.
uint16_t StoredDataType(int16_t rootType) {
  if (rootType == TK_STRING) return XEV_TYPE_STRING;
  if (rootType == TK_NUMBER) return XEV_TYPE_NUMBER;
  return static_cast<uint16_t>(rootType);
}

int32_t GenerationKindOf(const ExprNode* root) {
  if (root->kind == NK_SET) return core::kGenerateSet;
  if (root->kind == NK_RANGE) return core::kGenerateRange;
  return core::kGenerateFormula;
}

ExprRecord* FailParse(ExprContext* ec, ExprRecord* record, ExprError* error) {
  core::ReleaseExpressionRecord(ec, record);
  ReportTo(error);
  return nullptr;
}

bool GeneratedNameIsValid(ExprContext* ec, const char* name, size_t length, ExprError* error);

// Parses text into a new record that belongs to no list yet: tree, type,
// text copy, name (given or generated), name check and recursion check.
// *nameUnique tells that the name was generated and found unique, so the
// caller need not ask again.
ExprRecord* ParseNewRecord(ExprContext* ec, const char* text, const char* name, ExprError* error,
                           uint16_t* typeOut, bool* nameUnique) {
  *nameUnique = false;
  auto* record = static_cast<ExprRecord*>(HostAlloc(sizeof(ExprRecord)));
  if (record == nullptr) {
    SetParseError(XEV_ERR_MEMORY, 0, 0);
    ReportTo(error);
    return nullptr;
  }
  ScannerReset(text, ec, false);
  if (ParseTokens() != 0) {
    HostFree(record);
    // A date the host refused explains the failure better than the syntax
    // error that its pieces caused.
    uint32_t pos = 0;
    uint32_t len = 0;
    if (RejectedDate(&pos, &len)) SetParseError(XEV_ERR_INVALIDDATE, pos, len);
    ReportTo(error);
    return nullptr;
  }
  record->root = TakeParseRoot();
  // Read before the name check, which is a parse of its own.
  record->holdsNoFormulaReference = ParsedTreeHasFormulaReference() ? 0 : 1;
  record->ec = ec;
  record->dataType = StoredDataType(record->root->type);
  if (typeOut != nullptr) *typeOut = record->dataType;

  const bool named = name != nullptr && name[0] != '\0';
  core::GeneratedName generated{};
  if (!named) generated = core::MakeGeneratedName(ec, GenerationKindOf(record->root));
  if (!core::SetExpressionStrings(record, text, named ? name : generated.text)) {
    SetParseError(XEV_ERR_MEMORY, 0, 0);
    return FailParse(ec, record, error);
  }
  const bool valid = generated.plain ? GeneratedNameIsValid(ec, record->name, generated.length, error)
                                     : XEVValidName(ec, record->name, error) != 0;
  if (!valid) {
    // The name check is a parse of its own; running out of memory there is
    // no verdict on the name.
    if (ParseError().code == XEV_ERR_MEMORY) {
      SetParseError(XEV_ERR_MEMORY, 0, 0);
    } else {
      SetParseError(XEV_ERR_NAME, 0, ByteLength(text));
    }
    return FailParse(ec, record, error);
  }
  // A tree that names no formula cannot refer to itself, nor can one whose
  // name no tree names: that walk would cost a chain of formulas a walk of
  // the whole chain for every link.
  const ExprNode* reference = nullptr;
  const bool cannotReachItself =
      record->holdsNoFormulaReference != 0 ||
      (ec->mayNameMissingFormulas == 0 && core::FormulaIndexFind(ec, record->name) < 0);
  int32_t found = cannotReachItself ? 0 : FindReferenceTo(ec, record->root, record->name, &reference);
  if (found > 0) {
    SetParseError(XEV_ERR_RECURSIVE, reference->pos, reference->len);
    return FailParse(ec, record, error);
  }
  if (found < 0) {
    SetParseError(XEV_ERR_MEMORY, 0, 0);
    return FailParse(ec, record, error);
  }
  *nameUnique = generated.unique;
  return record;
}

// Moves the new tree, text, name and type into the existing record, telling
// the host first when the formula changes its name.
void ReplaceInPlace(ExprContext* ec, ExprRecord* existing, ExprRecord* fresh) {
  if (!core::SameName(existing->name, fresh->name)) {
    ec->mayNameMissingFormulas = 1;  // the formulas that named the old name now name none
    if (ec->renameCallback != nullptr) {
      ec->renameCallback(ec, existing->name, fresh->name);
      if (ec->notifyCallback != nullptr) ec->notifyCallback(ec, kNotifyRenamed);
    }
  }
  core::FormulaIndexInvalidate(ec);
  core::NoteExpressionChange(ec);
  ReleaseTree(ec, existing->root);
  existing->root = fresh->root;
  core::AdoptExpressionStrings(existing, fresh->text, true);
  existing->dataType = fresh->dataType;
  core::CountFormulaNaming(ec, existing, -1);
  existing->holdsNoFormulaReference = fresh->holdsNoFormulaReference;
  core::CountFormulaNaming(ec, existing, 1);
  HostFree(fresh);
}

// A copy of the name passed through the host's normalisation must come back
// unchanged. Short names are copied on the stack.
bool SurvivesNormalisation(const char* name) {
  char local[256];
  size_t bytes = std::strlen(name) + 1;
  char* copy = bytes <= sizeof local ? local : static_cast<char*>(HostAlloc(bytes));
  if (copy == nullptr) {
    SetParseError(XEV_ERR_MEMORY, 0, 0);
    return false;
  }
  std::memcpy(copy, name, bytes);
  HostStrNormalize(copy);
  bool same = HostStrEqual(copy, name) != 0;
  if (copy != local) HostFree(copy);
  return same;
}

// Most names, and every generated one, are a letter followed by letters and
// digits. Such a name scans as one name token, unless it is a word of at most
// eight letters, which may be a keyword; parsed alone it makes an item node,
// which only a keyword item type can refuse; and normalisation, which drops
// control characters and trailing blanks, leaves it as it is. So the name
// check's verdict on it is known without the parse when it is positive; any
// other name, and any name refused here, goes through the parse.
constexpr size_t kLongestKeyword = 8;
constexpr size_t kLongestPlainName = 255;

// What each byte may be in a plain name: a letter, a digit, or neither.
enum PlainByte : uint8_t { kNotPlain = 0, kLetter = 1, kDigit = 2 };
constexpr auto kPlainBytes = [] {
  std::array<uint8_t, 256> kinds{};
  for (int c = 'A'; c <= 'Z'; ++c) kinds[c] = kinds[c + ('a' - 'A')] = kLetter;
  for (int c = '0'; c <= '9'; ++c) kinds[c] = kDigit;
  return kinds;
}();

bool PlainNameIsValid(ExprContext* ec, const char* name) {
  if (kPlainBytes[static_cast<uint8_t>(name[0])] != kLetter) return false;
  size_t length = 1;
  uint8_t seen = 0;
  for (;; ++length) {
    const uint8_t kind = kPlainBytes[static_cast<uint8_t>(name[length])];
    if (kind == kNotPlain) break;
    seen |= kind;
  }
  if (name[length] != '\0' || length > kLongestPlainName) return false;
  if ((seen & kDigit) == 0 && length <= kLongestKeyword) return false;
  int32_t type = core::DataItemType(ec, name);
  if (type == -1) type = core::KeywordItemType(ec, name);
  if (static_cast<int16_t>(type) > 255) return false;
  ParseError() = ExprError{};  // as a successful parse leaves it
  return true;
}

// The name check of a generated name of plain bytes, which has digits and is
// short: only an item of a keyword type by that name can refuse it, and a
// data item can be one only while some data item of a keyword type has a name
// ending in a digit. A refusal is left to the full check.
bool GeneratedNameIsValid(ExprContext* ec, const char* name, size_t length, ExprError* error) {
  int32_t type = core::KeywordTypedDataNameMayEndInDigit(ec) ? core::DataItemType(ec, name) : -1;
  if (type == -1) type = core::KeywordItemType(ec, name);
  if (static_cast<int16_t>(type) > 255) return XEVValidName(ec, name, error) != 0;
  ParseError() = ExprError{};
  if (error != nullptr) *error = ExprError{XEV_ERR_INPUT, 0, static_cast<uint32_t>(length)};
  return true;
}

}  // namespace

}  // namespace xev::language

using namespace xev::language;

extern "C" {

XEV_API HEXP XEV_CALL XEVParseString(ExprContext* ec, const char* text, const char* name, ExprError* error,
                                     uint16_t* typeOut) {
  if (ec == nullptr) return nullptr;
  if (text == nullptr) text = "";
  bool nameUnique = false;
  ExprRecord* record = ParseNewRecord(ec, text, name, error, typeOut, &nameUnique);
  if (record == nullptr) return nullptr;
  if (xev::core::AppendExpression(ec, record) == 0) {
    xev::core::ReleaseExpressionRecord(ec, record);
    SetParseError(XEV_ERR_MEMORY, 0, 0);
    ReportTo(error);
    return nullptr;
  }
  if (ec->notifyCallback != nullptr) ec->notifyCallback(ec, kNotifyAdded);
  return record;
}

XEV_API HEXP XEV_CALL XEVParseFormula(ExprContext* ec, HEXP existing, const char* text, const char* name,
                                      ExprError* error, uint16_t* typeOut) {
  // Replacing an expression of another context would change that context's
  // list behind its back.
  if (ec == nullptr || (existing != nullptr && existing->ec != ec)) return nullptr;
  if (text == nullptr) text = "";
  bool nameUnique = false;
  ExprRecord* record = ParseNewRecord(ec, text, name, error, typeOut, &nameUnique);
  if (record == nullptr) return nullptr;
  uint32_t code = 0;
  if (existing != nullptr) {
    if (XEVIsExpNameUnique(ec, existing, record->name) == 0) {
      code = XEV_ERR_DUPNAME;
    } else if (existing->dataType != record->dataType && XEVIsNamedFormulaUsed(ec, record->name) != 0) {
      code = XEV_ERR_EXPDATATYPE;
    } else {
      ReplaceInPlace(ec, existing, record);
      return existing;
    }
  } else if (!nameUnique && XEVIsExpNameUnique(ec, nullptr, record->name) == 0) {
    code = XEV_ERR_DUPNAME;
  } else if (xev::core::AppendExpression(ec, record) == 0) {
    code = XEV_ERR_MEMORY;
  } else {
    return record;
  }
  xev::core::ReleaseExpressionRecord(ec, record);
  SetParseError(code, 0, ByteLength(text));
  ReportTo(error);
  return nullptr;
}

XEV_API int32_t XEV_CALL XEVValidName(ExprContext* ec, const char* name, ExprError* error) {
  if (name == nullptr) name = "";
  if (ec == nullptr) {
    xev::core::EnsureStarted();
    ec = xev::core::DefaultContext();
  }
  bool valid = false;
  if (ec != nullptr && PlainNameIsValid(ec, name)) {
    valid = true;
  } else if (ec != nullptr) {
    ScannerReset(name, ec, true);
    int32_t failed = ParseTokens();
    ExprNode* root = TakeParseRoot();
    valid = failed == 0 && root != nullptr && root->kind == NK_ITEM && SurvivesNormalisation(name);
    ReleaseTree(ec, root);
  }
  if (error != nullptr) *error = ExprError{XEV_ERR_INPUT, 0, ByteLength(name)};
  return valid ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVInputNameIsKeyword(char* destination, const char* name) {
  if (destination == nullptr) return 0;
  if (name == nullptr || name[0] == '\0') {
    destination[0] = '\0';
    return 0;
  }
  const size_t length = std::strlen(name);
  if (!IsDateUnitWord(name, length)) {
    std::memmove(destination, name, length + 1);
    return 0;
  }
  std::memmove(destination + 1, name, length + 1);
  destination[0] = '_';
  return 1;
}

}  // extern "C"
