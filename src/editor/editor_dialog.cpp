// The formula editor's dialog procedure (being written).
#include "editor/editor_state.h"
#include "xev/xevui.h"

namespace xev::editor {
void FormulasSelectionFollowUp(HWND, bool) {}
void UpdateSelectCaptions(HWND) {}
void DataItemSelectionChanged(HWND, int32_t) {}
void TextViewClosed() {}
void ValueListClosed() {}
}  // namespace xev::editor

extern "C" XEV_API intptr_t XEV_CALL XevDlgProc(XEVHWND, uint32_t, uintptr_t, intptr_t) { return 0; }
