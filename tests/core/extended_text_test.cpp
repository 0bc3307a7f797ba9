// Extended text: references expanded in place, function escapes, rewritten
// date literals, the length that sizes a buffer, the buffer rule, chains long
// enough to leave 32 bits, cycles, and every allocation failing in turn.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "language/parse_fixture.h"

namespace {

using namespace parse_test;

class ExtendedText : public ::testing::Test {
 protected:
  void SetUp() override {
    AddSalesItems(c);
    c.Function("Esc", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}}, 0, 0, 0x20);
    c.Function("Days", XEV_TYPE_NUMBER, {{XEV_TYPE_DATETIME}}, 0, 0, 0x20);
    c.Function("Twice", XEV_TYPE_NUMBER, {{XEV_TYPE_NUMBER}});
  }
  HEXP Add(const char* text, const char* name) {
    ExprError error{};
    uint16_t type = 0;
    HEXP exp = XEVParseFormula(c.ec, nullptr, text, name, &error, &type);
    EXPECT_NE(exp, nullptr) << text << " error " << error.code << " at " << error.pos;
    return exp;
  }
  void UseSqlDates() {
    XEVSetDateConvert(c.ec, "{d '%s'}", "{ts '%s'}", "{t '%s'}", 0x02);
    XEVSetDatePicture(c.ec, "yyyy-MM-dd", "yyyy-MM-dd HH:mm", "HH:mm");
  }
  std::string Text(HEXP exp, bool expand, int32_t size = 4096) {
    std::vector<char> buffer(static_cast<size_t>(size), '#');
    XEVGetExtendedText(c.ec, exp, size, buffer.data(), expand ? 1 : 0);
    return buffer.data();
  }
  int32_t Length(HEXP exp, bool expand) { return XEVGetExtendedTextLength(c.ec, exp, expand ? 1 : 0); }
  ParseContext c;
};

TEST_F(ExtendedText, ReferencesExpandInPlaceWhatEverTheFlag) {
  Add("Amount+1", "A");
  HEXP b = Add("A()*2", "B");
  EXPECT_EQ(Length(b, false), 12);  // 5 + 8 - 1
  EXPECT_EQ(Text(b, false), "(Amount+1)*2");
  EXPECT_EQ(Text(b, true), "(Amount+1)*2");
  char buffer[32];
  EXPECT_EQ(XEVGetExtendedText(c.ec, b, sizeof buffer, buffer, 0), 11);

  // Nested references, blanks before the parentheses, and several uses.
  HEXP d = Add("B () - A() + Twice(B())", "D");
  EXPECT_EQ(Text(d, false), "((Amount+1)*2) - (Amount+1) + Twice(((Amount+1)*2))");
  EXPECT_GE(Length(d, false), static_cast<int32_t>(Text(d, false).size()));
}

TEST_F(ExtendedText, OnlyTheReferencesTheParserFoundAreReplaced) {
  Add("Amount", "A");
  Add("Price", "AA");
  Add("Name", "Who");
  HEXP both = Add("AA() + A()", "Both");
  HEXP quoted = Add("'A() Who()' || Who()", "Quoted");
  EXPECT_EQ(Text(both, false), "(Price) + (Amount)");
  EXPECT_EQ(Text(quoted, false), "'A() Who()' || (Name)");

  // Double-byte text before a reference keeps every byte in place.
  ASSERT_EQ(HostSetCodePage(XEV_CP_SHIFTJIS), 1);
  HEXP dbcs = Add("'\x83\x5c\x83\x67' || Who()", "Dbcs");
  EXPECT_EQ(Text(dbcs, false), "'\x83\x5c\x83\x67' || (Name)");
  HostSetCodePage(XEV_CP_WESTERN);

  // A formula removed since the parse leaves its reference as written.
  HEXP gone = XEVHEXPFromName(c.ec, "A");
  gone->name[0] = 'Z';
  EXPECT_EQ(Text(both, false), "(Price) + A()");
  EXPECT_EQ(Length(both, false), 13);
}

TEST_F(ExtendedText, MarkedFunctionsAreEscapedWhenExpanding) {
  HEXP one = Add("Esc(Amount) + 1", "One");
  HEXP nested = Add("Esc (Esc(Amount)) * Twice(Qty)", "Nested");
  EXPECT_EQ(Text(one, true), " {fn Esc(Amount) }  + 1");
  EXPECT_EQ(Length(one, true), 15 + 8);
  EXPECT_EQ(Text(one, false), "Esc(Amount) + 1");
  EXPECT_EQ(Text(nested, true), " {fn Esc ( {fn Esc(Amount) } ) }  * Twice(Qty)");

  // Without date pictures only the formula asked for gets its escapes; with
  // them, what its references bring in is escaped too.
  HEXP user = Add("One() - Esc(Price)", "User");
  EXPECT_EQ(Text(user, true), "(Esc(Amount) + 1) -  {fn Esc(Price) } ");
  UseSqlDates();
  EXPECT_EQ(Text(user, true), "( {fn Esc(Amount) }  + 1) -  {fn Esc(Price) } ");
  EXPECT_EQ(Text(user, false), "(Esc(Amount) + 1) - Esc(Price)");
}

TEST_F(ExtendedText, DateLiteralsAreRewrittenByTheirForm) {
  HEXP date = Add("OrderDate - 12/25/2001", "OnDate");
  HEXP stamp = Add("ShipDate - 12/25/2001 10:30 PM", "OnStamp");
  HEXP time = Add("OrderDate - 10:30 PM", "OnTime");
  HEXP alone = Add("12/25/2001", "Alone");
  EXPECT_EQ(Text(date, true), "OrderDate - 12/25/2001");  // no pictures yet
  UseSqlDates();
  int32_t width = c.ec->dateTextWidth;
  ASSERT_GT(width, 10);
  EXPECT_EQ(Text(date, true), "OrderDate - {d '2001-12-25'}");
  EXPECT_EQ(Text(stamp, true), "ShipDate - {ts '2001-12-25 22:30'}");
  EXPECT_EQ(Text(time, true), "OrderDate - {t '22:30'}");
  EXPECT_EQ(Text(date, false), "OrderDate - 12/25/2001");
  EXPECT_EQ(Length(date, true), 22 + width - 10);
  EXPECT_EQ(Length(date, false), 22);
  EXPECT_EQ(Length(alone, true), width);
  EXPECT_EQ(Text(alone, true), "{d '2001-12-25'}");

  // Through a reference, and inside an escaped call; without the wrapping
  // option the date is written alone.
  HEXP user = Add("Esc(OnDate() + 1) + Days(12/25/2001)", "User");
  EXPECT_EQ(Text(user, true), " {fn Esc((OrderDate - {d '2001-12-25'}) + 1) }  +  {fn Days({d '2001-12-25'}) } ");
  XEVSetDateConvert(c.ec, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(Text(date, true), "OrderDate - 2001-12-25");
  EXPECT_GE(Length(user, true), static_cast<int32_t>(Text(user, true).size()));
}

TEST_F(ExtendedText, EveryBufferSizeKeepsToItsBytes) {
  Add("Amount+1", "A");
  HEXP b = Add("Esc(A())*2", "B");
  const std::string full = " {fn Esc((Amount+1)) } *2";
  ASSERT_EQ(Text(b, true), full);
  for (int32_t size = 1; size <= static_cast<int32_t>(full.size()) + 2; ++size) {
    std::vector<char> buffer(static_cast<size_t>(size) + 8, '#');
    int32_t result = XEVGetExtendedText(c.ec, b, size, buffer.data(), 1);
    size_t kept = std::min(full.size(), static_cast<size_t>(size - 1));
    EXPECT_EQ(std::string(buffer.data()), full.substr(0, kept)) << size;
    EXPECT_EQ(result, kept == 0 ? 0 : static_cast<int32_t>(kept) - 1) << size;
    for (size_t i = static_cast<size_t>(size); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << size;
  }
  char untouched = '#';
  EXPECT_EQ(XEVGetExtendedText(c.ec, b, 0, &untouched, 1), 0);
  EXPECT_EQ(untouched, '#');
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(XEVGetExtendedText(c.ec, nullptr, sizeof buffer, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(XEVGetExtendedTextLength(c.ec, nullptr, 1), 0);
}

// Every level doubles the text: the length follows the counting rule exactly
// until it no longer fits 32 bits, and from there both entry points fail.
TEST_F(ExtendedText, DoublingChainFailsOnceItLeaves32Bits) {
  HEXP f = Add("Amount", "F0");
  int64_t expected = 6;
  bool overflowed = false;
  for (int k = 1; k < 1000; ++k) {
    std::string previous = "F" + std::to_string(k - 1);
    std::string text = previous + "()+" + previous + "()";
    f = Add(text.c_str(), ("F" + std::to_string(k)).c_str());
    if (!overflowed) {
      expected = static_cast<int64_t>(text.size()) + 2 * (expected - static_cast<int64_t>(previous.size()));
      overflowed = expected > INT32_MAX;
      ASSERT_EQ(Length(f, false), overflowed ? 0 : expected) << k;
    }
  }
  EXPECT_EQ(Length(f, true), 0);
  char buffer[16] = "xxxxxxxxxxxxxxx";
  int64_t live = HostLiveBlockCount();
  EXPECT_EQ(XEVGetExtendedText(c.ec, f, sizeof buffer, buffer, 0), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(HostLiveBlockCount(), live);
}

TEST_F(ExtendedText, SingleChainOfAThousandExpandsFully) {
  std::string expected = "Amount";
  HEXP f = Add("Amount", "F0");
  for (int k = 1; k < 1000; ++k) {
    std::string text = "F" + std::to_string(k - 1) + "() + 1";
    f = Add(text.c_str(), ("F" + std::to_string(k)).c_str());
    expected = "(" + expected + ") + 1";
  }
  EXPECT_EQ(Text(f, true, 8192), expected);
  EXPECT_GE(Length(f, true), static_cast<int32_t>(expected.size()));
}

TEST_F(ExtendedText, CyclesHaveNoText) {
  HEXP a = Add("Amount + 1", "A");
  HEXP b = Add("A() * 2", "B");
  HEXP scratch = Add("B() + Price", "Scratch");
  std::swap(a->root, scratch->root);
  std::swap(a->text, scratch->text);
  ASSERT_EQ(XEVDestroyEXP(c.ec, scratch), 1);
  EXPECT_EQ(Length(a, false), 0);
  EXPECT_EQ(Length(b, true), 0);
  char buffer[64] = "x";
  EXPECT_EQ(XEVGetExtendedText(c.ec, b, sizeof buffer, buffer, 0), 0);
  EXPECT_STREQ(buffer, "");
}

TEST_F(ExtendedText, EveryAllocationFailingGivesAnEmptyBufferAndLeaksNothing) {
  UseSqlDates();
  Add("Esc(Amount) + (OrderDate - 12/25/2001)", "A");
  std::string text = "A()";
  for (int i = 0; i < 8; ++i) text += " + Esc(A())";
  HEXP b = Add(text.c_str(), "B");
  const std::string full = Text(b, true);
  ASSERT_GT(full.size(), 400u);
  ASSERT_LT(full.size(), 4000u);
  bool sawFailure = false;
  for (int64_t k = 1; k < 100; ++k) {
    std::vector<char> buffer(4096, '#');
    int64_t live = HostLiveBlockCount();
    int64_t before = HostAllocationCount();
    HostFailAllocationAfter(k);
    int32_t lengthResult = XEVGetExtendedTextLength(c.ec, b, 1);
    int32_t result = XEVGetExtendedText(c.ec, b, 4096, buffer.data(), 1);
    HostFailAllocationAfter(0);
    ASSERT_EQ(HostLiveBlockCount(), live) << k;
    if (HostAllocationCount() - before < k) {
      EXPECT_EQ(std::string(buffer.data()), full);
      break;
    }
    sawFailure = true;
    if (result == 0) {
      EXPECT_STREQ(buffer.data(), "") << k;
    } else {
      EXPECT_EQ(std::string(buffer.data()), full) << k;
      EXPECT_EQ(result, static_cast<int32_t>(full.size()) - 1) << k;
    }
    EXPECT_TRUE(lengthResult == 0 || lengthResult >= static_cast<int32_t>(full.size())) << k;
  }
  EXPECT_TRUE(sawFailure);
}

}  // namespace
