// Building formula text in the editor by picking items, formulas and
// functions: call templates, the placeholder the next pick replaces, the
// repeat placeholders, the edit buttons, and the subclassed controls.
#include <cstring>
#include <string>
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

intptr_t XEV_CALL PlaceholderProc(XEVHWND dialog, uint32_t message, uintptr_t, intptr_t) {
  if (message != kMsgNextPlaceholder) return 0;
  SelectNextPlaceholder(dialog);
  return 1;
}

struct FunctionSpec {
  const char* name;
  std::vector<int16_t> types;
  int16_t optionalStart = 0, optionalCount = 0;
  uint16_t flags = 0;
  int16_t count = 0;  // used when types is empty: a negative count
};

// Pair: two fixed parameters; Tally takes DISTINCT; Opt opens with "[";
// Tail repeats its last argument; Nest nests two optional ones.
const FunctionSpec kFunctions[] = {
    {"Pair", {XEV_TYPE_STRING, XEV_TYPE_NUMBER}},
    {"Tally", {XEV_TYPE_NUMBER}, 0, 0, 0x10},
    {"Opt", {XEV_TYPE_NUMBER}, 0, 1},
    {"Tail", {XEV_TYPE_NUMBER, XEV_TYPE_ANY}, 1, 0},
    {"Nest", {XEV_TYPE_STRING, XEV_TYPE_NUMBER}, 1, 2},
    {"Clock", {}, 0, 0, 0, -1},
};

class TextBuilding : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    for (const char* name : {"Price", "Quantity", "Customer"}) oom::AddDataItem(ec_, name, XEV_TYPE_NUMBER);
    for (const FunctionSpec& f : kFunctions) AddFunction(f);
    dialog_ = CreateDialogParamA(nullptr, "EXPBILD", nullptr, PlaceholderProc, 0);
    ASSERT_NE(dialog_, nullptr);
    edit_ = GetDlgItem(dialog_, kIdFormulaText);
    EditorState& editor = Editor();
    editor = EditorState{};
    editor.ec = ec_;
    editor.dialog = dialog_;
    std::strcpy(editor.placeholder, "Expression");
    std::strcpy(editor.expressionRepeat, "[,Expression...]");
    std::strcpy(editor.argumentRepeat, "[,Any...]");
    for (const char* name : {"Price", "Quantity", "Customer"}) Add(kIdDataItems, name);
    for (const FunctionSpec& f : kFunctions) Add(kIdFunctions, f.name);
    Add(kIdFormulas, "[ New Formula ]");
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    XEVDestroyEC(ec_);
    Editor() = EditorState{};
    KitTest::TearDown();
  }

  void AddFunction(const FunctionSpec& f) {
    std::vector<unsigned char> bytes(XEV_ITEM_FIXED_SIZE + sizeof(ExpParam) * (f.types.size() + 1));
    auto* item = reinterpret_cast<ExpItem*>(bytes.data());
    item->kind = XEV_ITEM_FUNCTION;
    std::strcpy(item->name, f.name);
    item->paramCount = f.types.empty() ? f.count : static_cast<int16_t>(f.types.size());
    item->subclass = f.optionalStart;
    item->subclass2 = f.optionalCount;
    item->flags = f.flags;
    for (size_t i = 0; i < f.types.size(); ++i) item->params[i] = ExpParam{0, f.types[i], 0};
    ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
  }
  void Add(int32_t list, const char* name) {
    SendDlgItemMessageA(dialog_, list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
  }
  HEXP AddFormula(const char* name, const char* text) {
    Add(kIdFormulas, name);
    return oom::ParseOrFail(ec_, text, name);
  }
  std::string Template(const char* name) {
    char buffer[200];
    EXPECT_TRUE(BuildCallTemplate(xev::core::FindItem(ec_->functionItems, name), buffer, sizeof buffer));
    return buffer;
  }
  // Picks an entry as a double click would and lets the dialog follow up.
  void Pick(int32_t listId, const char* name) {
    HWND list = GetDlgItem(dialog_, listId);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name))), 0);
    InsertListEntry(list);
    XEVUiRunPending();
  }
  void SetText(const char* text, int32_t start, int32_t end) {
    SetWindowTextA(edit_, text);
    SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(start), end);
  }
  std::string Selected() {
    auto [start, end] = SelectionOf(edit_);
    return TextOf(edit_).substr(start, end - start);
  }
  bool Enabled(int32_t id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != 0; }

  ExprContext* ec_ = nullptr;
  HWND dialog_ = nullptr;
  HWND edit_ = nullptr;
};

TEST_F(TextBuilding, CallTemplatesFollowCountOptionalStartAndDistinct) {
  EXPECT_EQ(Template("Pair"), "( String , Number )");
  EXPECT_EQ(Template("Tally"), "(DISTINCT  Number )");
  EXPECT_EQ(Template("Opt"), "([ Number ] )");
  EXPECT_EQ(Template("Tail"), "( Number , Any [,Any...] )");
  EXPECT_EQ(Template("Nest"), "( String [, Number [, Number ]])");
  EXPECT_EQ(Template("Clock"), "");
  char tight[8];
  EXPECT_FALSE(BuildCallTemplate(xev::core::FindItem(ec_->functionItems, "Pair"), tight, sizeof tight));
  EXPECT_EQ(std::string(tight), "( Strin");
}

TEST_F(TextBuilding, InsertedFunctionHasItsFirstLabelSelected) {
  const std::pair<const char*, std::pair<uint32_t, uint32_t>> cases[] = {
      {"Pair", {6, 12}}, {"Tally", {16, 22}}, {"Opt", {6, 12}}, {"Nest", {6, 12}}};
  for (const auto& [name, selection] : cases) {
    SetText("", 0, 0);
    Pick(kIdFunctions, name);
    EXPECT_EQ(SelectionOf(edit_), selection) << name;
    EXPECT_EQ(SendMessageA(edit_, EM_GETMODIFY, 0, 0), 1);
    EXPECT_EQ(GetFocus(), edit_);
  }
  SetText("1 + ", 4, 4);
  Pick(kIdFunctions, "Clock");
  EXPECT_EQ(TextOf(edit_), "1 + Clock");
  EXPECT_EQ(SelectionOf(edit_), std::pair(9u, 9u));
}

TEST_F(TextBuilding, EachPickReplacesALabelAndSelectsTheNext) {
  Pick(kIdFunctions, "Pair");
  EXPECT_EQ(Selected(), "String");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(TextOf(edit_), "Pair( Customer , Number )");
  EXPECT_EQ(SelectionOf(edit_), std::pair(17u, 23u));
  InsertText(edit_, "7", 1);
  XEVUiRunPending();
  EXPECT_EQ(TextOf(edit_), "Pair( Customer , 7 )");
  EXPECT_EQ(SelectionOf(edit_), std::pair(18u, 18u)) << "nothing left to fill";
  EXPECT_FALSE(Enabled(kIdCopy));
}

TEST_F(TextBuilding, ArgumentRepeatTakesACommaAndTheValue) {
  Pick(kIdFunctions, "Tail");
  Pick(kIdDataItems, "Price");
  EXPECT_EQ(Selected(), "Any");
  Pick(kIdDataItems, "Quantity");
  EXPECT_EQ(Selected(), "[,Any...]");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(TextOf(edit_), "Tail( Price , Quantity ,Customer )");
  EXPECT_EQ(SelectionOf(edit_), std::pair(32u, 32u));
}

TEST_F(TextBuilding, SetModeKeepsTheRepeatPlaceholderAtTheEnd) {
  Editor().mode = kModeSet;
  FillModeTemplate(dialog_);
  EXPECT_EQ(TextOf(edit_), "Expression, Expression [,Expression...]");
  EXPECT_EQ(SelectionOf(edit_), std::pair(0u, 10u));
  Pick(kIdDataItems, "Price");
  Pick(kIdDataItems, "Quantity");
  EXPECT_EQ(Selected(), "[,Expression...]");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(TextOf(edit_), "Price, Quantity ,Customer [,Expression...]");
  EXPECT_EQ(Selected(), "[,Expression...]");
  // Outside Set mode the same selection is ordinary text.
  Editor().mode = kModeFormula;
  InsertText(edit_, "1", 1);
  EXPECT_EQ(TextOf(edit_), "Price, Quantity ,Customer 1");
}

TEST_F(TextBuilding, ModeTemplatesAndThePlaceholderLabel) {
  Editor().mode = kModeRange;
  FillModeTemplate(dialog_);
  EXPECT_EQ(TextOf(edit_), "Expression AND Expression");
  EXPECT_EQ(Selected(), "Expression");
  Pick(kIdDataItems, "Price");
  EXPECT_EQ(SelectionOf(edit_), std::pair(10u, 20u));
  // In Formula mode the label is a name like any other and nothing is filled.
  Editor().mode = kModeFormula;
  SetText("Expression", 0, 0);
  FillModeTemplate(dialog_);
  SelectNextPlaceholder(dialog_);
  EXPECT_EQ(TextOf(edit_), "Expression");
  EXPECT_EQ(SelectionOf(edit_), std::pair(0u, 0u));
  // A label inside a string literal is no placeholder.
  SetText("\"Number\" || Any", 0, 0);
  SelectNextPlaceholder(dialog_);
  EXPECT_EQ(SelectionOf(edit_), std::pair(12u, 15u));
}

TEST_F(TextBuilding, OnlyASelectionShorterThanFortyBytesIsCompared) {
  for (size_t length : {39u, 40u}) {
    std::string repeat(length, 'r');
    std::strcpy(Editor().argumentRepeat, repeat.c_str());
    SetText(repeat.c_str(), 0, static_cast<int32_t>(length));
    InsertText(edit_, "Price", 5);
    EXPECT_EQ(TextOf(edit_), length < 40 ? ",Price" : "Price") << length;
  }
}

TEST_F(TextBuilding, NamedFormulasAreCalledButNotItselfOrRangesAndSets) {
  HEXP margin = AddFormula("Margin", "Price - 1");
  AddFormula("Span", "1 AND 5");
  AddFormula("Group", "1, 2");
  Pick(kIdFormulas, "Margin");
  EXPECT_EQ(TextOf(edit_), "Margin()");
  SetText("", 0, 0);
  Editor().current = margin;
  for (const char* name : {"Margin", "Span", "Group", "[ New Formula ]"}) Pick(kIdFormulas, name);
  SendDlgItemMessageA(dialog_, kIdDataItems, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  InsertListEntry(GetDlgItem(dialog_, kIdDataItems));
  EXPECT_EQ(TextOf(edit_), "");
}

TEST_F(TextBuilding, WrapAndButtonTexts) {
  SetText("Price + 1", 0, 5);
  WrapSelection(edit_);
  EXPECT_EQ(TextOf(edit_), "(Price) + 1");
  EXPECT_EQ(SelectionOf(edit_), std::pair(11u, 11u));
  EXPECT_EQ(SendMessageA(edit_, EM_GETMODIFY, 0, 0), 1);
  EXPECT_FALSE(Enabled(kIdParens));
  EXPECT_STREQ(ButtonInsertion(ec_, kIdConcat), " || ");
  EXPECT_STREQ(ButtonInsertion(ec_, kIdDivide), " / ");
  EXPECT_STREQ(ButtonInsertion(ec_, kIdDigit0 + 7), "7");
  EXPECT_STREQ(ButtonInsertion(ec_, kIdPoint), ".");
  EXPECT_EQ(ButtonInsertion(ec_, kIdClear), nullptr);
  ec_->pipeAllowed = 0;
  EXPECT_STREQ(ButtonInsertion(ec_, kIdConcat), " % ");
}

TEST_F(TextBuilding, EditButtonsFollowSelectionAndClipboard) {
  const int32_t selectionButtons[] = {kIdCopy, kIdCut, kIdClear, kIdParens};
  SetText("Price", 0, 3);
  XEVUiSetClipboardText("x");
  UpdateEditButtons(dialog_);
  for (int32_t id : selectionButtons) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(kIdPaste));
  XEVUiSetClipboardText(nullptr);
  SendMessageA(edit_, EM_SETSEL, 2, 2);
  UpdateEditButtons(dialog_);
  for (int32_t id : selectionButtons) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_FALSE(Enabled(kIdPaste));
}

TEST_F(TextBuilding, SubclassedControls) {
  HWND status = GetDlgItem(dialog_, kIdStatus);
  HWND name = GetDlgItem(dialog_, kIdName);
  HWND items = GetDlgItem(dialog_, kIdDataItems);
  HWND formulas = GetDlgItem(dialog_, kIdFormulas);
  Editor().editProc = reinterpret_cast<WNDPROC>(SetWindowLongA(edit_, GWL_WNDPROC, reinterpret_cast<intptr_t>(EditSubProc)));
  Editor().statusProc = reinterpret_cast<WNDPROC>(SetWindowLongA(status, GWL_WNDPROC, reinterpret_cast<intptr_t>(StatusSubProc)));
  Editor().listProc = reinterpret_cast<WNDPROC>(SetWindowLongA(items, GWL_WNDPROC, reinterpret_cast<intptr_t>(LBVarsSubProc)));
  SetWindowLongA(formulas, GWL_WNDPROC, reinterpret_cast<intptr_t>(LBFormsSubProc));

  SetFocus(name);
  SetFocus(status);
  EXPECT_EQ(GetFocus(), name) << "the focus goes back where it came from";
  SetFocus(nullptr);
  SetFocus(status);
  EXPECT_EQ(GetFocus(), edit_);
  EXPECT_EQ(SendMessageA(status, WM_SETCURSOR, 0, 0), 0);

  SetText("Price", 0, 0);
  SendMessageA(edit_, EM_SETSEL, 0, 5);
  SendMessageA(edit_, WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(Enabled(kIdCut));

  SetText("", 0, 0);
  SendMessageA(items, LB_SETCURSEL, 0, 0);
  SendMessageA(items, WM_CHAR, ' ', 0);
  EXPECT_EQ(TextOf(edit_), "Price");

  AddFormula("Margin", "Price - 1");
  RECT entry{};
  SendMessageA(formulas, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&entry));
  SendMessageA(formulas, WM_RBUTTONDBLCLK, 0, MAKELPARAM(entry.left + 2, entry.top + 2));
  EXPECT_EQ(SendMessageA(formulas, LB_GETCURSEL, 0, 0), 1);
  SendMessageA(formulas, WM_CHAR, ' ', 0);
  EXPECT_EQ(TextOf(edit_), "PriceMargin()");
  XEVUiRunPending();
}

// A pick that cannot get its memory leaves the text as it was.
TEST_F(TextBuilding, FailedAllocationsLeaveTheTextAlone) {
  HWND functions = GetDlgItem(dialog_, kIdFunctions);
  SendMessageA(functions, LB_SETCURSEL, SendMessageA(functions, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("Tail")), 0);
  struct Operation {
    const char* name;
    std::function<void()> run;
    bool posts;  // asks for the placeholder scan through the kit's queue
  };
  const Operation operations[] = {
      {"insert text", [&] { InsertText(edit_, "Quantity", 8); }, true},
      {"insert function", [&] { InsertListEntry(functions); }, true},
      {"wrap", [&] { WrapSelection(edit_); }, false},
  };
  constexpr const char* kBefore = "Pair( Price [,Any...] )";
  // The kit's message queue, once grown, is not the pick's to account for.
  // Neither is the edit's block for a text it did not hold before.
  PostMessageA(dialog_, kMsgNextPlaceholder, 0, 0);
  SetText(kBefore, 0, 0);
  XEVUiRunPending();
  for (const auto& [name, operation, posts] : operations) {
    std::string after;
    int64_t failing = 0, points = 0;
    oom::Sweep(name, [&](oom::Trial& trial) {
      SetText(kBefore, 12, 21);
      XEVUiRunPending();
      trial.Arm();
      operation();
      trial.Disarm();
      XEVUiRunPending();
      if (!trial.failing()) {
        after = TextOf(edit_);
        points = trial.made();
        return;
      }
      // Only the kit's queue for the placeholder scan, the last allocation,
      // comes after the new text is in place.
      EXPECT_EQ(TextOf(edit_), posts && ++failing == points ? after : kBefore);
    });
    EXPECT_NE(after, kBefore) << name;
  }
}

}  // namespace
