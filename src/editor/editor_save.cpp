// Saving what the editor holds: the parse, the error shown with its span,
// the question when the kind of the result is not the mode's, the formulas
// list kept in step, and the load-fix case of a formula that waits for one
// stored later in the block.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "editor/editor_view.h"
#include "language/language.h"
#include "persist/load_fix.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr uint32_t kSavePrompt = 202;
constexpr uint32_t kSaveCaption[] = {203, 241, 242};
constexpr uint32_t kWarningSuffix = 226;

// The question when a result's kind is not the mode's, by [mode][kind].
constexpr uint32_t kKindQuestion[3][3] = {{0, 220, 221}, {222, 0, 223}, {224, 225, 0}};

void ShowMemoryError(HWND dialog) {
  ExprError error{XEV_ERR_MEMORY, 0, 0};
  XEVErrorDisplay(dialog, "", &error);
}

// A copy "text\0name\0" that the loader takes over and tries again later.
bool LeavePendingAccept(const char* text, const char* name) {
  size_t textLength = std::strlen(text), nameLength = std::strlen(name);
  auto* buffer = static_cast<char*>(HostAlloc(textLength + nameLength + 2));
  if (buffer == nullptr) return false;
  std::memcpy(buffer, text, textLength + 1);
  std::memcpy(buffer + textLength + 1, name, nameLength + 1);
  persist::LoadFixState& fix = persist::CurrentLoadFix();
  HostFree(fix.pendingAccept);
  fix.pendingAccept = buffer;
  return true;
}

bool WaitsForALaterFormula(const char* text, const ExprError& error) {
  if (!InLoadFix() || error.code != XEV_ERR_FUNC) return false;
  const persist::LoadFixState& fix = persist::CurrentLoadFix();
  return persist::LoadNameIsInBlock(text, fix.records, fix.recordsLength, &error, fix.recordCount) != 0;
}

void ReportParseFailure(HWND dialog, const char* text, const char* name) {
  ExprError error = language::ParseError();
  if (error.code == XEV_ERR_NAME || error.code == XEV_ERR_DUPNAME) {
    error.pos = 0;
    error.len = static_cast<uint32_t>(std::strlen(name));
    XEVErrorDisplay(dialog, name, &error);
  } else if (WaitsForALaterFormula(text, error) && LeavePendingAccept(text, name)) {
    return;
  } else {
    XEVErrorDisplay(dialog, text, &error);
  }
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  SendMessageA(edit, EM_SETSEL, error.pos, error.pos + error.len);
  SetFocus(edit);
}

// false when the user would rather not keep a result of another kind.
bool KindAccepted(HWND dialog, HEXP saved) {
  EditorState& e = Editor();
  if (!HasValueLists() || InLoadFix()) return true;
  int32_t kind = KindOf(saved);
  if (kind == e.mode) return true;
  char label[kLabelSize], suffix[kLabelSize], question[kLabelSize];
  EditorLabel(e.mode, label);
  LoadLabel(kWarningSuffix, suffix, sizeof suffix);
  LoadLabel(kKindQuestion[e.mode][kind], question, sizeof question);
  char caption[2 * kLabelSize];
  std::snprintf(caption, sizeof caption, "%s%s", label, suffix);
  if (MessageBoxA(dialog, question, caption, MB_YESNO | MB_ICONSTOP) == IDYES) return true;
  XEVDestroyEXP(e.ec, saved);
  return false;
}

void KeepListInStep(HWND dialog, HEXP saved, bool added) {
  EditorState& e = Editor();
  HWND list = GetDlgItem(dialog, kIdFormulas);
  int32_t ordinal = XEVGetExpressionOrdinal(e.ec, saved);
  auto selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (added) {
    auto index = SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(saved->name));
    if (index >= 0) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), ordinal);
  } else {
    int32_t entry = FindEntryByOrdinal(list, ordinal);
    if (entry < 0) return;
    char* shown = ListEntryText(list, entry);
    if (shown == nullptr) return;
    bool renamed = std::strcmp(shown, saved->name) != 0;
    HostFree(shown);
    if (!renamed) return;
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(entry), 0);
    auto index = SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(saved->name));
    if (index >= 0) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(index), ordinal);
  }
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  HostListFilled(list);
}

// In Set mode the repeat placeholder that invites more elements is not part
// of the set: the text is cut where it starts.
void CutRepeatPlaceholder(HWND dialog, char* text) {
  EditorState& e = Editor();
  if (e.mode != kModeSet || e.expressionRepeat[0] == 0) return;
  char* at = std::strstr(text, e.expressionRepeat);
  if (at == nullptr) return;
  *at = 0;
  SetDlgItemTextA(dialog, kIdFormulaText, text);
}

}  // namespace

HEXP Save(HWND dialog) {
  EditorState& e = Editor();
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  if (GetWindowTextLengthA(edit) == 0) return nullptr;
  char* text = CopyWindowText(edit);
  char* name = CopyWindowText(GetDlgItem(dialog, kIdName));
  if (text == nullptr || name == nullptr) {
    HostFree(text);
    HostFree(name);
    ShowMemoryError(dialog);
    return nullptr;
  }
  CutRepeatPlaceholder(dialog, text);
  HEXP existing = e.current;
  uint16_t type = 0;
  HEXP saved = XEVParseFormula(e.ec, existing, text, name, nullptr, &type);
  if (saved == nullptr) {
    ReportParseFailure(dialog, text, name);
  } else if (!KindAccepted(dialog, saved)) {
    saved = nullptr;
  } else {
    KeepListInStep(dialog, saved, existing == nullptr);
  }
  HostFree(text);
  HostFree(name);
  return saved;
}

bool SavePromptAllows(HWND dialog) {
  bool modified = SendDlgItemMessageA(dialog, kIdFormulaText, EM_GETMODIFY, 0, 0) != 0 ||
                  SendDlgItemMessageA(dialog, kIdName, EM_GETMODIFY, 0, 0) != 0;
  if (!modified) return true;
  char question[kLabelSize], caption[kLabelSize];
  int32_t mode = Editor().mode;
  LoadLabel(kSavePrompt, question, sizeof question);
  LoadLabel(kSaveCaption[mode >= 0 && mode <= 2 ? mode : 0], caption, sizeof caption);
  switch (MessageBoxA(dialog, question, caption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES: return Save(dialog) != nullptr;
    case IDNO: return true;
    default: return false;
  }
}

}  // namespace xev::editor
