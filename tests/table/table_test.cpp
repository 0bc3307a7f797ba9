// The columnar core: every column kind in, every result kind out, NULLs,
// rows without a value, where and the row index, the same results on any
// number of threads as the item-callback evaluation gives, and every
// allocation failing in turn.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "eval/formula_values.h"
#include "eval/plan_blocks.h"
#include "oom/sweep.h"
#include "tests/support/values.h"
#include "table/table.h"
#include "xev/xevtable.h"

namespace {

// ---- Columns that own their arrays, and results read back as texts -----------

struct TextColumn {
  std::string bytes;
  std::vector<int64_t> offsets{0};
  std::vector<uint8_t> nulls;
  void Add(const std::string& text, bool null = false) {
    bytes += text;
    offsets.push_back(static_cast<int64_t>(bytes.size()));
    nulls.push_back(null ? 1 : 0);
  }
  XevColumn Column(int32_t kind) const {
    XevColumn column{};
    column.kind = kind;
    column.values = bytes.data();
    column.offsets = offsets.data();
    column.nulls = nulls.data();
    return column;
  }
};

template <typename T>
XevColumn FixedColumn(int32_t kind, const std::vector<T>& values, int32_t scale = 0, int32_t epochDay = 0,
                      const std::vector<uint8_t>* nulls = nullptr) {
  XevColumn column{};
  column.kind = kind;
  column.scale = scale;
  column.epochDay = epochDay;
  column.values = values.data();
  column.nulls = nulls != nullptr ? nulls->data() : nullptr;
  return column;
}

inline int32_t AddItem(ExprContext* ec, const char* name, int16_t type, XEVDataItemCallback callback = nullptr) {
  return testhost::AddItem(ec, XEV_ITEM_DATA, name, {.type = type, .bound = reinterpret_cast<intptr_t>(callback)});
}

inline HEXP Parse(ExprContext* ec, const char* name, const char* text) { return testhost::ParseOrFail(ec, text, name); }

using testhost::Text;

// Row i of a result as text: "-" for no value, "null" for NULL, else the
// value in the result's kind.
inline std::string RowText(const XevResult& result, int64_t row) {
  if (result.status[row] == XEV_ROW_NO_VALUE) return "-";
  if (result.status[row] == XEV_ROW_NULL) return "null";
  switch (result.kind) {
    case XEV_RESULT_DOUBLE: return std::to_string(static_cast<const double*>(result.values)[row]);
    case XEV_RESULT_TIME: return std::to_string(static_cast<const int64_t*>(result.values)[row]);
    default: break;
  }
  if (result.offsets != nullptr) {
    const char* bytes = static_cast<const char*>(result.values);
    return std::string(bytes + result.offsets[row], bytes + result.offsets[row + 1]);
  }
  NumberValue value;
  std::memcpy(&value, static_cast<const unsigned char*>(result.values) + row * XEV_NUMBER_SIZE, XEV_NUMBER_SIZE);
  return Text(value);
}

inline std::vector<std::string> Rows(const XevResult& result) {
  std::vector<std::string> rows;
  for (int64_t i = 0; i < result.rowCount; ++i) rows.push_back(RowText(result, i));
  return rows;
}

inline XevResult Wanted(HEXP formula, int32_t kind = XEV_RESULT_NATURAL, int32_t scale = 0, int32_t epochDay = 0) {
  XevResult result{};
  result.formula = formula;
  result.kind = kind;
  result.scale = scale;
  result.epochDay = epochDay;
  return result;
}

// ---- Every column kind in ------------------------------------------------------

class ColumnKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    ec_ = XEVCreateEC(0, nullptr, nullptr, 0);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    AddItem(ec_, "N", XEV_TYPE_NUMBER);
    AddItem(ec_, "D", XEV_TYPE_DATETIME);
    AddItem(ec_, "S", XEV_TYPE_STRING);
    n_ = Parse(ec_, "NumberOut", "N");
    d_ = Parse(ec_, "DateOut", "D");
    s_ = Parse(ec_, "TextOut", "S || '|'");
    table_ = XEVTableCreate(ec_, 1);
    ASSERT_NE(table_, nullptr);
  }
  void TearDown() override {
    XEVTableDestroy(table_);
    XEVDestroyEC(ec_);
  }

  // The rows of formula exp with N (or D) bound to column.
  std::vector<std::string> Evaluate(const char* item, const XevColumn& column, int64_t rows, HEXP exp,
                                    XevResult wanted) {
    EXPECT_GE(XEVTableBind(table_, item, &column), 0);
    wanted.formula = exp;
    EXPECT_EQ(XEVTableEvaluate(table_, rows, nullptr, &wanted, 1, nullptr, nullptr), 1);
    std::vector<std::string> out = Rows(wanted);
    XEVTableFreeResults(&wanted, 1);
    return out;
  }
  std::vector<std::string> Numbers(const XevColumn& column, int64_t rows) {
    return Evaluate("N", column, rows, n_, Wanted(nullptr));
  }
  std::vector<std::string> Times(const XevColumn& column, int64_t rows, int32_t scale, int32_t epochDay) {
    return Evaluate("D", column, rows, d_, Wanted(nullptr, XEV_RESULT_TIME, scale, epochDay));
  }

  ExprContext* ec_ = nullptr;
  HEXP n_ = nullptr, d_ = nullptr, s_ = nullptr;
  XevTable* table_ = nullptr;
};

TEST_F(ColumnKinds, IntegersAndDoublesBecomeExactNumbers) {
  std::vector<int64_t> ints{0, -7, std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()};
  EXPECT_EQ(Numbers(FixedColumn(XEV_COLUMN_INT64, ints), 4),
            (std::vector<std::string>{"0", "-7", "9223372036854775807", "-9223372036854775808"}));
  std::vector<double> doubles{0.1, 1e-7, 2.5e20, std::nan(""), INFINITY, -0.0};
  EXPECT_EQ(Numbers(FixedColumn(XEV_COLUMN_DOUBLE, doubles), 6),
            (std::vector<std::string>{"0.1", "0.0000001", "250000000000000000000", "null", "-", "0"}));
}

TEST_F(ColumnKinds, DecimalTextsAndNumberValues) {
  TextColumn texts;
  for (const char* text : {"12.50", "", "-0.0000000000000000000001", "abc", "1e3"}) texts.Add(text);
  texts.Add("7", true);
  texts.Add(std::string("12\0" "5", 4));  // a zero byte is never cut off silently
  EXPECT_EQ(Numbers(texts.Column(XEV_COLUMN_DECIMAL_TEXT), 7),
            (std::vector<std::string>{"12.5", "null", "-1E-22", "-", "1000", "null", "-"}));
  std::vector<NumberValue> values(3);
  HostStrToNumber(&values[0], "3.25");
  NumberSetNull(&values[1]);
  LongToNumber(&values[2], 42);
  XevColumn column{};
  column.kind = XEV_COLUMN_NUMBER;
  column.values = values.data();
  EXPECT_EQ(Numbers(column, 3), (std::vector<std::string>{"3.25", "null", "42"}));
}

TEST_F(ColumnKinds, TimesInEveryScaleComeBackUnchanged) {
  const int32_t epoch = XEVTableUnixEpochDay();
  // 2024-02-29 13:45:07.123456789 and a time before the epoch.
  const int64_t nanos = 1709214307123456789LL;
  for (int32_t scale : {0, 3, 6, 9}) {
    int64_t divisor = 1;
    for (int32_t k = scale; k < 9; ++k) divisor *= 10;
    std::vector<int64_t> units{nanos / divisor, -1, 0};
    std::vector<uint8_t> nulls{0, 0, 1};
    XevColumn column = FixedColumn(XEV_COLUMN_TIME, units, scale, epoch, &nulls);
    EXPECT_EQ(Times(column, 3, scale, epoch),
              (std::vector<std::string>{std::to_string(units[0]), "-1", "null"}))
        << "scale " << scale;
  }
}

TEST_F(ColumnKinds, DaysKeepTheTimeOfDay) {
  // Day 1.5 after an epoch of day 10 is day 11 at noon; 1/3 of a day is 08:00.
  std::vector<double> days{1.5, 1.0 / 3.0, -0.25, std::nan(""), INFINITY};
  XevColumn column = FixedColumn(XEV_COLUMN_DAYS, days, 0, 10);
  EXPECT_EQ(Times(column, 5, 0, 10), (std::vector<std::string>{"129600", "28800", "-21600", "null", "-"}));
  EXPECT_EQ(Evaluate("D", column, 2, d_, Wanted(nullptr, XEV_RESULT_DOUBLE, 0, 10)),
            (std::vector<std::string>{"1.500000", "0.333333"}));
}

TEST_F(ColumnKinds, StringsWithNullsAndLongTexts) {
  TextColumn texts;
  texts.Add("short");
  texts.Add("ignored", true);
  texts.Add(std::string(300, 'x'));
  texts.Add("");
  texts.Add(std::string("a\0b", 3));  // no value rather than "a"
  XevColumn column = texts.Column(XEV_COLUMN_STRING);
  EXPECT_EQ(Evaluate("S", column, 5, s_, Wanted(nullptr)),
            (std::vector<std::string>{"short|", "|", std::string(300, 'x') + "|", "|", "-"}));
}

// Memory short inside a formula in any row fails the evaluation, results
// untouched, instead of leaving a row that reads as the formula's "no value".
TEST_F(ColumnKinds, MemoryShortInsideAFormulaFailsTheEvaluation) {
  TextColumn texts;
  texts.Add("");
  texts.Add("abc");  // three billion bytes: more than any block holds
  XevColumn column = texts.Column(XEV_COLUMN_STRING);
  XevResult results[2] = {Wanted(s_), Wanted(Parse(ec_, "Huge", "StrRepeat(S, 1000000000)"))};
  XevTable* table = XEVTableCreate(ec_, 1);
  ASSERT_GE(XEVTableBind(table, "S", &column), 0);
  EXPECT_EQ(XEVTableEvaluate(table, 1, nullptr, results, 2, nullptr, nullptr), 1);
  XEVTableFreeResults(results, 2);
  EXPECT_EQ(XEVTableEvaluate(table, 2, nullptr, results, 2, nullptr, nullptr), 0);
  EXPECT_EQ(results[0].values, nullptr);
  XEVTableDestroy(table);
}

// ---- Result kinds out ----------------------------------------------------------

TEST_F(ColumnKinds, ResultKindsOfANumber) {
  std::vector<double> values{2.5, std::nan("")};
  XevColumn column = FixedColumn(XEV_COLUMN_DOUBLE, values);
  EXPECT_EQ(Evaluate("N", column, 2, n_, Wanted(nullptr, XEV_RESULT_DOUBLE)),
            (std::vector<std::string>{"2.500000", "null"}));
  EXPECT_EQ(Evaluate("N", column, 2, n_, Wanted(nullptr, XEV_RESULT_TEXT)), (std::vector<std::string>{"2.5", "null"}));
  XevResult wanted = Wanted(n_, XEV_RESULT_DOUBLE);
  ASSERT_EQ(XEVTableEvaluate(table_, 2, nullptr, &wanted, 1, nullptr, nullptr), 1);
  EXPECT_TRUE(std::isnan(static_cast<const double*>(wanted.values)[1]));
  EXPECT_EQ(wanted.type, XEV_TYPE_NUMBER);
  XEVTableFreeResults(&wanted, 1);
  EXPECT_EQ(wanted.values, nullptr);
}

TEST_F(ColumnKinds, RefusesWhatCannotBeDone) {
  std::vector<int64_t> ints{1};
  XevColumn column = FixedColumn(XEV_COLUMN_INT64, ints);
  EXPECT_EQ(XEVTableBind(table_, "Nope", &column), -1);
  EXPECT_EQ(XEVTableBind(table_, "D", &column), -1);  // an integer is no DateTime
  XevColumn badScale = FixedColumn(XEV_COLUMN_TIME, ints, 4);
  EXPECT_EQ(XEVTableBind(table_, "D", &badScale), -1);
  EXPECT_EQ(XEVTableBind(table_, "N", &column), 0);
  EXPECT_EQ(XEVTableBind(table_, "S", nullptr), -1);

  ExprContext* other = XEVCreateEC(0, nullptr, nullptr, 0);
  HEXP foreign = Parse(other, "NumberOut", "1");
  const XevResult refused[] = {Wanted(n_, XEV_RESULT_TIME), Wanted(s_, XEV_RESULT_NUMBER), Wanted(d_, 9),
                               Wanted(d_, XEV_RESULT_TIME, 2), Wanted(foreign), Wanted(nullptr)};
  for (const XevResult& wanted : refused) {
    XevResult result = wanted;
    int64_t* index = nullptr;
    EXPECT_EQ(XEVTableEvaluate(table_, 1, nullptr, &result, 1, nullptr, &index), 0);
    EXPECT_EQ(result.values, nullptr);
    EXPECT_EQ(index, nullptr);
  }
  XevResult fine = Wanted(n_);
  EXPECT_EQ(XEVTableEvaluate(table_, 1, nullptr, &fine, 1, s_, nullptr), 0) << "a String where";
  EXPECT_EQ(XEVTableEvaluate(table_, -1, nullptr, &fine, 1, nullptr, nullptr), 0);
  EXPECT_EQ(XEVTableEvaluate(nullptr, 1, nullptr, &fine, 1, nullptr, nullptr), 0);
  XEVDestroyEC(other);
}

// ---- Where, the row index and threads ------------------------------------------

// A context over prices, quantities, names and dates whose formulas cover
// every result type, a row that fails and a host callback left unbound.
struct Orders {
  static constexpr int64_t kRows = 5000;
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  std::vector<int64_t> quantity;
  TextColumn price;  // decimal texts, some unreadable
  TextColumn name;
  std::vector<int64_t> seconds;
  std::vector<uint8_t> noDate;
  std::vector<HEXP> formulas;
  HEXP where = nullptr;

  static int32_t XEV_CALL Rate(ExprContext*, HEXP, int32_t, void** result, const char*) {
    IntToNumber(static_cast<NumberValue*>(*result), 3);
    return 1;
  }

  Orders() {
    FUNDefineFunctions(ec);
    AddItem(ec, "Quantity", XEV_TYPE_NUMBER);
    AddItem(ec, "Price", XEV_TYPE_NUMBER);
    AddItem(ec, "Name", XEV_TYPE_STRING);
    AddItem(ec, "Shipped", XEV_TYPE_DATETIME);
    AddItem(ec, "Rate", XEV_TYPE_NUMBER, &Rate);
    for (int64_t row = 0; row < kRows; ++row) {
      quantity.push_back(row % 17 - 3);
      price.Add(row % 101 == 0 ? "n/a" : std::to_string(row % 997) + "." + std::to_string(row % 100));
      name.Add("item" + std::to_string(row % 13), row % 29 == 0);
      seconds.push_back(1700000000 + row * 3607);
      noDate.push_back(row % 31 == 0 ? 1 : 0);
    }
    formulas = {Parse(ec, "Total", "NumberRound(Quantity * Price * (1 + Rate / 100), 2)"),
                Parse(ec, "Label", "StrUpper(Name) || '-' || NumberToStr(Quantity, 0)"),
                Parse(ec, "Due", "Shipped + 3 DAYS"), Parse(ec, "Share", "Price / Quantity")};
    where = Parse(ec, "Picked", "Quantity - 2");
  }
  ~Orders() { XEVDestroyEC(ec); }

  void Bind(XevTable* table) const {
    XevColumn q = FixedColumn(XEV_COLUMN_INT64, quantity);
    XevColumn d = FixedColumn(XEV_COLUMN_TIME, seconds, 0, XEVTableUnixEpochDay(), &noDate);
    XevColumn p = price.Column(XEV_COLUMN_DECIMAL_TEXT), n = name.Column(XEV_COLUMN_STRING);
    EXPECT_EQ(XEVTableBind(table, "Quantity", &q), 0);
    EXPECT_EQ(XEVTableBind(table, "Price", &p), 1);
    EXPECT_EQ(XEVTableBind(table, "Name", &n), 2);
    EXPECT_EQ(XEVTableBind(table, "Shipped", &d), 3);
  }

  // Every result's rows as texts, with the selected row numbers first.
  std::vector<std::vector<std::string>> Evaluate(int32_t threads, HEXP condition) const {
    XevTable* table = XEVTableCreate(ec, threads);
    EXPECT_EQ(XEVTableThreadCount(table), threads);
    Bind(table);
    std::vector<XevResult> results;
    for (HEXP exp : formulas) results.push_back(Wanted(exp));
    results[2].kind = XEV_RESULT_TIME;
    results[2].epochDay = XEVTableUnixEpochDay();
    int64_t* index = nullptr;
    EXPECT_EQ(XEVTableEvaluate(table, kRows, nullptr, results.data(), static_cast<int32_t>(results.size()),
                               condition, &index),
              1);
    std::vector<std::vector<std::string>> out(1);
    for (int64_t i = 0; i < results[0].rowCount; ++i) out[0].push_back(std::to_string(index[i]));
    for (const XevResult& result : results) out.push_back(Rows(result));
    XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
    HostFree(index);
    XEVTableDestroy(table);
    return out;
  }
};

// Past the callbacks that know their binding, items are found by name.
TEST(TableRows, ManyBoundItems) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  constexpr int kItems = 300;
  for (int i = 0; i < kItems; ++i) AddItem(ec, ("C" + std::to_string(i)).c_str(), XEV_TYPE_NUMBER);
  HEXP sum = Parse(ec, "Sum", "C0 + C255 + C256 + C299");
  XevTable* table = XEVTableCreate(ec, 2);
  std::vector<std::vector<int64_t>> values(kItems);
  for (int i = kItems - 1; i >= 0; --i) {  // bound backwards: name order differs from binding order
    values[i] = std::vector<int64_t>(2000, i);
    XevColumn column = FixedColumn(XEV_COLUMN_INT64, values[i]);
    ASSERT_EQ(XEVTableBind(table, ("C" + std::to_string(i)).c_str(), &column), kItems - 1 - i);
  }
  XevResult result = Wanted(sum);
  ASSERT_EQ(XEVTableEvaluate(table, 2000, nullptr, &result, 1, nullptr, nullptr), 1);
  EXPECT_EQ(RowText(result, 0), "810");
  EXPECT_EQ(RowText(result, 1999), "810");
  XEVTableFreeResults(&result, 1);
  XEVTableDestroy(table);
  XEVDestroyEC(ec);
}

// Blocks of rows through the columns argument; a rebinding keeps its index.
TEST(TableRows, BlockAfterBlock) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  AddItem(ec, "A", XEV_TYPE_NUMBER);
  HEXP twice = Parse(ec, "Twice", "A * 2");
  XevTable* table = XEVTableCreate(ec, 0);
  ASSERT_GE(XEVTableThreadCount(table), 1);
  std::vector<int64_t> first{1, 2}, second{10, 20, 30};
  XevColumn column = FixedColumn(XEV_COLUMN_INT64, first);
  ASSERT_EQ(XEVTableBind(table, "A", &column), 0);
  ASSERT_EQ(XEVTableBind(table, "A", &column), 0);
  XevColumn block = FixedColumn(XEV_COLUMN_INT64, second);
  XevResult result = Wanted(twice);
  ASSERT_EQ(XEVTableEvaluate(table, 3, &block, &result, 1, nullptr, nullptr), 1);
  EXPECT_EQ(Rows(result), (std::vector<std::string>{"20", "40", "60"}));
  XEVTableFreeResults(&result, 1);
  ASSERT_EQ(XEVTableEvaluate(table, 0, nullptr, &result, 1, nullptr, nullptr), 1);
  EXPECT_EQ(result.rowCount, 0);
  XEVTableFreeResults(&result, 1);
  XEVTableDestroy(table);
  XEVDestroyEC(ec);
}

// Doubles become the same NumberValue bytes as DoubleToNumber makes, whichever
// way the table finds them: amounts, rates, whole numbers, tiny and huge values.
TEST(TableDoubles, SameBytesAsTheShortestText) {
  std::vector<double> values{0.0, -0.0, 0.1, 0.2, 0.3, 24.83, -149.81, 1e15, 1e16, 123456789.125, 5e-324,
                             1.7976931348623157e308, 0.015, 2.675, 1.005, 999999999999999.9, 1234567.0, 1500.0};
  uint64_t seed = 42;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const int64_t units = static_cast<int64_t>(seed >> 20) % 100000000 - 50000000;
    const double scales[] = {1, 10, 100, 1000, 1e4, 1e6, 1e9, 1e12, 3, 7};
    values.push_back(static_cast<double>(units) / scales[(seed >> 8) % 10]);
    double bits;
    uint64_t raw = seed ^ (seed >> 17);
    std::memcpy(&bits, &raw, sizeof bits);
    if (std::isfinite(bits)) values.push_back(bits);
  }
  for (double value : values) {
    NumberValue fast{}, text{};
    ASSERT_EQ(xev::table::NumberFromDouble(&fast, value), DoubleToNumber(&text, value) == 1);
    ASSERT_EQ(std::memcmp(fast.bytes, text.bytes, XEV_NUMBER_SIZE), 0) << value;
  }
}

// Decimal texts read straight into a loaded value load as HostStrToNumber's
// bytes do; a text the shortcut declines is left to that general reading.
TEST(TableDecimalText, PlainTextsLoadAsTheGeneralReading) {
  std::vector<std::string> texts{"24.83", "-0.5", "+7", "0", "-0", "-0.00", "000123.4500", "0.", ".5", "-.5", "3.",
                                 ".", "-", "+", "", "1e3", "1E-2", " 1", "1 ", "1.2.3", "--1", "1-", "0x10", "12,5",
                                 "999999999999999999", "-999999999999999999", "9999999999999999999",
                                 "0.000000000000000001", "0000000000000000000001", "12345678901234567890123.5"};
  uint64_t seed = 7;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    std::string text = std::to_string(seed >> (seed % 64));
    const size_t point = (seed >> 7) % (text.size() + 2);
    if (point <= text.size()) text.insert(point, ".");
    texts.push_back(((seed >> 3) % 3 == 0 ? "-" : "") + text);
  }
  int32_t taken = 0;
  for (const std::string& text : texts) {
    xev::host::decimal::Decimal fast{}, general{};
    if (!xev::table::LoadPlainDecimal(text.data(), static_cast<int64_t>(text.size()), fast)) continue;
    ++taken;
    NumberValue number{};
    ASSERT_EQ(HostStrToNumber(&number, text.c_str()), 1) << text;
    xev::host::decimal::LoadOrNull(general, &number);
    ASSERT_TRUE(fast.coef == general.coef && fast.exp == general.exp && fast.neg == general.neg) << text;
  }
  EXPECT_GT(taken, 10000);
}

// ---- Blocks of rows against row by row ------------------------------------------

// Columns of every kind a block reads, with NULLs, rows without a value,
// scales from 0 to 9 digits, values at the edge of the range and zeros to
// divide by; a host item and a host function that keep their formulas on
// the row path, and formulas that reference both kinds.
struct Mixed {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  std::vector<int64_t> ints;
  std::vector<double> reals;
  std::vector<NumberValue> numbers;
  std::vector<uint8_t> nulls;
  std::vector<int64_t> seconds;  // some far beyond the dates' fast forms
  TextColumn texts, words;
  std::vector<HEXP> formulas;
  static inline std::atomic<int64_t> changeAt{-1};

  static int32_t XEV_CALL Rate(ExprContext* ec, HEXP, int32_t, void** result, const char*) {
    const auto* cursor = static_cast<const xev::table::RowCursor*>(ec->tableRows);
    // Amid a block: a context that changes leaves the blocks' values behind.
    if (cursor->row == changeAt) AddItem(ec, "Extra", XEV_TYPE_NUMBER);
    IntToNumber(static_cast<NumberValue*>(*result), static_cast<int32_t>(cursor->row % 5));
    return cursor->row % 23 != 0;  // the same answer for the same row, none now and then
  }

  explicit Mixed(int64_t rows) {
    FUNDefineFunctions(ec);
    for (const char* name : {"I", "F", "N", "T"}) AddItem(ec, name, XEV_TYPE_NUMBER);
    AddItem(ec, "D", XEV_TYPE_DATETIME);
    AddItem(ec, "S", XEV_TYPE_STRING);
    AddItem(ec, "Rate", XEV_TYPE_NUMBER, &Rate);
    const double reals_[] = {0.1, 24.83, -149.81, 1e300, 5e-324, std::numeric_limits<double>::infinity(),
                             std::nan(""), 0.0, 123456789.123456789, -7.5};
    const char* texts_[] = {"1.005", "-0.000000001", "n/a", "", "99999999999999999999.99", "-0.00", "12.5", "3",
                            ".5", "2e1", " 4"};
    const std::string words_[] = {"Ärger über", "", "naïve café", std::string("a\0b", 3), "x"};  // a zero byte: no value
    for (int64_t row = 0; row < rows; ++row) {
      ints.push_back(row % 9 == 0 ? 0 : (row % 2 ? 1 : -1) * (row * 7919 % 100003));
      if (row % 41 == 0) ints.back() = std::numeric_limits<int64_t>::min();
      reals.push_back(reals_[row % 10]);
      numbers.push_back(testhost::Num(row % 3 ? "12.3400" : "-0.5"));
      if (row % 17 == 0) numbers.back() = testhost::Num("9999999999999999999999e77");
      if (row % 29 == 0) std::memset(numbers.back().bytes + 1, 0xff, 10);  // a coefficient past the range
      nulls.push_back(row % 13 == 0);
      texts.Add(texts_[row % 11], row % 12 == 0);
      words.Add(words_[row % 5], row % 7 == 0);
      seconds.push_back(row % 19 == 0 ? row * 1000000000000000 : 1700000000 + row * 86399);
    }
    formulas = {Parse(ec, "Gross", "I * F"),
                Parse(ec, "Net", "NumberRound(Gross() - Gross() * T, 2)"),
                Parse(ec, "Share", "Net() / I + N / 7"),
                Parse(ec, "Huge", "N * N * 1000 - T / 0"),
                Parse(ec, "Alone", "N"),  // NULL rows
                // Longer than a block's first arena, with multi-byte literals.
                Parse(ec, "Stamp", "DateToStrPicture(D, 'dddd, d MMMM yyyy \"–\" hh:mm:ss \"üß\" dddd')"),
                Parse(ec, "Hosted", "Net() * Rate"),
                Parse(ec, "After", "Hosted() + Share() / 3"),
                Parse(ec, "Text", "NumberToStr(Share(), 2)"),
                Parse(ec, "Due", "DateMonthEnd(D + 1 MONTH)"),
                Parse(ec, "Span", "(D + 3 DAYS) - Due() + DateQuarter(D) * I"),
                Parse(ec, "Real", "F"),
                Parse(ec, "Said", "DateToStr(D)"),
                Parse(ec, "Label", "StrProper(StrLeft(S, 7)) || ' – ' || NumberToStr(Share(), 2) || Said()"),
                Parse(ec, "Long", "StrRepeat(S || 'é', NumberMod(I, 1500)) || StrIFF(Net() - 5, 'a', '', 'c')")};
  }
  ~Mixed() { XEVDestroyEC(ec); }

  XevTable* Table(int32_t threads) const {
    XevTable* table = XEVTableCreate(ec, threads);
    XevColumn i = FixedColumn(XEV_COLUMN_INT64, ints, 0, 0, &nulls), f = FixedColumn(XEV_COLUMN_DOUBLE, reals);
    XevColumn n = FixedColumn(XEV_COLUMN_NUMBER, numbers, 0, 0, &nulls), t = texts.Column(XEV_COLUMN_DECIMAL_TEXT);
    XEVTableBind(table, "I", &i);
    XEVTableBind(table, "F", &f);
    XEVTableBind(table, "N", &n);
    XEVTableBind(table, "T", &t);
    XevColumn d = FixedColumn(XEV_COLUMN_TIME, seconds, 0, XEVTableUnixEpochDay(), &nulls);
    XEVTableBind(table, "D", &d);
    XevColumn s = words.Column(XEV_COLUMN_STRING);
    XEVTableBind(table, "S", &s);
    return table;
  }

  // Every result's status and bytes, the selected rows first; the first
  // `wanted` formulas.
  std::string Evaluate(int64_t rows, int32_t threads, bool where, size_t wanted) const {
    XevTable* table = Table(threads);
    std::vector<XevResult> results;
    // Net as text and Huge as doubles: the shapes a block writes by the row.
    for (size_t f = 0; f < wanted; ++f) {
      results.push_back(Wanted(formulas[f], f == 1 ? XEV_RESULT_TEXT : f == 3 ? XEV_RESULT_DOUBLE : XEV_RESULT_NATURAL));
    }
    int64_t* index = nullptr;
    HEXP condition = where ? formulas[2] : nullptr;
    EXPECT_EQ(XEVTableEvaluate(table, rows, nullptr, results.data(), static_cast<int32_t>(results.size()), condition,
                               &index),
              1);
    std::string seen;
    for (int64_t r = 0; r < results[0].rowCount; ++r) seen += std::to_string(index[r]) + ",";
    for (const XevResult& result : results) {
      seen.append(reinterpret_cast<const char*>(result.status), static_cast<size_t>(result.rowCount));
      if (result.offsets == nullptr) {
        const int64_t width = result.kind == XEV_RESULT_DOUBLE ? int64_t{sizeof(double)} : XEV_NUMBER_SIZE;
        seen.append(static_cast<const char*>(result.values), static_cast<size_t>(result.rowCount * width));
      } else {
        for (const std::string& row : Rows(result)) seen += row + ";";
      }
    }
    XEVTableFreeResults(results.data(), static_cast<int32_t>(results.size()));
    HostFree(index);
    XEVTableDestroy(table);
    return seen;
  }
};

// The blocks give every row the bytes the rows alone give, for block sizes
// that do not divide the rows, on one thread and two, with and without where.
TEST(TableBlocks, SameBytesAsRowByRow) {
  const Mixed mixed(2 * xev::eval::kBlockRows + 1);
  struct Case {
    int32_t blockRows;
    int64_t rows;
    int64_t changeAt = -1;  // the row whose host callback changes the context
  };
  const int32_t b = xev::eval::kBlockRows;
  for (const Case c : {Case{4, 1}, Case{4, 3}, Case{4, 4}, Case{4, 5}, Case{4, 61}, Case{4, 61, 57}, Case{b, b - 1},
                       Case{b, b}, Case{b, b + 1}, Case{b, 2 * b + 1}, Case{b, 2 * b + 1, 2 * b - 3}}) {
    Mixed::changeAt = c.changeAt;
    for (const int32_t threads : {1, 2}) {
      for (const bool where : {false, true}) {
        for (const size_t wanted : {mixed.formulas.size(), size_t{6}}) {  // all, or the held alone
          xev::table::SetBlockRows(0);
          const std::string rows = mixed.Evaluate(c.rows, threads, where, wanted);
          xev::table::SetBlockRows(c.blockRows);
          EXPECT_EQ(mixed.Evaluate(c.rows, threads, where, wanted), rows)
              << c.blockRows << " rows a block, " << c.rows << " rows, " << threads << " threads, where " << where;
        }
      }
    }
  }
  xev::table::SetBlockRows(xev::eval::kBlockRows);
}

// The steps a block holds, and the formulas that stay on the row path.
TEST(TableBlocks, WhatTheBlocksHold) {
  const Mixed mixed(1);
  const struct {
    const char* text;
    bool held;
  } cases[] = {
      {"I * F - N / T + 1.5", true},         {"NumberRound(I / 3, 2) * 1000", true},
      {"Case0() - Case1() * T", true},        {"I", true},   {"Case0()", false},  // the walk's
      {"2.5", false},                         // a literal alone
      {"Rate * 2", false},                    // asked of the host
      {"Case6() + 1", false},                 // a formula on the row path
      {"NumberRound(I, F)", true},            {"StrLength(S) + I", true},
      {"DateDay(D) + I", true},               {"S || 'x'", true},
      {"DateMonthEnd(D - 2 DAYS)", true},     {"D - (D + 1 MONTH)", true},
      {"StrLength(DateToStr(D)) + I", true},  {"D + I DAYS", false},  // a count read from a row
      {"Gross() + 1", true},                  {"DateToStrPicture(D + 1 MONTH, 'yyyy')", true},
      {"DateToStr(D)", true},                 {"DateToStr(D) || 'x'", true},
      {"Case19() || 'x'", false},             // a String formula is not read from a block
      {"StrToNumber(S)", false},              {"'it''s'", false},
  };
  std::vector<HEXP> wanted;
  for (const auto& c : cases) wanted.push_back(Parse(mixed.ec, ("Case" + std::to_string(wanted.size())).c_str(), c.text));
  XevTable* table = mixed.Table(1);
  ExprContext* copy = table->copies[0];
  for (HEXP& exp : wanted) exp = XEVHEXPFromName(copy, exp->name);
  xev::eval::FormulaValues values;
  ASSERT_EQ(values.Arrange(copy, wanted.data(), static_cast<int32_t>(wanted.size())),
            xev::eval::FormulaValues::Arranged::kDone);
  std::vector<xev::eval::BlockColumn> columns(static_cast<size_t>(values.count()));
  NumberValue room;
  for (int32_t i = 0; i < values.count(); ++i) {
    int32_t slots = 0;
    if (xev::eval::HeldByBlocks(copy, {&values, columns.data()}, i, &slots)) columns[i].numbers = &room;
  }
  for (size_t c = 0; c < wanted.size(); ++c) {
    EXPECT_EQ(columns[values.IndexOf(wanted[c])].numbers != nullptr, cases[c].held) << cases[c].text;
  }
  XEVTableDestroy(table);
}

// Every allocation of making a table, binding and evaluating may fail: the
// call then ends with its failure result and leaves no block behind. Runs on
// the calling thread, where failures are injected.
TEST(TableSweep, CreateBindEvaluate) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  ASSERT_EQ(FUNDefineFunctions(ec), 1);
  AddItem(ec, "Amount", XEV_TYPE_NUMBER);
  AddItem(ec, "Who", XEV_TYPE_STRING);
  AddItem(ec, "When", XEV_TYPE_DATETIME);
  HEXP total = Parse(ec, "Total", "NumberRound(Amount * 1.19, 2)");
  HEXP label = Parse(ec, "Label", "StrUpper(Who) || ':' || NumberToStr(Amount, 1)");
  HEXP where = Parse(ec, "Big", "Amount - 3");
  HEXP day = Parse(ec, "Stamp", "DateToStrPicture(When, 'dddd d MMMM yyyy hh:mm:ss')");  // grows its arena
  std::vector<double> amounts;
  std::vector<int64_t> seconds;
  TextColumn names;
  for (int row = 0; row < 40; ++row) {
    amounts.push_back(row * 0.5);
    seconds.push_back(1700000000 + row * 86399);
    names.Add(std::string(static_cast<size_t>(row * 3), 'w'));
  }
  std::string reference;
  const int64_t points = oom::Sweep("table create, bind and evaluate", [&](oom::Trial& trial) {
    trial.Arm();
    XevTable* table = XEVTableCreate(ec, 1);
    XevColumn a = FixedColumn(XEV_COLUMN_DOUBLE, amounts), w = names.Column(XEV_COLUMN_STRING);
    XevColumn d = FixedColumn(XEV_COLUMN_TIME, seconds, 0, XEVTableUnixEpochDay());
    bool bound = table != nullptr && XEVTableBind(table, "Amount", &a) == 0 && XEVTableBind(table, "Who", &w) == 1 &&
                 XEVTableBind(table, "When", &d) == 2;
    XevResult results[] = {Wanted(total), Wanted(label), Wanted(total, XEV_RESULT_TEXT), Wanted(day)};
    int64_t* index = nullptr;
    int32_t ok = bound ? XEVTableEvaluate(table, 40, nullptr, results, 4, where, &index) : 0;
    trial.Disarm();
    if (ok == 1) {
      std::string seen;
      for (const XevResult& result : results) {
        for (const std::string& row : Rows(result)) seen += row + ";";
      }
      // A failure inside a formula is that row's missing value; anything else is the reference.
      if (!trial.failing()) reference = seen;
      if (trial.failing() && seen != reference) {
        EXPECT_NE(seen.find(";-;"), std::string::npos);
      }
    } else {
      EXPECT_TRUE(trial.failing());
      EXPECT_EQ(index, nullptr);
      for (const XevResult& result : results) EXPECT_EQ(result.values, nullptr);
    }
    XEVTableFreeResults(results, 4);
    HostFree(index);
    XEVTableDestroy(table);
  });
  EXPECT_GT(points, 20);
  XEVDestroyEC(ec);
}

}  // namespace
