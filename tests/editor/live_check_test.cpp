// Checking as the person types: a pause after a change marks the first
// error's span and shows its message on the help line; a change takes the
// mark away; a template still being filled in is left alone; OK and the
// error record the error dialogs show are untouched.
#include <string>
#include <utility>

#include "core/core.h"
#include "editor/editor_state.h"
#include "language/language.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using namespace xev::editor;
using uitest::Script;
using uitest::TextOf;

namespace {

std::pair<int32_t, int32_t> MarkOf(HWND edit) {
  int32_t start = 0, end = 0;
  if (!SendMessageA(edit, XEV_EM_GETMARK, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end))) return {};
  return {start, end};
}

class LiveCheck : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, 0);
    FUNDefineFunctions(ec_);
    oom::AddDataItem(ec_, "Price", XEV_TYPE_NUMBER);
  }
  void TearDown() override {
    XEVDestroyEC(ec_);
    KitTest::TearDown();
  }
  ExprContext* ec_ = nullptr;
};

TEST_F(LiveCheck, APauseMarksTheFirstErrorAndAChangeTakesTheMarkAway) {
  using Span = std::pair<int32_t, int32_t>;
  Span beforePause, typo, unfinished, fixed, building;
  std::string message;
  xev::language::ParseError() = ExprError{107, 3, 4};
  const auto markAfterPause = [](HWND editor, Span& mark, const char* typed) {
    mark = MarkOf(GetDlgItem(editor, kIdFormulaText));
    XEVUiType(typed);
    XEVUiRunPending();
    XEVUiAdvanceClock(1000);
  };
  Script script;
  script.Then([&](HWND editor) {
    XEVUiType("Prise * 2");
    XEVUiRunPending();
    beforePause = MarkOf(GetDlgItem(editor, kIdFormulaText));
    XEVUiAdvanceClock(1000);
  }).Then([&](HWND editor) {
    message = TextOf(GetDlgItem(editor, kIdHelp));
    XEVUiKey('A', 0, 1);
    markAfterPause(editor, typo, "Price * (2 + 1");
  }).Then([&](HWND editor) { markAfterPause(editor, unfinished, ")"); })
    .Then([&](HWND editor) {
    fixed = MarkOf(GetDlgItem(editor, kIdFormulaText));
    SetWindowTextA(GetDlgItem(editor, kIdFormulaText), "StrLeft( String , Number )");
    XEVUiAdvanceClock(1000);
  }).Then([&](HWND editor) {
    building = MarkOf(GetDlgItem(editor, kIdFormulaText));
    XEVUiClick(GetDlgItem(editor, IDCANCEL));
  });
  XEVBuildExpression(nullptr, ec_, nullptr, 0);
  EXPECT_EQ(beforePause, Span{});
  EXPECT_EQ(typo, (Span{0, 5}));
  EXPECT_NE(message.find("; did you mean Price?"), std::string::npos) << message;
  EXPECT_EQ(unfinished, (Span{13, 14})) << "the end of an unfinished formula";
  EXPECT_EQ(fixed, Span{});
  EXPECT_EQ(building, Span{}) << "placeholders are no errors yet";
  const ExprError& kept = xev::language::ParseError();
  EXPECT_EQ(kept.code * 100 + kept.pos * 10 + kept.len, 107u * 100 + 3 * 10 + 4) << "the dialogs' record is kept";
  EXPECT_EQ(XEVGetExpressionCount(ec_), 0) << "nothing is saved by checking";
}

}  // namespace
