// Sweep() runs an attempt once to count the allocations its operation makes,
// then once per allocation with exactly that one failing. Each attempt brackets
// the operation with Arm() and Disarm(), checks the outcome and releases
// everything; Sweep() checks that no block outlives it. The rest is a small
// host the scenarios share and a check that a context still works.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "xev/xev.h"

namespace oom {

struct Totals {
  int scenarios = 0;
  int64_t points = 0;
};

inline Totals& RunTotals() {
  static Totals totals;
  return totals;
}

// One run of an attempt: either the counting run or one with the failAt-th
// allocation after Arm() failing.
class Trial {
 public:
  explicit Trial(int64_t failAt) : failAt_(failAt) {}
  ~Trial() { Disarm(); }
  Trial(const Trial&) = delete;
  Trial& operator=(const Trial&) = delete;
  void Arm() {
    start_ = HostAllocationCount();
    HostFailAllocationAfter(failAt_);
    armed_ = true;
  }
  void Disarm() {
    if (!armed_) return;
    HostFailAllocationAfter(0);
    made_ = HostAllocationCount() - start_;
    armed_ = false;
  }
  // False only in the counting run, whose outcome is the reference.
  bool failing() const { return failAt_ > 0; }
  // Which allocation after Arm() fails (1 is the first); 0 in the counting run.
  int64_t failAt() const { return failAt_; }
  int64_t made() const { return made_; }

 private:
  int64_t failAt_;
  int64_t start_ = 0;
  int64_t made_ = 0;
  bool armed_ = false;
};

using Attempt = std::function<void(Trial&)>;

// A test that ends with failures switched off and no block left that it did
// not find.
class NoLeakTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = HostLiveBlockCount(); }
  void TearDown() override {
    HostFailAllocationAfter(0);
    EXPECT_EQ(HostLiveBlockCount(), live_) << "blocks leaked";
  }
  int64_t live_ = 0;
};

// Returns the number of failure points. Stops at the first point that fails a
// check, so that one fault reports once, not once per allocation after it.
inline int64_t Sweep(const std::string& operation, const Attempt& attempt) {
  const int64_t live = HostLiveBlockCount();
  int64_t points = 0;
  {
    SCOPED_TRACE(operation + ", no allocation failing");
    Trial counting(0);
    attempt(counting);
    counting.Disarm();
    points = counting.made();
    EXPECT_EQ(HostLiveBlockCount(), live) << "blocks leaked";
  }
  int64_t reached = 0;
  for (int64_t k = 1; k <= points && !::testing::Test::HasFailure(); ++k) {
    SCOPED_TRACE(operation + ", allocation " + std::to_string(k) + " of " + std::to_string(points) +
                 " failing");
    Trial trial(k);
    attempt(trial);
    trial.Disarm();
    EXPECT_EQ(HostLiveBlockCount(), live) << "blocks leaked";
    // A list that kept the room an earlier run gave it grows without a new
    // allocation, so a repeat may need fewer than the counting run did.
    if (trial.made() < k) break;
    ++reached;
  }
  points = reached;
  RunTotals().points += points;
  if (std::getenv("XEV_SWEEP_VERBOSE") != nullptr) {
    std::printf("[ sweep    ] %s: %lld failure points\n", operation.c_str(), static_cast<long long>(points));
  }
  return points;
}

// ---- A host -------------------------------------------------------------------

// Number items are worth 7 times their name's length plus 3; every DateTime
// item is 14 March 2001 09:26:53; a String item's value is its own name.
inline int32_t XEV_CALL NumberItemValue(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  IntToNumber(static_cast<NumberValue*>(*result), static_cast<int32_t>(std::strlen(name)) * 7 + 3);
  return 1;
}

inline int32_t XEV_CALL DateItemValue(ExprContext*, HEXP, int32_t, void** result, const char*) {
  const DateParts parts{3, 14, 2001, 9, 26, 53, 0};
  auto* bytes = static_cast<unsigned char*>(*result);
  bytes[0] = DatePartsToNumber(bytes + 1, &parts);
  return 1;
}

inline int32_t XEV_CALL TextItemValue(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  return FUNStrVarResult(result, size, name);
}

inline int32_t XEV_CALL AggregateValue(ExprContext*, HEXP, int32_t, void** result, const char*, void**) {
  IntToNumber(static_cast<NumberValue*>(*result), 11);
  return 1;
}

inline intptr_t ValueCallbackFor(int16_t type) {
  switch (type) {
    case XEV_TYPE_NUMBER: return reinterpret_cast<intptr_t>(&NumberItemValue);
    case XEV_TYPE_DATETIME: return reinterpret_cast<intptr_t>(&DateItemValue);
    default: return reinterpret_cast<intptr_t>(&TextItemValue);
  }
}

// The host's '+' on Numbers, which stored blocks name.
inline int32_t XEV_CALL AddNumbers(ExprContext*, HEXP, int32_t, int32_t, void* left, int32_t, void* right,
                                   int32_t, void* result) {
  return NumberAdd(static_cast<NumberValue*>(result), static_cast<const NumberValue*>(left),
                   static_cast<const NumberValue*>(right));
}

// Operator names ending in "Plus" resolve to AddNumbers; every other name
// (binding names of stored data items) to an address the scenarios never call.
inline intptr_t XEV_CALL ResolveToDummy(const char* name) {
  const size_t length = std::strlen(name);
  if (length >= 4 && std::strcmp(name + length - 4, "Plus") == 0) {
    return reinterpret_cast<intptr_t>(&AddNumbers);
  }
  return 0x1000;
}

inline int32_t AddDataItem(ExprContext* ec, const char* name, int16_t type, const char* binding = nullptr) {
  ExpItem item{};
  item.kind = XEV_ITEM_DATA;
  item.dataType = type;
  item.bindingName = binding;
  item.boundValue = binding == nullptr ? ValueCallbackFor(type) : 0;
  std::strncpy(item.name, name, sizeof item.name - 1);
  return XEVAddExpressionItem(ec, &item);
}

inline int32_t AddKeywordItem(ExprContext* ec, const char* name, int16_t type) {
  ExpItem item{};
  item.kind = XEV_ITEM_KEYWORD;
  item.dataType = type;
  item.subclass = XEV_TYPE_NUMBER;
  std::strncpy(item.name, name, sizeof item.name - 1);
  return XEVAddExpressionItem(ec, &item);
}

// A record sized for every parameter, since ExpItem holds room for one only.
inline int32_t AddFunction(ExprContext* ec, const char* name, int16_t type, intptr_t entry,
                           const std::vector<ExpParam>& params, uint16_t flags = 0) {
  std::vector<unsigned char> bytes(XEV_ITEM_FIXED_SIZE + sizeof(ExpParam) * (params.size() + 1));
  auto* item = reinterpret_cast<ExpItem*>(bytes.data());
  item->kind = XEV_ITEM_FUNCTION;
  item->dataType = type;
  item->boundValue = entry;
  std::strncpy(item->name, name, sizeof item->name - 1);
  item->paramCount = static_cast<int16_t>(params.size());
  item->flags = flags;
  std::memcpy(bytes.data() + XEV_ITEM_FIXED_SIZE, params.data(), sizeof(ExpParam) * params.size());
  return XEVAddExpressionItem(ec, item);
}

// A host aggregate with one parameter passed by name, accepting DISTINCT and ALL.
inline int32_t AddAggregate(ExprContext* ec, const char* name, int16_t parameterType) {
  return AddFunction(ec, name, XEV_TYPE_NUMBER, reinterpret_cast<intptr_t>(&AggregateValue),
                     {ExpParam{1, parameterType, 0}}, XEV_FN_DISTINCT | XEV_FN_ALL);
}

struct ItemSpec {
  const char* name;
  int16_t type;
};

// The items the formula corpus (tests/data/formulas/corpus.txt) is written against.
inline const std::vector<ItemSpec>& CorpusDataItems() {
  static const std::vector<ItemSpec> items = [] {
    std::vector<ItemSpec> all;
    const auto add = [&](int16_t type, std::initializer_list<const char*> names) {
      for (const char* name : names) all.push_back({name, type});
    };
    add(XEV_TYPE_NUMBER, {"Amount", "Price", "Quantity", "Discount", "Freight", "Weight", "CustomerNo",
                          "Orders.Lines.Total"});
    add(XEV_TYPE_STRING, {"Customer", "City", "Region", "Country", "ProductName", "Category", "SalesRep",
                          "\"Ship Via\""});
    add(XEV_TYPE_DATETIME, {"OrderDate", "ShipDate", "DueDate", "PaidDate"});
    return all;
  }();
  return items;
}

constexpr uint16_t kHostFlags =
    ECF_RANGES_SETS | ECF_SET_QUANTIFIERS | ECF_MODULO | ECF_STRING_PLUS | ECF_DATE_MINUS_STRING;

// Built-in functions, the corpus items and aggregates, made with no failure armed.
inline ExprContext* NewHostContext(XEVRenameCallback rename = nullptr) {
  ExprContext* ec = XEVCreateEC(0, ResolveToDummy, rename, kHostFlags);
  EXPECT_NE(ec, nullptr);
  EXPECT_EQ(FUNDefineFunctions(ec), 1);
  for (const ItemSpec& item : CorpusDataItems()) EXPECT_EQ(AddDataItem(ec, item.name, item.type), 1);
  EXPECT_EQ(AddAggregate(ec, "Sum", XEV_TYPE_NUMBER), 1);
  EXPECT_EQ(AddAggregate(ec, "Avg", XEV_TYPE_NUMBER), 1);
  EXPECT_EQ(AddAggregate(ec, "Count", XEV_TYPE_ANY), 1);
  return ec;
}

inline HEXP ParseOrFail(ExprContext* ec, const std::string& text, const std::string& name) {
  ExprError error{};
  uint16_t type = 0;
  HEXP exp = XEVParseFormula(ec, nullptr, text.c_str(), name.c_str(), &error, &type);
  EXPECT_NE(exp, nullptr) << name << " = " << text << " gave error " << error.code;
  return exp;
}

template <typename Length, typename Get>
std::string ReadBack(ExprContext* ec, HEXP exp, Length length, Get get) {
  std::string text(static_cast<size_t>(length(ec, exp)) + 1, '\0');
  get(ec, exp, static_cast<int32_t>(text.size()), text.data());
  return text.c_str();
}
inline std::string ExpressionText(ExprContext* ec, HEXP exp) {
  return ReadBack(ec, exp, XEVGetExpressionTextLength, XEVGetExpressionText);
}
inline std::string ExpressionName(ExprContext* ec, HEXP exp) {
  return ReadBack(ec, exp, XEVGetExpressionNameLength, XEVGetExpressionName);
}

inline std::set<std::string> ItemNames(ExprContext* ec, int16_t kind) {
  std::set<std::string> names;
  XEVEnumExpItems(
      ec, kind,
      [](ExprContext*, const char* name, intptr_t user) -> int32_t {
        reinterpret_cast<std::set<std::string>*>(user)->insert(name);
        return 1;
      },
      reinterpret_cast<intptr_t>(&names));
  return names;
}

// The value of an expression as text ("<none>" when it yields no value).
// Numbers and dates land in the caller's 13 bytes; texts in a block the
// engine makes.
inline std::string ValueText(ExprContext* ec, HEXP exp) {
  const bool text = XEVGetExpressionDataType(ec, exp) == XEV_TYPE_STRING;
  unsigned char number[XEV_NUMBER_SIZE] = {};
  int32_t length = 0;
  void* block = text ? nullptr : number;
  if (!XEVEvaluateExpressionExt(ec, exp, &length, &block)) {
    if (text) {
      EXPECT_EQ(block, nullptr) << "a failed evaluation handed back a block";
      HostFree(block);
    }
    return "<none>";
  }
  if (text) {
    std::string value = static_cast<const char*>(block);
    HostFree(block);
    return value;
  }
  std::string value;
  for (unsigned char byte : number) value += std::to_string(byte) + ".";
  return value;
}

// A context is still usable when every expression can be read back and found
// by name and ordinal, and a new formula parses, evaluates and goes again.
inline void ExpectUsable(ExprContext* ec) {
  const int32_t count = XEVGetExpressionCount(ec);
  ASSERT_GE(count, 0);
  for (int32_t ordinal = 0; ordinal < count; ++ordinal) {
    HEXP exp = XEVHEXPFromOrdinal(ec, ordinal);
    ASSERT_NE(exp, nullptr) << "ordinal " << ordinal;
    EXPECT_EQ(XEVGetExpressionOrdinal(ec, exp), ordinal);
    const std::string name = ExpressionName(ec, exp);
    EXPECT_EQ(XEVHEXPFromName(ec, name.c_str()), exp) << name;
    EXPECT_FALSE(ExpressionText(ec, exp).empty()) << name;
  }
  for (int16_t kind : {XEV_ITEM_FUNCTION, XEV_ITEM_DATA, XEV_ITEM_KEYWORD}) ItemNames(ec, kind);
  // A data item slot left empty by a stopped load is counted by the size but
  // not written, so the block may come out shorter, never longer.
  std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
  EXPECT_LE(static_cast<uint32_t>(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data())),
            block.size());

  ExprError error{};
  uint16_t type = 0;
  HEXP probe = XEVParseFormula(ec, nullptr, "(7 + 5) * 2", "UsabilityProbe", &error, &type);
  ASSERT_NE(probe, nullptr) << "a new formula no longer parses: error " << error.code;
  EXPECT_EQ(XEVGetExpressionCount(ec), count + 1);
  NumberValue value{};
  EXPECT_EQ(XEVEvaluateExpression(ec, probe, sizeof value, &value), 1);
  EXPECT_EQ(NumberToInt(&value), 24);
  EXPECT_EQ(XEVDestroyEXP(ec, probe), 1);
  EXPECT_EQ(XEVGetExpressionCount(ec), count);
}

}  // namespace oom
