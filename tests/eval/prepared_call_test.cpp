// The built-in calls a plan runs itself give the functions' own values, byte
// for byte, over dates at the edges of the fast form; and which calls it
// runs itself, which it leaves to the function.
#include <gtest/gtest.h>

#include <string>

#include "eval/evaluator.h"
#include "eval/plan_steps.h"
#include "tests/support/host.h"

namespace {

using testhost::AddItem;
using testhost::Bound;
using testhost::ParseOrFail;

// d and e answer these DateTime values as the host writes them (nullptr:
// NULL): plain instants, fractions below a microsecond either side of zero,
// exponents from -21 to 20, month ends (31 January, 29 February), and the ends of 63-bit microseconds and of the
// calendar's 32-bit day numbers.
const char* const kDates[] = {
    "63838022400",  "63838076133.25", "63838022400.123456789", "-86400.0000001", "-0.0000001", "0", nullptr,
    "6.3838022400E10", "1E13", "9223372036854.775807", "9223372036854.775808", "-9223372036854.775808",
    "185542587187199.999999", "185542587187200", "1E20", "1234567890123456789012E-21", "0E15", "-31622400", "63842169600", "63844675200.5"};
constexpr int kDateCount = sizeof kDates / sizeof kDates[0];
int t_d = 0, t_e = 0;

int32_t XEV_CALL Answer(ExprContext*, HEXP, int32_t, void** result, const char* name) {
  const char* text = kDates[name[0] == 'd' ? t_d : t_e];
  if (text != nullptr) HostStrToNumber(static_cast<NumberValue*>(*result), text);
  return 1;
}

std::string Evaluated(bool byWalk, ExprContext* ec, HEXP exp) {
  xev::eval::Value value;
  bool ok = byWalk ? xev::eval::EvaluateNode(ec, exp, exp->root, value) : xev::eval::EvaluateFormula(ec, exp, value);
  std::string seen = ok ? "=" : "none";
  if (ok && value.kind == xev::eval::Value::kText) seen += value.text;
  for (int i = 0; ok && value.kind == xev::eval::Value::kNumber && i < XEV_NUMBER_SIZE; ++i) {
    seen += std::to_string(value.number.bytes[i]) + ".";
  }
  xev::eval::ReleaseValue(value);
  return seen;
}

ExprContext* NewContext() {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  EXPECT_EQ(FUNDefineFunctions(ec), 1);
  AddItem(ec, XEV_ITEM_DATA, "d", {XEV_TYPE_DATETIME, Bound(&Answer)});
  AddItem(ec, XEV_ITEM_DATA, "e", {XEV_TYPE_DATETIME, Bound(&Answer)});
  return ec;
}

TEST(PreparedCall, GivesTheFunctionsValues) {
  ExprContext* ec = NewContext();
  const char* formulas[] = {
      "DateToStrPicture(d, 'dddd d MMMM yy, hh:mm:ss.ffffff tt \"Q\"')", "DateToStr(d)", "DateYear(d)",
      "DateMonth(d)", "DateDay(d)", "DateHour(d)", "DateMinute(d)", "DateSecond(d)", "DateQuarter(d)",
      "WeekDay(d)", "DateMonthBegin(d)", "DateMonthEnd(d)", "d - e", "DateToStrPicture(d + 1 MONTH, 'yyyy')",
      "d + 1 MONTH", "d - 14 MONTHS", "d + 2147483647 MONTHS", "d + 1 YEAR", "d - 40 DAYS", "d + 3 HOURS"};
  int named = 0;
  for (const char* text : formulas) {
    HEXP exp = ParseOrFail(ec, text, "F" + std::to_string(++named));
    for (t_d = 0; t_d < kDateCount; ++t_d) {
      t_e = (t_d * 5 + 3) % kDateCount;
      ASSERT_EQ(Evaluated(false, ec, exp), Evaluated(true, ec, exp)) << text << " on " << (kDates[t_d] ? kDates[t_d] : "NULL");
    }
  }
  XEVDestroyEC(ec);
}

// Which calls a plan runs itself (p) and which it leaves to the function (c):
// a picture must be a plain literal (an escaped one is walked) the engine accepts.
TEST(PreparedCall, WhatStillCallsTheFunctionOrTheWalk) {
  ExprContext* ec = NewContext();
  const struct {
    const char* text;
    char step;
  } cases[] = {{"DateToStrPicture(d, 'ddd d MMM yyyy')", 'p'}, {"DateToStr(d)", 'p'}, {"DateQuarter(d)", 'p'},
               {"DateMonthEnd(d)", 'p'},   {"WeekDay(d)", 'p'},  {"DateToStrPicture(d, 'yyyy' || 'MM')", 'c'},
               {"DateToStrPicture(d, 'qq')", 'c'}, {"DateAddDay(d, 3)", 'c'}, {"NumberToStr(DateYear(d), 0)", 'c'},
               {"DateToStrPicture(d, 'it''s')", 'c'}};
  int named = 0;
  for (const auto& probe : cases) {
    HEXP exp = ParseOrFail(ec, probe.text, "P" + std::to_string(++named));
    xev::eval::plan::Plan* plan = xev::eval::plan::Prepare(ec, exp);
    ASSERT_NE(plan, nullptr);
    const xev::eval::plan::Code last = plan->steps[plan->stepCount - 1].code;
    const char step = last == xev::eval::plan::Code::kPrepared ? 'p' : 'c';
    xev::eval::plan::Release(plan);
    EXPECT_EQ(step, probe.step) << probe.text;
  }
  XEVDestroyEC(ec);
}

}  // namespace
