// The editor by keyboard alone: Tab visits only the controls a keyboard needs,
// in reading order, and typing in a list picks its entry.
#include <string>
#include <vector>

#include "core/core.h"
#include "editor/editor_state.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using namespace xev::editor;
using uitest::Script;

namespace {

void Cancel(HWND editor) { XEVUiClick(GetDlgItem(editor, IDCANCEL)); }

void XEV_CALL NoValues(ExprContext*, const char*, XEVHWND, int32_t, int32_t*) {}

class EditorKeyboard : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    FUNDefineFunctions(ec_);
    oom::AddDataItem(ec_, "Price", XEV_TYPE_NUMBER);
    oom::AddDataItem(ec_, "Quantity", XEV_TYPE_NUMBER);
    XEVSetListValuesCallback(ec_, NoValues);
  }
  void TearDown() override {
    XEVDestroyEC(ec_);
    KitTest::TearDown();
  }
  ExprContext* ec_ = nullptr;
};

TEST_F(EditorKeyboard, TabFollowsTheReadingOrderThroughTheControlsAKeyboardNeeds) {
  std::vector<int32_t> visited;
  Script script;
  script.Then([&](HWND editor) {
    for (int i = 0; i < 9; ++i) {
      XEVUiKey(VK_TAB, 0, 0);
      XEVUiRunPending();
      visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    Cancel(editor);
  });
  XEVBuildExpression(nullptr, ec_, nullptr, 0);
  // OK waits for a text, Delete, Show Text and Values for a selection.
  EXPECT_EQ(visited, (std::vector<int32_t>{kIdName, IDCANCEL, kIdDataItems, kIdModeFormula, kIdFormulas, kIdFunctions,
                                           kIdSelect, kIdFormulaText, kIdName}));
}

TEST_F(EditorKeyboard, TypingInAListSelectsAndSpaceInsertsWhatWasFound) {
  std::string text;
  Script script;
  script.Then([&](HWND editor) {
    SetFocus(GetDlgItem(editor, kIdDataItems));
    XEVUiType("q ");
  }).Then([&](HWND editor) {
    text = uitest::TextOf(GetDlgItem(editor, kIdFormulaText));
    Cancel(editor);
  });
  XEVBuildExpression(nullptr, ec_, nullptr, 0);
  EXPECT_EQ(text, "Quantity");
}

}  // namespace
