// The editor's subclassed controls. Each lets the control's own procedure
// handle a message first and then keeps the dialog in step with what the
// control now shows; the status line alone swallows input, since it only
// ever displays help.
#include "core/core.h"
#include "editor/editor_state.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

constexpr WPARAM kLeftButtonDown = 0x0001;  // MK_LBUTTON
constexpr WPARAM kSpace = ' ';

LRESULT PassOn(WNDPROC saved, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Before the dialog saved the control's procedure, the class's one is it.
  if (saved == nullptr) saved = GetClassWindowProc(window);
  return CallWindowProcA(saved, window, message, wParam, lParam);
}

bool SwallowedByStatus(UINT message) {
  switch (message) {
    case WM_SETCURSOR:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK: return true;
    default: return false;
  }
}

// The status line hands the focus back: to the sibling it came from, else to
// the formula text.
void HandFocusBack(HWND status, HWND previous) {
  HWND dialog = GetParent(status);
  bool sibling = previous != nullptr && previous != status && IsWindow(previous) != 0 && GetParent(previous) == dialog;
  SetFocus(sibling ? previous : GetDlgItem(dialog, kIdFormulaText));
}

bool CaptionsFollowSelection() {
  const ExprContext* ec = Editor().ec;
  return ec != nullptr && ec->listValuesCallback != nullptr && !InLoadFix();
}

void AfterFormulasMessage(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = GetParent(list);
  switch (message) {
    case WM_CHAR:
      if (wParam == kSpace) InsertListEntry(list);
      return;
    case LB_SETCURSEL:
      if (CaptionsFollowSelection()) UpdateSelectCaptions(dialog);
      return;
    case WM_KEYUP:
      if (static_cast<int32_t>(wParam) == VK_UP || static_cast<int32_t>(wParam) == VK_DOWN)
        FormulasSelectionFollowUp(dialog, false);
      return;
    case WM_LBUTTONUP: FormulasSelectionFollowUp(dialog, false); return;
    case WM_RBUTTONDBLCLK:
      // A right double click picks the entry under the mouse as a left click
      // would, and shows its text.
      SendMessageA(list, WM_LBUTTONDOWN, kLeftButtonDown, lParam);
      SendMessageA(list, WM_LBUTTONUP, 0, lParam);
      FormulasSelectionFollowUp(dialog, true);
      return;
    default: return;
  }
}

}  // namespace
}  // namespace xev::editor

using namespace xev::ui;
using xev::editor::Editor;

extern "C" {

XEV_API intptr_t XEV_CALL EditSubProc(XEVHWND edit, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  LRESULT result = xev::editor::PassOn(Editor().editProc, edit, message, wParam, lParam);
  if (message == WM_KEYDOWN || message == WM_LBUTTONUP) xev::editor::UpdateEditButtons(GetParent(edit));
  return result;
}

XEV_API intptr_t XEV_CALL StatusSubProc(XEVHWND status, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (xev::editor::SwallowedByStatus(message)) return 0;
  LRESULT result = xev::editor::PassOn(Editor().statusProc, status, message, wParam, lParam);
  if (message == WM_SETFOCUS) xev::editor::HandFocusBack(status, reinterpret_cast<HWND>(wParam));
  return result;
}

XEV_API intptr_t XEV_CALL LBFormsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  LRESULT result = xev::editor::PassOn(Editor().listProc, list, message, wParam, lParam);
  xev::editor::AfterFormulasMessage(list, message, wParam, lParam);
  return result;
}

XEV_API intptr_t XEV_CALL LBVarsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  LRESULT result = xev::editor::PassOn(Editor().listProc, list, message, wParam, lParam);
  if (message == WM_CHAR && wParam == xev::editor::kSpace) xev::editor::InsertListEntry(list);
  return result;
}

XEV_API intptr_t XEV_CALL LBFuncsSubProc(XEVHWND list, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return LBVarsSubProc(list, message, wParam, lParam);
}

}  // extern "C"
