#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "eval/tree_builder.h"
#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

// ---- A small host: data items whose values the test sets, and recorders ----

struct HostState {
  std::map<std::string, NumberValue> numbers;
  std::map<std::string, std::string> texts;
  std::vector<HEXP> itemExps;  // the HEXP each data item callback received
  int itemCalls = 0;
  bool failItems = false;
  // Operator callback record.
  std::vector<NumberValue> operatorLeft, operatorRight;
  int32_t operatorZero = -1;
  int32_t operatorSizes[3] = {};
  // Host function record.
  std::vector<std::string> byNameArgs;
  int nullSlots = 0;
};
HostState* g_host = nullptr;

int32_t XEV_CALL NumberItem(ExprContext*, HEXP exp, int32_t size, void** result, const char* name) {
  ++g_host->itemCalls;
  g_host->itemExps.push_back(exp);
  if (g_host->failItems) return 0;
  EXPECT_EQ(size, XEV_NUMBER_SIZE);
  std::memcpy(*result, &g_host->numbers[name], XEV_NUMBER_SIZE);
  return 1;
}

int32_t XEV_CALL TextItem(ExprContext*, HEXP exp, int32_t size, void** result, const char* name) {
  ++g_host->itemCalls;
  g_host->itemExps.push_back(exp);
  if (g_host->failItems) return 0;
  EXPECT_EQ(size, 50);
  const std::string& text = g_host->texts[name];
  if (!FUNStrVarResult(result, size, text.c_str())) return 0;
  return 1;
}

// Fills its block to the last byte with no terminator.
int32_t XEV_CALL UnterminatedItem(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  std::memset(*result, 'z', static_cast<size_t>(size));
  return 1;
}

int32_t XEV_CALL RecordingPlus(ExprContext*, HEXP, int32_t zero, int32_t leftSize, void* left,
                               int32_t rightSize, void* right, int32_t resultSize, void* result) {
  g_host->operatorZero = zero;
  g_host->operatorSizes[0] = leftSize;
  g_host->operatorSizes[1] = rightSize;
  g_host->operatorSizes[2] = resultSize;
  NumberValue a, b;
  std::memcpy(&a, left, sizeof a);
  std::memcpy(&b, right, sizeof b);
  g_host->operatorLeft.push_back(a);
  g_host->operatorRight.push_back(b);
  IntToNumber(static_cast<NumberValue*>(result), 42);
  return 0;  // not looked at
}

// A host aggregate: its first parameter is passed by name.
int32_t XEV_CALL HostAggregate(ExprContext*, HEXP, int32_t, void** result, const char*,
                               void** args) {
  g_host->byNameArgs.push_back(args[0] != nullptr ? static_cast<const char*>(args[0]) : "(null)");
  IntToNumber(static_cast<NumberValue*>(*result), 7);
  return 1;
}

// Counts null slots and returns its second argument.
int32_t XEV_CALL HostSecond(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  for (int i = 0; i < 2; ++i) g_host->nullSlots += args[i] == nullptr ? 1 : 0;
  NumberValue* out = static_cast<NumberValue*>(*result);
  if (args[1] == nullptr) {
    NumberSetNull(out);
  } else {
    std::memcpy(out, args[1], XEV_NUMBER_SIZE);
  }
  return 1;
}

intptr_t XEV_CALL Resolve(const char* name) {
  if (std::strcmp(name, "plus") == 0) return reinterpret_cast<intptr_t>(&RecordingPlus);
  return 0;
}

class Evaluator : public ::testing::Test {
 protected:
  void SetUp() override {
    HostSetCodePage(XEV_CP_WESTERN);
    live_ = HostLiveBlockCount();
    g_host = &host_;
    ec_ = XEVCreateEC(0, Resolve, nullptr, ECF_DATE_MINUS_STRING | ECF_STRING_PLUS);
    ASSERT_NE(ec_, nullptr);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    AddItem("n1", XEV_TYPE_NUMBER, &NumberItem);
    AddItem("n2", XEV_TYPE_NUMBER, &NumberItem);
    AddItem("n3", XEV_TYPE_NUMBER, &NumberItem);
    AddItem("d1", XEV_TYPE_DATETIME, &NumberItem);
    AddItem("d2", XEV_TYPE_DATETIME, &NumberItem);
    AddItem("s1", XEV_TYPE_STRING, &TextItem);
    AddItem("s2", XEV_TYPE_STRING, &TextItem);
    AddItem("unbound", XEV_TYPE_NUMBER, nullptr);
    AddItem("raw", XEV_TYPE_STRING, &UnterminatedItem);
    AddFunction("Agg", XEV_TYPE_NUMBER, &HostAggregate, {{1, XEV_TYPE_NUMBER, 0}});
    AddFunction("Second", XEV_TYPE_NUMBER, &HostSecond,
                {{0, XEV_TYPE_NUMBER, 0}, {0, XEV_TYPE_NUMBER, 0}});
    host_.numbers["n1"] = Num("2");
    host_.numbers["n2"] = Num("3");
    host_.numbers["n3"] = NullNum();
    host_.numbers["d1"] = Date(2000, 1, 31, 10, 30);
    host_.numbers["d2"] = Date(2000, 1, 1, 12);
    host_.texts["s1"] = "Hello";
    host_.texts["s2"] = std::string(120, 'w');
  }
  void TearDown() override {
    HostFailAllocationAfter(0);
    XEVDestroyEC(ec_);
    HostSetCodePage(XEV_CP_WESTERN);
    g_host = nullptr;
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

  void AddFunction(const char* name, int16_t type, XEVFunctionEntry entry,
                   std::vector<ExpParam> params) {
    std::vector<char> record(sizeof(ExpItem) + params.size() * sizeof(ExpParam));
    auto* item = reinterpret_cast<ExpItem*>(record.data());
    item->kind = XEV_ITEM_FUNCTION;
    item->dataType = type;
    item->boundValue = reinterpret_cast<intptr_t>(entry);
    std::strcpy(item->name, name);
    item->paramCount = static_cast<int16_t>(params.size());
    std::memcpy(item->params, params.data(), params.size() * sizeof(ExpParam));
    ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  }

  HEXP Formula(ExprNode* root) {
    char name[32];
    snprintf(name, sizeof name, "F%d", ++formulas_);
    return AddFormula(ec_, name, root);
  }

  // The Number or DateTime value of a formula, "none" for no value.
  std::string NumberOf(HEXP exp) {
    NumberValue value{};
    if (XEVEvaluateExpression(ec_, exp, 0, &value) == 0) return "none";
    return Text(value);
  }
  std::string DateOf(HEXP exp) {
    NumberValue value{};
    if (XEVEvaluateExpression(ec_, exp, 0, &value) == 0) return "none";
    return DateText(value);
  }
  std::string StringOf(HEXP exp) {
    void* block = nullptr;
    int32_t length = 0;
    if (XEVEvaluateExpressionExt(ec_, exp, &length, &block) == 0) return "none";
    std::string text(static_cast<const char*>(block));
    HostFree(block);
    return text;
  }

  HostState host_;
  ExprContext* ec_ = nullptr;
  int formulas_ = 0;
  int64_t live_ = 0;
};

using lang::NK_ADD;
using lang::NK_CONCAT;
using lang::NK_DIV;
using lang::NK_MOD;
using lang::NK_MUL;
using lang::NK_SUB;
constexpr int16_t kNum = XEV_TYPE_NUMBER, kDate = XEV_TYPE_DATETIME, kStr = XEV_TYPE_STRING;

// ---- Arithmetic ----------------------------------------------------------------

TEST_F(Evaluator, ArithmeticOnLiteralsAndItems) {
  // (n1 + 3) * 4 - 10 / 4 = 17.5
  HEXP f = Formula(Op(NK_SUB, kNum,
                      Op(NK_MUL, kNum, Op(NK_ADD, kNum, ItemNode("n1", kNum), NumberNode("3")),
                         NumberNode("4")),
                      Op(NK_DIV, kNum, NumberNode("10"), NumberNode("4"))));
  EXPECT_EQ(NumberOf(f), "17.5");
  EXPECT_EQ(NumberOf(Formula(Op(NK_DIV, kNum, NumberNode("1"), NumberNode("3")))),
            "0.3333333333333333333333");
  EXPECT_EQ(NumberOf(Formula(Op(NK_DIV, kNum, NumberNode("2"), NumberNode("3")))),
            "0.6666666666666666666667");
}

TEST_F(Evaluator, NullCountsAsZeroAndDivisionByZeroGivesZero) {
  EXPECT_EQ(NumberOf(Formula(Op(NK_ADD, kNum, ItemNode("n3", kNum), NumberNode("5")))), "5");
  EXPECT_EQ(NumberOf(Formula(Op(NK_MUL, kNum, ItemNode("n3", kNum), NumberNode("5")))), "0");
  EXPECT_EQ(NumberOf(Formula(Op(NK_DIV, kNum, NumberNode("5"), NumberNode("0")))), "0");
  EXPECT_EQ(NumberOf(Formula(Op(NK_DIV, kNum, NumberNode("0"), NumberNode("5")))), "0");
  EXPECT_EQ(NumberOf(Formula(Op(NK_DIV, kNum, NumberNode("5"), ItemNode("n3", kNum)))), "0");
  // A NULL on its own stays NULL: only operators read it as zero.
  EXPECT_EQ(NumberOf(Formula(ItemNode("n3", kNum))), "NULL");
}

TEST_F(Evaluator, OperatorCallbackSeesNullOperandsUnchanged) {
  ASSERT_EQ(XEVSetOperatorCallback(ec_, 0, 0, "plus"), 1);
  HEXP f = Formula(Op(NK_ADD, kNum, ItemNode("n3", kNum), NumberNode("5")));
  EXPECT_EQ(NumberOf(f), "42");
  ASSERT_EQ(host_.operatorLeft.size(), 1u);
  EXPECT_EQ(host_.operatorLeft[0].bytes[0], 0) << "NULL must reach the callback as NULL";
  EXPECT_EQ(Text(host_.operatorRight[0]), "5");
  EXPECT_EQ(host_.operatorZero, 0);
  EXPECT_EQ(host_.operatorSizes[0], 13);
  EXPECT_EQ(host_.operatorSizes[1], 13);
  EXPECT_EQ(host_.operatorSizes[2], 13);
  // Only '+' was taken over.
  EXPECT_EQ(NumberOf(Formula(Op(NK_SUB, kNum, NumberNode("5"), ItemNode("n3", kNum)))), "5");
}

TEST_F(Evaluator, OperatorsWithoutAMeaningYieldNoValue) {
  EXPECT_EQ(NumberOf(Formula(Op(NK_MOD, kNum, NumberNode("7"), NumberNode("2")))), "none");
  EXPECT_EQ(NumberOf(Formula(Op(NK_CONCAT, kNum, NumberNode("7"), NumberNode("2")))), "none");
  EXPECT_EQ(NumberOf(Formula(Op(NK_MUL, kDate, ItemNode("d1", kDate), NumberNode("2")))), "none");
}

// ---- Dates -----------------------------------------------------------------------

TEST_F(Evaluator, DateUnitsAndDifferences) {
  EXPECT_EQ(DateOf(Formula(Op(NK_ADD, kDate, ItemNode("d1", kDate), NumberNode("1"), lang::DU_MONTH))),
            "2000-02-29 10:30:00");
  EXPECT_EQ(DateOf(Formula(Op(NK_SUB, kDate, ItemNode("d1", kDate), NumberNode("11"), lang::DU_HOUR))),
            "2000-01-30 23:30:00");
  EXPECT_EQ(DateOf(Formula(Op(NK_ADD, kDate, ItemNode("d1", kDate), NumberNode("2")))),
            "2000-02-02 10:30:00");
  EXPECT_EQ(DateOf(Formula(Op(NK_ADD, kDate, ItemNode("d1", kDate), ItemNode("n3", kNum)))),
            "2000-01-31 10:30:00");
  host_.numbers["d2"] = NullNum();
  EXPECT_EQ(DateOf(Formula(Op(NK_ADD, kDate, ItemNode("d2", kDate), NumberNode("2")))), "NULL");
  host_.numbers["d2"] = Date(2000, 1, 1, 12);
  // Whole days: the time of day does not count.
  EXPECT_EQ(NumberOf(Formula(Op(NK_SUB, kNum, ItemNode("d1", kDate), ItemNode("d2", kDate)))), "30");
  EXPECT_EQ(NumberOf(Formula(Op(NK_SUB, kNum, ItemNode("d2", kDate), ItemNode("d1", kDate)))), "-30");
}

TEST_F(Evaluator, DateMinusTextReadsTheTextAsADate) {
  EXPECT_EQ(NumberOf(Formula(Op(NK_SUB, kNum, ItemNode("d1", kDate), StringNode("1/1/2000")))), "30");
  EXPECT_EQ(NumberOf(Formula(Op(NK_SUB, kNum, ItemNode("d1", kDate), StringNode("no date")))), "NULL");
}

TEST_F(Evaluator, DateLiterals) {
  EXPECT_EQ(DateOf(Formula(DateNode("2/29/2000"))), "2000-02-29 00:00:00");
  EXPECT_EQ(DateOf(Formula(DateNode("not a date"))), "NULL");
}

// ---- Strings ---------------------------------------------------------------------

TEST_F(Evaluator, ConcatenationAndEscapes) {
  EXPECT_EQ(StringOf(Formula(Op(NK_CONCAT, kStr, ItemNode("s1", kStr), StringNode(", world")))),
            "Hello, world");
  EXPECT_EQ(StringOf(Formula(Op(NK_CONCAT, kStr, StringNode("a"),
                                Op(NK_CONCAT, kStr, ItemNode("s2", kStr), StringNode("b"))))),
            "a" + std::string(120, 'w') + "b");
  EXPECT_EQ(StringOf(Formula(Op(NK_ADD, kStr, StringNode("a"), StringNode("b")))), "ab");
  EXPECT_EQ(StringOf(Formula(StringNode("it''s", true))), "it's");
  EXPECT_EQ(StringOf(Formula(StringNode("it\\'s", true))), "it's");
  EXPECT_EQ(StringOf(Formula(StringNode("''''", true))), "''");
  // Unmarked texts are taken as they are.
  EXPECT_EQ(StringOf(Formula(StringNode("it''s"))), "it''s");
}

TEST_F(Evaluator, EscapesNeverReadATrailByteAsABackslash) {
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  // 0x83 0x5C is one character whose trail byte is a backslash.
  EXPECT_EQ(StringOf(Formula(StringNode("\x83\x5c''", true))), "\x83\x5c'");
  HostSetCodePage(XEV_CP_WESTERN);
  EXPECT_EQ(StringOf(Formula(StringNode("\x83\x5c''", true))), "\x83''");
}

TEST_F(Evaluator, HostTextWithoutTerminatorIsCutInsideItsBlock) {
  std::string text = StringOf(Formula(ItemNode("raw", kStr)));
  EXPECT_EQ(text, std::string(49, 'z'));
}

// ---- Buffer rules of the two entry points ------------------------------------------

TEST_F(Evaluator, BufferRulesOfEvaluateExpression) {
  std::string hundred(100, 'x');
  HEXP f = Formula(StringNode(hundred.c_str()));
  int32_t needed = 0;
  EXPECT_EQ(XEVEvaluateExpression(ec_, f, 0, &needed), 1);
  EXPECT_EQ(needed, 101);

  char small[12];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(XEVEvaluateExpression(ec_, f, 10, small), 1);
  EXPECT_EQ(std::string(small, 10), std::string(10, 'x'));
  EXPECT_EQ(small[10], '#') << "a short buffer gets no terminator and nothing beyond";

  char exact[101];
  EXPECT_EQ(XEVEvaluateExpression(ec_, f, sizeof exact, exact), 1);
  EXPECT_EQ(std::string(exact), hundred);

  // Numbers are copied whatever the size says.
  unsigned char number[13];
  EXPECT_EQ(XEVEvaluateExpression(ec_, Formula(NumberNode("1.5")), 1, number), 1);
  NumberValue v;
  std::memcpy(&v, number, sizeof v);
  EXPECT_EQ(Text(v), "1.5");

  EXPECT_EQ(XEVEvaluateExpression(ec_, nullptr, 13, number), 0);
  ExprRecord empty{};
  EXPECT_EQ(XEVEvaluateExpression(ec_, &empty, 13, number), 0);
  // A keyword-typed root has no value to hand over.
  HEXP keyword = Formula(Node(lang::NK_STRING, XEV_TYPE_KEYWORD, HostCopy("k")));
  EXPECT_EQ(XEVEvaluateExpression(ec_, keyword, 50, exact), 0);
}

TEST_F(Evaluator, BufferRulesOfEvaluateExpressionExt) {
  HEXP f = Formula(StringNode("abcdef"));
  void* block = nullptr;
  int32_t length = -1;
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &block), 1);
  EXPECT_EQ(length, 7);
  EXPECT_GE(HostBlockSize(block), 8u);
  EXPECT_STREQ(static_cast<char*>(block), "abcdef");

  // A small block is grown; a big one is kept.
  void* small = HostAlloc(2);
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &small), 1);
  EXPECT_GE(HostBlockSize(small), 8u);
  EXPECT_STREQ(static_cast<char*>(small), "abcdef");
  void* big = HostAlloc(64);
  void* before = big;
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &big), 1);
  EXPECT_EQ(big, before);

  // The length is cut to 16 bits.
  std::string huge(70000, 'h');
  void* hugeBlock = nullptr;
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, Formula(StringNode(huge.c_str())), &length, &hugeBlock), 1);
  EXPECT_EQ(length, 70001 & 0xFFFF);
  EXPECT_EQ(std::strlen(static_cast<char*>(hugeBlock)), 70000u);

  // Numbers go into the caller's block and leave the length alone.
  length = -5;
  void* number = HostAlloc(13);
  ASSERT_EQ(XEVEvaluateExpressionExt(ec_, Formula(NumberNode("-3")), &length, &number), 1);
  EXPECT_EQ(length, -5);
  EXPECT_EQ(Text(*static_cast<NumberValue*>(number)), "-3");

  // Without memory for the text the call fails and the block stays.
  void* kept = HostAlloc(2);
  HostFailAllocationAfter(1);
  EXPECT_EQ(XEVEvaluateExpressionExt(ec_, f, &length, &kept), 0);
  HostFailAllocationAfter(0);
  EXPECT_EQ(HostBlockSize(kept), 2u);

  for (void* b : {block, small, big, hugeBlock, number, kept}) HostFree(b);
}

// ---- Data items, functions and formula references -----------------------------------

TEST_F(Evaluator, ItemsThatCannotAnswerYieldNoValue) {
  EXPECT_EQ(NumberOf(Formula(ItemNode("missing", kNum))), "none");
  EXPECT_EQ(NumberOf(Formula(ItemNode("unbound", kNum))), "none");
  host_.failItems = true;
  // Both operands are asked even when the first one fails.
  host_.itemCalls = 0;
  EXPECT_EQ(NumberOf(Formula(Op(NK_ADD, kNum, ItemNode("n1", kNum), ItemNode("n2", kNum)))), "none");
  EXPECT_EQ(host_.itemCalls, 2);
}

TEST_F(Evaluator, BuiltInAndHostFunctions) {
  HEXP left = Formula(CallNode("StrLeft", kStr, {ItemNode("s1", kStr), NumberNode("3")}));
  EXPECT_EQ(StringOf(left), "Hel");
  HEXP upper = Formula(CallNode("StrUpper", kStr, {ItemNode("s2", kStr)}));
  EXPECT_EQ(StringOf(upper), std::string(120, 'W'));
  HEXP addDay = Formula(CallNode("DateAddDay", kDate, {ItemNode("d1", kDate), NumberNode("1")}));
  EXPECT_EQ(DateOf(addDay), "2000-02-01 10:30:00");
  // The full entry-point name is not a display name.
  EXPECT_EQ(StringOf(Formula(CallNode("FUNStrLeft", kStr, {StringNode("abc"), NumberNode("1")}))),
            "none");

  // A pass-by-name parameter receives the name written at the argument.
  host_.itemCalls = 0;
  EXPECT_EQ(NumberOf(Formula(CallNode("Agg", kNum, {ItemNode("n1", kNum)}))), "7");
  ASSERT_EQ(host_.byNameArgs.size(), 1u);
  EXPECT_EQ(host_.byNameArgs[0], "n1");
  EXPECT_EQ(host_.itemCalls, 0) << "a name argument is not evaluated";
}

TEST_F(Evaluator, ArgumentsThatFailLeaveNullSlotsAndTheCallGoesAhead) {
  HEXP f = Formula(CallNode("Second", kNum, {ItemNode("missing", kNum), NumberNode("4")}));
  EXPECT_EQ(NumberOf(f), "4");
  EXPECT_EQ(host_.nullSlots, 1);
  // Fewer arguments than parameters: the rest of the slots are null.
  host_.nullSlots = 0;
  EXPECT_EQ(NumberOf(Formula(CallNode("Second", kNum, {NumberNode("4")}))), "NULL");
  EXPECT_EQ(host_.nullSlots, 1);
  // Built-ins refuse to work without an argument.
  EXPECT_EQ(StringOf(Formula(CallNode("StrUpper", kStr, {ItemNode("missing", kStr)}))), "none");
}

TEST_F(Evaluator, ChainOfNamedFormulasPassesEachFormulasHandle) {
  HEXP a = AddFormula(ec_, "A", Op(NK_ADD, kNum, ItemNode("n1", kNum), NumberNode("1")));
  HEXP b = AddFormula(ec_, "B", Op(NK_MUL, kNum, RefNode("A", kNum), NumberNode("10")));
  HEXP c = AddFormula(ec_, "C", Op(NK_SUB, kNum, RefNode("B", kNum), RefNode("A", kNum)));
  EXPECT_EQ(NumberOf(c), "27");
  ASSERT_EQ(host_.itemExps.size(), 2u);
  EXPECT_EQ(host_.itemExps[0], a);
  EXPECT_EQ(host_.itemExps[1], a);
  host_.itemExps.clear();
  EXPECT_EQ(NumberOf(b), "30");
  EXPECT_EQ(NumberOf(Formula(RefNode("Nowhere", kNum))), "none");
}

TEST_F(Evaluator, CyclesAndDeepTreesStopWithoutValue) {
  AddFormula(ec_, "P", Op(NK_ADD, kNum, RefNode("Q", kNum), NumberNode("1")));
  HEXP q = AddFormula(ec_, "Q", Op(NK_ADD, kNum, RefNode("P", kNum), NumberNode("1")));
  EXPECT_EQ(NumberOf(q), "none");

  // A left-leaning chain as deep as the parser allows evaluates...
  ExprNode* root = NumberNode("0");
  for (int i = 1; i < lang::kMaxTreeDepth; ++i) root = Op(NK_ADD, kNum, root, NumberNode("1"));
  HEXP deep = Formula(root);
  EXPECT_EQ(NumberOf(deep), std::to_string(lang::kMaxTreeDepth - 1));
  // ...one level more does not.
  EXPECT_EQ(NumberOf(Formula(Op(NK_ADD, kNum, RefNode(deep->name, kNum), NumberNode("1")))), "none");
}

// ---- Allocation failures --------------------------------------------------------------

TEST_F(Evaluator, EveryFailedAllocationYieldsNoValueAndLeaksNothing) {
  // Strings built, a function called with a text argument, an escaped
  // literal and a formula reference: every kind of block the walk makes.
  AddFormula(ec_, "Greeting", Op(NK_CONCAT, kStr, ItemNode("s1", kStr), StringNode(" y''all", true)));
  HEXP f = Formula(Op(NK_CONCAT, kStr,
                      CallNode("StrUpper", kStr, {RefNode("Greeting", kStr)}),
                      Op(NK_CONCAT, kStr, StringNode("!"),
                         CallNode("StrLeft", kStr, {ItemNode("s2", kStr), NumberNode("60")}))));
  const std::string expected = "HELLO Y'ALL!" + std::string(60, 'w');
  int64_t live = HostLiveBlockCount();
  bool succeeded = false;
  for (int64_t k = 1; k < 200 && !succeeded; ++k) {
    HostFailAllocationAfter(k);
    int64_t before = HostAllocationCount();
    std::string value = StringOf(f);
    bool failureHappened = HostAllocationCount() - before >= k;
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live) << "after failing allocation " << k;
    if (value != "none") {
      EXPECT_EQ(value, expected) << k;
    }
    succeeded = !failureHappened;
    if (!succeeded) continue;
    EXPECT_EQ(value, expected);
  }
  EXPECT_TRUE(succeeded);
}


// ---- Through the parser ------------------------------------------------------------------

class ParsedFormulas : public Evaluator {
 protected:
  HEXP Parse(const char* text, const char* name = nullptr) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec_, nullptr, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << ": error " << error.code << " at " << error.pos;
    return exp;
  }
};

TEST_F(ParsedFormulas, NumbersDatesAndTextsEndToEnd) {
  EXPECT_EQ(NumberOf(Parse("(n1 + 3) * 4 - 10 / 4")), "17.5");
  EXPECT_EQ(NumberOf(Parse("n3 + 5")), "5");
  EXPECT_EQ(NumberOf(Parse("5 / 0")), "0");
  EXPECT_EQ(NumberOf(Parse("1 - -5")), "6");
  EXPECT_EQ(NumberOf(Parse("NumberIFF(n1 - 3, 1, 2, 3)")), "1");
  EXPECT_EQ(NumberOf(Parse("Power(n1, 10) + NumberMod(-7, 3)")), "1023");
  EXPECT_EQ(DateOf(Parse("d1 + 1 MONTHS")), "2000-02-29 10:30:00");
  EXPECT_EQ(DateOf(Parse("DateMonthEnd(DateAddDay(d1, 30)) + 1 MONTHS")), "2000-04-30 00:00:00");
  EXPECT_EQ(DateOf(Parse("DateIFF(0, d1, d2, d1)")), "2000-01-01 12:00:00");
  EXPECT_EQ(NumberOf(Parse("d1 - d2")), "30");
  EXPECT_EQ(NumberOf(Parse("d1 - '1/1/2000'")), "30");
  EXPECT_EQ(StringOf(Parse("'it''s ' || s1")), "it's Hello");
  EXPECT_EQ(StringOf(Parse("StrUpper(StrLeft(s1, 3)) || '!'")), "HEL!");
  EXPECT_EQ(StringOf(Parse("StrCase(2, 'a,b,c') + StrTranslate('b', 'a,b,c', 'x,y,z')")), "cy");
}

TEST_F(ParsedFormulas, NamedFormulasReferToEachOther) {
  Parse("n1 + 1", "Base");
  Parse("Base() * 10", "Scaled");
  EXPECT_EQ(NumberOf(Parse("Scaled() - Base()")), "27");
  // After the item behind them is deleted, nothing above it has a value.
  ASSERT_EQ(XEVDelExpItemNoCheck(ec_, XEV_ITEM_DATA, "n1"), 1);
  EXPECT_EQ(NumberOf(XEVHEXPFromName(ec_, "Scaled")), "none");
}

}  // namespace
