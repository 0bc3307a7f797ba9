// The formula editor driven the way a person uses it: opening on a context,
// typing and saving, the errors it shows, the questions it asks, deleting,
// the modes, and load-fix mode at the heart of a block load.
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "editor/editor_state.h"
#include "oom/sweep.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;
using uitest::Script;
using uitest::SelectionOf;
using uitest::TextOf;

namespace {

std::string EntryText(HWND list, int32_t index) {
  char buffer[256] = {};
  if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0) >= 256) return "<long>";
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

int32_t EntryCount(HWND list) { return static_cast<int32_t>(SendMessageA(list, LB_GETCOUNT, 0, 0)); }

std::vector<std::string> Entries(HWND list) {
  std::vector<std::string> entries;
  for (int32_t i = 0; i < EntryCount(list); ++i) entries.push_back(EntryText(list, i));
  return entries;
}

int32_t EntryIndex(HWND list, const std::string& text) {
  for (int32_t i = 0; i < EntryCount(list); ++i)
    if (EntryText(list, i) == text) return i;
  return -1;
}

HWND Control(HWND dialog, int32_t id) { return GetDlgItem(dialog, id); }
void Press(HWND dialog, int32_t id) { XEVUiClick(Control(dialog, id)); }
void Cancel(HWND dialog) { Press(dialog, IDCANCEL); }

// The last message box as "caption: text".
std::string LastBox() { return std::string(XEVUiLastMessageBoxCaption()) + ": " + XEVUiLastMessageBoxText(); }

void ReplaceFormulaText(HWND dialog, const char* text) {
  HWND edit = Control(dialog, xev::editor::kIdFormulaText);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  XEVUiType(text);
}

int32_t g_permission = 1;
int32_t XEV_CALL Permission(ExprContext*, HEXP, XEVHWND) { return g_permission; }

std::vector<std::string> g_valueRequests;
void XEV_CALL ListValues(ExprContext*, const char* name, XEVHWND list, int32_t firstFill, int32_t*) {
  g_valueRequests.push_back(std::string(name) + (firstFill ? " first" : " again"));
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("12.5"));
}

class EditorTest : public uitest::KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    ec_ = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
    FUNDefineFunctions(ec_);
    for (auto [name, type] :
         {std::pair{"Price", XEV_TYPE_NUMBER}, {"Quantity", XEV_TYPE_NUMBER}, {"Customer", XEV_TYPE_STRING}})
      ASSERT_EQ(oom::AddDataItem(ec_, name, static_cast<int16_t>(type)), 1);
    host_ = XEVUiCreateHostWindow("report", 0, 0, 800, 600);
  }
  void TearDown() override {
    DestroyWindow(host_);
    XEVDestroyEC(ec_);
    KitTest::TearDown();
  }
  HEXP Parse(const char* name, const char* text) { return oom::ParseOrFail(ec_, text, name); }
  std::string TextOfExpression(HEXP exp) { return oom::ExpressionText(ec_, exp); }
  ExprContext* ec_ = nullptr;
  HWND host_ = nullptr;
};

// Loads a block whose first formula calls a function the loading context does
// not have, and whose second formula is stored after it.
int32_t LoadAFormulaThatNoLongerParses(ExprContext* target) {
  ExprContext* source = XEVCreateEC(0, nullptr, nullptr, 0);
  FUNDefineFunctions(source);
  oom::AddDataItem(source, "Price", XEV_TYPE_NUMBER);
  oom::ParseOrFail(source, "NumberRound(Price, 2)", "Rounded");
  oom::ParseOrFail(source, "Price + 1", "Later");
  std::vector<char> block(XEVGetECBlockSize(source, 1));
  XEVGetECBlock(source, static_cast<int32_t>(block.size()), block.data());
  XEVDestroyEC(source);
  return XEVSetECContents(target, static_cast<int32_t>(block.size()), block.data(), 1, nullptr);
}

std::vector<std::pair<int32_t, std::string>> g_help;
void XEV_CALL Help(int32_t kind, intptr_t value) {
  g_help.emplace_back(kind, kind == 257 ? reinterpret_cast<const char*>(value) : std::to_string(value));
}

}  // namespace

TEST_F(EditorTest, ADuplicateNameIsShownWithTheNameAsText) {
  Parse("Net", "Price * Quantity");
  std::string shown;
  std::pair<uint32_t, uint32_t> span;
  Script script;
  script.Then([](HWND dialog) {
          XEVUiType("Price");
          SetDlgItemTextA(dialog, 101, "Net");
        })
      .Then([](HWND d) { Press(d, IDOK); })
      .Then([&](HWND error) {
        shown = TextOf(Control(error, 200));
        span = SelectionOf(Control(error, 200));
        XEVUiKey(VK_ESCAPE, 0, 0);
      });
  EXPECT_EQ(XEVBuildExpression(host_, ec_, nullptr, 0), nullptr);
  EXPECT_EQ(shown, "Net");
  EXPECT_EQ(span, std::make_pair(0u, 3u));
}

TEST_F(EditorTest, AFormulaUsedByAnotherKeepsItsNameAndCannotBeDeleted) {
  HEXP net = Parse("Net", "Price * Quantity");
  Parse("Total", "Net() * 2");
  XEVSetDelPermissionCallback(ec_, Permission);
  std::vector<bool> enabled;  // name, its label, delete
  std::string caption;
  Script script;
  script.Then([&](HWND dialog) {
    caption = TextOf(dialog);
    for (int32_t id : {101, 115, 116}) enabled.push_back(IsWindowEnabled(Control(dialog, id)) != 0);
    Cancel(dialog);
  });
  EXPECT_EQ(XEVBuildExpression(host_, ec_, net, 0), nullptr);
  EXPECT_EQ(caption, "Formula Editor - Net");
  EXPECT_EQ(enabled, std::vector<bool>(3, false));
}

TEST_F(EditorTest, DeleteAsksPermissionThenTheUser) {
  Parse("Net", "Price * Quantity");
  Parse("Spare", "Quantity + 1");
  XEVSetDelPermissionCallback(ec_, Permission);
  std::vector<std::string> boxes;
  std::vector<std::string> after;
  auto pick = [](HWND dialog, const char* name) {
    HWND list = Control(dialog, 114);
    XEVUiClickListEntry(list, EntryIndex(list, name), 1);
  };
  g_permission = 0;
  Script refused;
  refused.Then([&](HWND dialog) { pick(dialog, "Spare"); })
      .Then([](HWND dialog) { Press(dialog, 116); })
      .Then([&](HWND) {
        boxes.push_back(LastBox());
        XEVUiKey(VK_RETURN, 0, 0);
      })
      .Then(Cancel);
  XEVBuildExpression(host_, ec_, nullptr, 0);
  EXPECT_EQ(XEVGetExpressionCount(ec_), 2);

  g_permission = 1;
  Script granted;
  granted.Then([&](HWND dialog) { pick(dialog, "Spare"); })
      .Then([](HWND dialog) { Press(dialog, 116); })
      .Then([&](HWND) {
        boxes.push_back(LastBox());
        XEVUiKey(VK_RETURN, 0, 0);  // the default answer is No
      })
      .Then([](HWND dialog) { Press(dialog, 116); })
      .Then([](HWND box) { XEVUiClick(GetDlgItem(box, IDYES)); })
      .Then([&](HWND dialog) {
        after = Entries(Control(dialog, 114));
        Press(dialog, IDCANCEL);
      });
  XEVBuildExpression(host_, ec_, nullptr, 0);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Formula Delete: Delete Permission Denied.",
                                             "Formula Delete: Are you sure you want to delete selected Formula"}));
  EXPECT_EQ(after, (std::vector<std::string>{"[ New Formula ]", "Net"}));
  EXPECT_EQ(XEVGetExpressionCount(ec_), 1);
  EXPECT_EQ(XEVHEXPFromName(ec_, "Spare"), nullptr);
}

TEST_F(EditorTest, TheSavePromptOffersYesNoAndCancel) {
  HEXP net = Parse("Net", "Price * Quantity");
  std::vector<std::string> texts;
  std::string prompt;
  Script script;
  script.Then([](HWND dialog) { ReplaceFormulaText(dialog, "Price + 1"); })
      .Then([](HWND dialog) {
        SendMessageA(Control(dialog, 114), LB_SETCURSEL, 0, 0);
        Press(dialog, 117);
      })
      .Then([&](HWND box) {
        prompt = LastBox();
        XEVUiClick(GetDlgItem(box, IDCANCEL));
      })
      .Then([&](HWND dialog) {
        texts.push_back(TextOf(Control(dialog, 100)));
        Press(dialog, 117);
      })
      .Then([](HWND box) { XEVUiClick(GetDlgItem(box, IDYES)); })
      .Then([&](HWND dialog) {
        texts.push_back(TextOf(Control(dialog, 100)));  // saved, then a new formula
        Press(dialog, IDCANCEL);
      });
  XEVBuildExpression(host_, ec_, net, 0);
  EXPECT_EQ(prompt, "Formula Save: Changes have been made, save before continuing?");
  EXPECT_EQ(texts, (std::vector<std::string>{"Price + 1", ""}));
  EXPECT_EQ(TextOfExpression(net), "Price + 1");
}

TEST_F(EditorTest, AResultOfAnotherKindIsQuestionedAndNoLeavesNothing) {
  XEVSetListValuesCallback(ec_, ListValues);
  std::string question;
  Script script;
  script.Then([](HWND dialog) { ReplaceFormulaText(dialog, "Price AND Quantity"); })
      .Then([](HWND d) { Press(d, IDOK); })
      .Then([&](HWND box) {
        question = LastBox();
        XEVUiClick(GetDlgItem(box, IDNO));
      })
      .Then(Cancel);
  EXPECT_EQ(XEVBuildExpression(host_, ec_, nullptr, 0), nullptr);
  EXPECT_EQ(question, "Formula Editor Warning: Text evaluates as a Range instead of a Formula, save anyway?");
  EXPECT_EQ(XEVGetExpressionCount(ec_), 0);
}

// The type argument reads 1 as Set and 2 as Range; the mode buttons change
// the caption, the new entry's label and the select button.
TEST_F(EditorTest, TypeArgumentAndModeButtonsSetCaptionsAndTheNewEntryLabel) {
  XEVSetListValuesCallback(ec_, ListValues);
  for (auto [type, expected] : {std::pair{1, "Set Editor - [ New Set ]"}, {2, "Range Editor - [ New Range ]"}}) {
    std::string caption;
    Script script;
    script.Then([&](HWND dialog) { caption = TextOf(dialog), Cancel(dialog); });
    XEVBuildExpressionOfType(host_, ec_, nullptr, 0, type, nullptr);
    EXPECT_EQ(caption, expected);
  }
  std::vector<std::string> seen;
  auto look = [&](HWND dialog) {
    seen.push_back(TextOf(dialog));
    seen.push_back(EntryText(Control(dialog, 114), 0));
  };
  Script script;
  script.Then([&](HWND dialog) { look(dialog), Press(dialog, 135); }).Then([&](HWND dialog) {
    look(dialog);
    seen.push_back(TextOf(Control(dialog, 117)));
    seen.push_back(std::to_string(SendMessageA(Control(dialog, 135), BM_GETCHECK, 0, 0)));
    Cancel(dialog);
  });
  XEVBuildExpressionOfType(host_, ec_, nullptr, 0, 0, "");
  EXPECT_EQ(seen, (std::vector<std::string>{"Formula Editor - [ New Formula ]", "[ New Formula ]",
                                            "Range Editor - [ New Range ]", "[ New Range ]", "&Select Range", "1"}));
}

TEST_F(EditorTest, TheOperatorButtonFollowsTheContextFlags) {
  struct Case {
    uint16_t flags;
    bool visible;
    const char* caption;
  } cases[] = {{0, true, "||"}, {ECF_NO_STRING_CONCAT, false, "||"}, {ECF_NO_STRING_CONCAT | ECF_MODULO, true, "%"}};
  for (const Case& c : cases) {
    ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, c.flags);
    bool visible = false;
    std::string caption;
    Script script;
    script.Then([&](HWND dialog) {
      visible = IsWindowVisible(Control(dialog, 112));
      caption = TextOf(Control(dialog, 112));
      Press(dialog, IDCANCEL);
    });
    XEVBuildExpression(nullptr, ec, nullptr, 0);
    EXPECT_EQ(visible, c.visible) << c.flags;
    if (c.visible) {
      EXPECT_EQ(caption, c.caption) << c.flags;
    }
    XEVDestroyEC(ec);
  }
}

TEST_F(EditorTest, LoadFixShowsTheLoadErrorThenTakesTheCorrection) {
  ExprContext* target = XEVCreateEC(reinterpret_cast<intptr_t>(host_), nullptr, nullptr, 0);
  std::string caption, name, text, note;
  bool nameEnabled = true;
  std::pair<uint32_t, uint32_t> span;
  Script script;
  script.Then([&](HWND dialog) {
          caption = TextOf(dialog);
          name = TextOf(Control(dialog, 101));
          nameEnabled = IsWindowEnabled(Control(dialog, 101));
          text = TextOf(Control(dialog, 100));
          span = SelectionOf(Control(dialog, 100));
          XEVUiAdvanceClock(1000);
        })
      .Then([&](HWND loadError) {
        note = TextOf(Control(loadError, 201));
        Press(loadError, 202);
      })
      .Then([](HWND dialog) { ReplaceFormulaText(dialog, "Price * 2"); })
      .Then([](HWND d) { Press(d, IDOK); });
  int32_t beeps = XEVUiBeepCount();
  EXPECT_EQ(LoadAFormulaThatNoLongerParses(target), 1);
  EXPECT_EQ(caption, "Formula Editor - Rounded");
  EXPECT_EQ(name, "Rounded");
  EXPECT_FALSE(nameEnabled);
  EXPECT_EQ(text, "NumberRound(Price, 2)");
  EXPECT_EQ(span, std::make_pair(0u, 12u));
  EXPECT_EQ(note, "ERR_FUNC: Unknown function.");
  EXPECT_EQ(XEVUiBeepCount(), beeps + 1);
  ASSERT_EQ(XEVGetExpressionCount(target), 2);
  EXPECT_STREQ(XEVHEXPFromOrdinal(target, 0)->name, "Rounded");
  EXPECT_EQ(std::string(XEVHEXPFromOrdinal(target, 0)->text), "Price * 2");
  XEVDestroyEC(target);
}

// Cancel stops the load; a correction that calls a formula stored after it
// waits for that one.
TEST_F(EditorTest, LoadFixCancelStopsTheLoadAndACorrectionMayCallALaterFormula) {
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancelled" : "corrected");
    ExprContext* target = XEVCreateEC(0, nullptr, nullptr, 0);
    Script script;
    if (cancel) script.Then(Cancel);
    script.Then([](HWND dialog) { ReplaceFormulaText(dialog, "Later() * 2"); }).Then([](HWND d) { Press(d, IDOK); });
    EXPECT_EQ(LoadAFormulaThatNoLongerParses(target), cancel ? 0 : 1);
    EXPECT_EQ(script.done(), cancel ? 1u : 2u);
    if (cancel) {
      EXPECT_EQ(XEVGetExpressionCount(target), 0);
    } else {
      ASSERT_EQ(XEVGetExpressionCount(target), 2);
      EXPECT_STREQ(XEVHEXPFromOrdinal(target, 0)->name, "Rounded");
      EXPECT_EQ(std::string(XEVHEXPFromOrdinal(target, 0)->text), "Later() * 2");
      EXPECT_STREQ(XEVHEXPFromOrdinal(target, 1)->name, "Later");
    }
    XEVDestroyEC(target);
  }
}

TEST_F(EditorTest, TheTextLimitAndTheHelpQuery) {
  g_help.clear();
  std::string text;
  Script script;
  script.Then([](HWND) { XEVUiType("Price * Quantity * 2"); })
      .Then([&](HWND dialog) {
        text = TextOf(Control(dialog, 100));
        SendMessageA(dialog, XEV_WM_HELPQUERY, reinterpret_cast<WPARAM>(GetFocus()), reinterpret_cast<LPARAM>(Help));
        HWND functions = Control(dialog, 107);
        XEVUiClickListEntry(functions, EntryIndex(functions, "StrLeft"), 1);
      })
      .Then([](HWND dialog) {
        SendMessageA(dialog, XEV_WM_HELPQUERY, reinterpret_cast<WPARAM>(GetFocus()), reinterpret_cast<LPARAM>(Help));
        Press(dialog, IDCANCEL);
      });
  XEVBuildExpression(host_, ec_, nullptr, 10);
  EXPECT_EQ(text, "Price * Qu");
  EXPECT_EQ(g_help, (std::vector<std::pair<int32_t, std::string>>{{1, "400"}, {257, "StrLeft"}}));
}
