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
using Span = std::pair<uint32_t, uint32_t>;

namespace {

intptr_t XEV_CALL PlaceholderProc(XEVHWND dialog, uint32_t message, uintptr_t, intptr_t) {
  if (message == kMsgNextPlaceholder) SelectNextPlaceholder(dialog);
  return 0;
}

struct FunctionSpec {
  const char* name;
  std::vector<int16_t> types;
  int16_t optionalStart = 0, optionalCount = 0;
  uint16_t flags = 0;
};
constexpr int16_t N = XEV_TYPE_NUMBER, S = XEV_TYPE_STRING, A = XEV_TYPE_ANY;
// Pair: two fixed parameters; Tally takes DISTINCT; Opt opens with "[";
// Tail repeats its last argument; Nest nests two optional ones; Clock has
// no parentheses (its count is made negative).
const FunctionSpec kFunctions[] = {{"Pair", {S, N}},        {"Tally", {N}, 0, 0, 0x10}, {"Opt", {N}, 0, 1},
                                   {"Tail", {N, A}, 1, 0},  {"Nest", {S, N}, 1, 2},     {"Clock", {}}};

class TextBuilding : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    ASSERT_EQ(FUNDefineFunctions(ec_), 1);
    dialog_ = CreateDialogParamA(nullptr, "EXPBILD", nullptr, PlaceholderProc, 0);
    ASSERT_NE(dialog_, nullptr);
    edit_ = GetDlgItem(dialog_, kIdFormulaText);
    for (const char* name : {"Price", "Quantity", "Customer"}) {
      oom::AddDataItem(ec_, name, XEV_TYPE_NUMBER);
      Add(kIdDataItems, name);
    }
    for (const FunctionSpec& f : kFunctions) AddFunction(f);
    Add(kIdFormulas, "[ New Formula ]");
    EditorState& editor = Editor();
    editor = EditorState{};
    editor.ec = ec_;
    editor.dialog = dialog_;
    std::strcpy(editor.placeholder, "Expression");
    std::strcpy(editor.expressionRepeat, "[,Expression...]");
    std::strcpy(editor.argumentRepeat, "[,Any...]");
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
    std::strcpy(item->name, f.name);
    item->paramCount = f.types.empty() ? -1 : static_cast<int16_t>(f.types.size());
    item->subclass = f.optionalStart;
    item->subclass2 = f.optionalCount;
    item->flags = f.flags;
    for (size_t i = 0; i < f.types.size(); ++i) item->params[i] = ExpParam{0, f.types[i], 0};
    ASSERT_EQ(XEVAddExpressionItem(ec_, item), 1);
    Add(kIdFunctions, f.name);
  }
  void Add(int32_t list, const char* name) {
    SendDlgItemMessageA(dialog_, list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
  }
  HEXP AddFormula(const char* name, const char* text) {
    Add(kIdFormulas, name);
    return oom::ParseOrFail(ec_, text, name);
  }
  HWND Choose(int32_t listId, const char* name) {
    HWND list = GetDlgItem(dialog_, listId);
    LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return list;
  }
  // Picks an entry as a double click would and lets the dialog follow up.
  void Pick(int32_t listId, const char* name) {
    InsertListEntry(Choose(listId, name));
    XEVUiRunPending();
  }
  void SetText(const char* text, int32_t start = 0, int32_t end = 0) {
    SetWindowTextA(edit_, text);
    SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(start), end);
  }
  std::string Selected(HWND edit = nullptr) {
    if (edit == nullptr) edit = edit_;
    auto [start, end] = SelectionOf(edit);
    return TextOf(edit).substr(start, end - start);
  }
  bool Enabled(int32_t id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != 0; }

  ExprContext* ec_ = nullptr;
  HWND dialog_ = nullptr;
  HWND edit_ = nullptr;
};

TEST_F(TextBuilding, CallTemplatesAndTheFirstLabelSelected) {
  const std::tuple<const char*, const char*, Span> cases[] = {
      {"Pair", "( String , Number )", {10, 16}}, {"Tally", "(DISTINCT  Number )", {20, 26}},
      {"Opt", "([ Number ] )", {10, 16}},        {"Tail", "( Number , Any [,Any...] )", {10, 16}},
      {"Nest", "( String [, Number [, Number ]])", {10, 16}}, {"Clock", "", {9, 9}}};
  for (const auto& [name, call, selection] : cases) {
    SCOPED_TRACE(name);
    char buffer[64];
    EXPECT_TRUE(BuildCallTemplate(xev::core::FindItem(ec_->functionItems, name), buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), call);
    SetText("1 + ", 4, 4);
    Pick(kIdFunctions, name);
    EXPECT_EQ(TextOf(edit_), std::string("1 + ") + name + call);
    EXPECT_EQ(SelectionOf(edit_), selection);
  }
  EXPECT_EQ(SendMessageA(edit_, EM_GETMODIFY, 0, 0), 1);
  EXPECT_EQ(GetFocus(), edit_);
  char tight[8];
  EXPECT_FALSE(BuildCallTemplate(xev::core::FindItem(ec_->functionItems, "Pair"), tight, sizeof tight));
  EXPECT_EQ(std::string(tight), "( Strin");
}

TEST_F(TextBuilding, EachPickReplacesALabelAndSelectsTheNext) {
  Pick(kIdFunctions, "Pair");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(SelectionOf(edit_), Span(17, 23)) << "the second label of Pair( Customer , Number )";
  InsertText(edit_, ButtonInsertion(ec_, kIdDigit0 + 7), 1);
  XEVUiRunPending();
  EXPECT_EQ(TextOf(edit_), "Pair( Customer , 7 )");
  EXPECT_EQ(SelectionOf(edit_), Span(18, 18)) << "nothing left to fill";

  SetText("");
  Pick(kIdFunctions, "Tail");
  Pick(kIdDataItems, "Price");
  EXPECT_EQ(Selected(), "Any");
  Pick(kIdDataItems, "Quantity");
  EXPECT_EQ(Selected(), "[,Any...]");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(TextOf(edit_), "Tail( Price , Quantity ,Customer )");
  // A label in a string literal is no placeholder.
  SetText("\"Number\" || Any");
  SelectNextPlaceholder(dialog_);
  EXPECT_EQ(SelectionOf(edit_), Span(12, 15));
}

TEST_F(TextBuilding, ModeTemplatesAndTheSetRepeatPlaceholder) {
  Editor().mode = kModeRange;
  FillModeTemplate(dialog_);
  EXPECT_EQ(TextOf(edit_), "Expression AND Expression");
  EXPECT_EQ(Selected(), "Expression");
  Pick(kIdDataItems, "Price");
  EXPECT_EQ(SelectionOf(edit_), Span(10, 20));

  Editor().mode = kModeSet;
  FillModeTemplate(dialog_);
  EXPECT_EQ(TextOf(edit_), "Expression, Expression [,Expression...]");
  EXPECT_EQ(SelectionOf(edit_), Span(0, 10));
  Pick(kIdDataItems, "Price");
  Pick(kIdDataItems, "Quantity");
  EXPECT_EQ(Selected(), "[,Expression...]");
  Pick(kIdDataItems, "Customer");
  EXPECT_EQ(TextOf(edit_), "Price, Quantity ,Customer [,Expression...]");
  EXPECT_EQ(Selected(), "[,Expression...]");

  // In Formula mode the label is a name like any other and nothing is filled.
  Editor().mode = kModeFormula;
  InsertText(edit_, "1", 1);
  EXPECT_EQ(TextOf(edit_), "Price, Quantity ,Customer 1");
  FillModeTemplate(dialog_);
  SetText("Expression");
  SelectNextPlaceholder(dialog_);
  EXPECT_EQ(SelectionOf(edit_), Span(0, 0));
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
  SetText("");
  Editor().current = margin;
  for (const char* name : {"Margin", "Span", "Group", "[ New Formula ]"}) Pick(kIdFormulas, name);
  InsertListEntry(Choose(kIdDataItems, "none"));
  EXPECT_EQ(TextOf(edit_), "");
}

TEST_F(TextBuilding, WrapButtonsAndClipboard) {
  SetText("Price + 1", 0, 5);
  XEVUiSetClipboardText("x");
  UpdateEditButtons(dialog_);
  for (int32_t id : {kIdCopy, kIdCut, kIdClear, kIdParens, kIdPaste}) EXPECT_TRUE(Enabled(id)) << id;
  WrapSelection(edit_);
  EXPECT_EQ(TextOf(edit_), "(Price) + 1");
  EXPECT_EQ(SelectionOf(edit_), Span(11, 11));
  EXPECT_EQ(SendMessageA(edit_, EM_GETMODIFY, 0, 0), 1);
  XEVUiSetClipboardText(nullptr);
  UpdateEditButtons(dialog_);
  for (int32_t id : {kIdCopy, kIdCut, kIdClear, kIdParens, kIdPaste}) EXPECT_FALSE(Enabled(id)) << id;

  EXPECT_STREQ(ButtonInsertion(ec_, kIdConcat), " || ");
  EXPECT_STREQ(ButtonInsertion(ec_, kIdPoint), ".");
  EXPECT_EQ(ButtonInsertion(ec_, kIdClear), nullptr);
  ec_->pipeAllowed = 0;
  EXPECT_STREQ(ButtonInsertion(ec_, kIdConcat), " % ");
}

TEST_F(TextBuilding, SubclassedControls) {
  HWND status = GetDlgItem(dialog_, kIdStatus), name = GetDlgItem(dialog_, kIdName);
  HWND items = GetDlgItem(dialog_, kIdDataItems), formulas = GetDlgItem(dialog_, kIdFormulas);
  const auto subclass = [](HWND window, auto procedure) {
    return reinterpret_cast<WNDPROC>(SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<intptr_t>(procedure)));
  };
  Editor().editProc = subclass(edit_, EditSubProc);
  Editor().statusProc = subclass(status, StatusSubProc);
  Editor().listProc = subclass(items, LBVarsSubProc);
  subclass(formulas, LBFormsSubProc);

  SetFocus(name);
  SetFocus(status);
  EXPECT_EQ(GetFocus(), name) << "the focus goes back where it came from";
  SetFocus(nullptr);
  SetFocus(status);
  EXPECT_EQ(GetFocus(), edit_);
  EXPECT_EQ(SendMessageA(status, WM_SETCURSOR, 0, 0), 0);

  SetText("Price", 0, 5);
  SendMessageA(edit_, WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(Enabled(kIdCut));

  SetText("");
  SendMessageA(Choose(kIdDataItems, "Price"), WM_CHAR, ' ', 0);
  EXPECT_EQ(TextOf(edit_), "Price");
  AddFormula("Margin", "Price - 1");
  RECT entry{};
  SendMessageA(formulas, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&entry));
  SendMessageA(formulas, WM_RBUTTONDBLCLK, 0, MAKELPARAM(entry.left + 2, entry.top + 2));
  EXPECT_EQ(SendMessageA(formulas, LB_GETCURSEL, 0, 0), 1);
  SendMessageA(formulas, WM_CHAR, ' ', 0);
  EXPECT_EQ(TextOf(edit_), "PriceMargin()");
}

// A pick that cannot get its memory leaves the text as it was.
TEST_F(TextBuilding, FailedAllocationsLeaveTheTextAlone) {
  HWND functions = Choose(kIdFunctions, "Tail");
  struct Operation {
    const char* name;
    std::function<void()> run;
  };
  const Operation operations[] = {
      {"insert text", [&] { InsertText(edit_, "Quantity", 8); }},
      {"insert function", [&] { InsertListEntry(functions); }},
      {"wrap", [&] { WrapSelection(edit_); }},
  };
  constexpr const char* kBefore = "Pair( Price [,Any...] )";
  // The edit's block for a text it did not hold before is not the pick's to
  // account for; the kit's queue is held while the dialog lives.
  SetText(kBefore);
  XEVUiRunPending();
  for (const Operation& op : operations) {
    std::string after;
    oom::Sweep(op.name, [&](oom::Trial& trial) {
      SetText(kBefore, 12, 21);
      XEVUiRunPending();
      trial.Arm();
      op.run();
      trial.Disarm();
      XEVUiRunPending();
      if (!trial.failing()) {
        after = TextOf(edit_);
        return;
      }
      EXPECT_EQ(TextOf(edit_), kBefore);
    });
    EXPECT_NE(after, kBefore) << op.name;
  }
}

}  // namespace
