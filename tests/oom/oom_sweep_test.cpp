// Every allocation of the engine's operations fails in turn. Each scenario
// names an operation, the context it works on and what a host sees of its
// outcome; one sweep holds every run to the same rules. A run that reports
// success gives exactly what the run without failure gave; a run that
// reports failure leaves what its scenario promises; the context stays
// usable, and nothing leaks.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

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

// What a run that reports failure may leave.
enum class Leaves {
  kUnchanged,      // the context as it was before the operation
  kPartOfBefore,   // some of what was there before and nothing new (a deletion that stopped midway)
  kPartOfOutcome,  // a part of the full outcome (building, copying, loading)
};

// An outcome's first line is "ok" or "failed"; the lines after it are what a
// host sees afterwards. operate arms the trial around the operation alone,
// and may make the context, or destroy it.
struct Scenario {
  std::string name;
  std::function<ExprContext*()> make;
  std::function<std::string(ExprContext*&, Trial&)> operate;
  Leaves leaves = Leaves::kUnchanged;
  bool values = true;  // whether the snapshots evaluate the formulas
};

constexpr char kFailed[] = "failed\n";

std::string Outcome(bool ok, const std::string& seen = "") { return (ok ? "ok\n" : kFailed) + seen; }

void SweepScenario(const Scenario& s) {
  ++RunTotals().scenarios;
  std::string reference;
  Sweep(s.name, [&](Trial& trial) {
    ExprContext* ec = s.make ? s.make() : nullptr;
    const std::string before = ec != nullptr ? Snapshot(ec, s.values) : "";
    const std::string outcome = s.operate(ec, trial);
    if (!trial.failing()) {
      EXPECT_EQ(outcome.rfind("ok\n", 0), 0u) << outcome;
      reference = outcome;
    } else if (outcome.rfind("ok\n", 0) == 0) {
      // Only a helper whose loss costs time, not data, may fail unnoticed.
      EXPECT_EQ(outcome, reference) << "success that is not the full outcome";
    } else {
      ASSERT_EQ(outcome.rfind(kFailed, 0), 0u) << outcome;
      switch (s.leaves) {
        case Leaves::kUnchanged: EXPECT_EQ(Snapshot(ec, s.values), before); break;
        case Leaves::kPartOfBefore: ExpectWithin(Snapshot(ec, s.values), before); break;
        case Leaves::kPartOfOutcome: ExpectWithin(outcome.substr(sizeof kFailed - 1), reference); break;
      }
    }
    if (ec != nullptr) ExpectUsableThenDestroy(ec);
  });
}

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

ExprContext* SmallContext(XEVRenameCallback rename = nullptr) {
  ExprContext* ec = NewHostContext(rename);
  AddFormulas(ec, SmallFormulaSet());
  return ec;
}

int32_t AddKeywordItem(ExprContext* ec, const char* name, int16_t type) {
  return AddItem(ec, XEV_ITEM_KEYWORD, name, {.type = type, .subclass = XEV_TYPE_NUMBER});
}

// The date settings a context holds beyond its snapshot, one line each; one
// that could not be copied is simply absent.
std::string Settings(ExprContext* ec) {
  std::string seen;
  for (const char* setting : {ec->datePictures[0], ec->datePictures[1], ec->datePictures[2], ec->dateConverts[0],
                              ec->dateConverts[1], ec->dateConverts[2]}) {
    seen += setting != nullptr ? "setting " + std::string(setting) + "\n" : "";
  }
  return seen;
}

// A parse's outcome: its type and text, or a failure that must be for memory.
std::string Parsed(ExprContext* ec, Trial* trial, HEXP old, const std::string& text, const std::string& name) {
  ExprError error{};
  uint16_t type = 0xFFFF;
  if (trial != nullptr) trial->Arm();
  HEXP exp = XEVParseFormula(ec, old, text.c_str(), name.c_str(), &error, &type);
  if (trial != nullptr) trial->Disarm();
  if (exp == nullptr) return IsMemoryError(error.code) ? kFailed : "error " + std::to_string(error.code);
  return Outcome(old == nullptr || exp == old, std::to_string(type) + " " + ExpressionText(ec, exp) + "\n");
}

// Settings, built-in functions, data, keyword and host function items,
// formulas and an operator callback. Once one step has failed, later steps
// may fail for its sake; losing the name of an operator callback destroys
// the whole context.
std::string BuildContext(ExprContext*& ec, Trial& trial) {
  trial.Arm();
  ec = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
  if (ec == nullptr) return kFailed;
  XEVSetDateConvert(ec, "DATE('%s')", "TIMESTAMP('%s')", "TIME('%s')", 0x02);
  XEVSetDatePicture(ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "HH:mm:ss");
  bool ok = FUNDefineFunctions(ec) == 1;
  for (const NamedType& item : CorpusDataItems()) ok = AddDataItem(ec, item.name, item.type, "HostGetter") == 1 && ok;
  ok = AddKeywordItem(ec, "PageNo", 300) == 1 && ok;
  ok = AddAggregate(ec, "Count", XEV_TYPE_ANY) == 1 && ok;
  std::string seen;
  for (const Formula& f : SmallFormulaSet()) {
    ExprError error{};
    uint16_t type = 0;
    if (XEVParseFormula(ec, nullptr, f.text.c_str(), f.name.c_str(), &error, &type) != nullptr) continue;
    // Once one step has failed, later steps may fail for its sake.
    if (ok && !IsMemoryError(error.code)) seen += f.name + ": error " + std::to_string(error.code) + "\n";
    ok = false;
  }
  const bool operatorSet = XEVSetOperatorCallback(ec, 4, XEV_TYPE_NUMBER, "NumberConcat") == 1;
  trial.Disarm();
  if (!operatorSet) {
    ec = nullptr;
    return kFailed;
  }
  for (const std::string& name : ItemNames(ec, XEV_ITEM_DATA)) {
    ExpItem item{};
    XEVGetExpressionVariable(ec, &item, name.c_str());
    // A binding name that could not be copied leaves the item unbound.
    ok = ok && item.bindingName != nullptr;
    seen += item.bindingName != nullptr ? name + " bound to " + item.bindingName + "\n" : "";
  }
  const std::string settings = Settings(ec);
  ok = ok && std::count(settings.begin(), settings.end(), '\n') == 6;
  seen += settings + Snapshot(ec, false);  // data items bind to an address never called
  return Outcome(ok, seen);
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
// makes a load defer; a chain stored backwards waits for two passes.
std::vector<uint8_t> CurrentBlock() {
  ExprContext* ec = SmallContext();
  XEVSetOperatorCallback(ec, 0, XEV_TYPE_NUMBER, "NumberPlus");
  EXPECT_EQ(Parsed(ec, nullptr, XEVHEXPFromOrdinal(ec, 0), "Unique() - Discount", "Net").rfind("ok", 0), 0u);
  AddFormulas(ec, {{"Chain1", "1"}, {"Chain2", "2"}, {"Chain3", "Amount * 3"}});
  EXPECT_EQ(Parsed(ec, nullptr, XEVHEXPFromName(ec, "Chain2"), "Chain3() + 2", "Chain2").rfind("ok", 0), 0u);
  EXPECT_EQ(Parsed(ec, nullptr, XEVHEXPFromName(ec, "Chain1"), "Chain2() + 1", "Chain1").rfind("ok", 0), 0u);
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

// As a host prepares a context for a load: its functions, no data items.
ExprContext* ContextForALoad() {
  ExprContext* ec = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
  FUNDefineFunctions(ec);
  AddAggregate(ec, "Count", XEV_TYPE_ANY);
  return ec;
}

// A load that lost an allocation reports only 121 (or 103 for a formula
// deferred to a later pass); data items bind to an address never called,
// so the snapshot holds no values.
std::string Load(ExprContext* ec, Trial& trial, std::vector<uint8_t> exact) {
  g_reported.clear();
  trial.Arm();
  const int32_t result = XEVSetECContents(ec, static_cast<int32_t>(exact.size()), exact.data(), 1, RecordLoadError);
  trial.Disarm();
  std::string seen = Snapshot(ec, false);
  for (uint32_t code : g_reported) seen += code == 121 || code == 103 ? "" : "reported " + std::to_string(code) + "\n";
  return Outcome(result == 1 && g_reported.empty() && XEVGetExpressionCount(ec) > 1, seen);
}

int32_t g_renames = 0;
void XEV_CALL CountRename(ExprContext*, const char*, const char*) { ++g_renames; }

int32_t XEV_CALL DestroyDependent(ExprContext* ec, HEXP exp, ExpItem*) { return XEVDestroyEXP(ec, exp); }

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

// Extended text of formulas with escaped functions and rewritten dates; the
// escaped function is bound to an address never called.
ExprContext* ExtendedTextContext() {
  ExprContext* ec = SmallContext();
  XEVSetDateConvert(ec, "{d '%s'}", "{ts '%s'}", "{t '%s'}", 0x02);
  XEVSetDatePicture(ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", "HH:mm:ss");
  EXPECT_EQ(AddItem(ec, XEV_ITEM_FUNCTION, "Soundex",
                    {.type = XEV_TYPE_STRING, .bound = 0x1000, .flags = XEV_FN_ESCAPE, .params = {{XEV_TYPE_STRING}}}),
            1);
  AddFormulas(ec, {{"Window", "12/25/2001 AND 12/31/2001 23:59"},
                   {"Code", "Soundex(Customer) || Soundex(Label())"},
                   {"DaysLate", "DateYear(12/25/2001 10:30) - DateYear(ShipDate)"},
                   {"Late", "DaysLate() + Total() * 2"}});
  return ec;
}

std::vector<Formula> Corpus() {
  std::vector<Formula> formulas;
  for (const parse_test::CorpusFormula& f : parse_test::LoadCorpus(parse_test::CorpusPath())) {
    formulas.push_back({f.name, f.text});
  }
  return formulas;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  all.push_back({"building a context", nullptr, BuildContext, Leaves::kPartOfOutcome});
  all.push_back({"FUNDefineFunctions", [] { return XEVCreateEC(0, nullptr, nullptr, 0); }, [](ExprContext*& ec, Trial& trial) {
                   trial.Arm();
                   const bool ok = FUNDefineFunctions(ec) == 1;
                   trial.Disarm();
                   return Outcome(ok, Snapshot(ec));
                 }, Leaves::kPartOfOutcome});
  // Parsing every corpus formula in a context that holds the ones before it.
  const auto corpus = std::make_shared<const std::vector<Formula>>(Corpus());
  EXPECT_GT(corpus->size(), 50u);
  for (size_t i = 0; i < corpus->size(); ++i) {
    all.push_back({"parsing " + (*corpus)[i].name, [corpus, i] {
                     ExprContext* ec = NewHostContext();
                     AddFormulas(ec, std::vector<Formula>(corpus->begin(), corpus->begin() + static_cast<long>(i)));
                     return ec;
                   }, [f = (*corpus)[i]](ExprContext*& ec, Trial& trial) { return Parsed(ec, &trial, nullptr, f.text, f.name); }});
  }
  // Replacing a formula in place: referenced with the same type, renamed,
  // unreferenced with a new type.
  struct Replacement {
    const char *formula, *text, *name;
  };
  for (const Replacement r : {Replacement{"Net", "Amount - Discount * 2", "Net"},
                              {"Label", "StrProper(City) || '!'", "Banner"},
                              {"Label", "DateMonthEnd(OrderDate) + 1 DAY", "Label"}}) {
    all.push_back({std::string("replacing ") + r.formula, [] { return SmallContext(CountRename); },
                   [r](ExprContext*& ec, Trial& trial) {
                     g_renames = 0;
                     const std::string parsed = Parsed(ec, &trial, XEVHEXPFromName(ec, r.formula), r.text, r.name);
                     if (parsed == kFailed && g_renames != 0) return std::string("renamed, then failed");
                     return parsed == kFailed ? parsed : parsed + std::to_string(g_renames) + "\n" + Snapshot(ec);
                   }});
  }
  for (const char* name : {"TotalCopy", ""}) {
    all.push_back({std::string("cloning under '") + name + "'", [] { return SmallContext(); }, [=](ExprContext*& ec, Trial& trial) {
                     uint16_t type = 0xFFFF;
                     HEXP total = XEVHEXPFromName(ec, "Total");
                     trial.Arm();
                     HEXP clone = XEVCloneExpression(ec, total, name, &type);
                     trial.Disarm();
                     return Outcome(clone != nullptr, clone != nullptr ? Snapshot(ec) : "");
                   }});
  }
  ExprContext* texts = ExtendedTextContext();
  for (const char* name : {"Total", "Window", "Code", "Late"}) {
    for (int32_t expand : {0, 1}) {
      // A buffer of exactly the length, so that a write past it is caught.
      const int32_t size = XEVGetExtendedTextLength(texts, XEVHEXPFromName(texts, name), expand) + 1;
      all.push_back({std::string("extended text of ") + name, ExtendedTextContext, [=](ExprContext*& ec, Trial& trial) {
                       std::vector<char> buffer(static_cast<size_t>(size), 'x');
                       HEXP exp = XEVHEXPFromName(ec, name);
                       trial.Arm();
                       const int32_t result = XEVGetExtendedText(ec, exp, size, buffer.data(), expand);
                       trial.Disarm();
                       if (result == 0 && buffer[0] != '\0') return std::string("failed, leaving text behind");
                       return Outcome(result != 0, buffer.data());
                     }, Leaves::kUnchanged, false});
      // The length a host sizes its buffer by: whatever it costs, never too small.
      all.push_back({std::string("extended text length of ") + name, ExtendedTextContext, [=](ExprContext*& ec, Trial& trial) {
                       HEXP exp = XEVHEXPFromName(ec, name);
                       trial.Arm();
                       const int32_t length = XEVGetExtendedTextLength(ec, exp, expand);
                       trial.Disarm();
                       return Outcome(length != 0, std::to_string(length));
                     }, Leaves::kUnchanged, false});
    }
  }
  XEVDestroyEC(texts);
  // Deleting a data item and a function item that formulas depend on: the
  // item goes with every formula that used it, or stays.
  for (const auto& [kind, name] : {std::pair{XEV_ITEM_DATA, "Discount"}, {XEV_ITEM_FUNCTION, "StrUpper"}}) {
    all.push_back({std::string("deleting ") + name, [] {
                     ExprContext* ec = SmallContext();
                     AddFormulas(ec, {{"Shout", "Label() || '!'"}, {"Gross", "Total() + Net()"}});
                     return ec;
                   }, [kind = kind, name = name](ExprContext*& ec, Trial& trial) {
                     trial.Arm();
                     const bool deleted = XEVDeleteExpItem(ec, kind, name, DestroyDependent) != 0;
                     trial.Disarm();
                     if (deleted == (ItemNames(ec, kind).count(name) == 1)) return std::string("the item says otherwise");
                     return Outcome(deleted, deleted ? Snapshot(ec) : "");
                   }, Leaves::kPartOfBefore});
  }
  // Evaluating every corpus formula and calls of all 46 built-in functions:
  // a failed allocation may take the value away, never change it. Ranges
  // and sets have no value of their own; '%' is typed but yields no value.
  auto formulas = std::make_shared<std::vector<Formula>>(*corpus);
  formulas->insert(formulas->end(), BuiltInCalls().begin(), BuiltInCalls().end());
  for (const Formula& f : *formulas) {
    if (f.name == "Remainder" || f.name == "Cartons") continue;
    all.push_back({"evaluating " + f.name, [formulas] {
                     ExprContext* ec = NewHostContext();
                     AddItem(ec, XEV_ITEM_FUNCTION, "Sum9", {.type = XEV_TYPE_NUMBER, .bound = Bound(&SumNine),
                                                           .params = std::vector<Param>(9, {XEV_TYPE_NUMBER})});
                     AddFormulas(ec, *formulas);
                     return ec;
                   }, [name = f.name](ExprContext*& ec, Trial& trial) {
                     HEXP exp = XEVHEXPFromName(ec, name.c_str());
                     if (XEVIsExpRange(ec, exp, 1) || XEVIsExpRange(ec, exp, 2)) return Outcome(true, "a range");
                     trial.Arm();
                     const std::string value = ValueText(ec, exp);
                     trial.Disarm();
                     return Outcome(value != "<none>", value);
                   }});
  }
  // Loading blocks of versions 0 to 3, from an exact copy so that a read past
  // the block is caught.
  for (int version = 0; version <= 3; ++version) {
    const std::vector<uint8_t> block = version < 3 ? StoredBlock(version) : CurrentBlock();
    EXPECT_FALSE(block.empty());
    all.push_back({"loading a version " + std::to_string(version) + " block", ContextForALoad,
                   [block](ExprContext*& ec, Trial& trial) { return Load(ec, trial, block); }, Leaves::kPartOfOutcome});
  }
  return all;
}

TEST(AllocationSweep, EveryScenario) {
  HostSetCodePage(XEV_CP_WESTERN);
  for (const Scenario& s : Scenarios()) {
    SweepScenario(s);
    if (HasFailure()) break;
  }
}

// Whatever was copied is the source's, down to the values of its formulas;
// only the context record itself is needed, and copying leaves its source alone.
TEST(AllocationSweep, CopyingAContextWithItemsAndFormulas) {
  ExprContext* source = SmallContext();
  AddKeywordItem(source, "PageNo", 300);
  XEVSetDateConvert(source, "DATE('%s')", nullptr, "TIME('%s')", 0x02);
  XEVSetDatePicture(source, "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss", nullptr);
  XEVSetUserLong(source, 77);
  const std::string whole = Settings(source) + Snapshot(source);
  SweepScenario({"copying a context", nullptr, [&](ExprContext*& ec, Trial& trial) {
                   trial.Arm();
                   ec = XEVCopyEC(source);
                   trial.Disarm();
                   const std::string seen = ec != nullptr ? Settings(ec) + Snapshot(ec) : "";
                   return Outcome(seen == whole, seen);
                 }, Leaves::kPartOfOutcome});
  EXPECT_EQ(Settings(source) + Snapshot(source), whole) << "copying changed its source";
  ExpectUsableThenDestroy(source);
}

TEST(AllocationSweep, WritingABlockNeedsNoMemory) {
  ExprContext* ec = SmallContext();
  XEVSetOperatorCallback(ec, 0, XEV_TYPE_STRING, "StringPlus");
  std::vector<uint8_t> block(XEVGetECBlockSize(ec, 1));
  const int64_t points = Sweep("writing a block", [&](Trial& trial) {
    trial.Arm();
    EXPECT_EQ(static_cast<size_t>(XEVGetECBlock(ec, static_cast<int32_t>(block.size()), block.data())), block.size());
    trial.Disarm();
  });
  EXPECT_EQ(points, 0) << "the block writer allocates";
  XEVDestroyEC(ec);
}

}  // namespace
