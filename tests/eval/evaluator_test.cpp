#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "functions/call_helpers.h"
#include "language/language.h"

using namespace xev_test;

namespace {

// A small host: data items whose values the test sets, and what callbacks saw.
struct HostState {
  std::map<std::string, NumberValue> numbers;
  std::map<std::string, std::string> texts;
  std::vector<HEXP> itemExps;
  int itemCalls = 0;
  std::vector<NumberValue> operatorLeft;
  int32_t operatorArgs[4] = {};
  std::string byName;
  int nullSlots = 0;
};
HostState* g_host = nullptr;

int32_t XEV_CALL NumberItem(ExprContext*, HEXP exp, int32_t, void** result, const char* name) {
  ++g_host->itemCalls;
  g_host->itemExps.push_back(exp);
  std::memcpy(*result, &g_host->numbers[name], XEV_NUMBER_SIZE);
  return 1;
}

int32_t XEV_CALL TextItem(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  ++g_host->itemCalls;
  return FUNStrVarResult(result, size, g_host->texts[name].c_str());
}

int32_t XEV_CALL RefusingItem(ExprContext*, HEXP, int32_t, void**, const char*) {
  return ++g_host->itemCalls, 0;
}

// Fills its block to the last byte with no terminator.
int32_t XEV_CALL UnterminatedItem(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  std::memset(*result, 'z', static_cast<size_t>(size));
  return 1;
}

int32_t XEV_CALL Plus42(ExprContext*, HEXP, int32_t zero, int32_t leftSize, void* left,
                        int32_t rightSize, void*, int32_t resultSize, void* result) {
  g_host->operatorLeft.push_back(*static_cast<NumberValue*>(left));
  int32_t seen[4] = {zero, leftSize, rightSize, resultSize};
  std::memcpy(g_host->operatorArgs, seen, sizeof seen);
  IntToNumber(static_cast<NumberValue*>(result), 42);
  return 0;  // not looked at
}

// A host aggregate whose parameter is passed by name.
int32_t XEV_CALL Aggregate(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  g_host->byName = args[0] != nullptr ? static_cast<const char*>(args[0]) : "(null)";
  IntToNumber(static_cast<NumberValue*>(*result), 7);
  return 1;
}

// Counts null slots and returns its second argument.
int32_t XEV_CALL Second(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  g_host->nullSlots += (args[0] == nullptr) + (args[1] == nullptr);
  if (args[1] == nullptr) return 0;
  std::memcpy(*result, args[1], XEV_NUMBER_SIZE);
  return 1;
}

intptr_t XEV_CALL Resolve(const char* name) {
  return std::strcmp(name, "plus") == 0 ? reinterpret_cast<intptr_t>(&Plus42) : 0;
}

class Evaluator : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = HostLiveBlockCount();
    g_host = &host_;
    ec_ = XEVCreateEC(0, Resolve, nullptr, ECF_DATE_MINUS_STRING | ECF_STRING_PLUS);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    for (const char* n : {"n1", "n2", "n3"}) AddItem(n, XEV_TYPE_NUMBER, &NumberItem);
    for (const char* d : {"d1", "d2"}) AddItem(d, XEV_TYPE_DATETIME, &NumberItem);
    for (const char* s : {"s1", "s2"}) AddItem(s, XEV_TYPE_STRING, &TextItem);
    AddItem("refusing", XEV_TYPE_NUMBER, &RefusingItem);
    AddItem("raw", XEV_TYPE_STRING, &UnterminatedItem);
    AddFunction("Agg", &Aggregate, 1, 1);
    AddFunction("Second", &Second, 2, 0);
    host_.numbers = {{"n1", Num("2")}, {"n2", Num("3")}, {"n3", NullNum()},
                     {"d1", Date(2000, 1, 31, 10, 30)}, {"d2", Date(2000, 1, 1, 12)}};
    host_.texts = {{"s1", "Hello"}, {"s2", std::string(120, 'w')}};
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    HostSetCodePage(XEV_CP_WESTERN);
    XEVDestroyEC(ec_);
    EXPECT_EQ(HostLiveBlockCount(), live_);
  }

  void AddItem(const char* name, int16_t type, XEVDataItemCallback callback) {
    ExpItem item{};
    item.kind = XEV_ITEM_DATA;
    item.dataType = type;
    item.boundValue = reinterpret_cast<intptr_t>(callback);
    std::strcpy(item.name, name);
    ASSERT_EQ(XEVAddExpressionItem(ec_, &item), 1);
  }
  // A Number function of count Number parameters, the first one by name if asked.
  void AddFunction(const char* name, XEVFunctionEntry entry, int16_t count, int16_t firstByName) {
    std::vector<char> record(sizeof(ExpItem) + sizeof(ExpParam) * 2);
    auto* item = reinterpret_cast<ExpItem*>(record.data());
    item->kind = XEV_ITEM_FUNCTION;
    item->boundValue = reinterpret_cast<intptr_t>(entry);
    std::strcpy(item->name, name);
    item->paramCount = count;
    item->params[0].byName = firstByName;
    ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  }

  HEXP Parse(const char* text, const char* name = nullptr) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec_, nullptr, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << ": error " << error.code << " at " << error.pos;
    return exp;
  }
  // A hand-made formula whose root is one node, for shapes the parser will not build.
  HEXP Raw(const char* name, uint32_t kind, int16_t type, const char* text, uint16_t flags = 0) {
    auto* node = static_cast<lang_node*>(HostAlloc(sizeof(lang_node)));
    *node = lang_node{kind, type, 0, 0, 0, flags, Copy(text), nullptr, 0};
    auto* record = static_cast<ExprRecord*>(HostAlloc(sizeof(ExprRecord)));
    *record = ExprRecord{node, Copy(name), ec_, static_cast<uint16_t>(type), Copy(name), nullptr};
    xev::core::AppendExpression(ec_, record);
    return record;
  }
  using lang_node = xev::language::ExprNode;
  static char* Copy(const char* text) {
    auto* copy = static_cast<char*>(HostAlloc(std::strlen(text) + 1));
    return std::strcpy(copy, text);
  }

  std::string NumberOf(HEXP exp, bool date = false) {
    NumberValue value{};
    if (!XEVEvaluateExpression(ec_, exp, 0, &value)) return "none";
    return date ? DateText(value) : Text(value);
  }
  std::string DateOf(HEXP exp) { return NumberOf(exp, true); }
  std::string StringOf(HEXP exp) {
    void* block = nullptr;
    int32_t length = 0;
    if (!XEVEvaluateExpressionExt(ec_, exp, &length, &block)) return "none";
    std::string text(static_cast<const char*>(block));
    HostFree(block);
    return text;
  }

  HostState host_;
  ExprContext* ec_ = nullptr;
  int64_t live_ = 0;
};

TEST_F(Evaluator, ArithmeticDatesAndTexts) {
  EXPECT_EQ(NumberOf(Parse("(n1 + 3) * 4 - 10 / 4")), "17.5");
  EXPECT_EQ(NumberOf(Parse("2 / 3")), "0.6666666666666666666667");
  EXPECT_EQ(NumberOf(Parse("n3 + 5")), "5");  // NULL counts as zero...
  EXPECT_EQ(NumberOf(Parse("n3")), "NULL");   // ...only inside an operator
  EXPECT_EQ(NumberOf(Parse("5 / 0")), "0");
  EXPECT_EQ(NumberOf(Parse("0 / 5")), "0");
  EXPECT_EQ(NumberOf(Parse("5 / n3")), "0");
  EXPECT_EQ(NumberOf(Parse("Power(n1, 10) + NumberMod(-7, 3)")), "1023");
  EXPECT_EQ(DateOf(Parse("d1 + 1 MONTHS")), "2000-02-29 10:30:00");
  EXPECT_EQ(DateOf(Parse("d1 - 11 HOURS")), "2000-01-30 23:30:00");
  EXPECT_EQ(DateOf(Parse("d1 + n3")), "2000-01-31 10:30:00");
  EXPECT_EQ(DateOf(Parse("DateMonthEnd(DateAddDay(d1, 30)) + 1 MONTHS")), "2000-04-30 00:00:00");
  EXPECT_EQ(DateOf(Parse("DateIFF(0, d1, d2, d1)")), "2000-01-01 12:00:00");
  EXPECT_EQ(NumberOf(Parse("d1 - d2")), "30");  // whole days; times of day do not count
  EXPECT_EQ(NumberOf(Parse("d2 - d1")), "-30");
  EXPECT_EQ(NumberOf(Parse("d1 - '1/1/2000'")), "30");
  EXPECT_EQ(NumberOf(Parse("d1 - 'no date'")), "NULL");
  EXPECT_EQ(StringOf(Parse("'it''s ' || s1 || ' \\'x\\''")), "it's Hello 'x'");
  EXPECT_EQ(StringOf(Parse("StrUpper(StrLeft(s1, 3)) || s2")), "HEL" + std::string(120, 'w'));
  EXPECT_EQ(StringOf(Parse("s1 || (StrLeft(s1, 1) || 'x' || s1) || '!'")), "HelloHxHello!");
  EXPECT_EQ(StringOf(Parse("StrCase(2, 'a,b,c') + StrTranslate('b', 'a,b,c', 'x,y,z')")), "cy");
  host_.numbers["d2"] = NullNum();
  EXPECT_EQ(DateOf(Parse("d2 + 2")), "NULL");
}

TEST_F(Evaluator, OperatorCallbackSeesNullOperandsUnchanged) {
  ASSERT_EQ(XEVSetOperatorCallback(ec_, 0, 0, "plus"), 1);
  EXPECT_EQ(NumberOf(Parse("n3 + 5")), "42");
  ASSERT_EQ(host_.operatorLeft.size(), 1u);
  EXPECT_EQ(host_.operatorLeft[0].bytes[0], 0);
  EXPECT_EQ(std::vector<int32_t>(host_.operatorArgs, host_.operatorArgs + 4),
            (std::vector<int32_t>{0, 13, 13, 13}));
  EXPECT_EQ(NumberOf(Parse("5 - n3")), "5");  // only '+' was taken over
}

TEST_F(Evaluator, EscapesAreUndoneWholeCharacterAtATime) {
  // 0x83 0x5C is one Shift-JIS character whose trail byte is a backslash.
  HEXP f = Raw("Wide", xev::language::NK_STRING, XEV_TYPE_STRING, "\x83\x5c''",
               xev::language::kStringEscaped);
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(StringOf(f), "\x83\x5c'");
  HostSetCodePage(XEV_CP_WESTERN);
  EXPECT_EQ(StringOf(f), "\x83''");
}

TEST_F(Evaluator, BufferRulesOfBothEntryPoints) {
  std::string hundred(100, 'x');
  HEXP f = Parse(("'" + hundred + "'").c_str());
  int32_t needed = 0;
  EXPECT_EQ(XEVEvaluateExpression(ec_, f, 0, &needed), 1);
  EXPECT_EQ(needed, 101);
  char buffer[102];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(XEVEvaluateExpression(ec_, f, 10, buffer), 1);
  EXPECT_EQ(std::string(buffer, 11), std::string(10, 'x') + "#");  // no terminator
  ExprRecord empty{};
  EXPECT_EQ(XEVEvaluateExpression(ec_, nullptr, 13, buffer) + XEVEvaluateExpression(ec_, &empty, 13, buffer), 0);
  NumberValue number{};
  EXPECT_EQ(XEVEvaluateExpression(ec_, Parse("1.5"), 1, &number), 1);  // size not looked at
  EXPECT_EQ(Text(number), "1.5");

  void* block = HostAlloc(2);  // grown to L + 2
  int32_t length = 0;
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &block), 1);
  EXPECT_EQ(length, 101);
  EXPECT_GE(HostBlockSize(block), 102u);
  void* kept = block;
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, Parse("'short'"), &length, &block), 1);
  EXPECT_EQ(block, kept);
  void* small = HostAlloc(2);
  HostFailAllocationAfter(1);  // without memory the call fails and the block stays
  EXPECT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &small), 0);
  EXPECT_EQ(HostBlockSize(small), 2u);
  HostFailAllocationAfter(0);
  std::string huge(70000, 'h');  // the length is cut to 16 bits
  HEXP big = Raw("Huge", xev::language::NK_STRING, XEV_TYPE_STRING, huge.c_str());
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, big, &length, &block), 1);
  EXPECT_EQ(length, 70001 & 0xFFFF);
  length = -5;  // numbers go into the caller's 13 bytes and leave the length alone
  void* target = HostAlloc(XEV_NUMBER_SIZE);
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, Parse("-3"), &length, &target), 1);
  EXPECT_EQ(length, -5);
  EXPECT_EQ(Text(*static_cast<NumberValue*>(target)), "-3");
  for (void* b : {block, small, target}) HostFree(b);
}

TEST_F(Evaluator, ItemsFunctionsAndArgumentSlots) {
  host_.itemCalls = 0;  // both operands are asked even when the first fails
  EXPECT_EQ(NumberOf(Parse("refusing + n1")), "none");
  EXPECT_EQ(host_.itemCalls, 2);
  EXPECT_EQ(StringOf(Parse("raw")), std::string(49, 'z'));  // cut inside its block
  host_.itemCalls = 0;
  EXPECT_EQ(NumberOf(Parse("Agg(n1)")), "7");
  EXPECT_EQ(host_.byName, "n1");
  EXPECT_EQ(host_.itemCalls, 0);  // a name argument is not evaluated
  EXPECT_EQ(NumberOf(Parse("Second(refusing, 4)")), "4");  // a failed argument is a null slot
  EXPECT_EQ(host_.nullSlots, 1);
  EXPECT_EQ(StringOf(Parse("StrUpper(StrLeft('abc', refusing))")), "none");
}

TEST_F(Evaluator, NamedFormulasChainsAndCycles) {
  HEXP base = Parse("n1 + 1", "Base");
  Parse("Base() * 10", "Scaled");
  host_.itemExps.clear();
  EXPECT_EQ(NumberOf(Parse("Scaled() - Base()")), "27");
  EXPECT_EQ(host_.itemExps, (std::vector<HEXP>{base, base}));  // each formula's own handle
  ASSERT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "n1"), 1);
  EXPECT_EQ(NumberOf(XEVHEXPFromName(ec_, "Scaled")), "none");
  // A cycle among formulas (only loading can build one) stops without a value.
  HEXP p = Raw("P", xev::language::NK_FORMULAREF, XEV_TYPE_NUMBER, "Q");
  Raw("Q", xev::language::NK_FORMULAREF, XEV_TYPE_NUMBER, "P");
  EXPECT_EQ(NumberOf(p), "none");
}

// References chain formulas without limit: each nested as deep as the parser
// allows and chained forty deep, or a long chain of one-step formulas, both
// deeper than a thread's C stack would hold if the walk recursed per level.
TEST_F(Evaluator, ChainsOfReferencesOfAnyLengthHaveTheirValue) {
  const int levels = 140;
  auto nested = [&](const std::string& inner) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "NumberAbsolute(";
    return text + inner + std::string(levels, ')');
  };
  Parse(nested("n1").c_str(), "N0");
  for (int i = 1; i <= 40; ++i) {
    Parse(nested("N" + std::to_string(i - 1) + "()").c_str(), ("N" + std::to_string(i)).c_str());
  }
  EXPECT_EQ(NumberOf(XEVHEXPFromName(ec_, "N40")), "2");
  const int chain = 3000;
  Parse("n1", "F0");
  for (int i = 1; i <= chain; ++i) {
    Parse(("F" + std::to_string(i - 1) + "() + 1").c_str(), ("F" + std::to_string(i)).c_str());
  }
  EXPECT_EQ(NumberOf(XEVHEXPFromName(ec_, "F257")), "259");
  HEXP last = Parse(("s1 || NumberToStr(F" + std::to_string(chain) + "(), 0)").c_str());
  EXPECT_EQ(StringOf(last), "Hello3002");

  // A formula that takes another name leaves its users naming a formula that
  // is not there; a new formula of that name which would close a cycle
  // through them is refused, as a formula of a listed name always was.
  HEXP a = Parse("1", "A");
  Parse("A() + 1", "B");
  ExprError error{};
  ASSERT_EQ(XEVParseFormula(ec_, a, "2", "Z", &error, nullptr), a);
  EXPECT_EQ(XEVParseFormula(ec_, nullptr, "B() * 2", "A", &error, nullptr), nullptr);
  EXPECT_EQ(error.code, 125u);
}

}  // namespace
