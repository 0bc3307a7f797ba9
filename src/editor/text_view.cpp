// The text view (placeholder until it lands).
#include "editor/editor_state.h"
#include "xev/xevui.h"

extern "C" {
XEV_API intptr_t XEV_CALL XevViewTextDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }
XEV_API intptr_t XEV_CALL ViewEditSubProc(XEVHWND w, uint32_t m, uintptr_t wp, intptr_t lp) {
  return xev::ui::CallWindowProcA(xev::ui::GetClassWindowProc(w), w, m, wp, lp);
}
}
