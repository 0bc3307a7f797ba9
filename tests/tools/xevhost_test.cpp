// End-to-end tests of the reference host: the built binary run on small
// fixtures, its output and exit status compared with what a user must see.
#include <gtest/gtest.h>

#include "xevhost_run.h"

namespace {

using namespace xevhost_test;

TEST(XevhostReport, EveryFormatMatchesItsExpectedOutput) {
  for (const char* format : {"table", "csv", "json"}) {
    RunResult run = Xevhost({"orders.csv", "-f", "orders.formulas", "--format", format});
    EXPECT_EQ(run.status, 0) << format << ": " << run.err;
    EXPECT_EQ(run.err, "") << format;
    EXPECT_EQ(run.out, ReadFile(kFixtures + "/orders." + format + ".expected")) << format;
  }
}

TEST(XevhostReport, WhereKeepsRowsWithANonZeroNumberAndLimitStopsEarly) {
  // Row 2 has no quantity: NULL is zero, so it passes; row 3 has exactly 10.
  for (const auto& [option, value, out] : {std::tuple{"--where", "Qty - 10", "No\n1\n2\n4\n5\n"},
                                           {"--limit", "2", "No\n1\n2\n"}, {"--limit", "0", "No\n"}}) {
    RunResult run = XevhostOk({"orders.csv", "--format", "csv", "--formula", "No=Order_No", option, value});
    EXPECT_EQ(run.out, out) << value;
  }
  RunResult run = Xevhost({"orders.csv", "--formula", "No=Order_No", "--where", "Customer"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("must be a Number formula"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(XevhostReport, ColumnsAreTypedFromTheirCellsAndRenamedForFormulas) {
  // "Order No" becomes Order_No, "Month" collides with a date unit and becomes
  // _Month; Placed holds dates and a date with a time, so it is a DateTime.
  RunResult run = XevhostOk({"orders.csv", "--format", "csv", "--formula", "a=Order_No * 2",
                     "--formula", "b=Placed + 1 DAY", "--formula", "c=_Month + 0", "--limit", "1"});
  EXPECT_EQ(run.out, "a,b,c\n2,2024-01-16,1\n");
}

TEST(XevhostReport, DoubleByteCodePageCarriesJapaneseText) {
  TempFile csv("japanese.csv", "\xE5\x95\x86\xE5\x93\x81,n\n\xE3\x82\x8A\xE3\x82\x93\xE3\x81\x94,3\n");  // 商品,n / りんご,3
  RunResult run = XevhostOk({csv, "--code-page", "932", "--format", "csv", "--formula",
                     "x=StrLeft(\xE5\x95\x86\xE5\x93\x81, 2)", "--formula", "len=StrLength(\xE5\x95\x86\xE5\x93\x81)"});
  EXPECT_EQ(run.out, "x,len\n\xE3\x82\x8A\xE3\x82\x93,3\n");  // りん: two characters, not two bytes

  // Under the single-byte code page the same name cannot be written: it
  // arrives as '?' and the formula is refused at that character.
  run = Xevhost({csv, "--code-page", "1252", "--formula", "x=StrLeft(\xE5\x95\x86\xE5\x93\x81, 2)"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--formula:1:11: error 110"), std::string::npos) << run.err;
}

TEST(XevhostErrors, FormulaErrorsAreReportedLikeACompilerAndNothingIsEvaluated) {
  RunResult run = Xevhost({"orders.csv", "-f", "bad.formulas", "--format", "csv"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, ReadFile(kFixtures + "/bad.formulas.expected"));
}

TEST(XevhostErrors, NameErrorsPointAtTheName) {
  RunResult run = Xevhost({"orders.csv", "--formula", "Bad Name=1", "--formula", "x=1", "--formula", "x=2"});
  EXPECT_EQ(run.status, 2);
  std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 6u) << run.err;
  EXPECT_EQ(lines[0], "--formula:1:1: error 107: ERR_NAME: Invalid Formula Name.");
  EXPECT_EQ(lines[2], "    ^~~~~~~~");
  EXPECT_EQ(lines[3], "--formula:3:1: error 126: ERR_DUPNAME: Duplicate Formula Name.");
}

TEST(XevhostErrors, BadInputGivesAMessageAndANonZeroStatus) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  TempFile malformed("malformed.csv", "a,b\n1,2\n\"x\ny\",3\n4\n"), unclosed("unclosed.csv", "a,b\n1,\"2\n"),
      headerOnly("header.csv", "");
  const Case cases[] = {
      {{"missing.csv", "--formula", "x=1"}, 1, "missing.csv: cannot open data file"},
      // The quoted field spans lines 3 and 4, so the short row is on line 5.
      {{malformed, "--formula", "x=a"}, 1, "line 5: malformed row: expected 2 fields, found 1"},
      {{unclosed, "--formula", "x=a"}, 1, "line 2: quoted field is not closed"},
      {{headerOnly, "--formula", "x=1"}, 1, "no header row"},
      {{"orders.csv", "-f", "missing.formulas"}, 1, "missing.formulas: cannot open formulas file"},
      {{"orders.csv", "--frobnicate"}, 64, "unknown option --frobnicate"},
      {{"orders.csv", "--format", "xml"}, 64, "--format must be table, csv or json"},
      {{"orders.csv", "--limit", "-3"}, 64, "--limit needs a count of rows"},
      {{}, 64, "no data file given"},
      {{"explain", "Nothing", "orders.csv"}, 1, "no formula named Nothing"},
  };
  for (const Case& c : cases) {
    RunResult run = Xevhost(c.args);
    EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << c.message;
  }
}

TEST(XevhostDocuments, SavedDocumentReproducesTheReportAndTakesMoreFormulas) {
  TempFile doc("orders.xev");
  RunResult saved = Xevhost({"orders.csv", "--save", doc, "--format", "csv", "--formula", "Subtotal=Qty * Price",
                             "--formula", "Due=Placed + 1 MONTH", "--formula", "Who=StrUpper(Customer)"});
  ASSERT_EQ(saved.status, 0) << saved.err;
  RunResult loaded = XevhostOk({"orders.csv", "--load", doc, "--format", "csv"});
  EXPECT_EQ(loaded.out, saved.out);

  RunResult more = XevhostOk({"orders.csv", "--load", doc, "--format", "csv", "--formula", "Twice=Subtotal() * 2", "--limit", "1"});
  EXPECT_EQ(more.out, "Subtotal,Due,Who,Twice\n28.5,2024-02-15,\"SMITH, JONES & CO.\",57\n");

  // The document names its columns: data without them cannot feed it.
  RunResult missing = Xevhost({TempFile("other.csv", "Order No,Something\n1,2\n"), "--load", doc});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("data item Placed has no column"), std::string::npos) << missing.err;
}

TEST(XevhostDocuments, InfoListsItemsAndFormulasWithTheirDependencies) {
  TempFile doc("info.xev");
  ASSERT_EQ(Xevhost({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  RunResult info = XevhostOk({"info", doc});
  EXPECT_NE(info.out.find("data items (7):"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("  Placed                   DateTime  csv:Placed"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("formulas (8):"), std::string::npos);
  EXPECT_NE(info.out.find("  Total (formula, Number) = Subtotal() + Refund()\n"
                          "      data items: Qty, Price\n"
                          "      functions:  NumberIFF\n"
                          "      formulas:   Subtotal, Refund\n"),
            std::string::npos)
      << info.out;
}

TEST(XevhostDocuments, DamagedDocumentsAreRefusedWithTheReason) {
  TempFile doc("damaged.xev");
  ASSERT_EQ(Xevhost({"orders.csv", "-f", "orders.formulas", "--save", doc, "--limit", "0"}).status, 0);
  std::string block = ReadFile(doc);
  for (const auto& [bytes, reason] : {std::pair{block.substr(0, block.size() / 2), "the document is damaged"},
                                      {std::string("PK\x03\x04 not a document"), "not a formula document"}}) {
    RunResult run = Xevhost({"info", TempFile("damaged_copy.xev", bytes)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
  // A stored formula that no longer parses is shown with its error.
  size_t at = block.find("Qty * Price");
  ASSERT_NE(at, std::string::npos);
  TempFile broken("broken.xev");
  WriteFile(broken, block.replace(at, 11, "Qty * * ice"));
  RunResult run = Xevhost({"orders.csv", "--load", broken});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error 109: ERR_SYNTAX: Incomplete or invalid formula\n    Subtotal = Qty * * ice\n                     ^"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(XevhostExplain, ShowsTypeUsesAndExtendedText) {
  RunResult run = XevhostOk({"explain", "Total", "orders.csv", "-f", "orders.formulas"});
  EXPECT_EQ(run.out,
            "Total\n"
            "  kind:          formula\n"
            "  type:          Number\n"
            "  text:          Subtotal() + Refund()\n"
            "  data items:    Qty, Price\n"
            "  functions:     NumberIFF\n"
            "  formulas:      Subtotal, Refund\n"
            "  aggregates:    none\n"
            "  extended text: (Qty * Price) + (NumberIFF(Price, (Qty * Price) * -1, 0, 0))\n");
}

TEST(XevhostExamples, TheExampleReportRuns) {
  RunResult run = XevhostOk({XEVHOST_EXAMPLES_DIR "/sales.csv", "-f", XEVHOST_EXAMPLES_DIR "/sales.formulas",
                     "--limit", "20", "--format", "table"});
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 22u) << run.out;  // header, rule, 20 rows
  EXPECT_EQ(lines[0].rfind("Order ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[2].rfind("SO-10001", 0), 0u) << lines[2];
}

}  // namespace
