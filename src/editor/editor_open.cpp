// Opening the editor: its state, the subclassed controls, the three lists,
// the buttons that depend on the context, the current expression or the one
// a load could not parse, and the data item to preselect.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/core.h"
#include "core/item_store.h"
#include "editor/editor_view.h"
#include "persist/load_fix.h"

namespace xev::editor {

using namespace xev::ui;

namespace {

constexpr int32_t kNameLimit = 64;
constexpr const char* kRepeatFormat = "[,%s...]";
constexpr const char* kModeBitmaps[] = {"formulal", "rangel", "setl"};
constexpr int32_t kGap = 2;

WNDPROC Subclass(HWND dialog, int32_t id, XEVUiDialogProc procedure) {
  return reinterpret_cast<WNDPROC>(
      SetWindowLongA(GetDlgItem(dialog, id), GWL_WNDPROC, reinterpret_cast<intptr_t>(procedure)));
}

void PreparePlaceholders(EditorState& e) {
  char any[kTypeLabelSize];
  LoadLabel(209, e.placeholder, sizeof e.placeholder);
  std::snprintf(e.expressionRepeat, sizeof e.expressionRepeat, kRepeatFormat, e.placeholder);
  std::snprintf(e.argumentRepeat, sizeof e.argumentRepeat, kRepeatFormat, TypeLabel(XEV_TYPE_ANY, any));
}

void LoadModeBitmaps(EditorState& e) {
  for (int32_t i = 0; i < 3; ++i) e.bitmaps[i] = LoadBitmapA(nullptr, kModeBitmaps[i]);
  BITMAP size{};
  if (e.bitmaps[0] != nullptr && GetObjectA(e.bitmaps[0], sizeof size, &size) != 0) {
    e.bitmapWidth = size.bmWidth;
    e.bitmapHeight = size.bmHeight;
  }
}

void AddNames(HWND list, core::HGLOBAL items, bool keywordsOnly) {
  uint32_t count = core::HandleArrayCount(items);
  for (uint32_t i = 0; i < count; ++i) {
    ExpItem* item = core::ItemAt(items, i);
    if (item == nullptr || (keywordsOnly && item->dataType >= 255)) continue;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item->name));
  }
}

// An expression the user never named and that is only a constant or a data
// item is the host's own business unless the context asks to list them all.
bool Listed(ExprContext* ec, HEXP exp) {
  if (ec->flags & ECF_LIST_ALL_EXPRESSIONS) return true;
  bool plain = XEVIsExpressionSimple(ec, exp) != 0 || XEVIsExpressionSimpleInput(ec, exp) != 0;
  return !(plain && XEVIsExpNameGenerated(ec, exp) != 0);
}

void FillLists(HWND dialog) {
  EditorState& e = Editor();
  HWND items = GetDlgItem(dialog, kIdDataItems);
  AddNames(items, e.ec->dataItems, false);
  AddNames(items, e.ec->keywordItems, true);
  HostListFilled(items);
  HWND functions = GetDlgItem(dialog, kIdFunctions);
  AddNames(functions, e.ec->functionItems, false);
  HostListFilled(functions);

  HWND formulas = GetDlgItem(dialog, kIdFormulas);
  char label[kLabelSize];
  auto index = SendMessageA(formulas, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(NewEntryLabel(e.mode, label)));
  SendMessageA(formulas, LB_SETITEMDATA, static_cast<WPARAM>(index), -1);
  int32_t count = XEVGetExpressionCount(e.ec);
  for (int32_t ordinal = 0; ordinal < count; ++ordinal) {
    HEXP exp = XEVHEXPFromOrdinal(e.ec, ordinal);
    if (exp == nullptr || !Listed(e.ec, exp)) continue;
    index = SendMessageA(formulas, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(exp->name));
    if (index >= 0) SendMessageA(formulas, LB_SETITEMDATA, static_cast<WPARAM>(index), ordinal);
  }
  HostListFilled(formulas);
}

// The "||" button: shown when concatenation or the modulo operator is offered,
// and then it needs the Operators group to be taller by its own height.
void PlaceOperatorButton(HWND dialog) {
  EditorState& e = Editor();
  HWND button = GetDlgItem(dialog, kIdConcat);
  bool modulo = (e.ec->flags & ECF_MODULO) != 0;
  if (e.ec->pipeAllowed == 0 && !modulo) {
    ShowWindow(button, SW_HIDE);
    return;
  }
  HWND group = GetDlgItem(dialog, kIdOperatorsGroup);
  RECT dialogRect, groupRect, buttonRect;
  GetWindowRect(dialog, &dialogRect);
  GetWindowRect(group, &groupRect);
  GetWindowRect(button, &buttonRect);
  MoveWindow(group, groupRect.left - dialogRect.left, groupRect.top - dialogRect.top, groupRect.right - groupRect.left,
             groupRect.bottom - groupRect.top + (buttonRect.bottom - buttonRect.top), 1);
  if (e.ec->pipeAllowed == 0) SetWindowTextA(button, "%");
}

void ShowLoadFixFormula(HWND dialog) {
  const persist::LoadFixState& fix = persist::CurrentLoadFix();
  SetDlgItemTextA(dialog, kIdName, fix.failingName);
  SetDlgItemTextA(dialog, kIdFormulaText, fix.failingText);
  SendDlgItemMessageA(dialog, kIdFormulaText, EM_SETSEL, fix.error.pos, fix.error.pos + fix.error.len);
  SendDlgItemMessageA(dialog, kIdFormulaText, EM_SETMODIFY, 1, 0);
  EnableWindow(GetDlgItem(dialog, kIdName), 0);
  EnableWindow(GetDlgItem(dialog, kIdSelect), 0);
  SetFocus(GetDlgItem(dialog, kIdFormulaText));
}

// With value lists the editor offers its three modes, and the formulas list
// makes room for the mode buttons above it, keeping its bottom edge.
void MakeRoomForModes(HWND dialog) {
  RECT dialogRect, option, label, list;
  GetWindowRect(dialog, &dialogRect);
  GetWindowRect(GetDlgItem(dialog, kIdModeFormula), &option);
  HWND labelWindow = GetDlgItem(dialog, kIdFormulasLabel);
  HWND listWindow = GetDlgItem(dialog, kIdFormulas);
  GetWindowRect(labelWindow, &label);
  GetWindowRect(listWindow, &list);
  int32_t labelTop = option.bottom + kGap;
  int32_t labelHeight = label.bottom - label.top;
  MoveWindow(labelWindow, label.left - dialogRect.left, labelTop - dialogRect.top, label.right - label.left,
             labelHeight, 1);
  auto itemHeight = static_cast<int32_t>(SendMessageA(listWindow, LB_GETITEMHEIGHT, 0, 0));
  if (itemHeight <= 0) itemHeight = 1;
  int32_t room = list.bottom - (labelTop + labelHeight + kGap);
  int32_t height = room > itemHeight ? room - room % itemHeight : itemHeight;
  MoveWindow(listWindow, list.left - dialogRect.left, list.bottom - height - dialogRect.top, list.right - list.left,
             height, 1);
}

void PreselectDataItem(HWND dialog) {
  EditorState& e = Editor();
  if (e.preselect[0] == 0 || InLoadFix()) return;
  HWND list = GetDlgItem(dialog, kIdDataItems);
  auto count = static_cast<int32_t>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  char entry[kNameSize + 1];
  for (int32_t i = 0; i < count; ++i) {
    if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= static_cast<LRESULT>(sizeof entry)) continue;
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
    if (std::strcmp(entry, e.preselect) != 0) continue;
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    EnableWindow(GetDlgItem(dialog, kIdValues), 1);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kIdValues, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, kIdValues)));
    return;
  }
}

}  // namespace

void OpenEditorDialog(HWND dialog, EditorParams* params) {
  EditorState& e = Editor();
  e.params = params;
  e.ec = params->ec;
  e.dialog = dialog;
  e.current = params->exp;
  e.keepValuesEnabled = 1;
  e.showTextButton = GetDlgItem(dialog, kIdShowText);
  PreparePlaceholders(e);
  bool offerModes = HasValueLists() && !InLoadFix();
  if (offerModes) LoadModeBitmaps(e);

  e.editProc = Subclass(dialog, kIdFormulaText, EditSubProc);
  e.statusProc = Subclass(dialog, kIdStatus, StatusSubProc);
  e.listProc = Subclass(dialog, kIdFormulas, LBFormsSubProc);
  Subclass(dialog, kIdDataItems, LBVarsSubProc);
  Subclass(dialog, kIdFunctions, LBFuncsSubProc);

  FillLists(dialog);
  PlaceOperatorButton(dialog);

  if (e.current != nullptr) {
    ShowCurrentExpression(dialog);
  } else {
    if (InLoadFix()) {
      ShowLoadFixFormula(dialog);
    } else {
      ShowGeneratedName(dialog);
      SendDlgItemMessageA(dialog, kIdFormulas, LB_SETCURSEL, 0, 0);
    }
    EnableWindow(GetDlgItem(dialog, kIdShowText), 0);
  }
  UpdateDeleteButton(dialog);
  UpdateCaption(dialog);
  HWND values = GetDlgItem(dialog, kIdValues);
  if (!offerModes) ShowWindow(values, SW_HIDE);
  else EnableWindow(values, 0);
  ShowWindow(GetDlgItem(dialog, kIdApply), SW_HIDE);

  if (offerModes) {
    MakeRoomForModes(dialog);
    CheckRadioButton(dialog, kIdModeFormula, kIdModeSet, kIdModeFormula + e.mode);
    if (e.current == nullptr) {
      SendDlgItemMessageA(dialog, kIdFormulas, LB_SETCURSEL, 0, 0);
      FillModeTemplate(dialog);
    }
  } else {
    for (int32_t id : {static_cast<int32_t>(kIdModeLabel), static_cast<int32_t>(kIdModeFormula),
                       static_cast<int32_t>(kIdModeRange), static_cast<int32_t>(kIdModeSet)})
      ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
  }

  UpdateStatusLine(dialog);
  UpdateEditButtons(dialog);
  UpdateSelectCaptions(dialog);
  if (params->maxLength != 0) SendDlgItemMessageA(dialog, kIdFormulaText, EM_LIMITTEXT, params->maxLength, 0);
  SendDlgItemMessageA(dialog, kIdName, EM_LIMITTEXT, kNameLimit, 0);
  UpdateOkButton(dialog);
  SetFocus(GetDlgItem(dialog, kIdFormulaText));
  if (InLoadFix()) SetTimer(dialog, kLoadErrorTimer, kLoadErrorDelayMs, nullptr);
  PreselectDataItem(dialog);
}

void CloseEditorDialog() {
  EditorState& e = Editor();
  for (ui::HBITMAP& bitmap : e.bitmaps) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
  }
  e.showTextButton = nullptr;
  e.textView = nullptr;
  e.valueList = nullptr;
}

}  // namespace xev::editor
