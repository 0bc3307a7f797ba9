// Chains of left-associative operators a million terms long: every operation
// on a formula must cope with a tree as deep as the chain is long, while
// nesting stays bounded by the parser's stack. The chains run on a thread
// with a small stack, so a walk that recursed once per level would crash.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "functions/call_helpers.h"

using namespace xev_test;

namespace {

#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr int kTerms = 200000;  // the sanitizer build is several times slower
#else
constexpr int kTerms = 1000000;
#endif
// Chains of the other operators take the same walks; a tenth of the length
// shows any per-level recursion as well.
constexpr int kShorterTerms = kTerms / 10;
constexpr size_t kSmallStack = 512 * 1024;

int32_t XEV_CALL One(ExprContext*, HEXP, int32_t, void** result, const char*) {
  IntToNumber(static_cast<NumberValue*>(*result), 1);
  return 1;
}
int32_t XEV_CALL Letter(ExprContext*, HEXP, int32_t size, void** result, const char*) {
  return FUNStrVarResult(result, size, "x");
}
int32_t XEV_CALL Midnight(ExprContext*, HEXP, int32_t, void** result, const char*) {
  *static_cast<NumberValue*>(*result) = Date(2000, 1, 1);
  return 1;
}
// An aggregate: its parameter is passed by name, and it counts as zero.
int32_t XEV_CALL Aggregate(ExprContext*, HEXP, int32_t, void** result, const char*, void**) {
  IntToNumber(static_cast<NumberValue*>(*result), 0);
  return 1;
}

intptr_t XEV_CALL Resolve(const char* name) {
  if (std::strcmp(name, "one") == 0) return reinterpret_cast<intptr_t>(&One);
  if (std::strcmp(name, "letter") == 0) return reinterpret_cast<intptr_t>(&Letter);
  if (std::strcmp(name, "midnight") == 0) return reinterpret_cast<intptr_t>(&Midnight);
  return 0;
}

void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kSmallStack), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// first, then (terms - 1) times op and term.
std::string Chain(const std::string& first, const char* op, const char* term, int terms) {
  std::string text = first;
  text.reserve(first.size() + static_cast<size_t>(terms) * (std::strlen(op) + std::strlen(term) + 2));
  for (int i = 1; i < terms; ++i) text.append(" ").append(op).append(" ").append(term);
  return text;
}

int32_t XEV_CALL DestroyUser(ExprContext* ec, HEXP exp, ExpItem*) { return XEVDestroyEXP(ec, exp); }

int32_t XEV_CALL CountReference(ExprContext*, int16_t, const char*, intptr_t user) {
  ++*reinterpret_cast<int*>(user);
  return 1;
}

class LongChain : public ::testing::Test {
 protected:
  void SetUp() override { live_ = HostLiveBlockCount(); }
  void TearDown() override { EXPECT_EQ(HostLiveBlockCount(), live_); }

  // A context with the Number items A, B and C (all 1), the text S ("x"),
  // the DateTime D, the built-in functions and the aggregate Agg; blocks it loads bind the items
  // again through Resolve.
  static ExprContext* NewContext(bool withItems = true) {
    ExprContext* ec = XEVCreateEC(0, Resolve, nullptr, ECF_MODULO);
    EXPECT_EQ(FUNDefineFunctions(ec), 1);
    EXPECT_EQ(testhost::AddItem(ec, XEV_ITEM_FUNCTION, "Agg", {.bound = testhost::Bound(&Aggregate), .params = {{0, 1}}}),
              1);
    if (!withItems) return ec;
    const std::tuple<const char*, int16_t, const char*> items[] = {{"A", XEV_TYPE_NUMBER, "one"},
                                                                   {"B", XEV_TYPE_NUMBER, "one"},
                                                                   {"C", XEV_TYPE_NUMBER, "one"},
                                                                   {"S", XEV_TYPE_STRING, "letter"},
                                                                   {"D", XEV_TYPE_DATETIME, "midnight"}};
    for (const auto& [name, type, binding] : items) {
      EXPECT_EQ(testhost::AddItem(ec, XEV_ITEM_DATA, name, {.type = type, .binding = binding}), 1);
    }
    return ec;
  }

  static HEXP Parse(ExprContext* ec, const std::string& text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name, &error, &type);
    EXPECT_NE(exp, nullptr) << name << ": error " << error.code << " at " << error.pos;
    return exp;
  }

  static std::string NumberOf(ExprContext* ec, HEXP exp) {
    NumberValue value{};
    if (exp == nullptr || !XEVEvaluateExpression(ec, exp, 0, &value)) return "none";
    return Text(value);
  }

  static std::string ExtendedText(ExprContext* ec, HEXP exp) {
    int32_t length = XEVGetExtendedTextLength(ec, exp, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    XEVGetExtendedText(ec, exp, length + 1, text.data(), 0);
    return text.c_str();
  }

  int64_t live_ = 0;
};

TEST_F(LongChain, SumIsParsedEvaluatedQueriedCopiedStoredAndReleased) {
  RunOnSmallStack([] {
    ExprContext* ec = NewContext();
    ASSERT_NE(Parse(ec, "A * 2", "Base"), nullptr);
    // The deepest leaf names a function and an item, the top a reference to
    // the sum, so every query has to reach both ends of the chain.
    const std::string text = Chain("Agg(B) + Base()", "+", "A", kTerms - 2) + " + C";
    HEXP sum = Parse(ec, text, "Sum");
    HEXP outer = Parse(ec, "Sum() + 1", "Outer");
    ASSERT_NE(sum, nullptr);
    ASSERT_NE(outer, nullptr);
    const std::string total = std::to_string(kTerms);
    EXPECT_EQ(NumberOf(ec, sum), total);
    EXPECT_EQ(NumberOf(ec, sum), total);  // a second row
    EXPECT_EQ(NumberOf(ec, outer), std::to_string(kTerms + 1));  // the reference is walked

    EXPECT_EQ(XEVIsItemUsed(ec, sum, XEV_ITEM_DATA, "B"), 1);
    EXPECT_EQ(XEVIsItemUsed(ec, sum, XEV_ITEM_DATA, "C"), 1);
    EXPECT_EQ(XEVIsItemUsed(ec, sum, XEV_ITEM_DATA, "S"), 0);
    EXPECT_EQ(XEVIsItemUsed(ec, outer, XEV_ITEM_FORMULA, "Base"), 1);
    EXPECT_EQ(XEVIsItemUsed(ec, outer, XEV_ITEM_FUNCTION, "Agg"), 1);
    EXPECT_EQ(XEVIsNamedFormulaUsed(ec, "Sum"), 1);
    EXPECT_EQ(XEVIsNamedFormulaUsed(ec, "Outer"), 0);
    EXPECT_EQ(XEVIsItemUsedInComplex(ec, "B"), 1);
    EXPECT_EQ(XEVIsFunctionVariableUsed(ec, outer, "Agg", "B"), 1);
    EXPECT_EQ(XEVIsFunctionVariableUsed(ec, outer, "Agg", "A"), 0);
    EXPECT_EQ(XEVIsAggregateUsed(ec, outer), 1);
    int references = 0;
    EXPECT_EQ(XEVEnumExpReferences(ec, sum, CountReference, reinterpret_cast<intptr_t>(&references)), 1);
    EXPECT_EQ(references, kTerms + 1);  // Agg, B, Base, the A's and C

    std::string expanded = "Agg(B) + (A * 2)" + text.substr(std::strlen("Agg(B) + Base()"));
    EXPECT_EQ(XEVGetExtendedTextLength(ec, sum, 0), static_cast<int32_t>(expanded.size()));
    EXPECT_TRUE(ExtendedText(ec, sum) == expanded);

    ExprContext* copy = XEVCopyEC(ec);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(NumberOf(copy, XEVHEXPFromName(copy, "Outer")), std::to_string(kTerms + 1));
    EXPECT_EQ(XEVDestroyEC(copy), 1);

    std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
    ASSERT_EQ(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data()),
              static_cast<int32_t>(block.size()));
    ExprContext* loaded = NewContext(false);
    ASSERT_EQ(XEVSetECContents(loaded, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 1);
    EXPECT_EQ(NumberOf(loaded, XEVHEXPFromName(loaded, "Sum")), total);
    EXPECT_EQ(XEVIsItemUsed(loaded, XEVHEXPFromName(loaded, "Sum"), XEV_ITEM_DATA, "C"), 1);
    EXPECT_EQ(XEVDestroyEC(loaded), 1);

    HEXP twin = XEVCloneExpression(ec, sum, "Twin", nullptr);
    EXPECT_EQ(NumberOf(ec, twin), total);
    EXPECT_EQ(XEVDestroyEXP(ec, twin), 1);
    XEVRenameExpressionItem(ec, XEV_ITEM_DATA, "C", "Last");
    EXPECT_EQ(XEVIsItemUsed(ec, sum, XEV_ITEM_DATA, "Last"), 1);
    EXPECT_EQ(XEVGetExpressionTextLength(ec, sum), static_cast<int32_t>(text.size() + 3));
    EXPECT_EQ(NumberOf(ec, outer), std::to_string(kTerms + 1));
    // Deleting the item at the bottom of the chain takes both formulas with it.
    EXPECT_EQ(XEVDeleteExpItem(ec, XEV_ITEM_DATA, "B", DestroyUser), 1);
    EXPECT_EQ(XEVGetExpressionCount(ec), 1);
    EXPECT_EQ(XEVDestroyEC(ec), 1);
  });
}

TEST_F(LongChain, EveryLeftAssociativeOperator) {
  RunOnSmallStack([] {
    ExprContext* ec = NewContext();
    auto check = [&](const std::string& text, const std::string& expected) {
      HEXP exp = Parse(ec, text, nullptr);
      if (exp == nullptr) return;
      EXPECT_EQ(NumberOf(ec, exp), expected) << text.substr(0, 20);
      EXPECT_EQ(XEVIsItemUsed(ec, exp, XEV_ITEM_DATA, "B"), 0);  // looks at every node
      EXPECT_EQ(XEVGetExtendedTextLength(ec, exp, 0), static_cast<int32_t>(text.size()));
      EXPECT_EQ(XEVDestroyEXP(ec, exp), 1);
    };
    check(Chain("A", "-", "A", kShorterTerms), std::to_string(2 - kShorterTerms));
    check(Chain("A", "*", "A", kShorterTerms) + " * 3", "3");
    check(Chain("A * 6", "/", "A", kShorterTerms) + " / 4", "1.5");
    check(Chain("A", "%", "A", kShorterTerms), "none");  // '%' parses but has no value
    // Products inside a sum: the right operands are chains of their own.
    check(Chain("A * A", "+", "A * A * A", kShorterTerms), std::to_string(kShorterTerms));

    // Joins and date units are the walk's own, with no prepared form.
    HEXP joined = Parse(ec, Chain("S", "||", "S", kTerms), nullptr);
    void* block = nullptr;
    int32_t length = 0;
    ASSERT_EQ(XEVEvaluateExpressionExt(ec, joined, &length, &block), 1);
    EXPECT_TRUE(std::string(static_cast<const char*>(block)) == std::string(kTerms, 'x'));
    HostFree(block);

    HEXP later = Parse(ec, Chain("D", "+", "1 SECONDS", kShorterTerms), nullptr);
    NumberValue date{};
    ASSERT_EQ(XEVEvaluateExpression(ec, later, 0, &date), 1);
    int seconds = kShorterTerms - 1;
    char expected[32];
    std::snprintf(expected, sizeof expected, "2000-01-%02d %02d:%02d:%02d", 1 + seconds / 86400,
                  seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    EXPECT_EQ(DateText(date), expected);
    EXPECT_EQ(XEVDestroyEC(ec), 1);
  });
}

// Nesting is what the parser's stack bounds, chain or no chain before it:
// the overflow is reported where it is after a single "+", moved by the
// chain's length.
TEST_F(LongChain, NestingIsStillRefusedWhereTheParserStackOverflows) {
  ExprContext* ec = NewContext();
  auto failure = [&](const std::string& text) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), nullptr, &error, &type);
    EXPECT_EQ(exp, nullptr);
    return std::tuple(error.code, error.pos, error.len);
  };
  auto nested = [](const char* open, int depth, const std::string& inner) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    return text + inner + std::string(static_cast<size_t>(depth), ')');
  };
  const std::string chain = Chain("A", "+", "A", 1000);
  for (const std::string& deep : {nested("(", 146, "1"), nested("NumberAbsolute(", 148, "A"), nested("A + (", 80, "A")}) {
    auto after = failure("A + " + deep);
    EXPECT_EQ(std::get<0>(after), 122u) << deep.substr(0, 10);
    std::get<1>(after) += static_cast<uint32_t>(chain.size() - 1);
    EXPECT_EQ(failure(chain + " + " + deep), after) << deep.substr(0, 10);
  }
  // A chain inside the deepest nesting that fits costs no more stack.
  HEXP inside = Parse(ec, "A + " + nested("(", 143, chain), nullptr);
  EXPECT_EQ(NumberOf(ec, inside), "1001");
  EXPECT_EQ(XEVDestroyEC(ec), 1);
}

}  // namespace
