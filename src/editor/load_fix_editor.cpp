// The editor's side of load-fix mode: where the dialog opens when the block
// loader hands it a stored formula that no longer parses.
#include "editor/load_fix_editor.h"

#include "core/core.h"
#include "platform/ui/ui.h"

namespace xev::editor {
namespace {

// The editor is owned by the nearest visible, enabled window on the way up
// from the host's window for the context, or the topmost one when none is.
HWND LoadFixOwner(const ExprContext* ec) {
  HWND window = reinterpret_cast<HWND>(ec->hostValue);
  while (window != nullptr) {
    if (ui::IsWindowVisible(window) && ui::IsWindowEnabled(window)) return window;
    auto parent = reinterpret_cast<HWND>(ui::GetWindowLongA(window, ui::GWL_HWNDPARENT));
    if (parent == nullptr) return window;
    window = parent;
  }
  return nullptr;
}

}  // namespace

HEXP EditFailingFormula(ExprContext* ec) { return XEVBuildExpression(LoadFixOwner(ec), ec, nullptr, 0); }

}  // namespace xev::editor
