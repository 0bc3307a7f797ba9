// Extended text: the written forms of escaped functions and dates, references
// expanded where the parser found them, huge chains, cycles and failures.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/formula_test_support.h"
#include "oom/sweep.h"

namespace {

class ExtendedText : public core_test::FormulaTest {
 protected:
  void SetUp() override {
    FormulaTest::SetUp();
    c.Function("Esc", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}}, 0, 0, 0x20);
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  }
  void UseSqlDates() {
    XEVSetDateConvert(c.ec, "{d '%s'}", "{ts '%s'}", "{t '%s'}", 0x02);
    XEVSetDatePicture(c.ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm", "HH:mm");
  }
  std::string Text(HEXP exp, bool expand) {
    std::vector<char> buffer(8192, '#');
    XEVGetExtendedText(c.ec, exp, 8192, buffer.data(), expand ? 1 : 0);
    return buffer.data();
  }
  int32_t Length(HEXP exp, bool expand) { return XEVGetExtendedTextLength(c.ec, exp, expand ? 1 : 0); }
};

// The written forms a host's database reads: one row per form.
TEST_F(ExtendedText, EscapedFunctionsAndDatesTakeTheirWrittenForms) {
  EXPECT_EQ(Text(Add("Esc(Amount) + 1", "One"), true), " {fn Esc(Amount) }  + 1");
  HEXP date = Add("OrderDate - 12/25/2001", "OnDate");
  EXPECT_EQ(Text(date, true), "OrderDate - 12/25/2001");  // no pictures yet
  UseSqlDates();
  EXPECT_EQ(Text(date, true), "OrderDate - {d '2001-12-25'}");
  EXPECT_EQ(Text(Add("ShipDate - 12/25/2001 10:30 PM", "S"), true), "ShipDate - {ts '2001-12-25 22:30'}");
  EXPECT_EQ(Text(Add("OrderDate - 10:30 PM", "T"), true), "OrderDate - {t '22:30'}");
}

TEST_F(ExtendedText, OnlyReferencesTheParserFoundAreExpanded) {
  Add("Amount+1", "A");
  HEXP b = Add("A()*2", "B");
  EXPECT_EQ(Length(b, false), 12);
  EXPECT_EQ(Text(b, true), "(Amount+1)*2");
  HEXP d = Add("B () - A() + Twice(B())", "D");
  EXPECT_EQ(Text(d, false), "((Amount+1)*2) - (Amount+1) + Twice(((Amount+1)*2))");

  // Not inside longer names, strings or double-byte text.
  Add("Price", "AA");
  Add("Name", "Who");
  EXPECT_EQ(Text(Add("AA() + A()", "Both"), false), "(Price) + (Amount+1)");
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  EXPECT_EQ(Text(Add("'A() \x83\x5c' || Who()", "Quoted"), false), "'A() \x83\x5c' || (Name)");
  HostSetCodePage(XEV_CP_WESTERN);

  // A formula whose text is shorter than its name shortens the text that
  // refers to it, and that is a length, not a failure.
  Add("Qty", "Remainder");
  HEXP cartons = Add("(Amount - Remainder()) / 12", "Cartons");
  EXPECT_EQ(Text(cartons, false), "(Amount - (Qty)) / 12");
  EXPECT_EQ(Length(cartons, false), 21);
  EXPECT_EQ(Text(Add("Remainder() + Cartons()", "Nested"), true), "(Qty) + ((Amount - (Qty)) / 12)");

  // A formula renamed away since the parse leaves its reference as written.
  XEVHEXPFromName(c.ec, "A")->name[0] = 'Z';
  EXPECT_EQ(Text(b, false), "A()*2");
  EXPECT_EQ(Length(b, false), 5);
}

// Every level doubles the text: the length follows the counting rule until
// it no longer fits 32 bits; from there both entry points fail.
TEST_F(ExtendedText, DoublingChainFailsOnceItLeaves32Bits) {
  HEXP f = Add("Amount", "F0");
  int64_t expected = 6;
  for (int k = 1; k < 1000; ++k) {
    std::string previous = "F" + std::to_string(k - 1);
    std::string text = previous + "()+" + previous + "()";
    f = Add(text, "F" + std::to_string(k));
    if (expected <= INT32_MAX) {
      expected = static_cast<int64_t>(text.size()) + 2 * (expected - static_cast<int64_t>(previous.size()));
      ASSERT_EQ(Length(f, false), expected <= INT32_MAX ? expected : 0) << k;
    }
  }
  char buffer[16] = "xxxxxxxxxxxxxxx";
  EXPECT_EQ(XEVGetExtendedText(c.ec, f, sizeof buffer, buffer, 0), 0);
  EXPECT_STREQ(buffer, "");
}

TEST_F(ExtendedText, ThousandLevelsDeepAndCycles) {
  std::string expected = "Amount";
  HEXP f = Add("Amount", "F0");
  for (int k = 1; k < 1000; ++k) {
    f = Add("F" + std::to_string(k - 1) + "() + 1", "F" + std::to_string(k));
    expected = "(" + expected + ") + 1";
  }
  EXPECT_EQ(Text(f, true), expected);

  ForceText(XEVHEXPFromName(c.ec, "F0"), "F999() + 1");  // closes the chain into a cycle
  EXPECT_EQ(std::tuple(Length(f, false), Text(f, false)), std::tuple(0, ""));
}

}  // namespace
