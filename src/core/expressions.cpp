// Expressions: the records behind HEXPs, their lookup, classification,
// copying, enumeration and destruction, and generated names.
#include "core/expressions.h"

#include "core/formula_index.h"
#include "core/item_index.h"

#include <cstring>

#include "host/host.h"
#include "core/expr_node.h"
#include "core/upper_layers.h"
#include "xev/xev.h"

namespace xev::core {


LockedExpressions::LockedExpressions(const ExprContext* ec) {
  if (ec == nullptr || ec->expressions == nullptr) return;
  uint32_t count = 0;
  records_ = static_cast<ExprRecord**>(HandleArrayLockAll(ec->expressions, &count));
  if (records_ == nullptr) return;
  list_ = ec->expressions;
  count_ = count;
}

LockedExpressions::~LockedExpressions() {
  if (list_ != nullptr) HandleArrayUnlock(list_);
}

bool SameName(const char* a, const char* b) {
  // Most names differ in their first byte; checking it inline saves a call.
  return a != nullptr && b != nullptr && a[0] == b[0] && std::strcmp(a, b) == 0;
}

namespace {

// The item name field need not hold a terminator in all of its 65 bytes.
bool ItemNameEquals(const ExpItem* item, const char* name) {
  constexpr size_t kField = sizeof(item->name);
  if (item->name[0] != name[0] || std::strncmp(item->name, name, kField) != 0) return false;
  // Equal over the whole field: a name that fills it must end right after.
  return strnlen(name, kField) < kField || name[kField] == '\0';
}

bool IsFunctionName(ExprContext* ec, const char* name) {
  // Shorter names than the name field are what the index answers for.
  if (strnlen(name, sizeof(ExpItem::name)) < sizeof(ExpItem::name)) return FindFunctionItem(ec, name) != nullptr;
  HGLOBAL list = ec->functionItems;
  uint32_t count = HandleArrayCount(list);
  if (count == 0) return false;
  auto** items = static_cast<ExpItem**>(HandleArrayLockElement(list, 0));
  if (items == nullptr) return false;
  bool found = false;
  for (uint32_t i = 0; i < count && !found; ++i) found = items[i] != nullptr && ItemNameEquals(items[i], name);
  HandleArrayUnlock(list);
  return found;
}

// Copies min(size, length + 1) bytes and terminates within the buffer;
// returns min(size, length), so a cut string reports the buffer size.
int32_t CopyByBufferRule(const char* text, int32_t size, char* buffer) {
  if (buffer == nullptr || size < 1) return 0;
  if (text == nullptr) text = "";
  int32_t length = static_cast<int32_t>(std::strlen(text));
  int32_t copied = size < length + 1 ? size : length + 1;
  std::memcpy(buffer, text, static_cast<size_t>(copied));
  buffer[size - 1 < length ? size - 1 : length] = '\0';
  return size < length ? size : length;
}

bool IsSimpleRoot(const ExprNode* root) {
  return root != nullptr &&
         (root->kind == NK_NUMBER || root->kind == NK_STRING || root->kind == NK_DATE);
}

bool IsSimpleInputRoot(const ExprNode* root) { return root != nullptr && root->kind == NK_ITEM; }

int32_t OrdinalOf(const LockedExpressions& expressions, const ExprRecord* exp) {
  // A record stands in the list once; formulas are mostly destroyed soon
  // after they were made, so the search starts at the end.
  for (uint32_t i = expressions.count(); i-- > 0;) {
    if (expressions[i] == exp) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t OrdinalOf(const ExprContext* ec, const ExprRecord* exp) {
  LockedExpressions expressions(ec);
  return OrdinalOf(expressions, exp);
}

void Notify(ExprContext* ec, int32_t code) {
  if (ec->notifyCallback != nullptr) ec->notifyCallback(ec, code);
}

// The buffer for generated names, one per thread: a stem of at most 128 bytes
// and a 16-bit counter. It remembers what it holds, so that the next name,
// which is mostly the number after the last one, is made by counting up the
// digits in place instead of writing the stem and the number anew.
struct NameBuffer {
  char text[160];
  const char* stem;  // the label text begins with; nullptr before the first name
  size_t stemLength;
  bool stemIsPlain;  // a letter, then letters and digits
  size_t digitCount;
  uint16_t number;  // what the digits after the stem spell
};
thread_local NameBuffer t_generated{};
constexpr size_t kMaxStemLength = sizeof t_generated.text - 6;  // room for five digits and the end

// Writes number in decimal at out and terminates it; returns how many digits.
size_t WriteNumber(char* out, uint16_t number) {
  char digits[5];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number = static_cast<uint16_t>(number / 10);
  } while (number != 0);
  const size_t written = count;
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
  return written;
}

// Turns the digits of a number into those of the next one in place, so that
// the tries of a generated name count up without writing every number anew.
void IncrementDigits(char* digits, size_t* count) {
  size_t at = *count;
  while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
  if (at > 0) {
    ++digits[at - 1];
    return;
  }
  std::memmove(digits + 1, digits, *count + 1);  // 9...9 became 0...0: one digit more
  digits[0] = '1';
  ++*count;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Makes the buffer spell stem and number.
void SpellGeneratedName(NameBuffer& name, const char* stem, uint16_t number) {
  if (name.stem != stem) {
    name.stem = stem;
    name.stemLength = strnlen(stem, kMaxStemLength);
    std::memcpy(name.text, stem, name.stemLength);
    name.stemIsPlain = name.stemLength > 0 && IsAsciiLetter(stem[0]);
    for (size_t i = 1; i < name.stemLength; ++i) {
      if (!IsAsciiLetter(stem[i]) && !(stem[i] >= '0' && stem[i] <= '9')) name.stemIsPlain = false;
    }
  } else if (name.number == number) {
    return;
  }
  name.number = number;
  name.digitCount = WriteNumber(name.text + name.stemLength, number);
}

// The next number, past 65535 starting again at 0.
void CountUp(NameBuffer& name) {
  ++name.number;
  if (name.number == 0) {
    name.digitCount = WriteNumber(name.text + name.stemLength, 0);
  } else {
    IncrementDigits(name.text + name.stemLength, &name.digitCount);
  }
}

}  // namespace

const char* GenerateExpressionName(ExprContext* ec, int32_t kind) { return MakeGeneratedName(ec, kind).text; }

GeneratedName MakeGeneratedName(ExprContext* ec, int32_t kind) {
  uint16_t* counter = &ec->nextFormulaNumber;
  uint32_t label = 208;
  if (kind == kGenerateRange) {
    counter = &ec->nextRangeNumber;
    label = 214;
  } else if (kind == kGenerateSet) {
    counter = &ec->nextSetNumber;
    label = 215;
  }
  const char* stem = Label(label);
  if (stem == nullptr) stem = "";
  NameBuffer& name = t_generated;
  SpellGeneratedName(name, stem, *counter);
  // Every generated name ends in a digit: while no function's name does,
  // the function names need not be asked.
  const bool mayBeFunction = FunctionNameMayEndInDigit(ec);
  // The list stays locked across the tries: the counter holds the last number
  // used, so formulas parsed one after another try two names each.
  LockedExpressions expressions(ec);
  // Formulas named one after another leave the last number used on the
  // newest formula: that try is told taken by its name alone.
  const char* newest = expressions.count() > 0 ? expressions[expressions.count() - 1]->name : nullptr;
  // Every 16-bit number is tried at most once, so a context that holds all of
  // them cannot make this loop forever; the last one tried is then returned.
  for (uint32_t tries = 0;; ++tries) {
    const bool taken = (tries == 0 && SameName(newest, name.text)) ||
                       FormulaIndexHolds(ec, expressions, name.text, name.stemLength + name.digitCount);
    if (!taken && !(mayBeFunction && IsFunctionName(ec, name.text))) {
      *counter = name.number;
      return GeneratedName{name.text, name.stemLength + name.digitCount, true, name.stemIsPlain};
    }
    if (tries == 0xFFFF) break;
    CountUp(name);
  }
  // Every number taken: the last one tried is returned, and the counter moves
  // on past it as after any other try.
  *counter = static_cast<uint16_t>(name.number + 1);
  return GeneratedName{name.text, name.stemLength + name.digitCount, false, name.stemIsPlain};
}

int32_t AppendExpression(ExprContext* ec, HEXP exp) {
  if (ec == nullptr) return 0;
  if (!FormulaIndexReserve(ec)) return 0;
  HGLOBAL list = ec->expressions;
  if (list == nullptr) {
    list = HandleArrayCreate(kSlotSize, 1);
  } else {
    list = HandleArrayAppend(list);
  }
  if (list == nullptr) {
    // A context without expressions holds no index either.
    if (ec->expressions == nullptr) FormulaIndexRelease(ec);
    return 0;
  }
  ec->expressions = list;
  {
    // One lock serves the new slot and the index entry.
    LockedExpressions expressions(ec);
    const uint32_t last = expressions.count() - 1;
    expressions.Set(last, exp);
    FormulaIndexAppended(ec, expressions);
  }
  CountFormulaNaming(ec, exp, 1);
  NoteExpressionChange(ec);
  return 1;
}

void CountFormulaNaming(ExprContext* ec, const ExprRecord* exp, int32_t step) {
  if (exp->holdsNoFormulaReference == 0) ec->formulasNamingFormulas += static_cast<uint32_t>(step);
}

namespace {

// Releases the block of a record's text and name, and the name's own block
// when the record was put together by hand.
void ReleaseExpressionStrings(ExprRecord* record) {
  if (record->nameInTextBlock == 0) HostFree(record->name);
  HostFree(record->text);
}

}  // namespace

void ReleaseExpressionRecord(ExprContext* ec, ExprRecord* record) {
  if (record == nullptr) return;
  kUpperLayers.releasePlan(record);
  kUpperLayers.releaseTree(ec, record->root);
  ReleaseExpressionStrings(record);
  HostFree(record);
}

bool SetExpressionStrings(ExprRecord* record, const char* text, const char* name) {
  const size_t textBytes = std::strlen(text) + 1;
  const size_t nameBytes = name != nullptr ? std::strlen(name) + 1 : 0;
  // Every byte is written: the block need not be cleared first.
  auto* block = static_cast<char*>(host::AllocateUnclearedBlock(textBytes + nameBytes));
  if (block == nullptr) return false;
  std::memcpy(block, text, textBytes);
  if (name != nullptr) std::memcpy(block + textBytes, name, nameBytes);
  ReleaseExpressionStrings(record);
  record->text = block;
  record->name = name != nullptr ? block + textBytes : nullptr;
  record->nameInTextBlock = 1;
  return true;
}

void AdoptExpressionStrings(ExprRecord* record, char* block, bool named) {
  ReleaseExpressionStrings(record);
  record->text = block;
  record->name = named ? block + std::strlen(block) + 1 : nullptr;
  record->nameInTextBlock = 1;
}

int32_t CheckSetElements(ExprContext* ec, HGLOBAL list, ExprError* error) {
  auto fail = [error](uint32_t code, uint32_t pos, uint32_t len) {
    if (error != nullptr) *error = ExprError{code, pos, len};
  };
  if ((ec->flags & ECF_RANGES_SETS) == 0) {
    fail(XEV_ERR_SYNTAX, 0, 0);
    return -1;
  }
  uint32_t count = HandleArrayCount(list);
  if (count == 0) return -1;
  auto** elements = static_cast<ExprNode**>(HandleArrayLockElement(list, 0));
  const ExprNode* first = elements[0];
  int32_t setType = first->type;
  // A keyword-typed first element is reported but does not stop the check.
  if (setType >= 255) fail(XEV_ERR_KEYWORD, first->pos, first->len);
  for (uint32_t i = 1; i < count; ++i) {
    const ExprNode* element = elements[i];
    if (element->type == setType) continue;
    fail(element->type < 255 ? 134 : 129, element->pos, element->len);
    setType = -1;
    break;
  }
  HandleArrayUnlock(list);
  return setType;
}

}  // namespace xev::core

using xev::core::LockedExpressions;
using xev::core::SameName;
using xev::core::ExprNode;

extern "C" {

XEV_API int32_t XEV_CALL XEVGetExpressionCount(ExprContext* ec) {
  if (ec == nullptr) return 0;
  return static_cast<int32_t>(xev::core::HandleArrayCount(ec->expressions));
}

XEV_API int32_t XEV_CALL XEVGetExpressionTextLength(ExprContext* /*ec*/, HEXP exp) {
  if (exp == nullptr || exp->text == nullptr) return 0;
  return static_cast<int32_t>(std::strlen(exp->text));
}

XEV_API int32_t XEV_CALL XEVGetExpressionText(ExprContext* /*ec*/, HEXP exp, int32_t size, char* buffer) {
  if (exp == nullptr) return 0;
  return xev::core::CopyByBufferRule(exp->text, size, buffer);
}

XEV_API int32_t XEV_CALL XEVGetExpressionNameLength(ExprContext* /*ec*/, HEXP exp) {
  if (exp == nullptr || exp->name == nullptr) return 0;
  return static_cast<int32_t>(std::strlen(exp->name));
}

XEV_API int32_t XEV_CALL XEVGetExpressionName(ExprContext* /*ec*/, HEXP exp, int32_t size, char* buffer) {
  if (exp == nullptr || exp->name == nullptr) return -1;
  return xev::core::CopyByBufferRule(exp->name, size, buffer);
}

XEV_API HEXP XEV_CALL XEVHEXPFromName(ExprContext* ec, const char* name) {
  int32_t ordinal = xev::core::FormulaIndexFind(ec, name);
  if (ordinal < 0) return nullptr;
  xev::core::LockedExpressions expressions(ec);
  return expressions[static_cast<uint32_t>(ordinal)];
}

XEV_API HEXP XEV_CALL XEVHEXPFromText(ExprContext* ec, const char* text) {
  LockedExpressions expressions(ec);
  for (ExprRecord* exp : expressions) {
    if (SameName(exp->text, text)) return exp;
  }
  return nullptr;
}

XEV_API HEXP XEV_CALL XEVHEXPFromOrdinal(ExprContext* ec, int32_t ordinal) {
  LockedExpressions expressions(ec);
  if (ordinal < 0 || static_cast<uint32_t>(ordinal) >= expressions.count()) return nullptr;
  return expressions[static_cast<uint32_t>(ordinal)];
}

XEV_API int32_t XEV_CALL XEVGetExpressionOrdinal(ExprContext* ec, HEXP exp) {
  if (exp == nullptr) return -1;
  return xev::core::OrdinalOf(ec, exp);
}

XEV_API int16_t XEV_CALL XEVGetExpressionDataType(ExprContext* /*ec*/, HEXP exp) {
  if (exp == nullptr) return -1;
  return static_cast<int16_t>(exp->dataType);
}

XEV_API int32_t XEV_CALL XEVIsExpRange(ExprContext* /*ec*/, HEXP exp, int16_t which) {
  if (exp == nullptr || exp->root == nullptr) return 0;
  if (which == 1) return exp->root->kind == xev::core::NK_SET ? 1 : 0;
  if (which == 2) return exp->root->kind == xev::core::NK_RANGE ? 1 : 0;
  return 0;
}

XEV_API int32_t XEV_CALL XEVIsExpressionSimple(ExprContext* /*ec*/, HEXP exp) {
  return exp != nullptr && xev::core::IsSimpleRoot(exp->root) ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVIsExpressionSimpleInput(ExprContext* /*ec*/, HEXP exp) {
  return exp != nullptr && xev::core::IsSimpleInputRoot(exp->root) ? 1 : 0;
}

XEV_API int16_t XEV_CALL XEVGetSimpleInputSubClass(ExprContext* ec, HEXP exp) {
  if (exp == nullptr || !xev::core::IsSimpleInputRoot(exp->root)) return -1;
  ExprContext* owner = exp->ec != nullptr ? exp->ec : ec;
  if (owner == nullptr) return -1;
  const ExpItem* item =
      xev::core::FindItem(owner->dataItems, static_cast<const char*>(exp->root->left));
  if (item == nullptr) return -1;
  return item->subclass;
}

XEV_API int32_t XEV_CALL XEVDestroyEXP(ExprContext* ec, HEXP exp) {
  if (exp == nullptr) return 1;
  int32_t ordinal = -1;
  uint32_t count = 0;
  {
    const xev::core::LockedExpressions expressions(ec);
    ordinal = xev::core::OrdinalOf(expressions, exp);
    count = expressions.count();
  }
  if (ordinal < 0) return 0;
  const uint32_t naming = ec->formulasNamingFormulas - (exp->holdsNoFormulaReference == 0 ? 1 : 0);
  if (naming > 0 && xev::core::kUpperLayers.formulaUsedByOthers(ec, exp->name, exp)) return 0;
  xev::core::CountFormulaNaming(ec, exp, -1);
  if (count < 2) {
    xev::core::HandleArrayFree(ec->expressions);
    ec->expressions = nullptr;
    xev::core::FormulaIndexRelease(ec);
  } else {
    ec->expressions = xev::core::HandleArrayDelete(ec->expressions, ordinal);
    xev::core::FormulaIndexRemoved(ec, exp, static_cast<uint32_t>(ordinal), count - 1);
  }
  xev::core::ReleaseExpressionRecord(ec, exp);
  xev::core::NoteExpressionChange(ec);
  xev::core::Notify(ec, 1);
  return 1;
}

XEV_API HEXP XEV_CALL XEVCloneExpression(ExprContext* ec, HEXP exp, const char* newName, uint16_t* typeOut) {
  if (ec == nullptr || exp == nullptr || exp->text == nullptr) return nullptr;
  const char* name = nullptr;
  if (newName != nullptr && newName[0] != '\0' && XEVIsExpNameUnique(ec, nullptr, newName)) name = newName;
  return XEVParseString(ec, exp->text, name, nullptr, typeOut);
}

XEV_API int32_t XEV_CALL XEVEnumExpressions(ExprContext* ec, XEVEnumExpressionsCallback callback) {
  if (ec == nullptr || callback == nullptr) return 0;
  LockedExpressions expressions(ec);
  int32_t result = 0;
  for (uint32_t i = 0; i < expressions.count(); ++i) {
    result = callback(ec, expressions[i], static_cast<int32_t>(i));
    if (result == 0) break;
  }
  return result;
}

XEV_API int32_t XEV_CALL XEVIsExpNameUnique(ExprContext* ec, HEXP skip, const char* name) {
  if (ec == nullptr || name == nullptr) return 1;
  if (xev::core::FormulaIndexNameTaken(ec, name, skip)) return 0;
  return xev::core::IsFunctionName(ec, name) ? 0 : 1;
}

XEV_API int32_t XEV_CALL XEVIsExpNameGenerated(ExprContext* /*ec*/, HEXP exp) {
  if (exp == nullptr || exp->name == nullptr) return 0;
  const char* stem = xev::core::Label(208);
  if (stem == nullptr) return 0;
  size_t stemLength = std::strlen(stem);
  if (std::strncmp(exp->name, stem, stemLength) != 0) return 0;
  // Digits are single bytes in every code page, so checking bytes is the
  // same as stepping characters: any double-byte character fails.
  for (const char* p = exp->name + stemLength; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
  }
  return 1;
}

}  // extern "C"
