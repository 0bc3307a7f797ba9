// The parse error dialog and the load error dialog: the message of the error
// code, and a read-only copy of the formula text with the failing span
// selected once the dialog is on the screen.
#include "editor/editor.h"
#include "platform/platform.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

constexpr int32_t kTextControl = 200;
constexpr int32_t kMessageControl = 201;
constexpr int32_t kOkButton = 202;
constexpr UINT kSelectSpan = WM_USER + 1;
constexpr UINT kHelpQuery = 0x83FF;
constexpr int32_t kMessageSize = 200;
constexpr int32_t kHelpKindTopic = 257;

using HelpCallback = XEVHelpCallback;

// The one error dialog's state: what it shows and the text control's own
// procedure. A dialog opened from inside another keeps the outer one's state
// aside and puts it back when it ends.
struct ErrorDialogState {
  const char* text = "";
  ExprError error{};
  bool selectPending = false;
  WNDPROC editProc = nullptr;
};
ErrorDialogState g_errorDialog;

intptr_t RunErrorDialog(const char* templateName, HWND parent, const char* text, const ExprError* error) {
  if (error == nullptr) return -1;
  ErrorDialogState outer = g_errorDialog;
  g_errorDialog = ErrorDialogState{text != nullptr ? text : "", *error, false, nullptr};
  intptr_t result = DialogBoxParamA(nullptr, templateName, parent, XEVErrorDlgProc, 0);
  g_errorDialog = outer;
  return result;
}

void InitDialog(HWND dialog) {
  g_errorDialog.selectPending = true;
  char message[kMessageSize] = {};
  platform::LoadStringA(platform::ModuleInstance(), g_errorDialog.error.code, message, kMessageSize);
  SetDlgItemTextA(dialog, kMessageControl, message);
  SetDlgItemTextA(dialog, kTextControl, g_errorDialog.text);
  HWND edit = GetDlgItem(dialog, kTextControl);
  g_errorDialog.editProc = reinterpret_cast<WNDPROC>(GetWindowLongA(edit, GWL_WNDPROC));
  SetWindowLongA(edit, GWL_WNDPROC, reinterpret_cast<intptr_t>(XEVErrorEditProc));
}

// The span goes in the 16-bit halves of lParam, start low and end high.
void SelectSpan(HWND dialog) {
  HWND edit = GetDlgItem(dialog, kTextControl);
  SetFocus(edit);
  uint32_t start = g_errorDialog.error.pos & 0xFFFF;
  uint32_t end = (g_errorDialog.error.pos + g_errorDialog.error.len) & 0xFFFF;
  SendMessageA(edit, EM_SETSEL, 0, static_cast<LPARAM>((end << 16) | start));
}

}  // namespace

bool SwallowedByReadOnlyText(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_CHAR:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK: return true;
    case WM_KEYDOWN: return static_cast<int32_t>(wParam) != VK_RETURN;
    default: return false;
  }
}

intptr_t ShowLoadError(HWND parent, const char* text, const ExprError* error) {
  MessageBeep(0);
  return RunErrorDialog("DLGFERROR", parent, text, error);
}

}  // namespace xev::editor

using namespace xev::ui;
using xev::editor::g_errorDialog;

extern "C" {

XEV_API intptr_t XEV_CALL XEVErrorDisplay(XEVHWND parent, const char* text, const ExprError* error) {
  return xev::editor::RunErrorDialog("DLGERROR", parent, text, error);
}

XEV_API intptr_t XEV_CALL XEVErrorDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  using namespace xev::editor;
  switch (message) {
    case WM_INITDIALOG: InitDialog(dialog); return 0;
    case WM_PAINT:
      if (g_errorDialog.selectPending) {
        PostMessageA(dialog, kSelectSpan, 0, 0);
        g_errorDialog.selectPending = false;
      }
      return 0;
    case kSelectSpan: SelectSpan(dialog); return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkButton || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 1);
      return 0;
    case kHelpQuery:
      if (lParam != 0)
        reinterpret_cast<HelpCallback>(lParam)(kHelpKindTopic, reinterpret_cast<intptr_t>("Error messages"));
      return 0;
    default: return 0;
  }
}

XEV_API intptr_t XEV_CALL XEVErrorEditProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (xev::editor::SwallowedByReadOnlyText(message, wParam)) return 0;
  return CallWindowProcA(g_errorDialog.editProc, edit, message, wParam, lParam);
}

}  // extern "C"
