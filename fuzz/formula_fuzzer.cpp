// Builds formulas from the language itself, driven by the input bytes, into a
// context with data items of every type, keyword items, host functions, the
// built-in functions and the formulas accepted before, and checks on every
// input what must hold beyond "no crash":
//  - a refused formula reports a code of the error table with a span inside
//    its text;
//  - an accepted formula evaluates to a value of its type, the same bytes
//    twice, and its extended text parses again to the same type and value;
//  - renaming an item and renaming it back gives every formula its text back;
//  - the context written to a block and loaded into a fresh one has the same
//    formula names, types, dependency answers and results;
//  - every host block handed out has been returned when the input is done.
//
// Input: a flags byte, a byte for the item values, then lines. A line that
// starts with '=' is a literal definition "name = text" (the seeds are the
// formulas of tests/ and examples/); any other line drives the generator.
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "eval/evaluator.h"
#include "fuzz/fuzz_support.h"
#include "xev/xev.h"

namespace {

// The formula being checked, told when a check fails.
std::string g_current;

void Check(bool condition) {
  if (condition) return;
  std::fprintf(stderr, "formula_fuzzer: check failed on formula text [%s]\n", g_current.c_str());
  std::abort();
}

// Evaluation follows every reference anew, so formulas that each name the
// one before twice cost 2^n: a few formulas with few references each keep
// every input fast.
constexpr int kMostFormulas = 10;
constexpr int kMostReferences = 2;
constexpr int kDeepest = 6;

// ---- Item values: fixed by the input's second byte -----------------------------

uint8_t g_valueSeed = 0;

int32_t XEV_CALL NumberItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  unsigned pick = (static_cast<unsigned char>(name[0]) + g_valueSeed) % 7;
  if (pick == 6) return 0;  // the host has no value this time
  static const char* const kNumbers[] = {"0", "12.5", "-3", "1E+40", "0.0001", "99999999999"};
  NumberValue n{};
  if (pick == 5 && g_valueSeed % 2 == 1) {
    NumberSetNull(&n);
  } else {
    HostStrToNumber(&n, kNumbers[pick]);
  }
  std::memcpy(*result, &n, sizeof n);
  return 1;
}

int32_t XEV_CALL DateItem(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  NumberValue n{};
  DateParts parts{1 + (name[0] + g_valueSeed) % 12, 1 + g_valueSeed % 28, 1990 + g_valueSeed % 40, g_valueSeed % 24,
                  g_valueSeed % 60, 0, 0};
  if (g_valueSeed % 9 != 8) n.bytes[0] = DatePartsToNumber(n.bytes + 1, &parts);  // else NULL
  std::memcpy(*result, &n, sizeof n);
  return 1;
}

int32_t XEV_CALL TextItem(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  static const char* const kTexts[] = {"", "Smith & Co.", "  padded  ", "O'Neil", "12/25/2001", "42", "\xC9t\xE9"};
  return FUNStrVarResult(result, size, kTexts[(static_cast<unsigned char>(name[0]) + g_valueSeed) % 7]);
}

int32_t XEV_CALL HostTwice(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  NumberValue n{};
  if (args != nullptr && args[0] != nullptr) NumberAdd(&n, static_cast<NumberValue*>(args[0]), static_cast<NumberValue*>(args[0]));
  std::memcpy(*result, &n, sizeof n);
  return 1;
}

int32_t XEV_CALL HostAggregate(ExprContext*, HEXP, int32_t, void** result, const char*, void**) {
  IntToNumber(static_cast<NumberValue*>(*result), 7);
  return 1;
}

// Data items are bound by name, so a block loaded into a fresh context finds
// the same values through this callback.
intptr_t XEV_CALL Resolve(const char* name) {
  if (std::strcmp(name, "number") == 0) return reinterpret_cast<intptr_t>(&NumberItem);
  if (std::strcmp(name, "date") == 0) return reinterpret_cast<intptr_t>(&DateItem);
  if (std::strcmp(name, "text") == 0) return reinterpret_cast<intptr_t>(&TextItem);
  if (std::strcmp(name, "HostOperator") == 0) return reinterpret_cast<intptr_t>(&fuzz_support::HostOperator);
  return 0;
}

// ---- The context ------------------------------------------------------------------

struct ItemName {
  const char* name;
  int type;
};

// The items of the formula corpus in tests/ and of the example report.
const ItemName kDataItems[] = {
    {"Amount", 0},     {"Price", 0},       {"Quantity", 0},  {"Discount", 0},    {"Freight", 0},
    {"Weight", 0},     {"CustomerNo", 0},  {"Orders.Lines.Total", 0}, {"Unit_Price", 0}, {"\"Net Sales\"", 0},
    {"Customer", 2},   {"City", 2},        {"Region", 2},    {"Country", 2},     {"ProductName", 2},
    {"Category", 2},   {"SalesRep", 2},    {"\"Ship Via\"", 2}, {"Order_ID", 2},
    {"OrderDate", 1},  {"ShipDate", 1},    {"DueDate", 1},   {"PaidDate", 1},    {"Order_Date", 1},
    {"Ship_Date", 1}};

void AddFunction(ExprContext* ec, const char* name, int16_t type, ExpParam param, uint16_t flags, intptr_t entry) {
  ExpItem item{};
  item.kind = XEV_ITEM_FUNCTION;
  item.dataType = type;
  item.boundValue = entry;
  std::strncpy(item.name, name, sizeof item.name - 1);
  item.paramCount = 1;
  item.flags = flags;
  item.params[0] = param;
  XEVAddExpressionItem(ec, &item);
}

// What a host sets up again at every start: functions and keyword items.
ExprContext* NewContext(uint16_t flags) {
  ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, flags);
  if (ec == nullptr) return nullptr;
  FUNDefineFunctions(ec);
  fuzz_support::CapGrowingFunctions(ec);
  const auto aggregate = reinterpret_cast<intptr_t>(&HostAggregate);
  AddFunction(ec, "Sum", XEV_TYPE_NUMBER, {1, XEV_TYPE_NUMBER, 0}, XEV_FN_DISTINCT | XEV_FN_ALL, aggregate);
  AddFunction(ec, "Count", XEV_TYPE_NUMBER, {1, XEV_TYPE_ANY, 0}, XEV_FN_DISTINCT | XEV_FN_ALL, aggregate);
  AddFunction(ec, "Twice", XEV_TYPE_NUMBER, {0, XEV_TYPE_NUMBER, 0}, 0, reinterpret_cast<intptr_t>(&HostTwice));
  ExpItem keyword{};
  keyword.kind = XEV_ITEM_KEYWORD;
  keyword.dataType = 300;
  keyword.subclass = XEV_TYPE_NUMBER;
  std::strcpy(keyword.name, "PageNo");
  XEVAddExpressionItem(ec, &keyword);
  return ec;
}

// What the block carries: data items and operator callbacks.
void AddDataItems(ExprContext* ec, bool hostOperator) {
  static const char* const kBindings[] = {"number", "date", "text"};
  for (const ItemName& d : kDataItems) {
    ExpItem item{};
    item.kind = XEV_ITEM_DATA;
    item.dataType = static_cast<int16_t>(d.type);
    item.bindingName = kBindings[d.type];
    std::strncpy(item.name, d.name, sizeof item.name - 1);
    XEVAddExpressionItem(ec, &item);
  }
  if (hostOperator) XEVSetOperatorCallback(ec, 0, XEV_TYPE_STRING, "HostOperator");
}

struct Function {
  std::string name;
  int returnType;
  std::vector<ExpParam> params;
};

std::vector<Function> FunctionsOf(ExprContext* ec) {
  std::vector<Function> functions;
  uint32_t count = xev::core::HandleArrayCount(ec->functionItems);
  for (uint32_t i = 0; i < count; ++i) {
    auto** slot = static_cast<ExpItem**>(xev::core::HandleArrayLockElement(ec->functionItems, static_cast<int32_t>(i)));
    const ExpItem* item = *slot;
    Function f{item->name, item->dataType, {}};
    for (int16_t p = 0; p < item->paramCount; ++p) f.params.push_back(item->params[p]);
    functions.push_back(std::move(f));
    xev::core::HandleArrayUnlock(ec->functionItems);
  }
  return functions;
}

// ---- The generator ------------------------------------------------------------------

class Bytes {
 public:
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  uint8_t Next() { return at_ < bytes_.size() ? static_cast<uint8_t>(bytes_[at_++]) : 0; }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : Next() % n; }
  bool Chance(uint32_t in256) { return Next() < in256; }
  bool Done() const { return at_ >= bytes_.size(); }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

struct Accepted {
  std::string name;
  int type;
};

class Generator {
 public:
  Generator(Bytes& bytes, const std::vector<Function>& functions, const std::vector<Accepted>& formulas)
      : in_(bytes), functions_(functions), formulas_(formulas) {}

  // A whole formula: mostly one expression, sometimes a range or a set.
  // Every piece is drawn in its own statement: the order in which the
  // operands of one expression are evaluated differs between compilers, and
  // an input must give the same formula in every build that replays it.
  std::string Formula() {
    int type = static_cast<int>(in_.Below(3));
    uint32_t shape = in_.Below(8);
    std::string text = Expr(type, 0);
    if (shape == 0) {
      text += " AND ";
      text += Expr(type, 0);
    } else if (shape == 1) {
      for (uint32_t more = 1 + in_.Below(2); more > 0; --more) {
        text += ", ";
        text += Expr(type, 0);
      }
    }
    // A cut-off text: the scanner and parser meet an unexpected end.
    if (in_.Chance(12) && !text.empty()) text.resize(in_.Below(static_cast<uint32_t>(text.size())));
    return text;
  }

 private:
  std::string Expr(int type, int depth) {
    if (in_.Chance(10)) type = static_cast<int>(in_.Below(4));  // a wrong type on purpose; 3 is a keyword
    if (in_.Chance(6)) return NearMiss();
    bool leaf = depth >= kDeepest || in_.Done() || in_.Chance(70);
    if (type == 3) return "PageNo";
    if (leaf) return Leaf(type);
    switch (in_.Below(5)) {
      case 0: return Call(type, depth);
      case 1: return "(" + Expr(type, depth + 1) + ")";
      case 2: return Reference(type, depth);
      default: return Operation(type, depth);
    }
  }

  std::string Leaf(int type) {
    if (in_.Chance(100)) return Item(type);
    switch (type) {
      case 0: {
        static const char* const kNumbers[] = {"0", "1", "2.5", "-3", "1000000", "0.001", "1E5", "12.34",
                                               "99999999999999999999999", "-0", "1E99", "3E-99", ".5", "7."};
        return kNumbers[in_.Below(std::size(kNumbers))];
      }
      case 1: {
        static const char* const kDates[] = {"12/25/2001", "2001-12-25 10:30", "15 January, 2001", "12/25/2001 10:30 PM",
                                             "3.4.2005", "10:30:45", "Feb 29, 2004", "12/40/2001", "1/1/99",
                                             "23:59:59", "December 31, 9999"};
        return kDates[in_.Below(std::size(kDates))];
      }
      default: {
        static const char* const kTexts[] = {"'abc'", "''", "'it''s'", "'  x  '", "'yyyy-MM-dd'", "'#,##0.00'",
                                             "'\xE9t\xE9'", "'12/25/2001'", "'42'", "'a,b'", "'DAY'"};
        return kTexts[in_.Below(std::size(kTexts))];
      }
    }
  }

  std::string Item(int type) {
    std::vector<const char*> names;
    for (const ItemName& d : kDataItems)
      if (d.type == type) names.push_back(d.name);
    return names[in_.Below(static_cast<uint32_t>(names.size()))];
  }

  std::string Reference(int type, int depth) {
    if (references_ == kMostReferences) return Operation(type, depth);
    ++references_;
    std::vector<const Accepted*> fitting;
    for (const Accepted& f : formulas_)
      if (f.type == type || in_.Chance(16)) fitting.push_back(&f);
    if (fitting.empty()) return Operation(type, depth);
    return fitting[in_.Below(static_cast<uint32_t>(fitting.size()))]->name + "()";
  }

  std::string Operation(int type, int depth) {
    static const char* const kUnits[] = {"DAY", "DAYS", "MONTH", "MONTHS", "YEAR", "years", "HOUR", "MINUTES", "SECOND"};
    std::string text;
    if (type == 0 && in_.Chance(40)) {  // days between two dates
      text = Expr(1, depth + 1);
      text += " - ";
      return text + Expr(1, depth + 1);
    }
    if (type == 0) {
      text = Expr(0, depth + 1);
      text += std::string(" ") + "+-*/%"[in_.Below(5)] + " ";
      return text + Expr(0, depth + 1);
    }
    if (type == 1) {
      text = Expr(1, depth + 1);
      text += in_.Chance(128) ? " + " : " - ";
      text += Expr(0, depth + 1);
      if (in_.Chance(200)) text += std::string(" ") + kUnits[in_.Below(std::size(kUnits))];
      return text;
    }
    text = Expr(2, depth + 1);
    text += in_.Chance(230) ? " || " : " + ";
    return text + Expr(2, depth + 1);
  }

  std::string Call(int type, int depth) {
    std::vector<const Function*> fitting;
    for (const Function& f : functions_)
      if (f.returnType == type || f.returnType == XEV_TYPE_MATCHING) fitting.push_back(&f);
    if (fitting.empty()) return Leaf(type);
    const Function& f = *fitting[in_.Below(static_cast<uint32_t>(fitting.size()))];
    std::string text = f.name + "(";
    if (!f.params.empty() && f.params[0].byName != 0) {
      // Aggregates take items by name, with an optional quantifier.
      static const char* const kQuantifiers[] = {"", "DISTINCT ", "ALL ", "distinct "};
      if (in_.Chance(30)) return text + "*)";
      text += kQuantifiers[in_.Below(4)];
      return text + Item(f.params[0].type < 3 ? f.params[0].type : 0) + ")";
    }
    size_t count = f.params.size();
    if (in_.Chance(12)) count = in_.Below(static_cast<uint32_t>(count + 2));  // too few or too many
    for (size_t i = 0; i < count; ++i) {
      int want = i < f.params.size() ? f.params[i].type : 0;
      if (want > 2) want = static_cast<int>(in_.Below(3));
      if (i > 0) text += ", ";
      text += Expr(want, depth + 1);
    }
    return text + ")";
  }

  // Texts one step away from the language: keywords misspelt or split,
  // stray operators and brackets, names the scanner must refuse.
  std::string NearMiss() {
    static const char* const kMisses[] = {"DAYSS", "ANDD", "AN D", "DISTINCT", "ALL", "Mont h", "@PI", "@NOW",
                                          "StrLeft (", "Amount(", "(", ")", "||", "|", "'open", "\"Net Sales",
                                          "\"\"", "{1}", "<", "Net Sales", "1.2.3", "12/25/2001 25:00", "--1",
                                          "Amount Price", "'\x83'", "\x81\x40", "PageNo()", "Sum(Name)", "E5"};
    return kMisses[in_.Below(std::size(kMisses))];
  }

  Bytes& in_;
  const std::vector<Function>& functions_;
  const std::vector<Accepted>& formulas_;
  int references_ = 0;
};

// ---- The checks ---------------------------------------------------------------------

// The value's bytes, or "" when the formula yields none; checks that the
// value has the shape of the formula's type.
std::string ValueBytes(ExprContext* ec, HEXP exp) {
  xev::eval::Value value;
  if (!xev::eval::EvaluateFormula(ec, exp, value)) return "";
  const int type = XEVGetExpressionDataType(ec, exp);
  std::string bytes;
  if (value.kind == xev::eval::Value::kNumber) {
    Check(type == XEV_TYPE_NUMBER || type == XEV_TYPE_DATETIME);
    bytes.assign(reinterpret_cast<const char*>(&value.number), XEV_NUMBER_SIZE);
  } else {
    Check(type == XEV_TYPE_STRING && value.kind == xev::eval::Value::kText && value.text != nullptr);
    bytes = std::string("T") + value.text;
  }
  xev::eval::ReleaseValue(value);
  return "V" + bytes;
}

bool Evaluable(ExprContext* ec, HEXP exp) {
  return XEVGetExpressionDataType(ec, exp) <= XEV_TYPE_STRING && XEVIsExpRange(ec, exp, 1) == 0 &&
         XEVIsExpRange(ec, exp, 2) == 0;
}

std::string Text(ExprContext* ec, HEXP exp) {
  std::string text(static_cast<size_t>(XEVGetExpressionTextLength(ec, exp)) + 1, '\0');
  XEVGetExpressionText(ec, exp, static_cast<int32_t>(text.size()), text.data());
  text.resize(text.size() - 1);
  return text;
}

std::string Name(ExprContext* ec, HEXP exp) {
  std::string name(static_cast<size_t>(XEVGetExpressionNameLength(ec, exp)) + 1, '\0');
  XEVGetExpressionName(ec, exp, static_cast<int32_t>(name.size()), name.data());
  name.resize(name.size() - 1);
  return name;
}

void CheckRefusal(const ExprError& error, size_t textLength) {
  g_current += " (error " + std::to_string(error.code) + " at " + std::to_string(error.pos) + ", length " +
               std::to_string(error.len) + ")";
  Check(error.code >= 100 && error.code <= 137);
  // The scanner reads every text with a blank after it, and an error at the
  // very end is marked there.
  bool wholeText = error.pos == 0 && error.len == 1000;  // the marker of a keyword-typed formula
  Check(wholeText || static_cast<size_t>(error.pos) + error.len <= textLength + 1);
}

// "AND" followed by blanks and "(" scans as a call of a function named AND
// (the longest match), so "a AND (b)" is no range. The extended text of a
// range whose upper bound is a formula reference has that shape, and is then
// a text for other languages only.
bool HasAndBeforeParenthesis(const std::string& text) {
  for (size_t at = text.find_first_of("Aa"); at != std::string::npos; at = text.find_first_of("Aa", at + 1)) {
    if (at + 3 > text.size() || (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) != 0))) continue;
    if (std::toupper(static_cast<unsigned char>(text[at + 1])) != 'N' ||
        std::toupper(static_cast<unsigned char>(text[at + 2])) != 'D') {
      continue;
    }
    size_t next = text.find_first_not_of(" \t", at + 3);
    if (next != std::string::npos && text[next] == '(') return true;
  }
  return false;
}

// The extended text of an accepted formula is a formula with the same type
// and value; it is parsed under a name of its own and removed again.
void CheckExtendedText(ExprContext* ec, HEXP exp, bool expandDates, const std::string& value) {
  int32_t length = XEVGetExtendedTextLength(ec, exp, expandDates);
  Check(length >= 0);
  std::string extended(static_cast<size_t>(length) + 1, '\0');
  XEVGetExtendedText(ec, exp, static_cast<int32_t>(extended.size()), extended.data(), expandDates);
  extended.resize(std::strlen(extended.c_str()));
  ExprError error{};
  uint16_t type = 0;
  g_current += " (extended: " + extended + ")";
  HEXP again = XEVParseFormula(ec, nullptr, extended.c_str(), "ExtendedAgain", &error, &type);
  if (again == nullptr && error.code == 109 && HasAndBeforeParenthesis(extended)) return;
  if (again == nullptr) g_current += " refused with " + std::to_string(error.code);
  Check(again != nullptr);
  Check(type == XEVGetExpressionDataType(ec, exp));
  if (Evaluable(ec, again)) Check(ValueBytes(ec, again) == value);
  Check(XEVDestroyEXP(ec, again) == 1);
}

int32_t XEV_CALL NoteReference(ExprContext*, int16_t kind, const char* name, intptr_t user) {
  *reinterpret_cast<std::string*>(user) += std::to_string(kind) + name + ";";
  return 1;
}

// Everything the checks compare between a context and its copy through a block.
std::string Describe(ExprContext* ec) {
  std::string description;
  const int32_t count = XEVGetExpressionCount(ec);
  for (int32_t i = 0; i < count; ++i) {
    HEXP exp = XEVHEXPFromOrdinal(ec, i);
    description += Name(ec, exp) + "|" + std::to_string(XEVGetExpressionDataType(ec, exp)) + "|";
    XEVEnumExpReferences(ec, exp, NoteReference, reinterpret_cast<intptr_t>(&description));
    for (const ItemName& d : kDataItems) description += XEVIsItemUsed(ec, exp, XEV_ITEM_DATA, d.name) == 1 ? "u" : "-";
    description += XEVIsAggregateUsed(ec, exp) == 1 ? "A" : "-";
    if (Evaluable(ec, exp)) description += ValueBytes(ec, exp);
    description += "\n";
  }
  return description;
}

std::vector<std::string> Texts(ExprContext* ec) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < XEVGetExpressionCount(ec); ++i) texts.push_back(Text(ec, XEVHEXPFromOrdinal(ec, i)));
  return texts;
}

void CheckRenameAndBack(ExprContext* ec, int16_t kind, const char* name, const char* other) {
  g_current = std::string("(renaming ") + name + ")";
  const std::vector<std::string> before = Texts(ec);
  XEVRenameExpressionItem(ec, kind, name, other);
  XEVRenameExpressionItem(ec, kind, other, name);
  Check(Texts(ec) == before);
}

void CheckBlockRoundTrip(ExprContext* ec, uint16_t flags) {
  g_current = "(the block round trip)";
  const uint32_t size = XEVGetECBlockSize(ec, 1);
  std::vector<uint8_t> block(size);
  Check(static_cast<uint32_t>(XEVGetECBlock(ec, static_cast<int32_t>(size), block.data())) == size);
  ExprContext* fresh = NewContext(flags);
  Check(XEVSetECContents(fresh, static_cast<int32_t>(size), block.data(), 1, nullptr) == 1);
  Check(Describe(fresh) == Describe(ec));
  XEVDestroyEC(fresh);
}

// One formula through the parse and, when accepted, through the checks that
// need it alone. Returns whether it was accepted.
bool TryFormula(ExprContext* ec, const std::string& name, const std::string& text, uint8_t choices,
                std::vector<Accepted>& accepted) {
  ExprError error{};
  uint16_t type = 0;
  g_current = text;
  HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name.empty() ? nullptr : name.c_str(), &error, &type);
  if (exp == nullptr) {
    CheckRefusal(error, text.size());
    return false;
  }
  Check(type == static_cast<uint16_t>(XEVGetExpressionDataType(ec, exp)));
  std::string value;
  if (Evaluable(ec, exp)) {
    value = ValueBytes(ec, exp);
    Check(ValueBytes(ec, exp) == value);
  }
  CheckExtendedText(ec, exp, (choices & 1) != 0, value);
  accepted.push_back({Name(ec, exp), type});
  return true;
}

struct Warmed {
  Warmed() {
    // The runtime's first-use setup (labels, default context, locale) is in
    // place before any input counts blocks.
    ExprContext* ec = NewContext(0xFF);
    AddDataItems(ec, true);
    std::vector<Accepted> accepted;
    TryFormula(ec, "W", "DateToStr(OrderDate + 1 DAY) || NumberToStr(Amount, 2)", 1, accepted);
    CheckBlockRoundTrip(ec, 0xFF);
    XEVDestroyEC(ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Warmed warmed;
  if (size < 2) return 0;
  const uint16_t flags = data[0];
  g_valueSeed = data[1];
  const int64_t liveBefore = HostLiveBlockCount();

  ExprContext* ec = NewContext(flags);
  Check(ec != nullptr);
  AddDataItems(ec, (flags & 1) != 0);
  const std::vector<Function> functions = FunctionsOf(ec);
  std::vector<Accepted> accepted;
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  for (int formula = 0; formula < kMostFormulas && !rest.empty(); ++formula) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::string name = "G" + std::to_string(formula);
    std::string text;
    uint8_t choices = line.empty() ? 0 : static_cast<uint8_t>(line[0]);
    if (!line.empty() && line[0] == '=') {
      line.remove_prefix(1);
      size_t equals = line.find(" = ");
      if (equals != std::string_view::npos) {
        name = std::string(line.substr(0, equals));
        line.remove_prefix(equals + 3);
      }
      text = std::string(line);
      text = text.c_str();  // the engine reads up to the first zero byte
    } else {
      Bytes bytes(line);
      Generator generator(bytes, functions, accepted);
      if (bytes.Chance(20)) name.clear();  // a generated name
      text = generator.Formula();
    }
    TryFormula(ec, name, text, choices, accepted);
  }
  CheckRenameAndBack(ec, XEV_ITEM_DATA, "Amount", "Renamed");
  CheckRenameAndBack(ec, XEV_ITEM_FUNCTION, "StrLeft", "LeftPart");
  CheckBlockRoundTrip(ec, flags);
  XEVDestroyEC(ec);
  Check(HostLiveBlockCount() == liveBefore);
  return 0;
}
