// The formula editor's dialog procedure: it hands each message to the piece
// of the editor that owns it.
#include "editor/editor_view.h"
#include "persist/load_fix.h"
#include "xev/xevui.h"

namespace xev::editor {
namespace {

using namespace xev::ui;

constexpr int32_t kHelpKindTopic = 257;
constexpr int32_t kHelpKindContext = 1;
constexpr intptr_t kHelpEditor = 400;
constexpr intptr_t kHelpEditorWithModes = 401;

void AnswerHelpQuery(HWND dialog, HWND focus, XEVHelpCallback callback) {
  if (callback == nullptr) return;
  HWND functions = GetDlgItem(dialog, kIdFunctions);
  auto index = SendMessageA(functions, LB_GETCURSEL, 0, 0);
  if (focus == functions && index >= 0) {
    char* name = ListEntryText(functions, static_cast<int32_t>(index));
    if (name == nullptr) return;
    callback(kHelpKindTopic, reinterpret_cast<intptr_t>(name));
    HostFree(name);
    return;
  }
  callback(kHelpKindContext, HasValueLists() && !InLoadFix() ? kHelpEditorWithModes : kHelpEditor);
}

void OnLoadErrorTimer(HWND dialog) {
  KillTimer(dialog, kLoadErrorTimer);
  const persist::LoadFixState& fix = persist::CurrentLoadFix();
  ShowLoadError(dialog, fix.failingText, &fix.error);
}

}  // namespace
}  // namespace xev::editor

using namespace xev::editor;
using namespace xev::ui;

extern "C" XEV_API intptr_t XEV_CALL XevDlgProc(XEVHWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (lParam == 0) {
        EndDialog(dialog, 0);
        return 1;
      }
      OpenEditorDialog(dialog, reinterpret_cast<EditorParams*>(lParam));
      return 0;
    case WM_MEASUREITEM:
      MeasureFormulaEntry(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return 1;
    case WM_DRAWITEM:
      DrawFormulaEntry(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 1;
    case WM_COMMAND:
      if (Editor().dialog != dialog) return 0;
      OnCommand(dialog, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 1;
    case WM_TIMER:
      if (wParam == kLoadErrorTimer) OnLoadErrorTimer(dialog);
      if (wParam == kLiveCheckTimer) RunLiveCheck(dialog);
      return 1;
    case kMsgNextPlaceholder:
      SelectNextPlaceholder(dialog);
      return 1;
    case kMsgHelpQuery:
      AnswerHelpQuery(dialog, reinterpret_cast<HWND>(wParam), reinterpret_cast<XEVHelpCallback>(lParam));
      return 0;
    case WM_DESTROY:
      CloseEditorDialog();
      return 0;
    default: return 0;
  }
}
