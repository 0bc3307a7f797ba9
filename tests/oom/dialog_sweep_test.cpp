// The library's dialogs with every allocation failing in turn. An error
// dialog, or the editor's template with a message box inside, either runs to
// its end or is reported as not made (-1). The formula editor, while it opens,
// while a pick inserts a function's call template and while it saves, either
// does what was asked or shows its error and goes on. Nothing outlives them.
#include <string>

#include "editor/editor_state.h"
#include "oom/sweep.h"
#include "platform/ui/kit.h"
#include "platform/ui/ui.h"
#include "ui/ui_test_support.h"

using namespace xev::ui;

namespace {

intptr_t XEV_CALL EndOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(dialog, IDOK);
  return message == WM_INITDIALOG ? 1 : 0;
}

void ExpectMadeOrRefused(oom::Trial& trial, intptr_t result, intptr_t completed) {
  if (trial.failing()) {
    // The driver's own input may be what failed to queue: then the dialog
    // ends as cancelled when the script runs dry.
    EXPECT_TRUE(result == -1 || result == completed || result == IDCANCEL) << result;
  } else {
    EXPECT_EQ(result, completed);
  }
  EXPECT_EQ(kit::LiveWindowCount(), 0);
}

void XEV_CALL ListValues(ExprContext*, const char*, XEVHWND list, int32_t, int32_t*) {
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("12.5"));
}
int32_t XEV_CALL Permit(ExprContext*, HEXP, XEVHWND) { return 1; }

ExprContext* EditedContext() {
  ExprContext* ec = XEVCreateEC(0, nullptr, nullptr, ECF_RANGES_SETS);
  FUNDefineFunctions(ec);
  for (const char* name : {"Price", "Quantity"}) oom::AddDataItem(ec, name, XEV_TYPE_NUMBER);
  oom::ParseOrFail(ec, "Price * Quantity", "Net");
  XEVSetListValuesCallback(ec, ListValues);
  XEVSetDelPermissionCallback(ec, Permit);
  return ec;
}

// Whatever dialog waits (the editor, an error dialog, a message box) is
// answered so that the session ends; an editor that could not be made says so.
int32_t g_memoryErrors = 0;
void Dismiss(HWND modal) {
  if (modal == xev::editor::Editor().dialog) {
    XEVUiClick(GetDlgItem(modal, IDCANCEL));
    return;
  }
  HWND message = GetDlgItem(modal, 201);
  if (message != nullptr && uitest::TextOf(message) == "ERR_MEMLOW: Error creating dialog box, memory critically low.")
    ++g_memoryErrors;
  XEVUiKey(VK_ESCAPE, 0, 0);
}

}  // namespace

TEST(EditorSweep, OpeningPickingAndSaving) {
  ExprContext* ec = EditedContext();
  HWND owner = XEVUiCreateHostWindow("host", 0, 0, 800, 600);

  oom::Sweep("opening on an expression with value lists and a preselected item", [&](oom::Trial& trial) {
    uitest::Script script;
    for (int i = 0; i < 6; ++i) script.Then(Dismiss);
    trial.Arm();
    HEXP saved = XEVBuildExpressionOfType(owner, ec, XEVHEXPFromName(ec, "Net"), 200, 0, "Price");
    trial.Disarm();
    EXPECT_EQ(saved, nullptr);
    EXPECT_EQ(kit::LiveWindowCount(), 1);
  });
  EXPECT_GT(g_memoryErrors, 0);

  oom::Sweep("picking a function and saving a new formula", [&](oom::Trial& trial) {
    uitest::Script script;
    script
        .Then([&](HWND dialog) {
          trial.Arm();
          HWND functions = GetDlgItem(dialog, xev::editor::kIdFunctions);
          auto index = SendMessageA(functions, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>("NumberRound"));
          XEVUiClickListEntry(functions, static_cast<int32_t>(index), 2);
        })
        .Then([](HWND dialog) { XEVUiClickListEntry(GetDlgItem(dialog, xev::editor::kIdDataItems), 0, 2); })
        .Then([](HWND dialog) { XEVUiClickListEntry(GetDlgItem(dialog, xev::editor::kIdDataItems), 1, 2); })
        .Then([](HWND dialog) { XEVUiClick(GetDlgItem(dialog, IDOK)); });
    for (int i = 0; i < 6; ++i) script.Then(Dismiss);
    HEXP saved = XEVBuildExpression(owner, ec, nullptr, 0);
    trial.Disarm();
    if (!trial.failing()) {
      ASSERT_NE(saved, nullptr);
    }
    // What a session saved is the context's; take it back out for the next run.
    if (saved != nullptr) XEVDestroyEXP(ec, saved);
    EXPECT_EQ(XEVGetExpressionCount(ec), 1);
    EXPECT_EQ(kit::LiveWindowCount(), 1);
  });

  DestroyWindow(owner);
  XEVDestroyEC(ec);
}

TEST(DialogSweep, ErrorDialogsAndTheEditorTemplate) {
  const ExprError error{102, 4, 3};
  int64_t refused = 0;
  oom::Sweep("error dialog", [&](oom::Trial& trial) {
    uitest::Script script;
    script.Then([](HWND modal) { XEVUiClick(GetDlgItem(modal, 202)); });
    trial.Arm();
    intptr_t result = XEVErrorDisplay(nullptr, "Net() + Tax", &error);
    trial.Disarm();
    ExpectMadeOrRefused(trial, result, 1);
    refused += result == -1 ? 1 : 0;
  });
  EXPECT_GT(refused, 3);
  oom::Sweep("editor template with a message box inside", [&](oom::Trial& trial) {
    uitest::Script script;
    int32_t answer = 0;
    script.Then([&](HWND modal) { answer = MessageBoxA(modal, "Delete?", "Formula Delete", MB_YESNO | MB_DEFBUTTON2); })
        .Then([](HWND) { XEVUiKey(VK_RETURN, 0, 0); })
        .Then([](HWND modal) { XEVUiClick(GetDlgItem(modal, IDOK)); });
    trial.Arm();
    intptr_t result = DialogBoxParamA(nullptr, "EXPBILD", nullptr, EndOnOk, 0);
    trial.Disarm();
    ExpectMadeOrRefused(trial, result, IDOK);
    if (!trial.failing()) {
      EXPECT_EQ(answer, IDNO);
    }
  });
}
