// The entry points of the formula editor. The editor runs as a modal dialog;
// until the windowing kit it runs on exists, no dialog can be created, and
// both entry points take the path the library takes when creation fails:
// error 131 is shown and nothing is saved, which a load in load-fix mode
// treats as the user cancelling.
#include "platform/platform.h"
#include "xev/xev.h"

namespace xev::editor {
namespace {

constexpr uint32_t kErrDialogNotCreated = 131;
constexpr intptr_t kDialogNotCreated = -1;

enum EditorMode : int32_t { kFormulaMode = 0, kSetMode = 1, kRangeMode = 2 };

// Runs the editor dialog and returns what the dialog ended with, -1 when it
// could not be created. This is the one place the dialog plugs in.
intptr_t RunEditorDialog(HWND /*owner*/, ExprContext* /*ec*/, HEXP /*exp*/, uint16_t /*maxLength*/,
                         EditorMode /*mode*/, const char* /*itemName*/, HEXP* /*saved*/) {
  return kDialogNotCreated;
}

HEXP OpenEditor(HWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength, EditorMode mode,
                const char* itemName) {
  HEXP saved = nullptr;
  if (RunEditorDialog(owner, ec, exp, maxLength, mode, itemName, &saved) != kDialogNotCreated) return saved;
  ExprError error{kErrDialogNotCreated, 0, 0};
  XEVErrorDisplay(owner, "", &error);
  return nullptr;
}

EditorMode ModeOfType(int32_t type) {
  if (type == 1) return kSetMode;
  if (type == 2) return kRangeMode;
  return kFormulaMode;
}

}  // namespace
}  // namespace xev::editor

using namespace xev::editor;

extern "C" XEV_API HEXP XEV_CALL XEVBuildExpression(HWND owner, ExprContext* ec, HEXP exp, uint16_t maxLength) {
  return OpenEditor(owner, ec, exp, maxLength, kFormulaMode, nullptr);
}

extern "C" XEV_API HEXP XEV_CALL XEVBuildExpressionOfType(HWND owner, ExprContext* ec, HEXP exp,
                                                          uint16_t maxLength, int32_t type,
                                                          const char* itemName) {
  return OpenEditor(owner, ec, exp, maxLength, ModeOfType(type), itemName);
}
