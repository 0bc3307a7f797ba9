// Text building in the formula edit (placeholder until it lands).
#include "editor/editor_state.h"

namespace xev::editor {
void InsertText(HWND, const char*, int32_t) {}
void InsertListEntry(HWND) {}
bool BuildCallTemplate(const ExpItem*, char* buffer, int32_t size) {
  if (size > 0) buffer[0] = 0;
  return true;
}
void WrapSelection(HWND) {}
void FillModeTemplate(HWND) {}
void SelectNextPlaceholder(HWND) {}
void UpdateEditButtons(HWND) {}
}  // namespace xev::editor
