// The editor's subclassed controls (placeholder: each passes everything to
// its control's own procedure until its behaviour lands).
#include "editor/editor_state.h"
#include "xev/xevui.h"

using namespace xev::ui;

namespace {
intptr_t ClassDefault(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) {
  return CallWindowProcA(GetClassWindowProc(w), w, m, wp, lp);
}
}  // namespace

extern "C" {
XEV_API intptr_t XEV_CALL EditSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL StatusSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBFormsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBVarsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
XEV_API intptr_t XEV_CALL LBFuncsSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) { return ClassDefault(w, m, wp, lp); }
}
