// Scanner throughput: bytes per second turned into tokens (values included)
// over formulas of the kind a report's users write, and over one long formula.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "language/language.h"
#include "xev/xev.h"
#include "xev/xevhost.h"

namespace {

using namespace xev::language;

constexpr const char* kFormulas[] = {
    "Orders.Amount * 1.15",
    "Sum(Orders.Amount) / Count(Orders.OrderId)",
    "Price * Quantity - Discount",
    "'Customer: ' || Customers.Name || ' (' || Customers.City || ')'",
    "OrderDate + 30 DAYS",
    "ShipDate - OrderDate",
    "12/31/2001 - Invoices.DueDate",
    "Year(OrderDate) * 100 + Month(OrderDate)",
    "Upper(Left(Employees.LastName, 1)) || Lower(Mid(Employees.LastName, 2, 40))",
    "Round(Salary * 1.035, 2)",
    "Avg(DISTINCT Products.UnitPrice)",
    "Count(*)",
    "\"Net Sales\".Total - \"Net Sales\".Returns",
    "Trim(Address.Street) || ', ' || Address.Zip || ' ' || Address.City",
    "Balance * Rate / 100 / 12",
    "Jan 15, 2001 + 3 MONTHS",
    "Today() - HireDate",
    "Max(Orders.Freight) - Min(Orders.Freight)",
    "Abs(Budget - Actual) / Budget * 100",
    "Region.Name || ' - ' || Region.Manager",
    "Str(Invoices.Number) || '/' || Str(Year(Invoices.Date))",
    "Hours * 37.5 + Overtime * 56.25",
    "Stock.OnHand - Stock.Reserved + Stock.OnOrder",
    "10:30 PM",
    "DateAdd(StartDate, Duration)",
    "Sum(Lines.Quantity * Lines.UnitPrice)",
    "Length(Comments) > 0",
    "Mod(Orders.OrderId, 7)",
    "Orders.OrderId % 7",
    "Customers.Country || ' ' || Customers.PostalCode",
    "(Revenue - Cost) / Revenue",
    "Total * -1",
    "Amount - -5",
    "@PI * Radius * Radius",
    "@NOW - LastLogin",
    "Weekday(OrderDate)",
    "Proper(Contacts.FirstName) || ' ' || Proper(Contacts.LastName)",
    "Sum(ALL Sales.Amount)",
    "Sales.Q1 + Sales.Q2 + Sales.Q3 + Sales.Q4",
    "Day(DueDate) - Day(PaidDate)",
    "Employees.Salary * 12 + Employees.Bonus",
    "2001-12-25 10:30:00",
    "Price * (1 + VatRate / 100)",
    "'It''s ' || Status",
    "Replace(Phone, 1, 3, '555')",
    "Ceiling(Weight / 2.5) * 2.5",
    "15 January, 2001",
    "Inventory.Value / Inventory.Units",
    "Orders.Amount AND Orders.Amount * 2",
    "'North', 'South', 'East', 'West'",
};

class Corpus {
 public:
  Corpus() {
    for (const char* f : kFormulas) bytes_ += static_cast<int64_t>(std::strlen(f));
  }
  int64_t Bytes() const { return bytes_; }

 private:
  int64_t bytes_ = 0;
};

int64_t ScanAll(const char* text, ExprContext* ec) {
  ScannerReset(text, ec, false);
  int64_t tokens = 0;
  while (NextToken() != TK_END) {
    HostFree(CurrentToken().value);
    ++tokens;
  }
  return tokens;
}

void RunCorpus(benchmark::State& state, uint16_t flags) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, flags);
  Corpus corpus;
  int64_t tokens = 0;
  for (auto _ : state) {
    for (const char* f : kFormulas) tokens += ScanAll(f, ec);
  }
  benchmark::DoNotOptimize(tokens);
  state.SetBytesProcessed(state.iterations() * corpus.Bytes());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kFormulas)));
  XEVDestroyEC(ec);
}

void BM_ScanCorpus(benchmark::State& state) { RunCorpus(state, ECF_SET_QUANTIFIERS | ECF_MODULO); }
BENCHMARK(BM_ScanCorpus);

// Date constants also go through the host date check.
void BM_ScanCorpusCheckedDates(benchmark::State& state) {
  RunCorpus(state, ECF_SET_QUANTIFIERS | ECF_MODULO | ECF_RANGES_SETS);
}
BENCHMARK(BM_ScanCorpusCheckedDates);

// The same ASCII formulas under UTF-8, which must cost what they cost under
// the single-byte code page.
void BM_ScanCorpusUtf8(benchmark::State& state) {
  HostSetCodePage(XEV_CP_UTF8);
  RunCorpus(state, ECF_SET_QUANTIFIERS | ECF_MODULO);
  HostSetCodePage(XEV_CP_WESTERN);
}
BENCHMARK(BM_ScanCorpusUtf8);

// Names of other scripts under UTF-8: Greek, Cyrillic, Chinese, accents.
void BM_ScanUtf8Names(benchmark::State& state) {
  constexpr const char* kText =
      "\xCE\xA4\xCE\xB9\xCE\xBC\xCE\xAE * \xD0\x9A\xD0\xBE\xD0\xBB-\xD0\xB2\xD0\xBE + "
      "\xE6\x95\xB0\xE9\x87\x8F(Pr\xC3\xA9" "cio) || 'caf\xC3\xA9' - na\xC3\xAFve.\xE5\x90\x8D * 1.5";
  HostSetCodePage(XEV_CP_UTF8);
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  int64_t tokens = 0;
  for (auto _ : state) tokens += ScanAll(kText, ec);
  benchmark::DoNotOptimize(tokens);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::strlen(kText)));
  XEVDestroyEC(ec);
  HostSetCodePage(XEV_CP_WESTERN);
}
BENCHMARK(BM_ScanUtf8Names);

void BM_ScanLongFormula(benchmark::State& state) {
  std::string text;
  while (text.size() < 100000) text += "Orders.Amount * 1.15 + Sum(Lines.Price) || 'x' - ";
  text += "1";
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  int64_t tokens = 0;
  for (auto _ : state) tokens += ScanAll(text.c_str(), ec);
  benchmark::DoNotOptimize(tokens);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
  XEVDestroyEC(ec);
}
BENCHMARK(BM_ScanLongFormula);

}  // namespace
