// Every example of the formula language reference (docs/language.md) is run
// against the context that the reference describes, so the reference cannot
// drift from what the engine does.
//
// Examples live in fenced blocks whose info string is "formula", optionally
// followed by the ECF_ flags the block's context needs. Each line is
//   [[edit ]Name = ]text[ => expected]
// where expected is a value, "no value" or "error N". A named line saves a new
// formula for the lines after it; with "edit" it changes the saved one. Rows of the
// error code table give their example in backticks, flags as extra backtick
// spans, and expect the row's code.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/items.h"
#include "xev/xev.h"

namespace {

// ---- the reference context -------------------------------------------------

int32_t XEV_CALL Price(ExprContext*, HEXP, int32_t, void** result, const char*) {
  return HostStrToNumber(static_cast<NumberValue*>(*result), "19.90");
}
int32_t XEV_CALL Quantity(ExprContext*, HEXP, int32_t, void** result, const char*) {
  IntToNumber(static_cast<NumberValue*>(*result), 3);
  return 1;
}
int32_t XEV_CALL Ordered(ExprContext*, HEXP, int32_t, void** result, const char*) {
  const DateParts parts = {3, 14, 2024, 9, 30, 0, 0};
  auto* value = static_cast<unsigned char*>(*result);
  value[0] = DatePartsToNumber(value + 1, &parts);
  return 1;
}
int32_t XEV_CALL Customer(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  return FUNStrVarResult(result, size, "northwind");
}
// The aggregates get the item's name, not its value; the reference only shows
// that they are called.
int32_t XEV_CALL Aggregate(ExprContext*, HEXP, int32_t, void** result, const char*, void**) {
  IntToNumber(static_cast<NumberValue*>(*result), 42);
  return 1;
}

constexpr int16_t kAmountSubclass = 1;
constexpr int16_t kCountSubclass = 2;
constexpr int16_t kPeriodType = 300;

void AddData(ExprContext* ec, const char* name, int16_t type, int16_t subclass, XEVDataItemCallback callback) {
  const testhost::Item item{.type = type, .bound = testhost::Bound(callback), .subclass = subclass};
  ASSERT_EQ(testhost::AddItem(ec, XEV_ITEM_DATA, name, item), 1);
}

// A one-parameter function; byName makes it an aggregate over a data item.
void AddFunction(ExprContext* ec, const char* name, uint16_t flags, int16_t paramType, int16_t byName,
                 int16_t subclass) {
  ASSERT_EQ(testhost::AddItem(ec, XEV_ITEM_FUNCTION, name,
                              {.type = XEV_TYPE_NUMBER, .bound = testhost::Bound(&Aggregate), .flags = flags,
                               .params = {{paramType, byName, subclass}}}),
            1);
}

ExprContext* ReferenceContext(uint16_t flags) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, flags);
  FUNDefineFunctions(ec);
  AddData(ec, "Price", XEV_TYPE_NUMBER, kAmountSubclass, Price);
  AddData(ec, "Quantity", XEV_TYPE_NUMBER, kCountSubclass, Quantity);
  AddData(ec, "Ordered", XEV_TYPE_DATETIME, 0, Ordered);
  AddData(ec, "Customer", XEV_TYPE_STRING, 0, Customer);
  AddData(ec, "\"Unit Cost\"", XEV_TYPE_NUMBER, kAmountSubclass, Price);
  AddData(ec, "Sales.Region", XEV_TYPE_STRING, 0, Customer);
  AddData(ec, "_Day", XEV_TYPE_NUMBER, kCountSubclass, Quantity);
  AddFunction(ec, "Sum", XEV_FN_DISTINCT | XEV_FN_ALL, XEV_TYPE_NUMBER, 1, 0);
  AddFunction(ec, "CountUnique", XEV_FN_DISTINCT | XEV_FN_DISTINCT_REQUIRED, XEV_TYPE_ANY, 1, 0);
  AddFunction(ec, "AverageAmount", 0, XEV_TYPE_NUMBER, 1, kAmountSubclass);
  AddFunction(ec, "SalesIn", 0, kPeriodType, 0, 0);
  EXPECT_EQ(testhost::AddItem(ec, XEV_ITEM_KEYWORD, "Last Year", {.type = kPeriodType}), 1);
  return ec;
}

// ---- results as the reference writes them ------------------------------------

std::string DateText(const NumberValue& value) {
  DateParts p{};
  NumberToDateParts(value.bytes + 1, value.bytes[0], &p);
  char text[40];
  if (p.hour == 0 && p.minute == 0 && p.second == 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
  }
  return text;
}

std::string Evaluate(ExprContext* ec, HEXP exp, uint16_t type) {
  if (type == XEV_TYPE_STRING) {
    char* block = nullptr;
    int32_t length = 0;
    if (!XEVEvaluateExpressionExt(ec, exp, &length, reinterpret_cast<void**>(&block))) return "no value";
    std::string text = "\"" + std::string(block) + "\"";
    HostFree(block);
    return text;
  }
  NumberValue value{};
  if (!XEVEvaluateExpression(ec, exp, sizeof value, &value)) return "no value";
  if (NumberIsNull(&value)) return "NULL";
  if (type == XEV_TYPE_DATETIME) return DateText(value);
  char text[64];
  HostNumberToStr(&value, text, sizeof text);
  return text;
}

// ---- examples ------------------------------------------------------------------

struct Example {
  int line;
  uint16_t flags;
  std::string block;  // examples of one block share a context
  std::string text;   // [Name = ]text[ => expected]
};

uint16_t FlagNamed(const std::string& name) {
  static const std::map<std::string, uint16_t> flags = {
      {"ECF_NO_STRING_CONCAT", ECF_NO_STRING_CONCAT}, {"ECF_SET_QUANTIFIERS", ECF_SET_QUANTIFIERS},
      {"ECF_DATE_MINUS_STRING", ECF_DATE_MINUS_STRING}, {"ECF_STRING_PLUS", ECF_STRING_PLUS},
      {"ECF_NO_DATE_ARITH", ECF_NO_DATE_ARITH},       {"ECF_MODULO", ECF_MODULO},
      {"ECF_RANGES_SETS", ECF_RANGES_SETS}};
  auto found = flags.find(name);
  return found == flags.end() ? 0xFFFF : found->second;
}

// The cells of a table row, split at the pipes that are not escaped, with
// the escapes undone.
std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells(1);
  for (size_t i = 0; i < row.size(); ++i) {
    if (row[i] == '\\' && i + 1 < row.size() && row[i + 1] == '|') {
      cells.back() += row[++i];
    } else if (row[i] == '|') {
      cells.emplace_back();
    } else {
      cells.back() += row[i];
    }
  }
  return cells;
}

// An error table row: its example spans run in one context, the last one
// must fail with the row's code.
void AddTableRow(const std::string& line, int number, std::vector<Example>& examples) {
  std::vector<std::string> cells = Cells(line);
  if (cells.size() < 6) return;
  const std::regex code(R"( (1[0-3][0-9]) )");
  if (!std::regex_match(cells[1], code)) return;
  std::vector<std::string> lines;
  uint16_t flags = 0;
  const std::regex span("`([^`]+)`");
  for (std::sregex_iterator it(cells[3].begin(), cells[3].end(), span), end; it != end; ++it) {
    std::string text = (*it)[1];
    if (text.rfind("ECF_", 0) == 0) {
      flags |= FlagNamed(text);
    } else {
      lines.push_back(text);
    }
  }
  if (lines.empty()) return;
  lines.back() += " => error " + cells[1].substr(1, 3);
  for (const std::string& text : lines) examples.push_back({number, flags, "row" + std::to_string(number), text});
}

std::vector<Example> ReadExamples(const std::string& path) {
  std::ifstream in(path);
  std::vector<Example> examples;
  std::string line;
  int number = 0;
  bool inBlock = false;
  uint16_t flags = 0;
  std::string block;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("```", 0) == 0) {
      std::istringstream info(line.substr(3));
      std::string word;
      inBlock = !inBlock && (info >> word) && word == "formula";
      flags = 0;
      while (inBlock && info >> word) flags |= FlagNamed(word);
      block = std::to_string(number);
      continue;
    }
    if (inBlock) {
      if (!line.empty()) examples.push_back({number, flags, block, line});
    } else if (line.rfind("| 1", 0) == 0) {
      AddTableRow(line, number, examples);
    }
  }
  return examples;
}

struct Outcome {
  std::string got;
  std::string want;
};

class Runner {
 public:
  Outcome Run(const Example& example) {
    if (example.block != block_) Reset(example);
    std::string text = example.text, want, name;
    size_t arrow = text.rfind(" => ");
    if (arrow != std::string::npos) {
      want = text.substr(arrow + 4);
      text = text.substr(0, arrow);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    static const std::regex named(R"(^(edit )?([A-Za-z_][A-Za-z0-9_]*) = (.*)$)");
    std::smatch m;
    bool edit = false;
    if (std::regex_match(text, m, named)) edit = m[1].matched, name = m[2], text = m[3];

    ExprError error{};
    uint16_t type = 0;
    HEXP existing = edit ? XEVHEXPFromName(ec_, name.c_str()) : nullptr;
    if (edit && existing == nullptr) return {"no formula " + name, "a formula to edit"};
    HEXP exp = XEVParseFormula(ec_, existing, text.c_str(), name.empty() ? nullptr : name.c_str(), &error, &type);
    if (exp == nullptr) return {"error " + std::to_string(error.code), want.empty() ? "accepted" : want};
    std::string got = Evaluate(ec_, exp, type);
    if (name.empty()) XEVDestroyEXP(ec_, exp);
    // A line without an expectation only has to be accepted.
    if (want.empty()) want = got.rfind("error", 0) == 0 ? "accepted" : got;
    return {got, want};
  }
  ~Runner() { XEVDestroyEC(ec_); }

 private:
  void Reset(const Example& example) {
    XEVDestroyEC(ec_);
    ec_ = ReferenceContext(example.flags);
    block_ = example.block;
  }
  ExprContext* ec_ = nullptr;
  std::string block_;
};

TEST(LanguageReference, EveryExampleGivesWhatTheReferenceSays) {
  const std::vector<Example> examples = ReadExamples(XEV_SOURCE_DIR "/docs/language.md");
  ASSERT_GT(examples.size(), 100u) << "the reference's examples were not found";
  Runner runner;
  int checked = 0;
  for (const Example& example : examples) {
    ASSERT_NE(example.flags, 0xFFFF) << "docs/language.md:" << example.line << ": unknown flag name";
    Outcome outcome = runner.Run(example);
    EXPECT_EQ(outcome.got, outcome.want) << "docs/language.md:" << example.line << ": " << example.text;
    ++checked;
  }
  std::printf("%d examples checked\n", checked);
}

TEST(LanguageReference, EveryErrorCodeHasARow) {
  std::ifstream in(XEV_SOURCE_DIR "/docs/language.md");
  std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char message[200];
  for (uint32_t code = 100; code <= 137; ++code) {
    EXPECT_NE(doc.find("| " + std::to_string(code) + " |"), std::string::npos) << code;
    // The message is quoted letter for letter, so a user can search for it.
    if (XEVGetErrorMessage(code, message, sizeof message) > 0) {
      EXPECT_NE(doc.find(message), std::string::npos) << code << ": " << message;
    }
  }
}

}  // namespace
