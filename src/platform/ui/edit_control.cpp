// Edit controls, single-line and multi-line: the text is the window's own
// (DefWindowProcA keeps it), the selection, modify flag, limit and read-only
// state are the control's. Every change builds the new text in a fresh block
// first, so a failed allocation leaves everything as it was.
#include "platform/ui/edit_control.h"

#include <cstring>

#include "xev/xevhost.h"

namespace xev::ui::kit::edit {
namespace {

constexpr WPARAM kLeftButtonDown = 0x0001;  // MK_LBUTTON
constexpr WPARAM kShiftDown = 0x0004;       // MK_SHIFT

bool ShiftHeld(WPARAM mouseKeys) {
  return (mouseKeys & kShiftDown) != 0 || (GetKeyState(VK_SHIFT) & 0x8000) != 0;
}

int32_t ToOffset(intptr_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

LRESULT OnCreate(HWND edit) {
  Window* w = Find(edit);
  auto* e = static_cast<EditState*>(HostAlloc(sizeof(EditState)));
  if (w == nullptr || e == nullptr) {
    HostFree(e);
    return -1;
  }
  *e = EditState{0, 0, 0, {}, 0, false, (w->style & ES_READONLY) != 0, false, 0, 0};
  w->control = e;
  return 0;
}

LRESULT OnSetText(HWND edit, LPARAM text) {
  if (DefWindowProcA(edit, WM_SETTEXT, 0, text) == 0) return 0;
  EditState* e = StateOf(edit);
  if (e == nullptr) return 1;
  e->anchor = e->caret = 0;
  e->modified = false;
  e->pendingCount = 0;
  PresentChanged(edit, XEV_UI_CHANGED_SELECTION);
  // A multi-line edit is filled by its dialog, which needs no echo of it.
  if (!IsMultiLine(edit)) Notify(edit, EN_CHANGE);
  return 1;
}

// Offsets above 16 bits do not fit the packed answer; the pointers carry them.
LRESULT OnGetSel(HWND edit, WPARAM startOut, LPARAM endOut) {
  EditState* e = StateOf(edit);
  if (e == nullptr) return 0;
  int32_t start = SelectionStart(e), end = SelectionEnd(e);
  if (auto* p = reinterpret_cast<uint32_t*>(startOut)) *p = static_cast<uint32_t>(start);
  if (auto* p = reinterpret_cast<uint32_t*>(endOut)) *p = static_cast<uint32_t>(end);
  if (start > 0xFFFF || end > 0xFFFF) return -1;
  return MAKELPARAM(start, end);
}

void OnSetSel(HWND edit, WPARAM startArg, LPARAM endArg) {
  EditState* e = StateOf(edit);
  if (e == nullptr) return;
  e->pendingCount = 0;
  // Callers written for 16-bit edits pack both ends into lParam (start low,
  // end high) and pass 0 in wParam. The dialogs' texts stay below 64K bytes,
  // so a wParam of 0 with an lParam beyond 16 bits can only mean that.
  if (startArg == 0 && endArg > 0xFFFF && (static_cast<uint64_t>(endArg) >> 32) == 0) {
    SetSelection(edit, LOWORD(static_cast<uintptr_t>(endArg)), HIWORD(static_cast<uintptr_t>(endArg)));
    return;
  }
  auto start = static_cast<intptr_t>(startArg);
  if (start < 0) {
    SetSelection(edit, e->caret, e->caret);
    return;
  }
  int32_t length = TextOfEdit(edit).length;
  // The packed form some dialogs send: start 0 in wParam, and in lParam the
  // start in the low and the end in the high 16 bits. An end beyond the text
  // with a high word set cannot mean anything else for a text of less than
  // 64 KiB, which is where the packed form is used.
  if (start == 0 && endArg > 0xFFFF && endArg > length && length < 0x10000) {
    start = LOWORD(static_cast<uintptr_t>(endArg));
    endArg = HIWORD(static_cast<uintptr_t>(endArg));
  }
  int32_t end = endArg < 0 ? length : ToOffset(endArg);
  SetSelection(edit, ToOffset(start), end);
}

void OnSetReadOnly(HWND edit, bool readOnly) {
  Window* w = Find(edit);
  EditState* e = StateOf(edit);
  if (w == nullptr || e == nullptr) return;
  e->readOnly = readOnly;
  // The presenter reads the style back to show the control as read-only.
  w->style = readOnly ? (w->style | ES_READONLY) : (w->style & ~ES_READONLY);
  PresentChanged(edit, XEV_UI_CHANGED_STATE);
}

LRESULT OnCharFromPos(HWND edit, LPARAM point) {
  int32_t at = CharFromPoint(edit, GET_X(point), GET_Y(point));
  return MAKELPARAM(at, LineIndex(TextOfEdit(edit), at));
}

void OnButtonDown(HWND edit, WPARAM keys, LPARAM point) {
  if (GetFocus() != edit) SetFocus(edit);
  // The focus change ran other procedures, which may have taken the edit away.
  EditState* e = StateOf(edit);
  if (e == nullptr) return;
  e->pendingCount = 0;
  int32_t at = CharFromPoint(edit, GET_X(point), GET_Y(point));
  SetSelection(edit, ShiftHeld(keys) ? e->anchor : at, at);
  if ((e = StateOf(edit)) != nullptr) e->dragging = true;
}

void OnMouseMove(HWND edit, WPARAM keys, LPARAM point) {
  EditState* e = StateOf(edit);
  if (e == nullptr || !e->dragging) return;
  if ((keys & kLeftButtonDown) == 0) {
    e->dragging = false;
    return;
  }
  SetSelection(edit, e->anchor, CharFromPoint(edit, GET_X(point), GET_Y(point)));
}

void OnDoubleClick(HWND edit, LPARAM point) {
  if (GetFocus() != edit) SetFocus(edit);
  if (StateOf(edit) == nullptr) return;
  int32_t start = 0, end = 0;
  WordAround(TextOfEdit(edit), CharFromPoint(edit, GET_X(point), GET_Y(point)), &start, &end);
  SetSelection(edit, start, end);
}

LRESULT OnReplaceSel(HWND edit, LPARAM text) {
  auto* bytes = reinterpret_cast<const char*>(text);
  int32_t length = bytes != nullptr ? static_cast<int32_t>(std::strlen(bytes)) : 0;
  Announce(edit, ReplaceSelection(edit, bytes, length));
  return 0;
}

}  // namespace

EditState* StateOf(HWND edit) {
  Window* w = Find(edit);
  return w != nullptr && w->kind == WindowKind::kEdit ? static_cast<EditState*>(w->control) : nullptr;
}

Text TextOfEdit(HWND edit) {
  Window* w = Find(edit);
  const char* bytes = w != nullptr ? TextOf(w) : "";
  return Text{bytes, static_cast<int32_t>(std::strlen(bytes))};
}

bool IsMultiLine(HWND edit) {
  Window* w = Find(edit);
  return w != nullptr && (w->style & ES_MULTILINE) != 0;
}

int32_t SelectionStart(const EditState* e) { return e->anchor < e->caret ? e->anchor : e->caret; }
int32_t SelectionEnd(const EditState* e) { return e->anchor < e->caret ? e->caret : e->anchor; }

void SetSelection(HWND edit, int32_t anchor, int32_t caret) {
  EditState* e = StateOf(edit);
  if (e == nullptr) return;
  Text t = TextOfEdit(edit);
  anchor = SnapToStop(t, anchor);
  caret = SnapToStop(t, caret);
  if (anchor == e->anchor && caret == e->caret) return;
  e->anchor = anchor;
  e->caret = caret;
  PresentChanged(edit, XEV_UI_CHANGED_SELECTION);
}

int32_t CharFromPoint(HWND edit, int32_t x, int32_t y) {
  int32_t at = PresenterCharFromPoint(edit, x, y);
  Text t = TextOfEdit(edit);
  return at < 0 ? CharFromPointFixed(t, x, y) : SnapToStop(t, at);
}

Change ReplaceSelection(HWND edit, const char* bytes, int32_t length) {
  Window* w = Find(edit);
  EditState* e = StateOf(edit);
  if (w == nullptr || e == nullptr) return Change{false, false};
  Text old = TextOfEdit(edit);
  int32_t start = SelectionStart(e), end = SelectionEnd(e);
  int32_t kept = old.length - (end - start);
  int32_t fits = length;
  if (e->limit > 0) fits = FitBytes(Text{bytes, length}, e->limit > kept ? e->limit - kept : 0);
  Change change{false, fits < length};
  if (fits == 0 && start == end) return change;
  int32_t newLength = kept + fits;
  char* text = nullptr;
  if (newLength > 0) {
    text = static_cast<char*>(HostAlloc(static_cast<size_t>(newLength) + 1));
    if (text == nullptr) return Change{false, false};
    std::memcpy(text, old.bytes, static_cast<size_t>(start));
    if (fits > 0) std::memcpy(text + start, bytes, static_cast<size_t>(fits));
    std::memcpy(text + start + fits, old.bytes + end, static_cast<size_t>(old.length - end));
    text[newLength] = 0;
  }
  HostFree(w->text);
  w->text = text;
  e->anchor = e->caret = start + fits;
  e->modified = true;
  change.applied = true;
  return change;
}

void Announce(HWND edit, Change change) {
  if (change.applied) {
    PresentChanged(edit, XEV_UI_CHANGED_TEXT | XEV_UI_CHANGED_SELECTION);
    Notify(edit, EN_CHANGE);
  }
  if (change.cut) Notify(edit, EN_MAXTEXT);
}

}  // namespace xev::ui::kit::edit

namespace xev::ui::kit {

LRESULT XEV_CALL EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  using namespace edit;
  if (message == WM_CREATE) return OnCreate(edit);
  EditState* e = StateOf(edit);
  if (e == nullptr) return DefWindowProcA(edit, message, wParam, lParam);
  switch (message) {
    case WM_SETTEXT: return OnSetText(edit, lParam);
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      return IsMultiLine(edit) ? code | DLGC_WANTALLKEYS : code;
    }
    case WM_SETFOCUS: Notify(edit, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS:
      e->dragging = false;
      e->pendingCount = 0;
      Notify(edit, EN_KILLFOCUS);
      return 0;
    case WM_CHAR: OnChar(edit, static_cast<uint32_t>(wParam & 0xFF)); return 0;
    case WM_KEYDOWN: OnKeyDown(edit, static_cast<int32_t>(wParam)); return 0;
    case WM_LBUTTONDOWN: OnButtonDown(edit, wParam, lParam); return 0;
    case WM_MOUSEMOVE: OnMouseMove(edit, wParam, lParam); return 0;
    case WM_LBUTTONUP: e->dragging = false; return 0;
    case WM_LBUTTONDBLCLK: OnDoubleClick(edit, lParam); return 0;
    case WM_COPY: CopySelection(edit); return 0;
    case WM_CUT: CutSelection(edit); return 0;
    case WM_PASTE: Paste(edit); return 0;
    case WM_CLEAR: ClearSelection(edit); return 0;
    case EM_GETSEL: return OnGetSel(edit, wParam, lParam);
    case XEV_EM_SETMARK:
      e->markStart = static_cast<int32_t>(wParam);
      e->markEnd = static_cast<int32_t>(lParam);
      PresentChanged(edit, XEV_UI_CHANGED_DRAWING);
      return 1;
    case XEV_EM_GETMARK:
      if (auto* p = reinterpret_cast<int32_t*>(wParam)) *p = e->markStart;
      if (auto* p = reinterpret_cast<int32_t*>(lParam)) *p = e->markEnd;
      return e->markEnd > e->markStart ? 1 : 0;
    case EM_SETSEL: OnSetSel(edit, wParam, lParam); return 0;
    case EM_GETMODIFY: return e->modified ? 1 : 0;
    case EM_SETMODIFY: e->modified = wParam != 0; return 0;
    case EM_LIMITTEXT: e->limit = ToOffset(static_cast<intptr_t>(wParam & 0x7FFFFFFF)); return 0;
    case EM_GETLIMITTEXT: return e->limit;
    case EM_REPLACESEL: return OnReplaceSel(edit, lParam);
    case EM_SETREADONLY: OnSetReadOnly(edit, wParam != 0); return 1;
    case EM_GETLINECOUNT: return IsMultiLine(edit) ? LineCount(TextOfEdit(edit)) : 1;
    case EM_CHARFROMPOS: return OnCharFromPos(edit, lParam);
    default: return DefWindowProcA(edit, message, wParam, lParam);
  }
}

}  // namespace xev::ui::kit
