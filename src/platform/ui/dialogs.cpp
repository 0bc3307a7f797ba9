// Dialogs: windows made from a template, driven by a dialog procedure, run
// modally (the owner disabled until the dialog ends) or modelessly, with the
// keyboard navigation every dialog has: Tab between tab stops, Return to the
// default button, Escape to IDCANCEL.
#include "platform/ui/kit.h"
#include "resources/dialog_templates.h"

namespace xev::ui {

using kit::Find;
using kit::Window;

namespace {

constexpr LRESULT kHasDefId = 0x534B;  // DC_HASDEFID in DM_GETDEFID's high word

bool IsTabStop(Window* c) {
  return c != nullptr && (c->style & WS_TABSTOP) != 0 && c->visible && c->enabled;
}

// The next (or previous) tab stop after from among the dialog's controls,
// wrapping around; from itself when it is the only one.
HWND NextTabStop(HWND dialog, HWND from, bool backwards) {
  Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  HWND first = nullptr, last = nullptr, before = nullptr, after = nullptr;
  bool seen = false;
  for (HWND h = d->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) break;
    if (h == from) {
      seen = true;
    } else if (IsTabStop(c)) {
      if (first == nullptr) first = h;
      last = h;
      if (!seen) before = h;
      if (seen && after == nullptr) after = h;
    }
    h = c->nextSibling;
  }
  if (backwards) return before != nullptr ? before : (last != nullptr ? last : from);
  return after != nullptr ? after : (first != nullptr ? first : from);
}

HWND FirstTabStop(HWND dialog) {
  Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  for (HWND h = d->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) break;
    if (IsTabStop(c)) return h;
    h = c->nextSibling;
  }
  return nullptr;
}

HWND DefaultButton(HWND dialog) {
  Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  for (HWND h = d->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) break;
    if (c->kind == kit::WindowKind::kButton && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return h;
    h = c->nextSibling;
  }
  return nullptr;
}

void FocusControl(HWND control) {
  SetFocus(control);
  if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageA(control, EM_SETSEL, 0, -1);
}

void PressButton(HWND dialog, int32_t id, HWND button) {
  if (button != nullptr && !IsWindowEnabled(button)) return;
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// The owner of a top-level dialog is the top-level window of the handle given.
HWND TopLevelOwner(HWND owner) {
  Window* w = Find(owner);
  while (w != nullptr && w->parent != nullptr) w = Find(w->parent);
  return w != nullptr ? w->handle : nullptr;
}

// A resizable dialog opens at its template's size plus its growth, before
// its procedure sees it, so that what it measures is the size it shows.
void OpenLarger(HWND dialog, const resources::DialogTemplate& t) {
  Window* d = Find(dialog);
  d->minWidth = kit::DialogUnitsToX(t.cx);
  d->minHeight = kit::DialogUnitsToY(t.cy);
  kit::ResizeDialog(dialog, kit::DialogUnitsToX(t.cx + t.growCx), kit::DialogUnitsToY(t.cy + t.growCy));
}

}  // namespace

namespace kit {

HWND CreateDialogFromTemplate(const resources::DialogTemplate* t, HWND owner, DLGPROC proc, LPARAM param) {
  if (t == nullptr) return nullptr;
  owner = TopLevelOwner(owner);
  RECT origin{0, 0, 0, 0};
  if (owner != nullptr) GetWindowRect(owner, &origin);
  int32_t x = origin.left + DialogUnitsToX(t->x);
  int32_t y = origin.top + DialogUnitsToY(t->y);
  HWND dialog = CreateWindowExA(0, t->className, t->caption, t->style & ~WS_VISIBLE, x, y, DialogUnitsToX(t->cx),
                                DialogUnitsToY(t->cy), owner, 0, nullptr, nullptr);
  Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  d->dialogProc = proc;
  for (int32_t i = 0; i < t->controlCount; ++i) {
    const resources::DialogControl& c = t->controls[i];
    uint32_t style = c.style | WS_CHILD | (c.hidden ? 0u : WS_VISIBLE);
    HWND control = CreateWindowExA(0, c.className, c.caption, style, DialogUnitsToX(c.x), DialogUnitsToY(c.y),
                                   DialogUnitsToX(c.cx), DialogUnitsToY(c.cy), dialog, c.id, nullptr, nullptr);
    if (control == nullptr) {
      DestroyWindow(dialog);
      return nullptr;
    }
    Window* made = Find(control);
    made->anchorLeft = c.anchor.left;
    made->anchorRight = c.anchor.right;
    made->anchorTop = c.anchor.top;
    made->anchorBottom = c.anchor.bottom;
  }
  if (t->growCx > 0 || t->growCy > 0) OpenLarger(dialog, *t);
  HWND first = FirstTabStop(dialog);
  if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) != 0 && Find(first) != nullptr)
    FocusControl(first);
  if ((d = Find(dialog)) == nullptr) return nullptr;
  if ((t->style & WS_VISIBLE) && !d->dialogEnded) ShowWindow(dialog, SW_SHOWNORMAL);
  return dialog;
}

intptr_t RunDialog(HWND dialog, HWND owner) {
  Window* d = Find(dialog);
  if (d == nullptr) return -1;
  owner = d->owner;
  HWND focusBefore = GetFocus();
  bool disabledOwner = owner != nullptr && IsWindowEnabled(owner);
  if (disabledOwner) EnableWindow(owner, 0);
  PushModal(dialog);
  if ((d = Find(dialog)) != nullptr && !d->dialogEnded) {
    ShowWindow(dialog, SW_SHOWNORMAL);
    RunModalLoop(dialog);
  }
  PopModal(dialog);
  d = Find(dialog);
  intptr_t result = d != nullptr && d->dialogEnded ? d->dialogResult : IDCANCEL;
  if (disabledOwner) EnableWindow(owner, 1);
  DestroyWindow(dialog);
  if (Find(focusBefore) != nullptr) SetFocus(focusBefore);
  return result;
}

LRESULT XEV_CALL DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* d = Find(dialog);
  if (d == nullptr) return 0;
  DLGPROC proc = d->dialogProc;
  if (proc != nullptr) {
    intptr_t handled = proc(dialog, message, wParam, lParam);
    if (handled != 0) {
      if (message == WM_INITDIALOG) return handled;
      d = Find(dialog);
      return d != nullptr && d->dialogMsgResult != 0 ? d->dialogMsgResult : handled;
    }
  }
  return DefDlgProcA(dialog, message, wParam, lParam);
}

}  // namespace kit

intptr_t DialogBoxParamA(void* /*instance*/, const char* templateName, HWND owner, DLGPROC proc, LPARAM param) {
  if (kit::S().modalDepth >= kit::kMaxModalDepth) return -1;
  if (owner != nullptr && Find(owner) == nullptr) return -1;
  HWND dialog = kit::CreateDialogFromTemplate(resources::FindDialogTemplate(templateName), owner, proc, param);
  if (dialog == nullptr) return -1;
  return kit::RunDialog(dialog, owner);
}

HWND CreateDialogParamA(void* /*instance*/, const char* templateName, HWND owner, DLGPROC proc, LPARAM param) {
  if (owner != nullptr && Find(owner) == nullptr) return nullptr;
  return kit::CreateDialogFromTemplate(resources::FindDialogTemplate(templateName), owner, proc, param);
}

BOOL EndDialog(HWND dialog, intptr_t result) {
  Window* d = Find(dialog);
  if (d == nullptr || d->kind != kit::WindowKind::kDialog) return 0;
  d->dialogEnded = true;
  d->dialogResult = result;
  ShowWindow(dialog, SW_HIDE);
  return 1;
}

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Find(dialog) == nullptr) return 0;
  switch (message) {
    case WM_CLOSE:
      PressButton(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
      return 0;
    case DM_GETDEFID: {
      HWND button = DefaultButton(dialog);
      int32_t id = button != nullptr ? GetDlgCtrlID(button) : IDOK;
      return MAKELPARAM(id, static_cast<int32_t>(kHasDefId));
    }
    case WM_SETFOCUS: {
      HWND first = FirstTabStop(dialog);
      if (first != nullptr) FocusControl(first);
      return 0;
    }
    case WM_GETDLGCODE: return 0;
    default: return DefWindowProcA(dialog, message, wParam, lParam);
  }
}

BOOL IsDialogMessageA(HWND dialog, UINT message, HWND target, WPARAM wParam, LPARAM /*lParam*/) {
  if (Find(dialog) == nullptr || (message != WM_KEYDOWN && message != WM_CHAR)) return 0;
  LRESULT code = target != dialog ? SendMessageA(target, WM_GETDLGCODE, wParam, 0) : 0;
  if (message == WM_CHAR) {
    // The characters of the navigation keys are the dialog's, not the control's.
    bool navigation = wParam == '\t' || wParam == 0x1B || (wParam == '\r' && !(code & DLGC_WANTALLKEYS));
    return navigation && !(code & DLGC_WANTTAB && wParam == '\t') ? 1 : 0;
  }
  switch (static_cast<int32_t>(wParam)) {
    case VK_TAB: {
      if (code & DLGC_WANTTAB) return 0;
      HWND next = NextTabStop(dialog, target, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
      if (next != nullptr) FocusControl(next);
      return 1;
    }
    case VK_ESCAPE:
      PressButton(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
      return 1;
    case VK_RETURN: {
      if (code & DLGC_WANTALLKEYS) return 0;
      Window* t = Find(target);
      if (t != nullptr && t->kind == kit::WindowKind::kButton && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
        PressButton(dialog, t->id, target);
        return 1;
      }
      int32_t id = LOWORD(static_cast<uintptr_t>(SendMessageA(dialog, DM_GETDEFID, 0, 0)));
      PressButton(dialog, id, GetDlgItem(dialog, id));
      return 1;
    }
    default: return 0;
  }
}

}  // namespace xev::ui
