// The formula editor's state and what its files offer each other: the dialog
// procedure and its actions (editor_*.cpp), text building and the subclassed
// controls (text_building.cpp, editor_subclass.cpp), and the two modeless
// companions (text_view.cpp, value_list.cpp). One editor runs at a time, so
// its state is module-wide and lives in one place, Editor().
#pragma once

#include <cstdint>

#include "editor/editor.h"
#include "platform/ui/ui.h"
#include "xev/xev.h"

namespace xev::editor {

using ui::LPARAM;
using ui::LRESULT;
using ui::UINT;
using ui::WPARAM;

// The editor's own mode numbers; the type argument of XEVBuildExpressionOfType
// numbers them differently (1 Set, 2 Range) and is translated on the way in.
enum EditorMode : int32_t { kModeFormula = 0, kModeRange = 1, kModeSet = 2 };

// Kind of an expression by the root of its tree; numbered like the modes.
enum ExpressionKind : int32_t { kKindFormula = 0, kKindRange = 1, kKindSet = 2 };

// Control ids of the EXPBILD template.
enum EditorControl : int32_t {
  kIdFormulaText = 100,
  kIdName = 101,
  kIdCopy = 102,
  kIdCut = 103,
  kIdPaste = 104,
  kIdParens = 105,
  kIdDataItems = 106,
  kIdFunctions = 107,
  kIdPlus = 108,
  kIdMinus = 109,
  kIdTimes = 110,
  kIdDivide = 111,
  kIdConcat = 112,
  kIdOperatorsGroup = 113,
  kIdFormulas = 114,
  kIdNameLabel = 115,
  kIdDelete = 116,
  kIdSelect = 117,
  kIdShowText = 118,
  kIdNumericGroup = 119,
  kIdDigit0 = 120,
  kIdDigit9 = 129,
  kIdPoint = 130,
  kIdClear = 131,
  kIdApply = 132,
  kIdValues = 133,
  kIdModeFormula = 134,
  kIdModeRange = 135,
  kIdModeSet = 136,
  kIdFormulasLabel = 137,
  kIdModeLabel = 138,
  kIdStatus = 139,
  kIdHelp = 140,
};

// The companions' control ids and the private messages between the dialogs.
constexpr int32_t kIdCompanionControl = 100;  // the text view's edit, the value list's list box
constexpr UINT kMsgShowExpression = ui::WM_USER + 100;  // to the text view: wParam mode, lParam HEXP or 0
constexpr UINT kMsgShowValuesOf = ui::WM_USER + 101;    // to the value list: lParam data item name or 0
constexpr UINT kMsgNextPlaceholder = ui::WM_USER + 102;  // to the editor: select the next placeholder
constexpr UINT kMsgHelpQuery = 0x83FF;

constexpr int32_t kTypeLabelSize = 40;
constexpr int32_t kRepeatSize = 64;
constexpr int32_t kNameSize = 65;

// What XEVBuildExpression hands the dialog.
struct EditorParams {
  ExprContext* ec = nullptr;
  HEXP exp = nullptr;     // to edit, or null for a new one
  HEXP result = nullptr;  // what OK saved
  uint16_t maxLength = 0;  // 0: no limit
};

struct EditorState {
  EditorParams* params = nullptr;
  ExprContext* ec = nullptr;
  HWND dialog = nullptr;
  HEXP current = nullptr;  // the expression whose text is in the editor, or null for a new one
  int32_t mode = kModeFormula;
  char preselect[kNameSize] = {};  // data item to preselect; empty for none
  char placeholder[kTypeLabelSize] = {};     // "Expression"
  char expressionRepeat[kRepeatSize] = {};   // "[,Expression...]"
  char argumentRepeat[kRepeatSize] = {};     // "[,Any...]"
  HWND textView = nullptr;
  HWND valueList = nullptr;
  HWND showTextButton = nullptr;
  int32_t keepValuesEnabled = 1;  // handed to the list-values callback, which may clear it
  ui::HBITMAP bitmaps[3] = {};    // by kind: formula, range, set (the list versions)
  int32_t bitmapWidth = 0;
  int32_t bitmapHeight = 0;
  int32_t fontHeight = 0;
  int32_t fontExternalLeading = 0;
  // The controls' own procedures before the editor subclassed them; the list
  // box class's one procedure serves all three lists.
  ui::WNDPROC editProc = nullptr;
  ui::WNDPROC statusProc = nullptr;
  ui::WNDPROC listProc = nullptr;
};

EditorState& Editor();
// Load-fix mode: the loader opened the editor on a stored formula that no longer parses.
bool InLoadFix();

// ---- Labels and expressions (editor_support.cpp) -----------------------------------
// A string resource into buffer (size bytes); "" when there is none.
const char* LoadLabel(uint32_t id, char* buffer, int32_t size);
// The type label of a parameter type: 0 Number, 1 DateTime, 2 String, 4 and 5 Any, else Keyword.
const char* TypeLabel(int32_t type, char* buffer);
ExpressionKind KindOf(HEXP exp);
// The expression of that name in the edited context, or null.
HEXP ExpressionNamed(const char* name);
// The expression of the formulas list's selected entry (index 1 or above), or null.
HEXP SelectedExpression(HWND dialog);
// A HostAlloc copy of a list entry's text, or null for a bad index or when
// memory is short.
char* ListEntryText(HWND list, int32_t index);
// A HostAlloc copy of a window's text, or null when memory is short.
char* CopyWindowText(HWND window);

// ---- The dialog (editor_dialog.cpp and its neighbours) -------------------------------
// Follow-up of a selection in the formulas list (keys, clicks, a right double
// click that also opens the text view).
void FormulasSelectionFollowUp(HWND dialog, bool openTextView);
// Captions of Select (117) and Show Text (118) follow the formulas selection.
void UpdateSelectCaptions(HWND dialog);
// The data item selection changed (firstFill 1) or the editor was refreshed (0).
void DataItemSelectionChanged(HWND dialog, int32_t firstFill);
// Called by the companions when they close.
void TextViewClosed();
void ValueListClosed();

// ---- Text building (text_building.cpp) -------------------------------------------------
// Inserts text at the formula edit's selection, with the repeat placeholder rules.
void InsertText(HWND edit, const char* text, int32_t length);
// Inserts the selected entry of a list (data items, formulas, functions).
void InsertListEntry(HWND list);
// The call template appended to a function's name; false when it does not fit.
bool BuildCallTemplate(const ExpItem* function, char* buffer, int32_t size);
// Whether text still holds a placeholder label of a template (the formula is
// still being built); true when memory is short.
bool HoldsPlaceholder(const char* text);
void WrapSelection(HWND edit);
void FillModeTemplate(HWND dialog);
void SelectNextPlaceholder(HWND dialog);
void UpdateEditButtons(HWND dialog);
// The text an operator or numeric pad button inserts, or null for another control.
const char* ButtonInsertion(ExprContext* ec, int32_t id);

// ---- String literals for the value list (quote_string.cpp) ----------------------------
// Bytes QuoteStringValue writes for value, the terminator included: the value,
// its single quotes once more, and the two enclosing quotes.
size_t QuotedStringSize(const char* value);
// Writes value as a string literal: in single quotes, each single quote inside
// written twice; the second byte of a double-byte character is never taken for
// a quote. destination must hold QuotedStringSize(value) bytes. Returns the
// bytes written before the terminator.
int32_t QuoteStringValue(char* destination, const char* value);

}  // namespace xev::editor
