// Faults the allocation sweep and the fuzzers found.
#include <cstring>
#include <string>
#include <vector>

#include "oom/sweep.h"

namespace {

using namespace oom;

// A load that stops inside the data item section leaves an empty slot at the
// end of the data item list. Lookups crashed on it, and walks over the list
// stopped there, hiding every item the host added afterwards.
TEST(Regression, EmptyDataItemSlotLeftByAStoppedLoad) {
  const int64_t live = HostLiveBlockCount();
  ExprContext* source = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
  AddDataItem(source, "Amount", XEV_TYPE_NUMBER, "GetAmount");
  AddDataItem(source, "Price", XEV_TYPE_NUMBER, "GetPrice");
  std::vector<uint8_t> block(XEVGetECBlockSize(source, 0));
  block.resize(static_cast<size_t>(XEVGetECBlock(source, static_cast<int32_t>(block.size()), block.data())));
  XEVDestroyEC(source);
  block.resize(block.size() - 20);  // the second record no longer fits

  ExprContext* ec = XEVCreateEC(0, ResolveToDummy, nullptr, kHostFlags);
  FUNDefineFunctions(ec);
  ASSERT_EQ(XEVSetECContents(ec, static_cast<int32_t>(block.size()), block.data(), 1, nullptr), 0);
  ASSERT_EQ(AddDataItem(ec, "Quantity", XEV_TYPE_NUMBER), 1);  // lands after the empty slot

  ExpItem item{};
  EXPECT_EQ(XEVGetExpressionVariable(ec, &item, "Price"), 0);
  EXPECT_EQ(XEVGetExpressionVariable(ec, &item, "Quantity"), 1);
  EXPECT_EQ(ItemNames(ec, XEV_ITEM_DATA), (std::set<std::string>{"Amount", "Quantity"}));

  ExprError error{};
  uint16_t type = 0;
  EXPECT_EQ(XEVParseFormula(ec, nullptr, "Price * 2", "Doubled", &error, &type), nullptr);
  EXPECT_EQ(error.code, 102u);
  HEXP exp = XEVParseFormula(ec, nullptr, "Quantity * 2", "Doubled", &error, &type);
  ASSERT_NE(exp, nullptr) << error.code;
  NumberValue value{};
  ASSERT_EQ(XEVEvaluateExpression(ec, exp, sizeof value, &value), 1);
  EXPECT_EQ(NumberToInt(&value), 2 * (8 * 7 + 3));

  ExprContext* copy = XEVCopyEC(ec);
  EXPECT_EQ(XEVGetExpressionVariable(copy, &item, "Quantity"), 1) << "the copy stopped at the empty slot";
  EXPECT_NE(XEVHEXPFromName(copy, "Doubled"), nullptr);
  XEVDestroyEC(copy);

  EXPECT_EQ(XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "Price"), 0);
  EXPECT_EQ(XEVDestroyEXP(ec, exp), 1);
  EXPECT_EQ(XEVDelExpItemNoCheck(ec, XEV_ITEM_DATA, "Quantity"), 1);
  XEVDestroyEC(ec);
  EXPECT_EQ(HostLiveBlockCount(), live);
}

// A number that could not be stored came to the parser as a memory token
// where it expected a number (after a unary minus, or anywhere an operand
// cannot start), and the parse reported a syntax error instead of 121.
TEST(Regression, RunningOutOfMemoryForANegativeNumberIsNotASyntaxError) {
  ExprContext* ec = NewHostContext();
  for (const char* text : {"Amount * -1", "-0.5", "(Amount + -12) * 2"}) {
    Sweep(text, [&](Trial& trial) {
      ExprError error{};
      uint16_t type = 0;
      trial.Arm();
      HEXP exp = XEVParseFormula(ec, nullptr, text, "Negative", &error, &type);
      trial.Disarm();
      if (exp != nullptr) {
        XEVDestroyEXP(ec, exp);
        return;
      }
      EXPECT_TRUE(trial.failing());
      EXPECT_EQ(error.code, 121u);
    });
  }
  XEVDestroyEC(ec);
}

// FormatMeasure promised number widths for 22 integer digits only, while the
// writers put out every digit of numbers below 10^100 and every decimal of
// numbers down to 10^-99: a buffer sized by the measure refused them.
TEST(Regression, MeasuredNumberWidthHoldsEveryNumber) {
  XevLocale wide{};
  std::strcpy(wide.decimalPoint, "<dec>");
  std::strcpy(wide.thousandsSep, "<sep>");
  std::strcpy(wide.grouping, "\1");
  std::strcpy(wide.currencySymbol, "<currency>");
  wide.currencyPlacement = XEV_CURRENCY_AFTER_SPACE;
  wide.currencyDigits = 9;
  const char* const numbers[] = {"-9999999999999999999999E+78", "-1.5E+99", "-1.234567890123456789012E-50", "-1.5E-99",
                                 "-0.000001234567890123456789012", "-123456789012345678.9012", "0.5"};
  const char* const pictures[] = {"#,##0.00", "0.0%;(0.0%)", "$#,##0.00 'net'", "0;-0;'zero'"};
  char out[4096];
  for (bool locale : {false, true}) {
    for (int32_t kind = XEV_FORMAT_NUMBER; kind <= XEV_FORMAT_PICTURE; ++kind) {
      for (int32_t decimals : {-1, 0, 4}) {
        for (const char* picture : pictures) {
          for (const char* number : numbers) {
            FormatDesc desc;
            FormatInit(&desc);
            if (locale) {
              desc.locale = wide;
              desc.useLocale = 1;
            }
            desc.kind = kind;
            desc.decimals = decimals;
            desc.picture = picture;
            ASSERT_EQ(HostStrToNumber(&desc.number, number), 1);
            desc.output = out;
            desc.outputSize = sizeof out;
            if (!FormatNumber(&desc)) continue;
            const int32_t widest = FormatMeasure(&desc, 0);
            EXPECT_LE(static_cast<int32_t>(std::strlen(out)), widest)
                << "kind " << kind << ", " << decimals << " decimals, " << picture << ": " << number;
            desc.outputSize = widest + 1;
            EXPECT_EQ(FormatNumber(&desc), 1) << "a buffer of the measured size was refused";
          }
        }
      }
    }
  }
}

}  // namespace
