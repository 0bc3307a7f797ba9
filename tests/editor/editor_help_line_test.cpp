// The help line under the lists: a selected function's line of
// docs/functions.md, a selected data item's type.
#include <string>

#include "core/core.h"
#include "core/item_store.h"
#include "editor/editor_state.h"
#include "editor/function_help.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using namespace xev::editor;
using uitest::Script;
using uitest::TextOf;

namespace {

int32_t IndexOf(HWND list, const char* text) {
  return static_cast<int32_t>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text)));
}

class EditorHelpLine : public uitest::KitTest {
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
  // The help line after a click on entry text of list id.
  std::string HelpAfterPicking(int32_t id, const char* text) {
    std::string help;
    Script script;
    script.Then([&](HWND editor) {
      HWND list = GetDlgItem(editor, id);
      XEVUiClickListEntry(list, IndexOf(list, text), 1);
    }).Then([&](HWND editor) {
      help = TextOf(GetDlgItem(editor, kIdHelp));
      XEVUiClick(GetDlgItem(editor, IDCANCEL));
    });
    XEVBuildExpression(nullptr, ec_, nullptr, 0);
    return help;
  }
  ExprContext* ec_ = nullptr;
};

TEST_F(EditorHelpLine, ShowsTheFunctionsDocumentedLineAndADataItemsType) {
  EXPECT_EQ(HelpAfterPicking(kIdFunctions, "StrLeft"), "StrLeft(s, n), StrRight(s, n): the first / last n characters");
  EXPECT_EQ(HelpAfterPicking(kIdFunctions, "StrScan"),
            "StrScan(s, pattern): the character position of the first pattern in s, -1 when absent")
      << "typographic signs of the page become ASCII";
  EXPECT_EQ(HelpAfterPicking(kIdDataItems, "Price"), "Price: a data item of type Number");
}

TEST_F(EditorHelpLine, EveryBuiltInFunctionHasALineOnThePage) {
  uint32_t count = xev::core::HandleArrayCount(ec_->functionItems);
  ASSERT_GT(count, 40u);
  for (uint32_t i = 0; i < count; ++i) {
    const ExpItem* function = xev::core::ItemAt(ec_->functionItems, i);
    EXPECT_NE(FunctionHelp(function->name), nullptr) << function->name << " is missing from docs/functions.md";
  }
}

}  // namespace
