// Every allocation of making and running the library's dialogs, failed in
// turn: the dialog either runs to its end or is reported as not made (-1),
// and nothing outlives it.
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

}  // namespace

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
