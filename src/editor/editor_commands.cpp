// What the editor's buttons and lists do: OK and Cancel, Select, Delete, the
// mode buttons, Show Text and the values button, the edit buttons, and the
// insertions of the operator and numeric pad buttons and of the lists.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/core.h"
#include "editor/editor_view.h"
#include "persist/load_fix.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr uint32_t kDeleteDenied = 205;
constexpr uint32_t kDeleteQuestion = 204;
constexpr uint32_t kDeleteCaption[] = {206, 243, 244};  // by kind
constexpr uint32_t kKindWord[] = {216, 214, 215};       // "Formula", "Range", "Set"
constexpr uint32_t kValuesCaptionClosed = 245;
constexpr uint32_t kValuesCaptionOpen = 246;

int32_t FormulasSelection(HWND dialog) {
  return static_cast<int32_t>(SendDlgItemMessageA(dialog, kIdFormulas, LB_GETCURSEL, 0, 0));
}

void OnOk(HWND dialog) {
  EditorState& e = Editor();
  HEXP saved = Save(dialog);
  if (saved == nullptr && persist::CurrentLoadFix().pendingAccept == nullptr) return;
  e.params->result = saved;
  EndDialog(dialog, 0);
}

void OnCancel(HWND dialog) {
  Editor().params->result = nullptr;
  EndDialog(dialog, 0);
}

// Moves the editor to a mode: the new-entry label, caption and status line
// follow; a user's click also starts a new expression of that mode.
void ApplyMode(HWND dialog, int32_t mode, bool byUser) {
  EditorState& e = Editor();
  e.mode = mode;
  HWND list = GetDlgItem(dialog, kIdFormulas);
  auto selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
  char label[kLabelSize];
  SendMessageA(list, LB_DELETESTRING, 0, 0);
  SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(NewEntryLabel(mode, label)));
  SendMessageA(list, LB_SETITEMDATA, 0, -1);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  CheckRadioButton(dialog, kIdModeFormula, kIdModeSet, kIdModeFormula + mode);
  UpdateCaption(dialog);
  UpdateStatusLine(dialog);
  if (!byUser) return;
  e.current = nullptr;
  RefreshFromCurrent(dialog);
  FillModeTemplate(dialog);
  ClearModified(dialog);
  SetFocus(GetDlgItem(dialog, kIdFormulaText));
}

void OnModeButton(HWND dialog, int32_t mode) {
  EditorState& e = Editor();
  if (mode == e.mode) return;
  if (!SavePromptAllows(dialog)) {
    CheckRadioButton(dialog, kIdModeFormula, kIdModeSet, kIdModeFormula + e.mode);
    return;
  }
  ApplyMode(dialog, mode, true);
}

void OnSelect(HWND dialog) {
  EditorState& e = Editor();
  int32_t index = FormulasSelection(dialog);
  if (index < 0 || !SavePromptAllows(dialog)) return;
  // The prompt's save may have changed the list; the selection still names the entry.
  index = FormulasSelection(dialog);
  e.current = index >= 1 ? SelectedExpression(dialog) : nullptr;
  if (e.current != nullptr) {
    int32_t kind = KindOf(e.current);
    if (kind != e.mode) ApplyMode(dialog, kind, false);
  }
  RefreshFromCurrent(dialog);
  if (e.current == nullptr) FillModeTemplate(dialog);
  ClearModified(dialog);
  SetFocus(GetDlgItem(dialog, kIdFormulaText));
}

// Entries after a deleted expression name ordinals one lower now.
void Renumber(HWND list, int32_t removedOrdinal) {
  auto count = static_cast<int32_t>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int32_t i = 1; i < count; ++i) {
    LRESULT ordinal = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0);
    if (ordinal > removedOrdinal) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(i), ordinal - 1);
  }
}

void OnDelete(HWND dialog) {
  EditorState& e = Editor();
  int32_t index = FormulasSelection(dialog);
  HEXP exp = index >= 1 ? SelectedExpression(dialog) : nullptr;
  if (exp == nullptr || e.ec->delPermissionCallback == nullptr) return;
  int32_t kind = KindOf(exp);
  char caption[kLabelSize];
  LoadLabel(kDeleteCaption[kind], caption, sizeof caption);
  if (e.ec->delPermissionCallback(e.ec, exp, dialog) == 0) {
    char denied[kLabelSize];
    MessageBoxA(dialog, LoadLabel(kDeleteDenied, denied, sizeof denied), caption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  char question[kLabelSize], word[kLabelSize], text[2 * kLabelSize];
  LoadLabel(kDeleteQuestion, question, sizeof question);
  LoadLabel(kKindWord[kind], word, sizeof word);
  std::snprintf(text, sizeof text, "%s%s", question, word);
  if (MessageBoxA(dialog, text, caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
  int32_t ordinal = XEVGetExpressionOrdinal(e.ec, exp);
  bool wasCurrent = exp == e.current;
  if (XEVDestroyEXP(e.ec, exp) == 0) return;
  HWND list = GetDlgItem(dialog, kIdFormulas);
  SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  Renumber(list, ordinal);
  HostListFilled(list);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  for (int32_t id : {static_cast<int32_t>(kIdDelete), static_cast<int32_t>(kIdSelect), static_cast<int32_t>(kIdShowText)})
    EnableWindow(GetDlgItem(dialog, id), 0);
  if (wasCurrent) {
    e.current = nullptr;
    RefreshFromCurrent(dialog);
  }
  if (e.textView != nullptr) SendMessageA(e.textView, kMsgShowExpression, static_cast<WPARAM>(e.mode), 0);
}

void ShowSelectedInTextView(HWND dialog) {
  EditorState& e = Editor();
  HEXP exp = FormulasSelection(dialog) >= 1 ? SelectedExpression(dialog) : nullptr;
  SendMessageA(e.textView, kMsgShowExpression, static_cast<WPARAM>(e.mode), reinterpret_cast<LPARAM>(exp));
}

void OnShowText(HWND dialog) {
  EditorState& e = Editor();
  if (e.textView == nullptr) {
    if (FormulasSelection(dialog) == 0) return;
    e.textView = CreateDialogParamA(nullptr, "EXPTEXTVIEW", dialog, XevViewTextDlgProc, 0);
    if (e.textView == nullptr) return;
    EnableWindow(GetDlgItem(dialog, kIdShowText), 0);
  }
  ShowSelectedInTextView(dialog);
}

// Asks the host for the selected data item's values; nothing without a selection.
void FillValueList(HWND dialog, int32_t firstFill) {
  EditorState& e = Editor();
  HWND items = GetDlgItem(dialog, kIdDataItems);
  auto index = SendMessageA(items, LB_GETCURSEL, 0, 0);
  if (index < 0 || e.valueList == nullptr || e.ec->listValuesCallback == nullptr) return;
  char* name = ListEntryText(items, static_cast<int32_t>(index));
  if (name == nullptr) return;
  SendMessageA(e.valueList, kMsgShowValuesOf, 0, reinterpret_cast<LPARAM>(name));
  HWND listBox = GetDlgItem(e.valueList, kIdCompanionControl);
  e.ec->listValuesCallback(e.ec, name, listBox, firstFill, &e.keepValuesEnabled);
  HostFree(name);
}

void OnValues(HWND dialog) {
  EditorState& e = Editor();
  HWND button = GetDlgItem(dialog, kIdValues);
  if (e.valueList == nullptr) {
    e.valueList = CreateDialogParamA(nullptr, "LISTVALUES", dialog, XevListValuesDlgProc, 0);
    if (e.valueList == nullptr) return;
    FillValueList(dialog, 1);
    if (!e.keepValuesEnabled) EnableWindow(button, 0);
  } else {
    FillValueList(dialog, 0);
    EnableWindow(button, 0);
  }
  char caption[kLabelSize];
  SetWindowTextA(button, LoadLabel(e.valueList != nullptr ? kValuesCaptionOpen : kValuesCaptionClosed, caption,
                                   sizeof caption));
}

void OnEditButton(HWND dialog, UINT message) {
  HWND edit = GetDlgItem(dialog, kIdFormulaText);
  SendMessageA(edit, message, 0, 0);
  UpdateEditButtons(dialog);
  SetFocus(edit);
}

void OnListNotification(HWND dialog, int32_t id, int32_t code, HWND list) {
  if (code == LBN_DBLCLK) {
    InsertListEntry(list);
    return;
  }
  if (code != LBN_SELCHANGE) return;
  if (id == kIdDataItems || id == kIdFunctions) ShowSelectionHelp(dialog, id);
  if (id == kIdDataItems) DataItemSelectionChanged(dialog, 1);
}

}  // namespace

void OnCommand(HWND dialog, int32_t id, int32_t code, HWND control) {
  if (id == kIdDataItems || id == kIdFunctions || id == kIdFormulas) {
    OnListNotification(dialog, id, code, control);
    return;
  }
  if (id == kIdFormulaText || id == kIdName) {
    if (code != EN_CHANGE) return;
    UpdateOkButton(dialog);
    if (id == kIdFormulaText) ScheduleLiveCheck(dialog);
    return;
  }
  if (code != BN_CLICKED) return;
  if (const char* insertion = ButtonInsertion(Editor().ec, id)) {
    InsertText(GetDlgItem(dialog, kIdFormulaText), insertion, static_cast<int32_t>(std::strlen(insertion)));
    return;
  }
  switch (id) {
    case IDOK: OnOk(dialog); return;
    case IDCANCEL: OnCancel(dialog); return;
    case kIdSelect: OnSelect(dialog); return;
    case kIdDelete: OnDelete(dialog); return;
    case kIdShowText: OnShowText(dialog); return;
    case kIdValues: OnValues(dialog); return;
    case kIdModeFormula:
    case kIdModeRange:
    case kIdModeSet: OnModeButton(dialog, id - kIdModeFormula); return;
    case kIdCopy: OnEditButton(dialog, WM_COPY); return;
    case kIdCut: OnEditButton(dialog, WM_CUT); return;
    case kIdPaste: OnEditButton(dialog, WM_PASTE); return;
    case kIdClear: OnEditButton(dialog, WM_CLEAR); return;
    case kIdParens:
      WrapSelection(GetDlgItem(dialog, kIdFormulaText));
      EnableWindow(GetDlgItem(dialog, kIdParens), 0);
      UpdateEditButtons(dialog);
      return;
    default: return;
  }
}

void DataItemSelectionChanged(HWND dialog, int32_t firstFill) {
  EditorState& e = Editor();
  if (!HasValueLists()) return;
  HWND button = GetDlgItem(dialog, kIdValues);
  bool selected = SendDlgItemMessageA(dialog, kIdDataItems, LB_GETCURSEL, 0, 0) >= 0;
  EnableWindow(button, selected ? 1 : 0);
  char caption[kLabelSize];
  SetWindowTextA(button, LoadLabel(e.valueList != nullptr ? kValuesCaptionOpen : kValuesCaptionClosed, caption,
                                   sizeof caption));
  if (!selected || e.valueList == nullptr) return;
  FillValueList(dialog, firstFill);
  if (!e.keepValuesEnabled) EnableWindow(button, 0);
}

void FormulasSelectionFollowUp(HWND dialog, bool openTextView) {
  EditorState& e = Editor();
  if (!InLoadFix()) EnableWindow(GetDlgItem(dialog, kIdSelect), 1);
  UpdateDeleteButton(dialog);
  if (e.textView != nullptr) {
    ShowSelectedInTextView(dialog);
  } else if (openTextView) {
    OnShowText(dialog);
  } else {
    EnableWindow(GetDlgItem(dialog, kIdShowText), FormulasSelection(dialog) >= 1 ? 1 : 0);
  }
  UpdateSelectCaptions(dialog);
}

void TextViewClosed() {
  EditorState& e = Editor();
  e.textView = nullptr;
  if (e.dialog == nullptr) return;
  EnableWindow(GetDlgItem(e.dialog, kIdShowText), FormulasSelection(e.dialog) >= 1 ? 1 : 0);
}

void ValueListClosed() {
  EditorState& e = Editor();
  e.valueList = nullptr;
  if (e.dialog != nullptr) DataItemSelectionChanged(e.dialog, 0);
}

}  // namespace xev::editor
