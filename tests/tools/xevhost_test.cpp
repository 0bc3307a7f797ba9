// End-to-end tests of the reference host: the built binary run on small
// fixtures, its output and exit status compared with what a user must see.
// Where values come from generated data they are worked out here, in whole
// cents, never by the engine.
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "xevhost_run.h"

namespace {

using namespace xevhost_test;
using Xevhost = XevhostTest;

const std::string kJapanese = "\xE5\x95\x86\xE5\x93\x81";  // 商品
const std::string kShou = "\xE5\x95\x86";                  // 商, no character of code page 1252

TEST_F(Xevhost, ReportsOfRowsGroupsAndAggregates) {
  Input("japanese.csv", kJapanese + ",n\n\xE3\x82\x8A\xE3\x82\x93\xE3\x81\x94,3\n");  // りんご
  Input("when.csv", "When,Amount,Name\n2024-01-31,1.5,Ann\n2024-02-01 16:45:07,-20,Bartholomew\n");
  Input("pictured.csv", "When,Amount\n2024-01-31,1\n2024-02-01 16:45:07,2\n,3\n");
  Input("cr.csv", "DISTINCT,all\r1,2\r3,4\r");
  Input("times.csv", "T,U,V\n10:30,0.15,0.15\n10:30,0.15,0.1\n10:30,0.15,x\n");  // 0.15 reads as a time too
  Input("cr.formulas", "A = _DISTINCT + _all\rB = A() * 2\r");
  Input("lossy.csv", "Name,n\nplain,1\n" + kShou + "a,2\nb" + kShou + ",3\n");
  Input("lossy.formulas", "# " + kShou + " in a comment is never used\nx = Name\ny = '" + kShou + "'\n");
  const std::vector<std::string> picture = {"$/pictured.csv", "--formula", "w=When", "--date-format",
                                            "ddd dd MMM yyyy 'at' HH:mm", "--format"};
  const std::string lossy = ":3: a character that code page 1252 cannot hold was replaced by '?' "
                            "(the first such character; later ones are not told)\n";
  ExpectRuns({
      {{"orders.csv", "-f", "orders.formulas", "--format", "table"}, 0, "file:orders.table.expected"},
      {{"orders.csv", "-f", "orders.formulas", "--format", "csv"}, 0, "file:orders.csv.expected"},
      {{"orders.csv", "-f", "orders.formulas", "--format", "json"}, 0, "file:orders.json.expected"},
      // Row 2 has no quantity: NULL is zero, so it passes; row 3 has exactly 10.
      {{"orders.csv", "--format", "csv", "--formula", "No=Order_No", "--where", "Qty - 10"}, 0, "No\n1\n2\n4\n5\n"},
      {{"orders.csv", "--format", "csv", "--formula", "No=Order_No", "--limit", "2"}, 0, "No\n1\n2\n"},
      {{"orders.csv", "--format", "csv", "--formula", "x=Qty", "--save", "$/quiet.xev", "--limit", "0"}, 0, ""},
      // "Order No" becomes Order_No, "Month" collides with a date unit and
      // becomes _Month; Placed holds a date with a time, so it is a DateTime.
      {{"orders.csv", "--format", "csv", "--formula", "a=Order_No * 2", "--formula", "b=Placed + 1 DAY",
        "--formula", "c=_Month + 0", "--limit", "1"}, 0, "a,b,c\n2,2024-01-16,1\n"},
      {{"--columns", "orders.csv", "--format", "csv"}, 0,
       "column,data item,type\nOrder No,Order_No,Number\nPlaced,Placed,DateTime\nMonth,_Month,Number\n"
       "Customer,Customer,String\nQty,Qty,Number\nPrice,Price,Number\nNote,Note,String\n"},
      {{"--columns", "$/times.csv", "--format", "csv"}, 0,
       "column,data item,type\nT,T,DateTime\nU,U,Number\nV,V,String\n"},
      // Two characters of the double-byte code page, not two bytes.
      {{"$/japanese.csv", "--code-page", "932", "--format", "csv", "--formula", "x=StrLeft(" + kJapanese + ", 2)",
        "--formula", "len=StrLength(" + kJapanese + ")"}, 0, "x,len\n\xE3\x82\x8A\xE3\x82\x93,3\n"},
      // CR alone ends lines; columns named after keywords are renamed.
      {{"$/cr.csv", "-f", "$/cr.formulas", "--set-quantifiers", "--format", "csv"}, 0, "A,B\n3,6\n7,14\n"},
      // Row 4 is left out; row 2 has no quantity, so 4 rows hold 3 quantities.
      {{"orders.csv", "--format", "csv", "--formula", "n=Count(*)", "--formula", "q=Count(Qty)", "--formula",
        "last=Maximum(Customer)", "--formula", "span=Maximum(Placed) - Minimum(Placed)", "--where", "Order_No - 4"},
       0, "n,q,last,span\n4,3,Zed,351\n"},
      {{"orders.csv", "--format", "csv", "--group-by", "_Month", "--formula", "W=Qty * 2"}, 0,
       "_Month,W\n1,6\n2,20\n3,2\n12,8\n"},
      // Whole days from Jan 15 to Jun 30; without --now, the time of the run.
      {{"orders.csv", "--format", "csv", "--limit", "1", "--now", "2024-06-30 08:15", "--formula",
        "age=@NOW - Placed", "--formula", "pi=NumberRound(@PI, 10)"}, 0, "age,pi\n167,3.1415926536\n"},
      {{"orders.csv", "--format", "csv", "--limit", "1", "--formula", "x=NumberIFF(@NOW - Placed, 0, 0, 1)"}, 0,
       "x\n1\n"},
      // ISO dates with the time only where there is one; a table aligns numbers on their point.
      {{"$/when.csv", "--format", "json", "--formula", "w=When", "--formula", "a=Amount"}, 0,
       "[\n  {\"w\": \"2024-01-31\", \"a\": 1.5},\n  {\"w\": \"2024-02-01T16:45:07\", \"a\": -20}\n]\n"},
      {{"$/when.csv", "--format", "table", "--max-width", "6", "--formula", "w=When", "--formula", "a=Amount",
        "--formula", "n=Name"}, 0,
       "w                        a  n\n-------------------  -----  ------\n01/31/2024             1.5  Ann\n"
       "02/01/2024 16:45:07  -20    Barth\u2026\n"},
      // A picture says exactly what to write: midnight shows when it asks for it.
      {{picture[0], picture[1], picture[2], picture[3], picture[4], picture[5], "csv"}, 0,
       "w\nWed 31 Jan 2024 at 00:00\nThu 01 Feb 2024 at 16:45\n\n"},
      {{picture[0], picture[1], picture[2], picture[3], picture[4], picture[5], "json"}, 0,
       "[\n  {\"w\": \"Wed 31 Jan 2024 at 00:00\"},\n  {\"w\": \"Thu 01 Feb 2024 at 16:45\"},\n  {\"w\": null}\n]\n"},
      {{picture[0], picture[1], picture[2], picture[3], picture[4], picture[5], "table"}, 0,
       "w\n------------------------\nWed 31 Jan 2024 at 00:00\nThu 01 Feb 2024 at 16:45\n\n"},
      {{"explain", "Total", "orders.csv", "-f", "orders.formulas"}, 0,
       "Total\n  kind:          formula\n  type:          Number\n  text:          Subtotal() + Refund()\n"
       "  data items:    Qty, Price\n  functions:     NumberIFF\n  formulas:      Subtotal, Refund\n"
       "  aggregates:    none\n"
       "  extended text: (Qty * Price) + (NumberIFF(Price, (Qty * Price) * -1, 0, 0))\n"},
      {{XEVHOST_EXAMPLES_DIR "/sales.csv", "-f", XEVHOST_EXAMPLES_DIR "/sales.formulas", "--limit", "20"}, 0, "",
       "", "\nSO-10001,"},
      // Input text that loses characters to the code page is told once, at
      // the first place read, even when a grouped report reads it again.
      {{"$/lossy.csv", "--code-page", "1252", "--format", "csv", "--formula", "x=Name", "--formula", "y=Name || '!'"}, 0,
       "x,y\nplain,plain!\n?a,?a!\nb?,b?!\n", "xevhost: warning: $/lossy.csv" + lossy},
      {{"$/lossy.csv", "--code-page", "1252", "-f", "$/lossy.formulas", "--group-by", "n", "--formula", "s=Count(*)", "--format", "csv"},
       0, "n,x,y,s\n1,plain,?,1\n2,?a,?,1\n3,b?,?,1\n", "xevhost: warning: $/lossy.formulas" + lossy},
      {{"$/lossy.csv", "--code-page", "932", "--format", "csv", "--formula", "x=Name"}, 0,
       "x\nplain\n" + kShou + "a\nb" + kShou + "\n"},
      // A stream is read once, so a pipe serves a grouped report as well as a file.
      {{"/dev/stdin", "--format", "csv", "--formula", "x=Qty * 2"}, 0, "x\n2\n", "", "", "", {.input = "Qty\n1\n"}},
      {{"/dev/stdin", "--format", "csv", "--group-by", "Qty", "--formula", "n=Count(*)"}, 0, "Qty,n\n1,2\n3,1\n", "",
       "", "", {.input = "Qty\n1\n3\n1\n"}},
  });
}

TEST_F(Xevhost, ErrorsAreToldWithPlaceCauseAndStatus) {
  Input("malformed.csv", "a,b\n1,2\n\"x\ny\",3\n4\n");
  Input("unclosed.csv", "a,b\n1,\"2\n");
  Input("header.csv", "");
  Input("japanese.csv", kJapanese + ",n\n1,3\n");
  Input("day.csv", "Day,Unit Price\n2024-01-02,3\n");
  Input("latin1.csv", "Qty,Name\n1,Caf\xE9\n");
  Input("long.csv", "Qty,Price\n1,2\n3," + std::string(10 << 20, '7') + "\n");
  Input("latin1.formulas", "A = Qty\nB = 'Caf\xE9'\n");
  Input("long.formulas", "A = Qty\nB = " + std::string(2 << 20, '1') + "\n");
  std::string late;
  for (int i = 0; i < 100000; ++i) late += "F" + std::to_string(i) + " = Qty * " + std::to_string(i) + "\n";
  Input("late.formulas", late + "Bad = Qty +\n");
  Input("blank_first.csv", "\nQty,Price\n1,2\n");
  // Big enough for the first pass to split: quoted line breaks before the
  // middle, and what the second half finds (a text in a column of numbers,
  // a short row) told as a single reader would tell it.
  std::string halves = "Id,Note\n";
  for (int i = 0; i < 40000; ++i) halves += std::to_string(i) + ",\"two\nlines, \"\"quoted\"\"\"\n";
  Input("halves.csv", halves + "x,y\n");
  Input("short.csv", halves + "7\n");
  std::string returns = halves;
  std::replace(returns.begin(), returns.end(), '\n', '\r');
  Input("cr_short.csv", returns + "7\r");
  // Bytes that are not UTF-8 in both halves of the encoding check.
  std::string latin = "Id,Note\n";
  for (int i = 0; i < 40000; ++i)
    latin += std::to_string(i) + (i == 5 || i == 39990 ? ",caf\xE9\n" : ",\"two\nlines, \"\"quoted\"\"\"\n");
  Input("latin_halves.csv", latin);
  Input("zero.formulas", std::string("A = Qty\nB = Qty\0 + 1\n", 21));
  // Fields that end at every place of the stretch the reader tests at once,
  // plain and quoted, each row giving its field's length.
  std::string widths = "a,b\n";
  for (int n = 1; n < 40; ++n)
    widths += std::string(n, 'x') + "," + std::to_string(n) + "\n\"" + std::string(n, ',') + "\"\"z\"," + std::to_string(n + 2) + "\r\n";
  Input("widths.csv", widths);
  const std::vector<std::string> hint = {"$/day.csv", "--formula", "Twice=Unit_Price * 2", "--formula"};
  auto hinted = [&](const std::string& formula, const std::string& says) {
    return Case{{hint[0], hint[1], hint[2], hint[3], formula}, 2, "", "", "", says};
  };
  ExpectRuns({
      {{"orders.csv", "-f", "bad.formulas", "--format", "csv"}, 2, "", "file:bad.formulas.expected"},
      {{"orders.csv", "--formula", "Bad Name=1", "--formula", "x=1", "--formula", "x=2"}, 2, "",
       "--formula:1:1: error 107: ERR_NAME: Invalid Formula Name.\n    Bad Name=1\n    ^~~~~~~~\n"
       "--formula:3:1: error 126: ERR_DUPNAME: Duplicate Formula Name.\n    x=2\n    ^\n"},
      // Under the single-byte code page the name arrives as '?' and is refused there.
      {{"$/japanese.csv", "--code-page", "1252", "--formula", "x=StrLeft(" + kJapanese + ", 2)"}, 2, "", "", "", "--formula:1:11: error 110"},
      {{"orders.csv", "--formula", "No=Order_No", "--where", "Customer"}, 2, "", "", "", "must be a Number formula"},
      {{"missing.csv", "--formula", "x=1"}, 1, "", "", "", "missing.csv: cannot open data file"},
      // The quoted field spans lines 3 and 4, so the short row is on line 5.
      {{"$/malformed.csv", "--formula", "x=a"}, 1, "", "", "", "line 5: malformed row: expected 2 fields, found 1"},
      {{"$/unclosed.csv", "--formula", "x=a"}, 1, "", "", "", "line 2: quoted field is not closed"},
      {{"$/header.csv", "--formula", "x=1"}, 1, "", "", "", "no header row"},
      {{"orders.csv", "-f", "missing.formulas"}, 1, "", "", "", "missing.formulas: cannot open formulas file"},
      {{"orders.csv", "--frobnicate"}, 64, "", "", "", "unknown option --frobnicate"},
      {{"orders.csv", "--format", "xml"}, 64, "", "", "", "--format must be table, csv or json"},
      {{"orders.csv", "--limit", "many"}, 64, "", "xevhost: --limit needs a count of rows; see xevhost --help\n"},
      {{"orders.csv", "--limit", "-3"}, 64, "", "", "", "--limit needs a count of rows"},
      {{}, 64, "", "", "", "no data file given"},
      {{"explain", "Nothing", "orders.csv"}, 1, "", "", "", "no formula named Nothing"},
      {{"orders.csv", "--now", "soon", "--formula", "x=@NOW"}, 64, "", "", "", "--now"},
      {{"--jobs", "0", "orders.csv"}, 64, "", "", "", "--jobs"},
      {{"orders.csv", "--formula", "w=Placed", "--date-format", "yyyy-mm-DD"}, 64, "", "", "", "--date-format"},
      {{"orders.csv", "--locale", "xx_NOWHERE"}, 64, "",
       "xevhost: unknown locale xx_NOWHERE (locale -a lists the locales this system has)\n"},
      {{"orders.csv", "--formula", "x=Sum(Qty * Price)"}, 2, "", "", "",
       "define the expression as a formula of its own"},
      {{"orders.csv", "--set-quantifiers", "--formula", "x=Count(Customer) - Count(DISTINCT Customer)"}, 2, "", "",
       "", "not both"},
      {{"orders.csv", "--formula", "n=Order_No", "--where", "Qty - Average(Qty)"}, 2, "", "", "", "cannot use one"},
      {{"orders.csv", "--formula", "n=Order_No", "--group-by", "Count(*)"}, 2, "", "", "", "without aggregates"},
      {{"$/latin1.csv", "--formula", "x=Qty"}, 1, "", "", "", "$/latin1.csv:2: byte 6 (0xE9) is not valid UTF-8"},
      {{"$/latin1.csv", "--code-page", "1252", "--formula", "x=Name", "--format", "csv"}, 0, "x\nCaf\xC3\xA9\n"},
      {{"$/long.csv", "--formula", "x=Qty"}, 1, "", "", "", "$/long.csv: line 3: record longer than 1048576 bytes"},
      {{"orders.csv", "-f", "$/latin1.formulas"}, 1, "", "", "", "$/latin1.formulas:2: byte 9 (0xE9) is not valid UTF-8"},
      {{"orders.csv", "-f", "$/long.formulas"}, 1, "", "", "", "$/long.formulas:2: line longer than 1048576 bytes"},
      {{"orders.csv", "-f", "$/zero.formulas"}, 1, "", "", "", "$/zero.formulas:2: a zero byte in the line"},
      {{"orders.csv", "-f", "$/late.formulas"}, 2, "", "", "", "$/late.formulas:100001:12: error 109"},
      {{"--columns", "$/halves.csv", "--format", "csv", "--jobs", "2"}, 0,
       "column,data item,type\nId,Id,String\nNote,Note,String\n"},
      {{"$/short.csv", "--jobs", "2", "--formula", "x=Id"}, 1, "", "", "", "short.csv: line 80002: malformed row"},
      {{"$/cr_short.csv", "--jobs", "2", "--formula", "x=Id"}, 1, "", "", "", "short.csv: line 80002: malformed row"},
      {{"$/latin_halves.csv", "--jobs", "2", "--formula", "x=Id"}, 1, "", "", "",
       "latin_halves.csv:12: byte 6 (0xE9) is not valid UTF-8"},
      {{"$/latin_halves.csv", "--jobs", "2", "--replace-invalid", "--formula", "x=Id", "--limit", "1", "--format",
        "csv"}, 0, "x\n0\n", "", "", "2 invalid UTF-8 sequences replaced"},
      {{"$/widths.csv", "--formula", "n=b", "--where", "StrLength(a) - b", "--format", "csv"}, 0, "n\n"},
      {{"$/blank_first.csv", "--formula", "x=Qty"}, 1, "", "", "",
       "$/blank_first.csv: line 1 is empty; the first line must be the header"},
      {{"orders.csv", "--save", ""}, 64, "", "", "", "--save needs a file name"},
      // Each known cause gets one line saying how to fix it.
      hinted("x=Unit_Pric * 2", "did you mean Unit_Price?"),
      hinted("x=Unit_Price2", "did you mean Unit_Price?"),
      hinted("x=StrLeftt('abc', 1)", "did you mean StrLeft?"),
      hinted("x=@pi * 2", "did you mean @PI?"),
      hinted("x=Twice * 2", "write Twice() to use the formula Twice"),
      hinted("x=Twicee() * 2", "did you mean Twice()?"),
      hinted("x=Day + 1", "Day is a date unit; the column is the data item _Day"),
      hinted("x=\"abc\"", "strings are written in single quotes ('abc')"),
      hinted("x='n' || Unit_Price * 2", "|| binds tighter than * and +"),
      hinted("x=Unit_Price > 100", "no comparison operators; NumberIFF(x - 100, ...)"),
      hinted("x=-Unit_Price", "there is no unary minus: write 0 - Unit_Price"),
      hinted("x=Count(DISTINCT Unit_Price)", "needs the option --set-quantifiers"),
      hinted("x=x() + 1", "a formula cannot use itself: x() names this formula"),
      // No hint where the cause is not certain.
      {{"$/day.csv", "--formula", "x=Zzzzzz + 1"}, 2, "", "--formula:1:3: error 102: ERR_VAR: Unknown input item.\n"
                                                          "    x=Zzzzzz + 1\n      ^~~~~~\n"},
  });
}

TEST_F(Xevhost, DocumentsReproduceTheirReports) {
  Input("other.csv", "Order No,Something\n1,2\n");
  Input("stamps.csv", "When\n2024-02-29\n2024-12-31 23:59:58\n");
  const std::string firstRows = "Subtotal,Due,Who\n28.5,2024-02-15,\"SMITH, JONES & CO.\"\n0,2024-02-29T16:45:00,CAF\xC3\x89 OL\xC3\x89\n";
  const std::string stamps = "[\n  {\"Next\": \"2024-03-01\", \"Back\": \"2024-01-29\"},\n"
                             "  {\"Next\": \"2025-01-01T23:59:58\", \"Back\": \"2024-11-30T23:59:58\"}\n]\n";
  ExpectRuns({
      {{"orders.csv", "--save", "$/orders.xev", "--format", "csv", "--limit", "2", "--formula", "Subtotal=Qty * Price",
        "--formula", "Due=Placed + 1 MONTH", "--formula", "Who=StrUpper(Customer)"}, 0, firstRows},
      {{"orders.csv", "--load", "$/orders.xev", "--format", "csv", "--limit", "2"}, 0, firstRows},
      {{"orders.csv", "--load", "$/orders.xev", "--format", "csv", "--formula", "Twice=Subtotal() * 2", "--limit",
        "1"}, 0, "Subtotal,Due,Who,Twice\n28.5,2024-02-15,\"SMITH, JONES & CO.\",57\n"},
      // The document names its columns: data without them cannot feed it.
      {{"$/other.csv", "--load", "$/orders.xev"}, 1, "", "", "", "data item Placed has no column"},
      {{"$/stamps.csv", "--format", "json", "--save", "$/stamps.xev", "--formula", "Next=When + 1 DAY", "--formula",
        "Back=When - 1 MONTH"}, 0, stamps},
      {{"$/stamps.csv", "--format", "json", "--load", "$/stamps.xev"}, 0, stamps},
      {{"orders.csv", "-f", "orders.formulas", "--save", "$/info.xev", "--limit", "0"}, 0, ""},
      {{"info", "$/info.xev"}, 0, "", "", "data items (7):\n"},
      {{"info", "$/info.xev"}, 0, "", "", "  Placed                   DateTime  csv:Placed"},
      {{"info", "$/info.xev"}, 0, "", "", "formulas (8):\n"},
      {{"info", "$/info.xev"}, 0, "", "",
       "  Total (formula, Number) = Subtotal() + Refund()\n      data items: Qty, Price\n"
       "      functions:  NumberIFF\n      formulas:   Subtotal, Refund\n"},
      {{"info", "orders.csv"}, 1, "", "", "", "not a formula document"},
  });
}

TEST_F(Xevhost, DamagedDocumentsAreRefusedWithTheReason) {
  ASSERT_EQ(Run({"orders.csv", "-f", "orders.formulas", "--save", "$/whole.xev", "--limit", "0"}).status, 0);
  std::string block = ReadFile(scratch_ + "/whole.xev");
  Input("half.xev", block.substr(0, block.size() / 2));
  // A stored formula that no longer parses is shown with its error.
  size_t at = block.find("Qty * Price");
  ASSERT_NE(at, std::string::npos);
  Input("broken.xev", block.replace(at, 11, "Qty * * ice"));
  ExpectRuns({
      {{"info", "$/half.xev"}, 1, "", "", "", "the document is damaged"},
      {{"orders.csv", "--load", "$/broken.xev"}, 1, "", "", "",
       "error 109: ERR_SYNTAX: Incomplete or invalid formula\n    Subtotal = Qty * * ice\n                     ^"},
  });
}

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

TEST_F(Xevhost, GroupedReportMatchesIndependentTotals) {
  std::vector<Sale> sales = MakeSales();
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
    // The mean of cents over 8 rows is exact in 5 decimals; over 24 it is a
    // third of a cent, left out here (the plain report checks means).
    std::string mean = e.rows == 8 ? Decimal(e.sum * 125, 5) : "";
    char first[8];
    std::snprintf(first, sizeof first, "%02d", e.first);
    return label + "," + Decimal(e.sum, 2) + "," + mean + "," + std::to_string(e.rows) + "," +
           std::to_string(e.buyers.size()) + "," + Decimal(e.low, 2) + "," + first + "\n";
  };
  std::string expected = "Region,Total,Mean,Rows,Buyers,Low,First\n";
  for (const auto& [region, e] : byRegion) expected += line(region, e);
  expected += line("Total", all);
  RunResult run = Run({Input("sales.csv", SalesCsv(sales)), "--format", "csv", "--set-quantifiers", "--group-by",
                       "Region", "--sort", "--totals", "--formula", "Total=Sum(Amount)", "--formula",
                       "Mean=Average(Amount)", "--formula", "Rows=Count(*)", "--formula",
                       "Buyers=Count(DISTINCT Customer)", "--formula", "Low=Minimum(Amount)", "--formula",
                       "First=DateToStrPicture(Minimum(_Day), 'dd')"});
  ASSERT_EQ(run.status, 0) << run.err;
  size_t mean = run.out.rfind("Total,") + 6;
  mean = run.out.find(',', mean) + 1;
  EXPECT_EQ(run.out.erase(mean, run.out.find(',', mean) - mean), expected);
}

TEST_F(Xevhost, RowsMixWithAggregatesInASecondPassAndNestedAggregatesInAThird) {
  std::vector<Sale> sales = MakeSales();
  sales.resize(16);  // a power of two: the mean is exact
  int64_t sum = 0;
  for (const Sale& s : sales) sum += s.cents;
  RunResult run = Run({Input("sales16.csv", SalesCsv(sales)), "--format", "csv", "--totals", "--formula",
                       "Above=Amount - Average(Amount)", "--formula", "Spread=Sum(Above())", "--formula",
                       "Share=Amount / Sum(Amount)"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), sales.size() + 2) << run.out;
  for (size_t i = 0; i < sales.size(); ++i) {
    // cents - sum/16 in 10^-6; deviations from the mean add up to nothing.
    const std::string above = Decimal(sales[i].cents * 10000 - sum * 625, 6) + ",0,";
    EXPECT_EQ(lines[i + 1].substr(0, above.size()), above) << i;
  }
  // The totals line sums what reads rows and evaluates what does not.
  EXPECT_EQ(lines.back().substr(0, 4), "0,0,");
  EXPECT_NEAR(std::stod(lines.back().substr(4)), 1.0, 1e-20) << "shares add up to one but for rounding";
}

// Rows on several threads come out as on one: the same bytes, in input order,
// with NULLs, texts with separators, rows without a value and a where; rows
// as they are in the file go to threads block by block, others through one.
TEST_F(Xevhost, AnyNumberOfThreadsWritesTheSameReport) {
  std::string csv = "Id,Amount,Rate,Shipped,Note\n";
  uint32_t seed = 777;
  for (int row = 0; row < 10000; ++row) {
    seed = seed * 1103515245u + 12345u;
    std::string amount = row % 37 == 0 ? "" : std::to_string(static_cast<int>(seed % 200000) - 50000) + "." +
                                                   std::to_string(10 + row % 90);
    char shipped[32];
    std::snprintf(shipped, sizeof shipped, "2023-%02d-%02d %02d:%02d", 1 + row % 12, 1 + row % 28, row % 24, row % 60);
    csv += "R" + std::to_string(row) + "," + amount + "," + std::to_string(row % 7) + "," +
           (row % 11 == 0 ? std::string() : std::string(shipped)) + ",\"note, " + std::to_string(seed % 1000) + "\"\n";
  }
  const std::vector<std::string> args = {
      Input("jobs.csv", csv), "--formula", "Net=NumberRound(Amount * (1 - Rate / 10), 2)",
      "--formula", "Share=Amount / Rate", "--formula", "Due=DateMonthEnd(Shipped + 1 MONTH)",
      "--formula", "Label=StrUpper(StrLeft(Note, 7)) || Id", "--formula", "Digits=StrToDate(Note)",
      "--now", "2024-06-30 12:00"};
  for (const std::vector<std::string>& extra : {std::vector<std::string>{"--format", "csv", "--totals"},
                                                {"--format", "json", "--where", "Rate - 3"},
                                                {"--format", "table", "--limit", "2500"},
                                                {"--format", "json", "--limit", "5000"},
                                                {"--format", "csv", "--code-page", "1252"}}) {
    std::vector<std::string> one = {"--jobs", "1"}, two = {"--jobs", "2"};
    for (auto* run : {&one, &two}) run->insert(run->end(), args.begin(), args.end());
    for (auto* run : {&one, &two}) run->insert(run->end(), extra.begin(), extra.end());
    RunResult single = Run(one), twice = Run(two);
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_GT(Lines(single.out).size(), 2000u);
    EXPECT_EQ(twice.status, 0);
    EXPECT_TRUE(single.out == twice.out) << "--jobs 2 differs from --jobs 1 with " << extra[1];
    EXPECT_EQ(single.err, twice.err);
  }
}

// No silent loss of output: a full disk fails every command with one line, a
// closed pipe ends the run quietly.
TEST_F(Xevhost, WriteErrorsOnStandardOutput) {
  std::string rows = "n\n";
  for (int i = 0; i < 20000; ++i) rows += std::to_string(i) + "\n";  // more than a pipe holds
  RunResult run = Run({Input("many.csv", rows), "--formula", "Twice=n * 2", "--format", "csv"}, Output{"", true});
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.status == 0 || run.status == 128 + SIGPIPE) << run.status;
  const std::string full = "xevhost: cannot write the output: No space left on device\n";
  ExpectRuns({
      {{"orders.csv", "-f", "orders.formulas", "--save", "$/full.xev", "--limit", "0"}, 0, ""},
      {{"orders.csv", "-f", "orders.formulas", "--format", "csv"}, 74, "", full, "", "", {"/dev/full"}},
      {{"orders.csv", "-f", "orders.formulas", "--format", "json"}, 74, "", full, "", "", {"/dev/full"}},
      {{"orders.csv", "-f", "orders.formulas", "--format", "table"}, 74, "", full, "", "", {"/dev/full"}},
      {{"info", "$/full.xev"}, 74, "", full, "", "", {"/dev/full"}},
      {{"explain", "Total", "orders.csv", "-f", "orders.formulas"}, 74, "", full, "", "", {"/dev/full"}},
      {{"--help"}, 74, "", full, "", "", {"/dev/full"}},
  });
}

// A small file system that fills up; only where the test may mount one.
TEST_F(Xevhost, AFailedSaveKeepsTheDocumentThatWasThere) {
  const std::string dir = scratch_ + "/tiny";
  std::filesystem::create_directories(dir);
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a file system here";
  const std::string doc = dir + "/report.xev";
  std::string formulas;  // far more formula text than the disk holds
  for (int i = 0; i < 3000; ++i) formulas += "Long" + std::to_string(i) + " = Qty * " + std::to_string(i) + " + Price * 1000000\n";
  Input("many.formulas", formulas);
  EXPECT_EQ(Run({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  const std::string before = ReadFile(doc);
  ExpectRuns({{{"orders.csv", "-f", "$/many.formulas", "--save", doc, "--limit", "0"}, 1, "",
               "xevhost: " + doc + ": cannot write: No space left on device\n"}});
  EXPECT_EQ(ReadFile(doc), before);
  EXPECT_FALSE(before.empty());
  umount(dir.c_str());
}

// Saving replaces only what a user would expect it to: the file keeps its
// permissions, a link keeps pointing at it, a read-only file or a device is
// replaced only with --force, a document the format cannot hold is refused
// with the old one kept, and no temporary file stays behind.
TEST_F(Xevhost, SavingReplacesOnlyWhatItShould) {
  const std::string doc = scratch_ + "/doc.xev", link = scratch_ + "/link.xev";
  ASSERT_EQ(symlink("doc.xev", link.c_str()), 0);
  std::string formulas;
  for (int i = 0; i < 32768; ++i) formulas += "F" + std::to_string(i) + " = Qty * " + std::to_string(i) + "\n";
  Input("toomany.formulas", formulas);
  auto mode = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
  };
  struct Step {
    mode_t before;
    std::vector<std::string> args;
    int status;
    std::string err;
    bool replaced;
  };
  const Step steps[] = {
      {0600, {"--save", doc}, 0, "", true},
      {0640, {"--save", link}, 0, "", true},  // through the link: the file it points to
      {0444, {"--save", doc}, 1, "xevhost: " + doc + ": is read-only; --force replaces it anyway\n", false},
      {0444, {"--save", doc, "--force"}, 0, "", true},
      {0644, {"-f", "$/toomany.formulas", "--save", doc}, 1,
       "xevhost: " + doc + ": a document holds at most 32767 data items and 32767 formulas; this one would hold 7 "
       "and 32769\n", false},
  };
  for (const Step& step : steps) {
    WriteFile(doc, "old");
    ASSERT_EQ(chmod(doc.c_str(), step.before), 0);
    std::vector<std::string> args = {"orders.csv", "--formula", "x=Qty", "--limit", "0"};
    args.insert(args.end(), step.args.begin(), step.args.end());
    RunResult run = Run(args);
    EXPECT_EQ(run.status, step.status) << step.before << " " << run.err;
    EXPECT_EQ(run.err, step.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(doc) != "old", step.replaced) << step.before;
    EXPECT_EQ(mode(doc), step.before);
  }
  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced by a file";
  ExpectRuns({
      {{"orders.csv", "--formula", "x=Qty", "--limit", "0", "--save", "/dev/null"}, 1, "",
       "xevhost: /dev/null: is not a regular file (a device, a pipe or a socket); --force writes into it\n"},
      {{"orders.csv", "--formula", "x=Qty", "--limit", "0", "--save", "/dev/null", "--force"}, 0, ""},
  });
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced by a file";
  std::filesystem::remove(link);
  std::filesystem::remove(doc);
  // A document saved anew is readable as any other file the user writes.
  ASSERT_EQ(Run({"orders.csv", "--formula", "One=1", "--save", "$/new.xev", "--limit", "0"}).status, 0);
  EXPECT_NE(mode(scratch_ + "/new.xev") & 0044, 0u);
  std::filesystem::remove(scratch_ + "/new.xev");
  std::filesystem::remove(scratch_ + "/toomany.formulas");
  EXPECT_TRUE(std::filesystem::is_empty(scratch_)) << "a temporary file was left behind";
}

// Memory running out ends the run with one line and status 71, never an abort
// or an empty cell that passes for a value: in the tool (grouping a hundred
// thousand keys in 24 MB) and inside a formula (a text past the 2 GB a block
// holds), on the row engine and on the grouped path. A build whose binary
// cannot start within the limit at all (the sanitizers' shadow memory) skips
// the limited case.
TEST_F(Xevhost, RunningOutOfMemoryIsOneLineAndItsOwnStatus) {
  std::string keys = "Key,Value\n";
  for (int i = 0; i < 100000; ++i) keys += "k" + std::to_string(i) + "," + std::to_string(i) + "\n";
  Input("distinct.csv", keys);
  const std::string huge = "Big=StrRepeat('abc', 1000000000)", message = "xevhost: out of memory\n";
  ExpectRuns({{{"orders.csv", "--formula", huge}, 71, "", message},
              {{"orders.csv", "--group-by", "Customer", "--formula", huge}, 71, "", message}});
  const Output limited{"", false, 24 << 20};
  if (Run({"orders.csv", "--formula", "x=Qty"}, limited).status != 0) GTEST_SKIP() << "cannot start within 24 MB";
  ExpectRuns({{{"$/distinct.csv", "--group-by", "Key", "--formula", "Twice=Value * 2"}, 71, "", message, "", "",
               limited}});
}

// Sets an environment variable for the runs of one test, which inherit it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Money and grouping in formulas follow the locale asked for, the report's
// own numbers do not. The locales are built for the test into its scratch
// folder, as a fresh machine may have none but C and POSIX installed.
TEST_F(Xevhost, MoneyAndGroupingFollowTheLocaleAskedFor) {
  const std::string build = "localedef -i de_DE -f UTF-8 " + scratch_ + "/de_DE.UTF-8 >/dev/null 2>&1 && " +
                            "localedef -i fr_FR -f UTF-8 " + scratch_ + "/fr_FR.UTF-8 >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE and fr_FR here";
  ScopedEnv path("LOCPATH", scratch_.c_str()), all("LC_ALL", nullptr);
  const std::vector<std::string> money = {"orders.csv", "--format", "csv", "--limit", "1", "--formula",
                                          "c=NumberToCurrency(1234567.5)", "--formula",
                                          "g=NumberCountryFmt(-1234567.25)", "--formula", "plain=Price * 1000"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), money.begin(), money.end());
    return more;
  };
  const std::string german = "c,g,plain\n\"1.234.567,50 \u20ac\",\"-1.234.567,25\",9500\n";
  // French groups with a narrow no-break space, no character of code page
  // 1252: a blank stands in; nor is the euro sign one of 932: EUR is.
  ExpectRuns({
      {with({"--locale", "de_DE.UTF-8"}), 0, german},
      {with({"--locale", "fr_FR.UTF-8", "--code-page", "1252"}), 0, "c,g,plain\n\"1 234 567,50 \u20ac\",\"-1 234 567,25\",9500\n"},
      {with({"--locale", "de_DE.UTF-8", "--code-page", "932"}), 0, "c,g,plain\n\"1.234.567,50 EUR\",\"-1.234.567,25\",9500\n",
       "", "", "code page 932 cannot hold"},
  });
  // The environment is read when asked for, and only then.
  ScopedEnv numeric("LC_NUMERIC", "de_DE.UTF-8");
  {
    ScopedEnv monetary("LC_MONETARY", "fr_FR.UTF-8");
    ExpectRuns({{with({"--locale", "env"}), 0, german}, {money, 0, "c,g,plain\n1234567.50,-1234567.25,9500\n"}});
  }
  ScopedEnv monetary("LC_MONETARY", "xx_NOWHERE");
  RunResult run = Run(with({"--locale", "env"}));
  EXPECT_EQ(run.status, 64);
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_NE(run.err.find("LC_MONETARY=xx_NOWHERE"), std::string::npos) << run.err;
}

}  // namespace
