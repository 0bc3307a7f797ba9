// Every allocation of the engine's operations fails in turn. Each failure must
// end the operation with its failure result (or full success where that
// allocation's result is ignored), keep the context usable, and leak nothing.
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "core/core.h"
#include "oom/sweep.h"
#include "tests/language/corpus_context.h"

namespace {

using namespace oom;

class SweepFigures : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("[ sweep    ] %d scenarios, %lld failure points\n", RunTotals().scenarios,
                static_cast<long long>(RunTotals().points));
  }
};
const auto* const kFigures = ::testing::AddGlobalTestEnvironment(new SweepFigures);

class AllocationSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ++RunTotals().scenarios;
    HostSetCodePage(XEV_CP_WESTERN);
  }
  void TearDown() override { HostFailAllocationAfter(0); }
};

// 121, or 123 when the scanner had set aside a date-like token that did not
// name a date: a failed parse then reports that date, whatever stopped it.
bool IsMemoryError(uint32_t code) { return code == 121 || code == 123; }

struct Formula {
  std::string name;
  std::string text;
};

// A few formulas that refer to each other, with a range and a set.
const std::vector<Formula>& SmallFormulaSet() {
  static const std::vector<Formula> formulas = {
      {"Net", "Amount - Discount"},        {"Tax", "Net() * 0.19"},
      {"Total", "Net() + Tax() + Freight"}, {"Label", "StrUpper(Customer) || ' in ' || City"},
      {"Due", "OrderDate + 14 DAYS"},      {"Bands", "0 AND 1000.50"},
      {"Regions", "'EMEA', 'APAC', 'AMER'"}, {"Unique", "Count(DISTINCT CustomerNo)"},
  };
  return formulas;
}

void AddFormulas(ExprContext* ec, const std::vector<Formula>& formulas) {
  for (const Formula& f : formulas) ParseOrFail(ec, f.text, f.name);
}

int32_t ItemCount(ExprContext* ec, int16_t kind) { return static_cast<int32_t>(ItemNames(ec, kind).size()); }

int32_t AddKeywordItem(ExprContext* ec, const char* name, int16_t type) {
  return AddItem(ec, XEV_ITEM_KEYWORD, name, {.type = type, .subclass = XEV_TYPE_NUMBER});
}

TEST_F(AllocationSweep, BuildingAContextStepByStep) {
  Sweep("building a context", [](Trial& trial) {
    trial.Arm();
    ExprContext* ec = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
    if (ec == nullptr) {
      trial.Disarm();
      EXPECT_TRUE(trial.failing());
      return;
    }
    // Once one step has failed, later steps may fail for its sake.
    bool failedBefore = false;
    const auto step = [&](bool ok, const std::string& what) {
      EXPECT_TRUE(ok || trial.failing()) << what;
      failedBefore = failedBefore || !ok;
      return ok;
    };
    XEVSetDateConvert(ec, "DATE('%s')", "TIMESTAMP('%s')", "TIME('%s')", 0x02);
    XEVSetDatePicture(ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "HH:mm:ss");
    step(FUNDefineFunctions(ec) == 1, "FUNDefineFunctions");
    std::set<std::string> added;
    for (const NamedType& item : CorpusDataItems()) {
      if (step(AddDataItem(ec, item.name, item.type, "HostGetter") == 1, item.name)) added.insert(item.name);
    }
    step(AddKeywordItem(ec, "PageNo", 300) == 1, "keyword item");
    step(AddAggregate(ec, "Count", XEV_TYPE_ANY) == 1, "aggregate");
    for (const Formula& f : SmallFormulaSet()) {
      ExprError error{};
      uint16_t type = 0;
      const int32_t before = XEVGetExpressionCount(ec);
      HEXP exp = XEVParseFormula(ec, nullptr, f.text.c_str(), f.name.c_str(), &error, &type);
      if (exp == nullptr) {
        EXPECT_EQ(XEVGetExpressionCount(ec), before) << f.name;
        EXPECT_TRUE(failedBefore || IsMemoryError(error.code)) << f.name << ": error " << error.code;
      }
      step(exp != nullptr, f.name);
    }
    // Losing the name of an operator callback destroys the whole context.
    const bool operatorSet = XEVSetOperatorCallback(ec, 4, XEV_TYPE_NUMBER, "NumberConcat") == 1;
    trial.Disarm();
    if (!operatorSet) {
      EXPECT_TRUE(trial.failing());
      return;
    }

    for (int i = 0; i < 3; ++i) {
      // A picture or conversion string that could not be copied is simply absent.
      const char* pictures[] = {"yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "HH:mm:ss"};
      const char* converts[] = {"DATE('%s')", "TIMESTAMP('%s')", "TIME('%s')"};
      if (ec->datePictures[i] != nullptr) { EXPECT_STREQ(ec->datePictures[i], pictures[i]); }
      if (ec->dateConverts[i] != nullptr) { EXPECT_STREQ(ec->dateConverts[i], converts[i]); }
      EXPECT_TRUE(ec->datePictures[i] != nullptr || trial.failing());
    }
    EXPECT_EQ(ItemNames(ec, XEV_ITEM_DATA), added) << "an item that could not be stored was left behind";
    for (const std::string& name : added) {
      ExpItem item{};
      ASSERT_EQ(XEVGetExpressionVariable(ec, &item, name.c_str()), 1);
      if (item.bindingName != nullptr) { EXPECT_STREQ(item.bindingName, "HostGetter"); }
    }
    ExpectUsableThenDestroy(ec);
  });
}

TEST_F(AllocationSweep, CopyingAContextWithItemsAndFormulas) {
  ExprContext* source = NewHostContext();
  AddKeywordItem(source, "PageNo", 300);
  XEVSetDateConvert(source, "DATE('%s')", nullptr, "TIME('%s')", 0x02);
  XEVSetDatePicture(source, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", nullptr);
  XEVSetUserLong(source, 77);
  AddFormulas(source, SmallFormulaSet());
  const std::string sourceSeen = Snapshot(source);

  Sweep("copying a context", [&](Trial& trial) {
    trial.Arm();
    ExprContext* copy = XEVCopyEC(source);
    trial.Disarm();
    // Only the context record itself is needed; later failures return what could be copied.
    EXPECT_EQ(copy == nullptr, trial.failAt() == 1);
    if (copy == nullptr) return;
    EXPECT_EQ(XEVGetUserLong(copy), 77);
    // Whatever was copied is the source's, down to the values of its
    // formulas; a copy without failures is all of it.
    const std::string seen = Snapshot(copy);
    ExpectWithin(seen, sourceSeen);
    if (!trial.failing()) {
      EXPECT_EQ(seen, sourceSeen);
      EXPECT_STREQ(copy->datePictures[1], "yyyy-MM-dd HH:mm:ss");
      EXPECT_STREQ(copy->dateConverts[2], "TIME('%s')");
    }
    ExpectUsableThenDestroy(copy);
  });
  EXPECT_EQ(Snapshot(source), sourceSeen) << "copying changed its source";
  ExpectUsableThenDestroy(source);
}

// Rows registered before a failure stay, so later failures keep more of them.
TEST_F(AllocationSweep, DefiningTheBuiltInFunctions) {
  int32_t lastRegistered = 0;
  Sweep("FUNDefineFunctions", [&](Trial& trial) {
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
    trial.Arm();
    const int32_t result = FUNDefineFunctions(ec);
    trial.Disarm();
    const int32_t registered = ItemCount(ec, XEV_ITEM_FUNCTION);
    if (result == 1) {
      EXPECT_EQ(registered, 46) << "success with rows missing";
    } else {
      EXPECT_TRUE(trial.failing());
      EXPECT_LT(registered, 46);
      EXPECT_GE(registered, lastRegistered);
      lastRegistered = registered;
    }
    ExpectUsableThenDestroy(ec);
  });
  EXPECT_GT(lastRegistered, 40);
  EXPECT_EQ(FUNDefineFunctions(nullptr), 0);
}

std::vector<Formula> Corpus() {
  std::vector<Formula> formulas;
  for (const parse_test::CorpusFormula& f : parse_test::LoadCorpus(parse_test::CorpusPath())) {
    formulas.push_back({f.name, f.text});
  }
  return formulas;
}

// One context for the whole corpus: each formula's sweep leaves the context
// as it found it, and the formula is then added for the ones after it.
TEST_F(AllocationSweep, ParsingEveryCorpusFormula) {
  ExprContext* ec = NewHostContext();
  const std::vector<Formula> corpus = Corpus();
  ASSERT_GT(corpus.size(), 50u);
  for (const Formula& f : corpus) {
    uint16_t expectedType = 0xFFFF;
    Sweep("parsing " + f.name, [&](Trial& trial) {
      const std::string before = Snapshot(ec, false);
      ExprError error{};
      uint16_t type = 0xFFFF;
      trial.Arm();
      HEXP exp = XEVParseFormula(ec, nullptr, f.text.c_str(), f.name.c_str(), &error, &type);
      trial.Disarm();
      if (!trial.failing()) {
        ASSERT_NE(exp, nullptr) << f.text << ": error " << error.code;
        expectedType = type;
      }
      if (exp == nullptr) {
        EXPECT_TRUE(IsMemoryError(error.code)) << "running out of memory reported as error " << error.code;
        EXPECT_EQ(Snapshot(ec, false), before);
        return;
      }
      EXPECT_EQ(type, expectedType);
      EXPECT_EQ(ExpressionText(ec, exp), f.text);
      EXPECT_EQ(XEVDestroyEXP(ec, exp), 1);
    });
    if (HasFailure()) break;
    ParseOrFail(ec, f.text, f.name);
  }
  ExpectUsableThenDestroy(ec);
}

int32_t g_renames = 0;
void XEV_CALL CountRename(ExprContext*, const char*, const char*) { ++g_renames; }

TEST_F(AllocationSweep, ReplacingAFormulaInPlace) {
  struct Replacement {
    const char* formula;
    const char* text;
    const char* name;
  };
  const Replacement replacements[] = {
      {"Net", "Amount - Discount * 2", "Net"},             // referenced, same type
      {"Label", "StrProper(City) || '!'", "Banner"},        // renamed
      {"Label", "DateMonthEnd(OrderDate) + 1 DAY", "Label"},  // unreferenced, new type
  };
  for (const Replacement& r : replacements) {
    Sweep(std::string("replacing ") + r.formula, [&](Trial& trial) {
      ExprContext* ec = NewHostContext(CountRename);
      AddFormulas(ec, SmallFormulaSet());
      HEXP exp = XEVHEXPFromName(ec, r.formula);
      const std::string before = Snapshot(ec);
      g_renames = 0;

      ExprError error{};
      uint16_t type = 0;
      trial.Arm();
      HEXP result = XEVParseFormula(ec, exp, r.text, r.name, &error, &type);
      trial.Disarm();
      if (result == nullptr) {
        EXPECT_TRUE(trial.failing()) << "error " << error.code;
        EXPECT_TRUE(IsMemoryError(error.code)) << "error " << error.code;
        EXPECT_EQ(g_renames, 0);
        EXPECT_EQ(Snapshot(ec), before) << "the old formula or its tree was damaged";
      } else {
        EXPECT_EQ(result, exp);
        EXPECT_EQ(ExpressionName(ec, exp), r.name);
        EXPECT_EQ(ExpressionText(ec, exp), r.text);
        EXPECT_EQ(g_renames, std::string(r.name) == r.formula ? 0 : 1);
        EXPECT_NE(ValueText(ec, exp), "<none>");
      }
      ExpectUsableThenDestroy(ec);
    });
    if (HasFailure()) break;
  }
}

TEST_F(AllocationSweep, CloningAFormula) {
  for (const char* newName : {"TotalCopy", ""}) {
    Sweep(std::string("cloning under '") + newName + "'", [&](Trial& trial) {
      ExprContext* ec = NewHostContext();
      AddFormulas(ec, SmallFormulaSet());
      HEXP total = XEVHEXPFromName(ec, "Total");
      const std::string before = Snapshot(ec);
      uint16_t type = 0xFFFF;
      trial.Arm();
      HEXP clone = XEVCloneExpression(ec, total, newName, &type);
      trial.Disarm();
      if (clone == nullptr) {
        EXPECT_TRUE(trial.failing());
        EXPECT_EQ(Snapshot(ec), before);
      } else {
        EXPECT_EQ(Snapshot(ec).find(before), 0u) << "the clone goes last, all else as it was";
        EXPECT_EQ(ExpressionText(ec, clone), ExpressionText(ec, total));
        if (*newName != '\0') { EXPECT_EQ(ExpressionName(ec, clone), newName); }
        EXPECT_EQ(ValueText(ec, clone), ValueText(ec, total));
      }
      ExpectUsableThenDestroy(ec);
    });
  }
}

TEST_F(AllocationSweep, WritingExtendedText) {
  ExprContext* ec = NewHostContext();
  XEVSetDateConvert(ec, "{d '%s'}", "{ts '%s'}", "{t '%s'}", 0x02);
  XEVSetDatePicture(ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "HH:mm:ss");
  ASSERT_EQ(AddItem(ec, XEV_ITEM_FUNCTION, "Soundex",
                    {.type = XEV_TYPE_STRING, .bound = 0x1000, .flags = XEV_FN_ESCAPE, .params = {{XEV_TYPE_STRING}}}),
            1);
  AddFormulas(ec, SmallFormulaSet());
  AddFormulas(ec, {{"Window", "12/25/2001 AND 12/31/2001 23:59"},
                   {"Code", "Soundex(Customer) || Soundex(Label())"},
                   {"DaysLate", "DateYear(12/25/2001 10:30) - DateYear(ShipDate)"},
                   {"Late", "DaysLate() + Total() * 2"}});
  for (const char* name : {"Total", "Window", "Code", "Late"}) {
    HEXP exp = XEVHEXPFromName(ec, name);
    ASSERT_NE(exp, nullptr) << name;
    for (int32_t expand : {0, 1}) {
      const int32_t length = XEVGetExtendedTextLength(ec, exp, expand);
      ASSERT_GT(length, 0);
      std::string expected;
      Sweep(std::string("extended text of ") + name, [&](Trial& trial) {
        std::string buffer(static_cast<size_t>(length) + 1, 'x');
        trial.Arm();
        const int32_t result = XEVGetExtendedText(ec, exp, length + 1, buffer.data(), expand);
        trial.Disarm();
        const std::string text = buffer.c_str();
        if (!trial.failing()) {
          EXPECT_GT(result, 0);
          expected = text;
        } else if (result == 0) {
          EXPECT_EQ(text, "") << "a failed extended text left something in the buffer";
        } else {
          EXPECT_EQ(text, expected);
        }
      });
      // The length a host sizes its buffer by: whatever it costs, never too small.
      Sweep(std::string("extended text length of ") + name, [&](Trial& trial) {
        trial.Arm();
        const int32_t measured = XEVGetExtendedTextLength(ec, exp, expand);
        trial.Disarm();
        if (measured != 0) { EXPECT_EQ(measured, length); }
      });
    }
  }
  ExpectUsableThenDestroy(ec);
}

int32_t XEV_CALL DestroyDependent(ExprContext* ec, HEXP exp, ExpItem*) { return XEVDestroyEXP(ec, exp); }

TEST_F(AllocationSweep, DeletingAnItemWithDependents) {
  struct Deletion {
    int16_t kind;
    const char* name;
  };
  for (const Deletion& d : {Deletion{XEV_ITEM_DATA, "Discount"}, Deletion{XEV_ITEM_FUNCTION, "StrUpper"}}) {
    Sweep(std::string("deleting ") + d.name, [&](Trial& trial) {
      ExprContext* ec = NewHostContext();
      AddFormulas(ec, SmallFormulaSet());
      AddFormulas(ec, {{"Shout", "Label() || '!'"}, {"Gross", "Total() + Net()"}});
      const int32_t before = XEVGetExpressionCount(ec);
      trial.Arm();
      const int32_t result = XEVDeleteExpItem(ec, d.kind, d.name, DestroyDependent);
      trial.Disarm();
      const bool present = ItemNames(ec, d.kind).count(d.name) == 1;
      if (result != 0) {
        EXPECT_FALSE(present);
        // Every formula that used the item went with it.
        for (int32_t i = 0; i < XEVGetExpressionCount(ec); ++i) {
          HEXP exp = XEVHEXPFromOrdinal(ec, i);
          EXPECT_EQ(XEVIsItemUsed(ec, exp, d.kind, d.name), 0) << ExpressionName(ec, exp);
        }
        EXPECT_LT(XEVGetExpressionCount(ec), before);
      } else {
        EXPECT_TRUE(trial.failing());
        EXPECT_TRUE(present) << "a failed deletion lost the item";
      }
      ExpectUsableThenDestroy(ec);
    });
    if (HasFailure()) break;
  }
}

// At least one call of each of the 46 built-in functions.
const std::vector<Formula>& BuiltInCalls() {
  static const char* const texts[] = {
      "DateAddDay(OrderDate, 10)", "DateMonthBegin(OrderDate)", "DateMonthEnd(OrderDate)",
      "DateYear(OrderDate) + DateMonth(OrderDate) + DateDay(OrderDate)",
      "DateHour(OrderDate) + DateMinute(OrderDate) + DateSecond(OrderDate)",
      "DateToStr(OrderDate) || DateToStrPicture(OrderDate, 'dddd, MMMM d, yyyy')",
      "DateConstruct(2001, 12, 31, 23, 59, 0)", "StrRepeat(City, 30)",
      "StrMid(Customer, 1, 3) || StrRight(Customer, 2) || StrLeft(Customer, 2)",
      "StrLength(City) + StrCompare(City, 'Oslo') + StrScan(Customer, 'om')",
      "StrRTrim(StrPad(City, 30)) || StrLTrim(StrSpaces(40) || City) || StrTrim('  x  ')",
      "StrIFF(Amount - 40, 'low', 'even', 'high')",
      "StrCase(1, Customer) || StrProper('mIXED case') || StrUpper(City) || StrLower(City)",
      "StrReplace(Customer, 1, 2, StrRepeat('<>', 20))", "StrToDate('12/25/2001 10:30')",
      "StrToNumber('1234.5') * 2", "NumberAbsolute(Amount - 100) + NumberMod(Amount, 7) + Power(Price, 2)",
      "NumberToStr(Amount, 2) || NumberToCurrency(Amount * 1000) || NumberCountryFmt(Amount)",
      "NumberRound(Price / 3, 2) + NumberTruncate(Price / 3, 1)", "NumberIFF(Amount - 40, 1, 2, 3)",
      "DateIFF(Amount - 40, OrderDate, ShipDate, DueDate)",
      "NumberToStrPicture(Amount * 1234.5, '#,##0.00;(#,##0.00)')",
      "StrTranslate(Customer, 'aeiou', 'AEIOU')", "WeekDay(OrderDate) + DateQuarter(OrderDate)",
      // Date literals, date differences, texts joined by '+', escaped quotes,
      // results beyond the Number range, and a call too wide for the stack.
      "DateAddDay(12/25/2001 10:30, 3)", "(12/31/2001 - OrderDate) + (OrderDate - '12/25/2001')",
      "Customer + ' isn''t ' + 'here'", "Power(10, 99) * Power(10, 99) + Amount / 0",
      "Sum9(Amount, Price, 3, 4, 5, 6, 7, 8, Discount)",
  };
  static const std::vector<Formula> calls = [] {
    std::vector<Formula> all;
    for (const char* text : texts) all.push_back({"F" + std::to_string(all.size() + 1), text});
    return all;
  }();
  return calls;
}

// A host function of nine Numbers, more than a call keeps on the stack.
int32_t XEV_CALL SumNine(ExprContext*, HEXP, int32_t, void** result, const char*, void** args) {
  NumberValue sum{};
  NumberSetZero(&sum);
  for (int i = 0; i < 9; ++i) {
    if (args[i] == nullptr) return 0;
    NumberAdd(&sum, &sum, static_cast<const NumberValue*>(args[i]));
  }
  std::memcpy(*result, &sum, sizeof sum);
  return 1;
}

// Evaluation leaves the context alone, so one context serves every formula.
// A failed allocation may take the value away, never change it.
TEST_F(AllocationSweep, EvaluatingEveryBuiltInAndTheCorpus) {
  ExprContext* ec = NewHostContext();
  ASSERT_EQ(AddItem(ec, XEV_ITEM_FUNCTION, "Sum9",
                    {.type = XEV_TYPE_NUMBER, .bound = Bound(&SumNine), .params = std::vector<Param>(9, {XEV_TYPE_NUMBER})}),
            1);
  std::vector<Formula> formulas = Corpus();
  AddFormulas(ec, formulas);
  AddFormulas(ec, BuiltInCalls());
  formulas.insert(formulas.end(), BuiltInCalls().begin(), BuiltInCalls().end());
  for (const Formula& f : formulas) {
    HEXP exp = XEVHEXPFromName(ec, f.name.c_str());
    ASSERT_NE(exp, nullptr) << f.name;
    // Ranges and sets have no value of their own.
    if (XEVIsExpRange(ec, exp, 1) || XEVIsExpRange(ec, exp, 2)) continue;
    std::string expected;
    Sweep("evaluating " + f.name, [&](Trial& trial) {
      trial.Arm();
      const std::string value = ValueText(ec, exp);
      trial.Disarm();
      if (!trial.failing()) {
        // '%' is scanned and typed but yields no value when evaluated.
        const bool modulo = f.name == "Remainder" || f.name == "Cartons";
        EXPECT_EQ(value == "<none>", modulo) << f.text;
        expected = value;
        return;
      }
      if (value != "<none>") { EXPECT_EQ(value, expected) << "a failed allocation changed the value"; }
    });
    if (HasFailure()) break;
  }
  ExpectUsableThenDestroy(ec);
}

TEST_F(AllocationSweep, WritingABlockNeedsNoMemory) {
  ExprContext* ec = NewHostContext();
  AddFormulas(ec, SmallFormulaSet());
  XEVSetOperatorCallback(ec, 0, XEV_TYPE_STRING, "StringPlus");
  const int64_t points = Sweep("writing a block", [&](Trial& trial) {
    trial.Arm();
    std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
    const int32_t written = XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data());
    trial.Disarm();
    EXPECT_EQ(static_cast<size_t>(written), block.size());
  });
  EXPECT_EQ(points, 0) << "the block writer allocates";
  XEVDestroyEC(ec);
}

// Versions 0 to 2 as an older writer left them; version 2 holds a formula
// that calls formulas stored after it.
std::vector<uint8_t> StoredBlock(int version) {
  const std::string path = std::string(XEV_TEST_DATA_DIR) + "/../../fuzz/corpus/block/version" +
                           std::to_string(version) + ".blk";
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A version 3 block from today's writer. Re-parsing the first formula in
// place to call the last one stores a caller before its callee, which is what
// makes a load defer.
std::vector<uint8_t> CurrentBlock() {
  ExprContext* ec = NewHostContext();
  XEVSetOperatorCallback(ec, 0, XEV_TYPE_NUMBER, "NumberPlus");
  AddFormulas(ec, SmallFormulaSet());
  HEXP first = XEVHEXPFromOrdinal(ec, 0);
  ExprError error{};
  uint16_t type = 0;
  EXPECT_EQ(XEVParseFormula(ec, first, "Unique() - Discount", "Net", &error, &type), first) << error.code;
  // A chain stored backwards waits for two passes.
  AddFormulas(ec, {{"Chain1", "1"}, {"Chain2", "2"}, {"Chain3", "Amount * 3"}});
  EXPECT_NE(XEVParseFormula(ec, XEVHEXPFromName(ec, "Chain2"), "Chain3() + 2", "Chain2", &error, &type), nullptr);
  EXPECT_NE(XEVParseFormula(ec, XEVHEXPFromName(ec, "Chain1"), "Chain2() + 1", "Chain1", &error, &type), nullptr);
  std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
  EXPECT_EQ(static_cast<size_t>(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data())),
            block.size());
  XEVDestroyEC(ec);
  return block;
}

std::vector<uint32_t> g_reported;
int32_t XEV_CALL RecordLoadError(ExprContext*, const char*, ExprError* error) {
  g_reported.push_back(error->code);
  return 0;
}

TEST_F(AllocationSweep, LoadingBlocksOfEveryVersion) {
  for (int version = 0; version <= 3; ++version) {
    const std::vector<uint8_t> block = version < 3 ? StoredBlock(version) : CurrentBlock();
    ASSERT_FALSE(block.empty());
    std::string loaded;
    Sweep("loading a version " + std::to_string(version) + " block", [&](Trial& trial) {
      // As a host prepares a context for a load: its functions, no data items.
      ExprContext* ec = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
      FUNDefineFunctions(ec);
      AddAggregate(ec, "Count", XEV_TYPE_ANY);
      g_reported.clear();
      // An exact copy, so that a read past the block is caught.
      std::vector<uint8_t> exact(block);
      trial.Arm();
      const int32_t result =
          XEVSetECContents(ec, static_cast<int32_t>(exact.size()), exact.data(), 1, RecordLoadError);
      trial.Disarm();
      // Data items bind to an address never called: no values.
      const std::string contents = Snapshot(ec, false);
      if (!trial.failing()) {
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(g_reported.empty());
        EXPECT_GT(XEVGetExpressionCount(ec), 1);
        loaded = contents;
      } else if (result == 1) {
        // Only a helper whose loss costs time, not data, may fail unnoticed.
        EXPECT_EQ(contents, loaded) << "a load that lost an allocation reported success";
      } else {
        ExpectWithin(contents, loaded);
        for (uint32_t code : g_reported) {
          EXPECT_TRUE(code == 121 || code == 103) << "reported error " << code;
        }
      }
      ExpectUsableThenDestroy(ec);
    });
    if (HasFailure()) break;
  }
}

}  // namespace
