// The parse and load error dialogs as a person meets them: the message of
// the code, the formula with the failing span selected once the dialog is on
// the screen, OK and Escape, the load error's own wording; and what a host
// sees when the dialog cannot be made.
#include <string>

#include "editor/editor.h"
#include "library/exports.h"
#include "oom/sweep.h"
#include "platform/platform.h"
#include "ui/ui_test_support.h"
#include "xev/xev.h"

using namespace xev::ui;
using uitest::KitTest;
using uitest::Script;
using uitest::SelectionOf;
using uitest::TextOf;

namespace {

constexpr const char* kFormula = "StrLeft(Name, 2) + Price";

struct Seen {
  std::string message;
  std::string text;
  std::pair<uint32_t, uint32_t> selection;
  int32_t focusId = 0;
  std::string loadNote;
};

// Reads what the dialog shows, then runs the remaining steps.
Script::Step Look(Seen* seen) {
  return [seen](HWND modal) {
    seen->message = TextOf(GetDlgItem(modal, 201));
    HWND edit = GetDlgItem(modal, 200);
    seen->text = TextOf(edit);
    seen->selection = SelectionOf(edit);
    seen->focusId = GetDlgCtrlID(GetFocus());
    HWND note = GetDlgItem(modal, -1);
    seen->loadNote = note != nullptr ? TextOf(note) : "";
  };
}

std::string Message(uint32_t code) {
  char buffer[256] = {};
  xev::platform::LoadStringA(xev::platform::ModuleInstance(), code, buffer, sizeof buffer);
  return buffer;
}

std::pair<std::string, intptr_t> g_help;
void XEV_CALL Help(int32_t kind, intptr_t value) {
  g_help = {reinterpret_cast<const char*>(value), kind};
}

}  // namespace

// The span is selected once the dialog is on the screen, an empty one leaves
// the caret at its position; OK, Escape and input running out all end it with 1.
TEST_F(KitTest, ErrorDialogSelectsTheSpanOnceVisibleAndEndsWithOne) {
  HWND host = XEVUiCreateHostWindow("report", 0, 0, 800, 600);
  const struct {
    ExprError error;
    Script::Step end;  // none: no more input, which ends it as Escape does
    std::pair<uint32_t, uint32_t> selection;
  } cases[] = {{{102, 8, 4}, [](HWND modal) { XEVUiClick(GetDlgItem(modal, 202)); }, {8, 12}},
               {{109, 5, 0}, nullptr, {5, 5}},
               {{121, 0, 0}, [](HWND) { XEVUiKey(VK_ESCAPE, 0, 0); }, {0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error.code);
    Seen seen;
    Script script;
    script.Then(Look(&seen));
    if (c.end) script.Then(c.end).Then([](HWND) { ADD_FAILURE() << "still open"; });
    EXPECT_EQ(XEVErrorDisplay(host, kFormula, &c.error), 1);
    EXPECT_EQ(seen.text, kFormula);
    EXPECT_EQ(seen.selection, c.selection);
    EXPECT_EQ(seen.focusId, 200);
    EXPECT_TRUE(IsWindowEnabled(host));
    if (c.error.code == 102) {
      EXPECT_EQ(seen.message, "ERR_VAR: Unknown input item.");
    }
  }
  DestroyWindow(host);
  // A dialog that cannot be made answers -1 (running out of memory while it
  // is made is swept in tests/oom).
  EXPECT_EQ(XEVErrorDisplay(reinterpret_cast<HWND>(static_cast<uintptr_t>(0xBAD0)), "x", &cases[0].error), -1);
  EXPECT_EQ(XEVErrorDisplay(nullptr, "x", nullptr), -1);
}

TEST_F(KitTest, MessagesAreShownLetterForLetterWithTheirHelp) {
  for (uint32_t code : {100u, 119u, 125u, 131u, 137u, 0u, 99u, 138u}) {
    const ExprError error{code, 0, 0};
    Seen seen;
    g_help = {};
    Script script;
    script.Then(Look(&seen)).Then([](HWND modal) {
      SendMessageA(modal, XEV_WM_HELPQUERY, 0, reinterpret_cast<LPARAM>(Help));
    });
    XEVErrorDisplay(nullptr, "x", &error);
    EXPECT_EQ(seen.message, Message(code)) << code;
    EXPECT_EQ(g_help, (std::pair<std::string, intptr_t>{"Error messages", 257})) << code;
  }
  EXPECT_EQ(Message(0), "");  // a code without a message shows an empty line
}

TEST_F(KitTest, LoadErrorDialogBeepsAndSaysTheErrorCameFromLoading) {
  const ExprError error{103, 0, 5};
  Seen seen;
  Script script;
  script.Then(Look(&seen));
  int32_t beeps = XEVUiBeepCount();
  EXPECT_EQ(xev::editor::ShowLoadError(nullptr, "Gone(", &error), 1);
  EXPECT_EQ(XEVUiBeepCount(), beeps + 1);
  EXPECT_EQ(seen.loadNote,
            "The above error occured while loading, please correct the error to continue loading formulas.");
  EXPECT_EQ(seen.message, "ERR_FUNC: Unknown function.");
  EXPECT_EQ(seen.selection, std::make_pair(0u, 5u));
}

TEST_F(KitTest, EveryDialogProcedureIsExported) {
  for (const char* name : {"XevDlgProc", "EditSubProc", "StatusSubProc", "LBFormsSubProc", "LBVarsSubProc",
                           "LBFuncsSubProc", "XevViewTextDlgProc", "ViewEditSubProc", "XevListValuesDlgProc",
                           "XEVErrorDlgProc", "XEVErrorEditProc"})
    EXPECT_NE(xev::library::GetProcAddress(FUNModuleHandle(), name), nullptr) << name;
  EXPECT_EQ(xev::library::GetProcAddress(FUNModuleHandle(), "XEVErrorDisplay"), nullptr);
}

TEST_F(KitTest, LoadComboBoxAddsTheNamesOfOneKind) {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, 0);
  for (const char* name : {"Zeta", "Alpha", "Mid"}) ASSERT_EQ(oom::AddDataItem(ec, name, XEV_TYPE_NUMBER), 1);
  HWND host = XEVUiCreateHostWindow("host", 0, 0, 100, 100);
  HWND combo = CreateWindowExA(0, "ComboBox", "", WS_CHILD | WS_VISIBLE, 0, 0, 80, 80, host, 7, nullptr, nullptr);
  EXPECT_EQ(XEVLoadComboBox(ec, XEV_ITEM_DATA, combo), 3);
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  char text[16];
  SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Zeta");  // list order, the box is not sorted
  EXPECT_EQ(XEVLoadComboBox(ec, XEV_ITEM_KEYWORD, combo), 0);
  EXPECT_EQ(XEVLoadComboBox(ec, XEV_ITEM_FORMULA, combo), 0);
  EXPECT_EQ(XEVLoadComboBox(nullptr, XEV_ITEM_DATA, combo), 0);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  DestroyWindow(host);
  XEVDestroyEC(ec);
}
