// The entry points of the formula editor: they run the modal dialog EXPBILD
// and hand back what the user saved. When the dialog cannot be made, error
// 131 is shown and nothing is saved, which a load in load-fix mode treats as
// the user cancelling.
#include <cstring>

#include "editor/editor_state.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

constexpr intptr_t kDialogNotCreated = -1;

// XEVBuildExpressionOfType's type argument: 1 a set, 2 a range.
constexpr int32_t kTypeSet = 1;
constexpr int32_t kTypeRange = 2;

EditorMode ModeOfType(int32_t type) {
  if (type == kTypeSet) return kModeSet;
  if (type == kTypeRange) return kModeRange;
  return kModeFormula;
}

HEXP OpenEditor(HWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength, EditorMode mode, const char* itemName) {
  EditorState& editor = Editor();
  // One editor at a time: its state is the library's one editor state.
  if (ec == nullptr || editor.params != nullptr) return nullptr;
  EditorParams params{ec, exp, nullptr, maxLength};
  editor = EditorState{};
  editor.params = &params;
  editor.mode = mode;
  if (itemName != nullptr) {
    size_t length = std::strlen(itemName);
    if (length > sizeof editor.preselect - 1) length = sizeof editor.preselect - 1;
    std::memcpy(editor.preselect, itemName, length);
  }
  intptr_t result = ui::DialogBoxParamA(nullptr, "EXPBILD", owner, XevDlgProc, reinterpret_cast<LPARAM>(&params));
  editor = EditorState{};
  if (result != kDialogNotCreated) return params.result;
  ExprError error{XEV_ERR_MEMLOW, 0, 0};
  XEVErrorDisplay(owner, "", &error);
  return nullptr;
}

}  // namespace
}  // namespace xev::editor

using namespace xev::editor;

extern "C" XEV_API HEXP XEV_CALL XEVBuildExpression(XEVHWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength) {
  return OpenEditor(owner, ec, exp, maxLength, kModeFormula, nullptr);
}

extern "C" XEV_API HEXP XEV_CALL XEVBuildExpressionOfType(XEVHWND owner, ExprContext* ec, HEXP exp,
                                                          uint16_t maxLength, int32_t type,
                                                          const char* itemName) {
  return OpenEditor(owner, ec, exp, maxLength, ModeOfType(type), itemName);
}
