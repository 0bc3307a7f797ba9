// The editor's two companions as the editor drives them: the value list that
// the host fills and whose double click writes a literal into the formula,
// and the read-only text view with its captions by kind and mode.
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "core/core.h"
#include "editor/editor_state.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using namespace xev::editor;
using uitest::SelectionOf;
using uitest::TextOf;

namespace {

std::vector<std::string> g_values;
void XEV_CALL AddValues(ExprContext*, const char*, XEVHWND list, int32_t, int32_t*) {
  for (const std::string& v : g_values) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(v.c_str()));
}

intptr_t XEV_CALL StandInEditor(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG ? 1 : 0; }

RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

class Companions : public uitest::KitTest {
 protected:
  void SetUp() override {
    XEVDestroyEC(XEVCreateEC(0, nullptr, nullptr, 0));  // the library's start-up is no leak
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    for (auto [name, type] :
         {std::pair{"Name", XEV_TYPE_STRING}, {"Born", XEV_TYPE_DATETIME}, {"Price", XEV_TYPE_NUMBER}})
      oom::AddDataItem(ec_, name, static_cast<int16_t>(type));
    XEVSetListValuesCallback(ec_, AddValues);
    owner_ = CreateDialogParamA(nullptr, "EXPBILD", nullptr, StandInEditor, 0);
    Editor().ec = ec_;
    Editor().dialog = owner_;
  }
  void TearDown() override {
    DestroyWindow(owner_);  // and the companions it owns
    EXPECT_EQ(Editor().textView, nullptr);
    EXPECT_EQ(Editor().valueList, nullptr);
    Editor().ec = nullptr;
    Editor().dialog = nullptr;
    Editor().mode = kModeFormula;
    XEVDestroyEC(ec_);
    HostSetCodePage(XEV_CP_WESTERN);
    g_values.clear();
    KitTest::TearDown();
  }
  HWND OpenValues(const char* item) {
    HWND list = Editor().valueList = CreateDialogParamA(nullptr, "LISTVALUES", owner_, XevListValuesDlgProc, 0);
    SendMessageA(list, kMsgShowValuesOf, 0, reinterpret_cast<LPARAM>(item));
    AddValues(ec_, item, GetDlgItem(list, kIdCompanionControl), 1, &Editor().keepValuesEnabled);
    return list;
  }
  // The formula text after a double click on the only value of item.
  std::string Inserted(const char* item, const std::string& value) {
    g_values = {value};
    HWND list = OpenValues(item);
    SetDlgItemTextA(owner_, kIdFormulaText, "");
    XEVUiClickListEntry(GetDlgItem(list, kIdCompanionControl), 0, 2);
    XEVUiRunPending();
    SendMessageA(list, WM_CLOSE, 0, 0);
    return TextOf(GetDlgItem(owner_, kIdFormulaText));
  }
  HWND OpenView() {
    return Editor().textView = CreateDialogParamA(nullptr, "EXPTEXTVIEW", owner_, XevViewTextDlgProc, 0);
  }
  HEXP Parse(const char* text, const char* name) {
    uint16_t type = 0;
    return XEVParseFormula(ec_, nullptr, text, name, nullptr, &type);
  }
  ExprContext* ec_ = nullptr;
  HWND owner_ = nullptr;
};

// Strings go in quoted with inner quotes doubled, even when there are more
// than the usual hundred spare bytes hold; a double-byte trail byte that
// looks like a quote stays single. The caret ends after the literal.
TEST_F(Companions, ValuesGoInAsLiteralsOfTheirItemsType) {
  const std::string quotes(150, '\'');
  const std::tuple<int32_t, const char*, std::string, std::string> cases[] = {
      {XEV_CP_WESTERN, "Name", "a'b", "'a''b'"}, {XEV_CP_WESTERN, "Name", "", "''"},
      {XEV_CP_WESTERN, "Name", quotes, "'" + quotes + quotes + "'"}, {XEV_CP_WESTERN, "Price", "1,234.50", "1,234.50"},
      {XEV_CP_WESTERN, "Nobody", "x'y", "x'y"},  // no data item, no type
      {XEV_CP_SHIFTJIS, "Name", "a\x83\x27'", "'a\x83\x27'''"}, {XEV_CP_WESTERN, "Name", "a\x83\x27'", "'a\x83'''''"}};
  for (const auto& [codePage, item, value, literal] : cases) {
    SCOPED_TRACE(testing::PrintToString(value) + " in code page " + std::to_string(codePage));
    HostSetCodePage(codePage);
    EXPECT_EQ(Inserted(item, value), literal);
    const auto end = static_cast<uint32_t>(literal.size());
    EXPECT_EQ(SelectionOf(GetDlgItem(owner_, kIdFormulaText)), std::make_pair(end, end));
  }
}

TEST_F(Companions, DatesFollowTheConversionStringsAndOptions) {
  XEVSetDatePicture(ec_, "yyyy-MM-dd", "yyyy-MM-dd HH:mm", "HH.mm");
  EXPECT_EQ(Inserted("Born", "12/25/2001"), "12/25/2001") << "no conversion string at all";
  XEVSetDateConvert(ec_, "Date(%s)", nullptr, "Time(%s)", 0);
  EXPECT_EQ(Inserted("Born", "12/25/2001"), "Date(2001-12-25)");
  EXPECT_EQ(Inserted("Born", "10:30 PM"), "Time(22.30)");
  EXPECT_EQ(Inserted("Born", "12/25/2001 10:30"), "12/25/2001 10:30") << "its form has no string";
  EXPECT_EQ(Inserted("Born", "12/40/2001"), "12/40/2001");
  XEVSetDateConvert(ec_, nullptr, nullptr, nullptr, 0x01);
  EXPECT_EQ(Inserted("Born", "12/25/2001"), "Date(2001-12-25)") << "quotes only in Set mode";
  Editor().mode = kModeSet;
  EXPECT_EQ(Inserted("Born", "12/25/2001"), "'2001-12-25'");
  XEVSetDateConvert(ec_, nullptr, nullptr, nullptr, 0x03);
  EXPECT_EQ(Inserted("Born", "12/25/2001"), "12/25/2001");
}

TEST_F(Companions, ValueListTitleAndPlaceBesideTheFunctionsListWithinTheScreen) {
  HWND list = OpenValues("Name");
  EXPECT_EQ(TextOf(list), "Name - Values");
  RECT functions = RectOf(GetDlgItem(owner_, kIdFunctions)), placed = RectOf(list);
  EXPECT_EQ(placed.left, functions.right);
  EXPECT_EQ(placed.top, functions.top + (functions.bottom - functions.top) / 4);
  SendMessageA(list, kMsgShowValuesOf, 0, 0);
  EXPECT_EQ(TextOf(list), "Values");
  SendMessageA(list, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(list));
  EXPECT_EQ(Editor().valueList, nullptr);
  // Near the screen's corner the list is moved to end exactly at both edges.
  RECT editor = RectOf(owner_);
  MoveWindow(owner_, 700, 420, editor.right - editor.left, editor.bottom - editor.top, 0);
  placed = RectOf(OpenValues("Name"));
  EXPECT_EQ(placed.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(placed.bottom, GetSystemMetrics(SM_CYSCREEN));
}  // the list still open goes with its editor

TEST_F(Companions, ThousandsOfValuesOrNone) {
  for (int i = 0; i < 3000; ++i) g_values.push_back(std::to_string(100000 + i));
  HWND list = GetDlgItem(OpenValues("Price"), kIdCompanionControl);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3000);
  XEVUiClickListEntry(list, 2999, 2);
  XEVUiRunPending();
  EXPECT_EQ(TextOf(GetDlgItem(owner_, kIdFormulaText)), "102999");
  SendMessageA(Editor().valueList, WM_CLOSE, 0, 0);
  g_values.clear();
  SendMessageA(OpenValues("Name"), WM_COMMAND, MAKEWPARAM(kIdCompanionControl, LBN_DBLCLK), 0);
  EXPECT_EQ(TextOf(GetDlgItem(owner_, kIdFormulaText)), "102999");
}

TEST_F(Companions, TextViewCaptionsByKindAndByMode) {
  HWND view = OpenView(), edit = GetDlgItem(view, kIdCompanionControl);
  for (auto [text, name, caption] : {std::tuple{"Price * 2", "Total", "Formula Text - Total"},
                                     {"1 AND 2.5", "Band", "Range Text - Band"}, {"1, 2", "Pair", "Set Text - Pair"}}) {
    SendMessageA(view, kMsgShowExpression, kModeFormula, reinterpret_cast<LPARAM>(Parse(text, name)));
    EXPECT_EQ(TextOf(view), caption);
    EXPECT_EQ(TextOf(edit), text);
  }
  SendMessageA(view, kMsgShowExpression, kModeRange, 0);
  EXPECT_EQ(TextOf(view), "Range Text");
  EXPECT_EQ(TextOf(edit), "");
  SendMessageA(view, kMsgShowExpression, 7, 0);
  EXPECT_EQ(TextOf(view), "");
  SendMessageA(view, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(Editor().textView, nullptr);
}

TEST_F(Companions, TextViewScrollsButTakesNoTypingKeysOrMouseSelection) {
  HWND view = OpenView(), edit = GetDlgItem(view, kIdCompanionControl);
  SendMessageA(view, kMsgShowExpression, 0, reinterpret_cast<LPARAM>(Parse("Price * 2 + Price / 4", "Mix")));
  SendMessageA(edit, EM_SETSEL, 3, 3);
  SetFocus(edit);
  XEVUiType("xyz");
  for (int32_t key : {VK_BACK, VK_DELETE, VK_END, VK_LEFT, VK_DOWN}) XEVUiKey(key, 1, 0);
  XEVUiKey('X', 0, 1);
  XEVUiDrag(edit, 2, 2, 90, 2);
  XEVUiClickAt(edit, 30, 4, 2);
  XEVUiRunPending();
  EXPECT_EQ(TextOf(edit), "Price * 2 + Price / 4");
  EXPECT_EQ(SelectionOf(edit), std::make_pair(3u, 3u));
  EXPECT_EQ(XEVUiGetClipboardText(), nullptr) << "nothing was selected to cut";
}  // the view still open goes with its editor

TEST_F(Companions, TheEditorOpensTheValueListWhoseDoubleClickWritesIntoItsFormula) {
  g_values = {"a'b"};
  std::string title, formula, button;
  uitest::Script script;
  script.Then([](HWND) { XEVUiClickListEntry(GetDlgItem(Editor().valueList, kIdCompanionControl), 0, 2); })
      .Then([&](HWND editor) {
        title = TextOf(Editor().valueList);
        formula = TextOf(GetDlgItem(editor, kIdFormulaText));
        SendMessageA(Editor().valueList, WM_CLOSE, 0, 0);
        button = TextOf(GetDlgItem(editor, kIdValues));
        XEVUiClick(GetDlgItem(editor, IDOK));
      });
  HEXP saved = XEVBuildExpressionOfType(nullptr, ec_, nullptr, 0, 0, "Name");  // preselected: its values open
  EXPECT_EQ(title, "Name - Values");
  EXPECT_EQ(formula, "'a''b'");
  EXPECT_EQ(button, "Data Item &Values Dialog...");
  ASSERT_NE(saved, nullptr);
  EXPECT_STREQ(saved->text, "'a''b'");
}

TEST_F(Companions, FailedAllocationsDegradeAndLeakNothing) {
  HEXP total = Parse("Price * 2", "Total");
  XEVSetDatePicture(ec_, "yyyy-MM-dd", nullptr, nullptr);
  XEVSetDateConvert(ec_, "Date(%s)", nullptr, nullptr, 0);
  oom::Sweep("text view", [&](oom::Trial& trial) {
    trial.Arm();
    HWND view = OpenView();
    SendMessageA(view, kMsgShowExpression, 0, reinterpret_cast<LPARAM>(total));
    trial.Disarm();
    if (view == nullptr) return;
    std::string caption = TextOf(view), text = TextOf(GetDlgItem(view, kIdCompanionControl));
    bool whole = caption == "Formula Text - Total" && text == "Price * 2";
    EXPECT_TRUE(whole || (trial.failing() && (caption == "Formula Text" || text.empty()))) << caption << " / " << text;
    SendMessageA(view, WM_CLOSE, 0, 0);
  });
  for (auto [name, listed, converted] :
       {std::tuple{"Name", "a'b", "'a''b'"}, {"Born", "12/25/2001", "Date(2001-12-25)"}}) {
    const char *item = name, *value = listed, *literal = converted;  // lambdas take no bindings
    g_values = {value};
    SetDlgItemTextA(owner_, kIdFormulaText, "");
    oom::Sweep(item, [&](oom::Trial& trial) {
      trial.Arm();
      HWND list = OpenValues(item);
      XEVUiClickListEntry(GetDlgItem(list, kIdCompanionControl), 0, 2);
      XEVUiRunPending();
      trial.Disarm();
      if (list == nullptr) return;
      std::string text = TextOf(GetDlgItem(owner_, kIdFormulaText));
      EXPECT_TRUE(text == literal || (trial.failing() && (text == value || text.empty()))) << text;
      SendMessageA(list, WM_CLOSE, 0, 0);
      SetDlgItemTextA(owner_, kIdFormulaText, "");  // the editor's text is no block of the attempt's
    });
  }
}

}  // namespace
