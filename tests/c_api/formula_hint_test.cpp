// The text pieces and hints hosts show under an error. The hint texts
// themselves are checked end to end through the report tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/items.h"
#include "xev/xev.h"

namespace {

std::vector<XEVTextPiece> Split(const char* text) {
  std::vector<XEVTextPiece> pieces(static_cast<size_t>(XEVSplitFormulaText(text, nullptr, 0)));
  EXPECT_EQ(XEVSplitFormulaText(text, pieces.data(), static_cast<int32_t>(pieces.size())),
            static_cast<int32_t>(pieces.size()));
  return pieces;
}

TEST(FormulaText, PiecesKeepTheirQuotesAndByteSpans) {
  const char* text = "\"Ship Via\" || 'O''Brien' +Net()\t'open";
  const std::vector<XEVTextPiece> expected = {
      {XEV_PIECE_QUOTED_NAME, 0, 10}, {XEV_PIECE_PUNCT, 11, 2}, {XEV_PIECE_STRING, 14, 10},
      {XEV_PIECE_PUNCT, 25, 1},       {XEV_PIECE_NAME, 26, 3},  {XEV_PIECE_PUNCT, 29, 1},
      {XEV_PIECE_PUNCT, 30, 1},       {XEV_PIECE_STRING, 32, 5}};
  const std::vector<XEVTextPiece> pieces = Split(text);
  ASSERT_EQ(pieces.size(), expected.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].kind, expected[i].kind) << i;
    EXPECT_EQ(pieces[i].pos, expected[i].pos) << i;
    EXPECT_EQ(pieces[i].len, expected[i].len) << i;
  }
  XEVTextPiece one[1];
  EXPECT_EQ(XEVSplitFormulaText(text, one, 1), 8);  // the count of all, the first written
  EXPECT_EQ(one[0].len, 10u);
  EXPECT_EQ(XEVSplitFormulaText(nullptr, nullptr, 0), -1);
  EXPECT_EQ(XEVSplitFormulaText(text, nullptr, 1), -1);
}

TEST(FormulaText, HintsFollowTheBufferConventions) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  testhost::AddItem(ec, XEV_ITEM_DATA, "Unit_Price", {.type = XEV_TYPE_NUMBER});
  const char* text = "Unit_Prise * 2";
  ExprError error{};
  uint16_t type = 0;
  ASSERT_EQ(XEVParseFormula(ec, nullptr, text, "F", &error, &type), nullptr);
  char hint[64];
  EXPECT_EQ(XEVFormulaHint(ec, "F", text, &error, hint, sizeof hint), 24);
  EXPECT_STREQ(hint, "did you mean Unit_Price?");
  EXPECT_EQ(XEVFormulaHint(ec, "F", text, &error, hint, 7), -1);
  EXPECT_STREQ(hint, "did yo");

  ExprError noCause{119, 0, 0};
  EXPECT_EQ(XEVFormulaHint(ec, nullptr, text, &noCause, hint, sizeof hint), 0);
  EXPECT_STREQ(hint, "");
  EXPECT_EQ(XEVFormulaHint(ec, nullptr, nullptr, &error, hint, sizeof hint), -1);
  EXPECT_EQ(XEVFormulaHint(ec, nullptr, text, &error, hint, 0), -1);
  XEVDestroyEC(ec);
}

}  // namespace
