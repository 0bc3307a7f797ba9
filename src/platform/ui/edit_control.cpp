// Edit controls (placeholder until the control lands).
#include "platform/ui/kit.h"
namespace xev::ui::kit {
LRESULT XEV_CALL EditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }
}  // namespace xev::ui::kit
