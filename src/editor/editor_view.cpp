// What the editor shows follows its state: the window caption, the status
// line, the captions that follow the mode or the selected expression, the
// Delete button, and the text and name of the current expression.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "editor/editor_view.h"
#include "persist/load_fix.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr uint32_t kEditorLabel[] = {207, 212, 213};    // "Formula Editor", "Range Editor", "Set Editor"
constexpr uint32_t kNewEntryLabel[] = {201, 210, 211};  // "[ New Formula ]", ...
constexpr uint32_t kModeHelp[] = {232, 233, 234};
constexpr uint32_t kSelectCaption[] = {235, 236, 237};
constexpr uint32_t kShowTextCaption[] = {238, 239, 240};

int32_t Clamp(int32_t mode) { return mode >= kModeFormula && mode <= kModeSet ? mode : kModeFormula; }

}  // namespace

const char* NewEntryLabel(int32_t mode, char* buffer) {
  return LoadLabel(kNewEntryLabel[Clamp(mode)], buffer, kLabelSize);
}

const char* EditorLabel(int32_t mode, char* buffer) { return LoadLabel(kEditorLabel[Clamp(mode)], buffer, kLabelSize); }

bool HasValueLists() {
  EditorState& e = Editor();
  return e.ec != nullptr && e.ec->listValuesCallback != nullptr;
}

void UpdateCaption(HWND dialog) {
  EditorState& e = Editor();
  char label[kLabelSize];
  EditorLabel(e.mode, label);
  char* name = nullptr;
  char newEntry[kLabelSize];
  const char* shown = nullptr;
  if (e.current != nullptr) {
    int32_t length = XEVGetExpressionNameLength(e.ec, e.current);
    name = static_cast<char*>(HostAlloc(static_cast<size_t>(length) + 1));
    if (name != nullptr) XEVGetExpressionName(e.ec, e.current, length + 1, name);
    shown = name;
  } else if (InLoadFix()) {
    shown = persist::CurrentLoadFix().failingName;
  } else {
    shown = NewEntryLabel(e.mode, newEntry);
  }
  char* caption = nullptr;
  if (shown != nullptr) {
    size_t size = std::strlen(label) + 3 + std::strlen(shown) + 1;
    caption = static_cast<char*>(HostAlloc(size));
    if (caption != nullptr) std::snprintf(caption, size, "%s - %s", label, shown);
  }
  // Out of memory the editor's label alone still says what the window is.
  SetWindowTextA(dialog, caption != nullptr ? caption : label);
  HostFree(caption);
  HostFree(name);
}

void UpdateStatusLine(HWND dialog) {
  char help[kLabelSize * 4];
  SetDlgItemTextA(dialog, kIdStatus, LoadLabel(kModeHelp[Clamp(Editor().mode)], help, sizeof help));
}

void UpdateSelectCaptions(HWND dialog) {
  if (!HasValueLists() || InLoadFix()) return;
  auto index = static_cast<int32_t>(SendDlgItemMessageA(dialog, kIdFormulas, LB_GETCURSEL, 0, 0));
  int32_t kind = Editor().mode;
  if (index >= 1) {
    HEXP exp = SelectedExpression(dialog);
    if (exp != nullptr) kind = KindOf(exp);
  }
  char caption[kLabelSize];
  SetDlgItemTextA(dialog, kIdSelect, LoadLabel(kSelectCaption[Clamp(kind)], caption, sizeof caption));
  SetDlgItemTextA(dialog, kIdShowText, LoadLabel(kShowTextCaption[Clamp(kind)], caption, sizeof caption));
}

void UpdateDeleteButton(HWND dialog) {
  EditorState& e = Editor();
  bool enable = false;
  if (!InLoadFix() && e.ec != nullptr && e.ec->delPermissionCallback != nullptr) {
    HEXP exp = SelectedExpression(dialog);
    if (exp != nullptr) enable = XEVIsNamedFormulaUsed(e.ec, exp->name) == 0;
  }
  EnableWindow(GetDlgItem(dialog, kIdDelete), enable ? 1 : 0);
}

int32_t FindEntryByOrdinal(HWND list, int32_t ordinal) {
  auto count = static_cast<int32_t>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int32_t i = 0; i < count; ++i)
    if (SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0) == ordinal) return i;
  return -1;
}

void ShowCurrentExpression(HWND dialog) {
  EditorState& e = Editor();
  if (e.current == nullptr) return;
  char* text = nullptr;
  int32_t textLength = XEVGetExpressionTextLength(e.ec, e.current);
  text = static_cast<char*>(HostAlloc(static_cast<size_t>(textLength) + 1));
  if (text != nullptr) {
    XEVGetExpressionText(e.ec, e.current, textLength + 1, text);
    SetDlgItemTextA(dialog, kIdFormulaText, text);
    HostFree(text);
  }
  SetDlgItemTextA(dialog, kIdName, e.current->name);
  // A formula that others use keeps its name: they refer to it by it.
  bool used = XEVIsNamedFormulaUsed(e.ec, e.current->name) != 0;
  EnableWindow(GetDlgItem(dialog, kIdName), used ? 0 : 1);
  EnableWindow(GetDlgItem(dialog, kIdNameLabel), used ? 0 : 1);
  HWND list = GetDlgItem(dialog, kIdFormulas);
  int32_t entry = FindEntryByOrdinal(list, XEVGetExpressionOrdinal(e.ec, e.current));
  if (entry >= 0) {
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(entry), 0);
  }
  EnableWindow(GetDlgItem(dialog, kIdShowText), 1);
}

void ShowGeneratedName(HWND dialog) {
  SetDlgItemTextA(dialog, kIdName, core::GenerateExpressionName(Editor().ec, Editor().mode));
}

void RefreshFromCurrent(HWND dialog) {
  EditorState& e = Editor();
  if (e.current != nullptr) {
    ShowCurrentExpression(dialog);
    if (e.textView != nullptr)
      SendMessageA(e.textView, kMsgShowExpression, static_cast<WPARAM>(e.mode), reinterpret_cast<LPARAM>(e.current));
  } else {
    SetDlgItemTextA(dialog, kIdFormulaText, "");
    ShowGeneratedName(dialog);
    EnableWindow(GetDlgItem(dialog, kIdName), 1);
    EnableWindow(GetDlgItem(dialog, kIdNameLabel), 1);
  }
  DataItemSelectionChanged(dialog, 0);
  ClearModified(dialog);
  UpdateCaption(dialog);
  UpdateEditButtons(dialog);
}

void ClearModified(HWND dialog) {
  SendDlgItemMessageA(dialog, kIdFormulaText, EM_SETMODIFY, 0, 0);
  SendDlgItemMessageA(dialog, kIdName, EM_SETMODIFY, 0, 0);
}

void UpdateOkButton(HWND dialog) {
  bool ready = GetWindowTextLengthA(GetDlgItem(dialog, kIdFormulaText)) > 0 &&
               GetWindowTextLengthA(GetDlgItem(dialog, kIdName)) > 0;
  EnableWindow(GetDlgItem(dialog, IDOK), ready ? 1 : 0);
}

}  // namespace xev::editor
