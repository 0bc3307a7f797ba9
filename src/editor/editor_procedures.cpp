// The formula editor's dialog and control procedures. The editor dialog, its
// text view and value list are built on these names; until their behaviour
// arrives each procedure behaves as the window it serves would without it:
// the dialogs take the kit's default handling and the controls their class's
// own procedure.
#include "platform/ui/ui.h"
#include "xev/xevui.h"

using namespace xev::ui;

namespace {

intptr_t ClassDefault(XEVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return CallWindowProcA(GetClassWindowProc(window), window, message, wParam, lParam);
}

}  // namespace

extern "C" {

XEV_API intptr_t XEV_CALL XevDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }
XEV_API intptr_t XEV_CALL XevViewTextDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }
XEV_API intptr_t XEV_CALL XevListValuesDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }

XEV_API intptr_t XEV_CALL EditSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL StatusSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBFormsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBVarsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBFuncsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL ViewEditSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }

}  // extern "C"
