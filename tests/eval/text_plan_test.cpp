// Texts, dates and calls as plan steps give the walk's values and callbacks, in its order, with
// and without items asked once a call; and what a plan still leaves to the walk.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "eval/evaluator.h"
#include "eval/item_answers.h"
#include "eval/plan_steps.h"
#include "tests/support/host.h"

namespace {

using testhost::AddItem;
using testhost::Bound;
using testhost::ParseOrFail;

std::string t_asked;  // items asked, in order
int t_row = 0;

// n answers row % 7 - 2; d a day of 2024, NULL on every sixth row; s and t
// a text of the row, s none on every fifth row.
int32_t XEV_CALL Answer(ExprContext*, HEXP, int32_t size, void** result, const char* name) {
  t_asked += name;
  if (name[0] == 'n') return IntToNumber(static_cast<NumberValue*>(*result), t_row % 7 - 2), 1;
  if (name[0] == 'd') {
    const DateParts parts{1 + t_row % 12, 1 + t_row * 7 % 28, 2024, t_row % 24, 0, 0, 0};
    if (t_row % 6 != 0) DatePartsToNumber(static_cast<unsigned char*>(*result), &parts);
    return 1;
  }
  if (name[0] == 's' && t_row % 5 == 0) return 0;
  std::string text(static_cast<size_t>(t_row % 60), static_cast<char>(name[0] + t_row % 3));
  if (static_cast<size_t>(size) <= text.size()) *result = HostRealloc(*result, text.size() + 1);
  std::memcpy(*result, text.c_str(), text.size() + 1);
  return 1;
}

ExprContext* NewContext() {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(FUNDefineFunctions(ec), 1);
  AddItem(ec, XEV_ITEM_DATA, "n", {XEV_TYPE_NUMBER, Bound(&Answer)});
  AddItem(ec, XEV_ITEM_DATA, "s", {XEV_TYPE_STRING, Bound(&Answer)});
  AddItem(ec, XEV_ITEM_DATA, "t", {XEV_TYPE_STRING, Bound(&Answer)});
  AddItem(ec, XEV_ITEM_DATA, "d", {XEV_TYPE_DATETIME, Bound(&Answer)});
  return ec;
}

class Random {
 public:
  std::string Number(int depth) {
    switch (Pick(depth > 0 ? 8 : 2)) {
      case 0: return "n";
      case 1: return "2.5";
      case 2: return "(" + Number(depth - 1) + " - " + Number(depth - 1) + ")";
      case 3: return "StrLength(" + Text(depth - 1) + ")";
      case 4: return "(" + Date() + " - " + Date() + ")";
      case 5: return "DateMonth(" + Date() + " " + "+-"[Pick(2)] + " " + Number(depth - 1) + " MONTHS)";
      default: return "StrScan(" + Text(depth - 1) + ", " + Text(depth - 1) + ")";
    }
  }
  std::string Date() { return Pick(2) == 0 ? "d" : "2024-03-14"; }
  std::string Text(int depth) {
    switch (Pick(depth > 0 ? 7 : 3)) {
      case 0: return "s";
      case 1: return "t";
      case 2: return "'ab'";
      case 3: return Text(depth - 1) + " || " + Text(depth - 1);
      case 4: return "StrLeft(" + Text(depth - 1) + ", " + Number(depth - 1) + ")";
      case 5: return "StrIFF(" + Number(depth - 1) + ", " + Text(depth - 1) + ", 'z', " + Text(depth - 1) + ")";
      default: return "NumberToStr(" + Number(depth - 1) + ", 1)";
    }
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  std::mt19937 random_{7};
};

// The value as text, and the items asked for it.
std::string Evaluated(bool byWalk, ExprContext* ec, HEXP exp, xev::eval::ItemAnswers* answers) {
  t_asked.clear();
  xev::eval::Value value;
  bool ok = byWalk ? xev::eval::EvaluateNode(ec, exp, exp->root, value, answers)
                   : xev::eval::EvaluateFormula(ec, exp, value, answers);
  std::string seen = t_asked + ":";
  if (ok && value.kind == xev::eval::Value::kText) seen += value.text;
  for (int i = 0; ok && value.kind == xev::eval::Value::kNumber && i < XEV_NUMBER_SIZE; ++i) {
    seen += std::to_string(value.number.bytes[i]) + ".";
  }
  xev::eval::ReleaseValue(value);
  return seen;
}

TEST(TextPlan, RandomFormulasGiveTheWalksValueAndCallbacks) {
  ExprContext* ec = NewContext();
  Random random;
  for (int formula = 0; formula < 400; ++formula) {
    const std::string text = formula % 2 == 0 ? random.Text(3) : random.Number(3);
    HEXP exp = ParseOrFail(ec, text, "F" + std::to_string(formula));
    Evaluated(false, ec, exp, nullptr);  // the plan made, and the walk's blocks cached
    const int64_t live = HostLiveBlockCount();
    for (t_row = 0; t_row < 12; ++t_row) {
      ASSERT_EQ(Evaluated(false, ec, exp, nullptr), Evaluated(true, ec, exp, nullptr)) << text << ", row " << t_row;
      xev::eval::ItemAnswers byPlan(ec), byWalk(ec);
      ASSERT_EQ(Evaluated(false, ec, exp, &byPlan), Evaluated(true, ec, exp, &byWalk)) << text << " once";
    }
    ASSERT_EQ(HostLiveBlockCount(), live) << text;
  }
  XEVDestroyEC(ec);
}

// What a plan leaves to the walk, each a step of its own or the formula whole.
TEST(TextPlan, WhatStillFallsBackToTheWalk) {
  ExprContext* ec = NewContext();
  ParseOrFail(ec, "n * 2", "Twice");
  ParseOrFail(ec, "s || 'x'", "Named");
  int probes = 0;
  auto walked = [&](const char* text) {
    HEXP exp = ParseOrFail(ec, text, "Probe" + std::to_string(++probes));
    xev::eval::plan::Plan* plan = xev::eval::plan::Prepare(ec, exp);
    bool walk = plan->walkOnly;
    for (int32_t i = 0; i < plan->stepCount; ++i) walk = walk || plan->steps[i].code == xev::eval::plan::Code::kSubtree;
    xev::eval::plan::Release(plan);
    return walk;
  };
  for (const char* planned : {"StrLeft(s, 3) || 'x' || t", "NumberToStr(n, 2)", "StrLength(s) + n", "d - d",
                              "DateToStrPicture(d, 'yyyy')", "DateYear(2024-03-14)", "StrIFF(n, s, t, 'z')",
                              "DateMonthEnd(d + 1 MONTH)"}) {
    EXPECT_FALSE(walked(planned)) << planned;
  }
  // An escaped literal, and references: the row's value, or the walk.
  for (const char* walk : {"'it''s' || s", "Twice() + 1", "Named()"}) EXPECT_TRUE(walked(walk)) << walk;
  XEVDestroyEC(ec);
}

}  // namespace
