// End-to-end tests of xevhost as a report tool: aggregates over all rows and
// per group, totals, @NOW and @PI. Expected values are worked out here from
// the generated data in whole cents, never by the engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>

#include "xevhost_run.h"

namespace {

using namespace xevhost_test;

// A decimal text for value / 10^scale without trailing zeros.
std::string Decimal(int64_t value, int scale) {
  bool negative = value < 0;
  std::string digits = std::to_string(negative ? -value : value);
  if (digits.size() <= static_cast<size_t>(scale)) digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
  std::string text = digits.substr(0, digits.size() - static_cast<size_t>(scale));
  std::string fraction = digits.substr(digits.size() - static_cast<size_t>(scale));
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return (negative && text != "0" ? "-" : "") + text;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
  if (!line.empty() && line.back() == ',') fields.push_back("");
  return fields;
}

struct Sale {
  std::string region, customer;
  int64_t cents;
  int day;  // of January 2024
};

// Every region gets 8 rows so that averages end after a few decimals and can
// be written exactly here; amounts are mixed in sign and size.
std::vector<Sale> MakeSales() {
  const char* regions[] = {"North", "East", "South"};
  const char* customers[] = {"Ames", "Baker", "Cole", "Dunn", "Egan"};
  std::vector<Sale> sales;
  uint32_t seed = 12345;
  for (int i = 0; i < 24; ++i) {
    seed = seed * 1103515245u + 12345u;
    int64_t cents = static_cast<int64_t>((seed >> 8) % 2000001) - 400000;
    sales.push_back(Sale{regions[i % 3], customers[(seed >> 4) % 5], cents, 1 + static_cast<int>((seed >> 12) % 28)});
  }
  return sales;
}

std::string SalesCsv(const std::vector<Sale>& sales) {
  std::string csv = "Region,Customer,Amount,Day\n";
  for (const Sale& s : sales) {
    char day[16];
    std::snprintf(day, sizeof day, "2024-01-%02d", s.day);
    csv += s.region + "," + s.customer + "," + Decimal(s.cents, 2) + "," + day + "\n";
  }
  return csv;
}

TEST(XevhostAggregates, GroupedReportMatchesIndependentTotals) {
  std::vector<Sale> sales = MakeSales();
  TempFile csv("sales.csv", SalesCsv(sales));
  RunResult run = Xevhost({csv, "--format", "csv", "--set-quantifiers", "--group-by", "Region", "--sort", "--totals",
                           "--formula", "Total=Sum(Amount)", "--formula", "Mean=Average(Amount)",
                           "--formula", "Rows=Count(*)", "--formula", "Buyers=Count(DISTINCT Customer)",
                           "--formula", "Low=Minimum(Amount)", "--formula", "First=DateToStrPicture(Minimum(_Day), 'dd')"});
  ASSERT_EQ(run.status, 0) << run.err;
  struct Expected {
    int64_t sum = 0, low = INT64_MAX;
    int rows = 0, first = 99;
    std::set<std::string> buyers;
  };
  std::map<std::string, Expected> byRegion;  // sorted, as --sort orders them
  Expected all;
  for (const Sale& s : sales) {
    for (Expected* e : {&byRegion[s.region], &all}) {
      e->sum += s.cents, e->low = std::min(e->low, s.cents), ++e->rows, e->first = std::min(e->first, s.day);
      e->buyers.insert(s.customer);
    }
  }
  auto line = [](const std::string& label, const Expected& e) {
    // rows is 8 or 24: the mean of cents over 8 is exact in 5 decimals, over 24 it is
    // checked by the sum alone below.
    std::string mean = e.rows == 8 ? Decimal(e.sum * 125, 5) : "";
    char first[8];
    std::snprintf(first, sizeof first, "%02d", e.first);
    return label + "," + Decimal(e.sum, 2) + "," + mean + "," + std::to_string(e.rows) + "," +
           std::to_string(e.buyers.size()) + "," + Decimal(e.low, 2) + "," + first;
  };
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), byRegion.size() + 2) << run.out;
  EXPECT_EQ(lines[0], "Region,Total,Mean,Rows,Buyers,Low,First");
  size_t i = 1;
  for (const auto& [region, e] : byRegion) EXPECT_EQ(lines[i++], line(region, e));
  std::vector<std::string> totals = Fields(lines.back());
  std::vector<std::string> expected = Fields(line("Total", all));
  totals[2] = expected[2] = "";  // the overall mean is a third of a cent: see the plain report
  EXPECT_EQ(totals, expected) << lines.back();
}

TEST(XevhostAggregates, RowsMixWithAggregatesInASecondPassAndNestedAggregatesInAThird) {
  std::vector<Sale> sales = MakeSales();
  sales.resize(16);  // a power of two: the mean is exact
  TempFile csv("sales16.csv", SalesCsv(sales));
  RunResult run = Xevhost({csv, "--format", "csv", "--totals", "--formula", "Above=Amount - Average(Amount)",
                           "--formula", "Spread=Sum(Above())", "--formula", "Share=Amount / Sum(Amount)"});
  ASSERT_EQ(run.status, 0) << run.err;
  int64_t sum = 0;
  for (const Sale& s : sales) sum += s.cents;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), sales.size() + 2) << run.out;
  for (size_t i = 0; i < sales.size(); ++i) {
    std::vector<std::string> f = Fields(lines[i + 1]);
    ASSERT_EQ(f.size(), 3u) << lines[i + 1];
    EXPECT_EQ(f[0], Decimal(sales[i].cents * 10000 - sum * 625, 6)) << i;  // cents - sum/16, in 10^-6
    EXPECT_EQ(f[1], "0") << i;  // deviations from the mean add up to nothing
  }
  // The totals line sums what reads rows and evaluates what does not.
  std::vector<std::string> totals = Fields(lines.back());
  EXPECT_EQ(totals[0], "0");
  EXPECT_EQ(totals[1], "0");
  EXPECT_NEAR(std::stod(totals[2]), 1.0, 1e-20) << "shares add up to one but for rounding";
}

TEST(XevhostAggregates, AReportOfAggregatesAloneIsOneLine) {
  RunResult run = XevhostOk({"orders.csv", "--format", "csv", "--formula", "n=Count(*)", "--formula", "q=Count(Qty)",
                           "--formula", "last=Maximum(Customer)", "--formula", "span=Maximum(Placed) - Minimum(Placed)",
                           "--where", "Order_No - 4"});
  // Row 4 is left out; row 2 has no quantity, so 4 rows hold 3 quantities.
  EXPECT_EQ(run.out, "n,q,last,span\n4,3,Zed,351\n");
}

TEST(XevhostAggregates, GroupsWithoutAggregatesShowEachGroupsFirstRow) {
  RunResult run = XevhostOk({"orders.csv", "--format", "csv", "--group-by", "_Month", "--formula", "W=Qty * 2"});
  EXPECT_EQ(run.out, "_Month,W\n1,6\n2,20\n3,2\n12,8\n");
}

TEST(XevhostAggregates, CallsTheToolCannotEvaluateAreRefusedWithTheWayOut) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--formula", "x=Sum(Qty * Price)"}, "define the expression as a formula of its own"},
      {{"--set-quantifiers", "--formula", "x=Count(Customer) - Count(DISTINCT Customer)"}, "not both"},
      {{"--formula", "n=Order_No", "--where", "Qty - Average(Qty)"}, "cannot use one"},
      {{"--formula", "n=Order_No", "--group-by", "Count(*)"}, "without aggregates"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"orders.csv"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult run = Xevhost(args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(XevhostHostFunctions, NowIsFixedByTheOptionAndPiIsANumber) {
  RunResult run = XevhostOk({"orders.csv", "--format", "csv", "--limit", "1", "--now", "2024-06-30 08:15",
                           "--formula", "age=@NOW - Placed", "--formula", "pi=NumberRound(@PI, 10)"});
  EXPECT_EQ(run.out, "age,pi\n167,3.1415926536\n");  // whole days from Jan 15 to Jun 30
  run = Xevhost({"orders.csv", "--now", "soon", "--formula", "x=@NOW"});
  EXPECT_EQ(run.status, 64);
  // Without the option @NOW is the time of the run: at least the fixture's last date.
  run = Xevhost({"orders.csv", "--format", "csv", "--limit", "1", "--formula", "x=NumberIFF(@NOW - Placed, 0, 0, 1)"});
  EXPECT_EQ(run.out, "x\n1\n");
}

TEST(XevhostHints, EachKnownCauseGetsOneLineSayingHowToFixIt) {
  TempFile dayCsv("day.csv", "Day,Unit Price\n2024-01-02,3\n");
  struct Case {
    std::string formula, hint;
  } cases[] = {
      {"x=Unit_Pric * 2", "did you mean Unit_Price?"},
      {"x=Unit_Price2", "did you mean Unit_Price?"},
      {"x=StrLeftt('abc', 1)", "did you mean StrLeft?"},
      {"x=@pi * 2", "did you mean @PI?"},
      {"x=Twice * 2", "write Twice() to use the formula Twice"},
      {"x=Twicee() * 2", "did you mean Twice()?"},
      {"x=Day + 1", "Day is a date unit; the column is the data item _Day"},
      {"x=\"abc\"", "strings are written in single quotes ('abc')"},
      {"x='n' || Unit_Price * 2", "|| binds tighter than * and +"},
      {"x=Unit_Price > 100", "no comparison operators; NumberIFF(x - 100, ...)"},
      {"x=-Unit_Price", "there is no unary minus: write 0 - Unit_Price"},
      {"x=Count(DISTINCT Unit_Price)", "needs the option --set-quantifiers"},
      {"x=x() + 1", "a formula cannot use itself: x() names this formula"},
  };
  for (const Case& c : cases) {
    RunResult run = Xevhost({dayCsv, "--formula", "Twice=Unit_Price * 2", "--formula", c.formula});
    EXPECT_EQ(run.status, 2) << c.formula;
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 4u) << c.formula << "\n" << run.err;  // where, line, carets, hint
    EXPECT_EQ(lines[3].find("    hint: "), 0u) << lines[3];
    EXPECT_NE(lines[3].find(c.hint), std::string::npos) << c.formula << "\n" << run.err;
  }
  // No hint where the cause is not certain.
  RunResult run = Xevhost({dayCsv, "--formula", "x=Zzzzzz + 1"});
  EXPECT_EQ(Lines(run.err).size(), 3u) << run.err;
}

TEST(XevhostColumns, ListsEachColumnsDataItemAndType) {
  RunResult run = XevhostOk({"--columns", "orders.csv", "--format", "csv"});
  EXPECT_EQ(run.out, "column,data item,type\nOrder No,Order_No,Number\nPlaced,Placed,DateTime\nMonth,_Month,Number\n"
                     "Customer,Customer,String\nQty,Qty,Number\nPrice,Price,Number\nNote,Note,String\n");
}

TEST(XevhostOutput, DatesByTypeAndFormatNumbersOnTheirPoint) {
  TempFile csv("when.csv", "When,Amount,Name\n2024-01-31,1.5,Ann\n2024-02-01 16:45:07,-20,Bartholomew\n");
  RunResult json = XevhostOk({csv, "--format", "json", "--formula", "w=When", "--formula", "a=Amount"});
  // ISO dates, with the time only where there is one.
  EXPECT_EQ(json.out, "[\n  {\"w\": \"2024-01-31\", \"a\": 1.5},\n  {\"w\": \"2024-02-01T16:45:07\", \"a\": -20}\n]\n");

  RunResult table = Xevhost({csv, "--format", "table", "--max-width", "6", "--formula", "w=When", "--formula",
                             "a=Amount", "--formula", "n=Name"});
  EXPECT_EQ(table.out,
            "w                        a  n\n"
            "-------------------  -----  ------\n"
            "01/31/2024             1.5  Ann\n"
            "02/01/2024 16:45:07  -20    Barth\u2026\n")
      << table.out;
}

TEST(XevhostOutput, UsageErrorsAreOneLineAndSavingWithLimitZeroPrintsNothing) {
  RunResult run = Xevhost({"orders.csv", "--limit", "many"});
  EXPECT_EQ(run.status, 64);
  EXPECT_EQ(run.err, "xevhost: --limit needs a count of rows; see xevhost --help\n");
  TempFile doc("quiet.xev");
  run = XevhostOk({"orders.csv", "--formula", "x=Qty", "--save", doc, "--limit", "0"});
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(ReadFile(doc).empty());
}

// Rows on several threads come out as on one: the same bytes, in input order,
// with NULLs, texts with separators, rows without a value and a where.
TEST(XevhostJobs, AnyNumberOfThreadsWritesTheSameReport) {
  std::string csv = "Id,Amount,Rate,Shipped,Note\n";
  uint32_t seed = 777;
  for (int row = 0; row < 4000; ++row) {
    seed = seed * 1103515245u + 12345u;
    std::string amount = row % 37 == 0 ? "" : std::to_string(static_cast<int>(seed % 200000) - 50000) + "." +
                                                   std::to_string(10 + row % 90);
    char shipped[32];
    std::snprintf(shipped, sizeof shipped, "2023-%02d-%02d %02d:%02d", 1 + row % 12, 1 + row % 28, row % 24, row % 60);
    csv += "R" + std::to_string(row) + "," + amount + "," + std::to_string(row % 7) + "," +
           (row % 11 == 0 ? std::string() : std::string(shipped)) + ",\"note, " + std::to_string(seed % 1000) + "\"\n";
  }
  const std::string data = testing::TempDir() + "xevhost_jobs.csv";
  WriteFile(data, csv);
  const std::vector<std::string> formulas = {
      "--formula", "Net=NumberRound(Amount * (1 - Rate / 10), 2)",
      "--formula", "Share=Amount / Rate",
      "--formula", "Due=DateMonthEnd(Shipped + 1 MONTH)",
      "--formula", "Label=StrUpper(StrLeft(Note, 7)) || Id",
      "--formula", "Digits=StrToDate(Note)",
      "--now", "2024-06-30 12:00"};
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{"--format", "csv", "--totals"},
        std::vector<std::string>{"--format", "json", "--where", "Rate - 3"},
        std::vector<std::string>{"--format", "table", "--limit", "2500"}}) {
    std::vector<std::string> args{data};
    args.insert(args.end(), formulas.begin(), formulas.end());
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<std::string> one = args, two = args;
    one.insert(one.begin(), {"--jobs", "1"});
    two.insert(two.begin(), {"--jobs", "2"});
    RunResult single = Xevhost(one), twice = Xevhost(two);
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_GT(Lines(single.out).size(), 2000u);
    EXPECT_EQ(twice.status, 0);
    EXPECT_TRUE(single.out == twice.out) << "--jobs 2 differs from --jobs 1 with " << extra[1];
    EXPECT_EQ(single.err, twice.err);
  }
  EXPECT_EQ(Xevhost({"--jobs", "0", data}).status, 64);
}

}  // namespace
