// What helps a person in the editor: Tab through the controls a keyboard
// needs in reading order, typing in a list, the help line for the selected
// function or data item, and the check after a pause in typing.
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/item_store.h"
#include "editor/editor_state.h"
#include "editor/function_help.h"
#include "language/language.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using namespace xev::editor;
using uitest::TextOf;
using Span = std::pair<int32_t, int32_t>;

namespace {

void XEV_CALL NoValues(ExprContext*, const char*, XEVHWND, int32_t, int32_t*) {}
HWND Item(HWND editor, int32_t id) { return GetDlgItem(editor, id); }
Span MarkOf(HWND edit) {
  int32_t start = 0, end = 0;
  if (!SendMessageA(edit, XEV_EM_GETMARK, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end))) return {};
  return {start, end};
}
// Types, lets the kit handle it, then lets the check's pause pass.
void TypeAndPause(const char* text) {
  XEVUiType(text);
  XEVUiRunPending();
  XEVUiAdvanceClock(1000);
}

class EditorAids : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    FUNDefineFunctions(ec_);
    for (const char* name : {"Price", "Quantity"}) oom::AddDataItem(ec_, name, XEV_TYPE_NUMBER);
    XEVSetListValuesCallback(ec_, NoValues);
  }
  void TearDown() override {
    XEVDestroyEC(ec_);
    KitTest::TearDown();
  }
  // Runs the editor with steps; Cancel ends it after the last.
  void Run(std::vector<uitest::Script::Step> steps) {
    uitest::Script script;
    for (auto& step : steps) script.Then(step);
    script.Then([](HWND editor) { XEVUiClick(Item(editor, IDCANCEL)); });
    XEVBuildExpression(nullptr, ec_, nullptr, 0);
  }
  ExprContext* ec_ = nullptr;
};

TEST_F(EditorAids, TabFollowsTheReadingOrderAndTypingInAListPicks) {
  std::vector<int32_t> visited;
  std::vector<std::string> picked;
  const auto typeIn = [&](HWND editor, int32_t id, const char* typed) {
    SetFocus(Item(editor, id));
    TypeAndPause(typed);  // the pause also starts the next search afresh
    picked.push_back(TextOf(Item(editor, kIdFormulaText)) + "|" + TextOf(Item(editor, kIdHelp)).substr(0, 14));
  };
  Run({[&](HWND editor) {
         for (int i = 0; i < 9; ++i) {
           XEVUiKey(VK_TAB, 0, 0);
           XEVUiRunPending();
           visited.push_back(GetDlgCtrlID(GetFocus()));
         }
         typeIn(editor, kIdDataItems, "q ");  // Quantity, then Space inserts it
         typeIn(editor, kIdFunctions, "datemo");
         typeIn(editor, kIdFunctions, "dd");  // the same letter walks on
       }});
  // OK waits for a text; Delete, Show Text and Values for a selection.
  EXPECT_EQ(visited, (std::vector<int32_t>{kIdName, IDCANCEL, kIdDataItems, kIdModeFormula, kIdFormulas, kIdFunctions,
                                           kIdSelect, kIdFormulaText, kIdName}));
  EXPECT_EQ(picked, (std::vector<std::string>{"Quantity|Quantity: a da", "Quantity|DateYear(d), D",
                                              "Quantity|DateMonthEnd(d"}));
}

TEST_F(EditorAids, TheHelpLineShowsTheDocumentedFunctionAndTheDataItemsType) {
  std::vector<std::string> help;
  const auto pick = [&](int32_t id, const char* entry) {
    return [&help, id, entry](HWND editor) {
      HWND list = Item(editor, id);
      XEVUiClickListEntry(list, static_cast<int32_t>(SendMessageA(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(entry))), 1);
      XEVUiRunPending();
      help.push_back(TextOf(Item(editor, kIdHelp)));
    };
  };
  Run({pick(kIdFunctions, "StrLeft"), pick(kIdFunctions, "StrScan"), pick(kIdDataItems, "Price")});
  EXPECT_EQ(help, (std::vector<std::string>{
                      "StrLeft(s, n), StrRight(s, n): the first / last n characters",
                      "StrScan(s, pattern): the character position of the first pattern in s, -1 when absent",
                      "Price: a data item of type Number"}));
  for (uint32_t i = 0; i < xev::core::HandleArrayCount(ec_->functionItems); ++i) {
    const char* name = xev::core::ItemAt(ec_->functionItems, i)->name;
    EXPECT_NE(FunctionHelp(name), nullptr) << name << " has no row in docs/functions.md";
  }
}

TEST_F(EditorAids, APauseMarksTheFirstErrorWithItsHintAndAChangeTakesTheMarkAway) {
  Span typo, unfinished, fixed, building;
  std::string message;
  xev::language::ParseError() = ExprError{107, 3, 4};  // what an error dialog would show
  Run({[&](HWND) { TypeAndPause("Prise * 2"); },
       [&](HWND editor) {
         typo = MarkOf(Item(editor, kIdFormulaText));
         message = TextOf(Item(editor, kIdHelp));
         XEVUiKey('A', 0, 1);
         TypeAndPause("Price * (2 + 1");
       },
       [&](HWND editor) {
         unfinished = MarkOf(Item(editor, kIdFormulaText));
         TypeAndPause(")");
       },
       [&](HWND editor) {
         fixed = MarkOf(Item(editor, kIdFormulaText));
         SetWindowTextA(Item(editor, kIdFormulaText), "StrLeft( String , Number )");
         XEVUiAdvanceClock(1000);
       },
       [&](HWND editor) { building = MarkOf(Item(editor, kIdFormulaText)); }});
  EXPECT_EQ(typo, (Span{0, 5}));
  EXPECT_EQ(message, "ERR_VAR: Unknown input item.; did you mean Price?");
  EXPECT_EQ(unfinished, (Span{13, 14})) << "the end of an unfinished formula";
  EXPECT_EQ(fixed, Span{});
  EXPECT_EQ(building, Span{}) << "placeholders are no errors yet";
  const ExprError& kept = xev::language::ParseError();
  EXPECT_EQ(kept.code * 100 + kept.pos * 10 + kept.len, 107u * 100 + 3 * 10 + 4) << "the dialogs' record is kept";
  EXPECT_EQ(XEVGetExpressionCount(ec_), 0) << "checking saves nothing";
}

TEST_F(EditorAids, APauseOnAnImpossibleDateSaysSo) {
  std::string message;
  Run({[&](HWND) { TypeAndPause("DateYear(12/40/2001)"); },
       [&](HWND editor) { message = TextOf(Item(editor, kIdHelp)); }});
  EXPECT_EQ(message.rfind("ERR_INVALIDDATE", 0), 0u) << message;
}

}  // namespace
