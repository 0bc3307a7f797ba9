// The value list (placeholder until it lands).
#include "editor/editor_state.h"
#include "xev/xevui.h"

extern "C" {
XEV_API intptr_t XEV_CALL XevListValuesDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }
}
