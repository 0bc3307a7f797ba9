// Buttons: push and default push buttons, option buttons that check
// themselves and clear the others of their group, and group boxes.
#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui::kit {
namespace {

struct ButtonState {
  int32_t check;
  bool pressed;
};

ButtonState* StateOf(HWND button) {
  Window* w = Find(button);
  return w != nullptr ? static_cast<ButtonState*>(w->control) : nullptr;
}

uint32_t TypeOf(HWND button) {
  Window* w = Find(button);
  return w != nullptr ? (w->style & BS_TYPEMASK) : BS_PUSHBUTTON;
}

void SetCheck(HWND button, int32_t check) {
  ButtonState* b = StateOf(button);
  if (b == nullptr || b->check == check) return;
  b->check = check;
  PresentChanged(button, XEV_UI_CHANGED_CHECK);
}

// Checks an option button and clears the other option buttons of its group:
// the controls from the last WS_GROUP at or before it up to the next WS_GROUP.
void CheckInGroup(HWND button) {
  Window* w = Find(button);
  Window* parent = w != nullptr ? Find(w->parent) : nullptr;
  if (parent == nullptr) return;
  HWND groupStart = nullptr;
  for (HWND h = parent->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) return;
    if (c->style & WS_GROUP) groupStart = h;
    if (h == button) break;
    h = c->nextSibling;
  }
  for (HWND h = groupStart; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) break;
    if (h != groupStart && (c->style & WS_GROUP)) break;
    if (c->kind == WindowKind::kButton && (c->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
      SetCheck(h, h == button ? BST_CHECKED : BST_UNCHECKED);
    h = c->nextSibling;
  }
}

void Click(HWND button) {
  if (TypeOf(button) == BS_AUTORADIOBUTTON) CheckInGroup(button);
  Notify(button, BN_CLICKED);
}

bool Inside(HWND button, LPARAM point) {
  RECT r;
  GetClientRect(button, &r);
  int32_t x = GET_X(point), y = GET_Y(point);
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

LRESULT XEV_CALL ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  uint32_t type = TypeOf(button);
  switch (message) {
    case WM_CREATE: {
      Window* w = Find(button);
      w->control = HostAlloc(sizeof(ButtonState));
      return w->control != nullptr ? 0 : -1;
    }
    case WM_GETDLGCODE:
      if (type == BS_GROUPBOX) return DLGC_STATIC;
      if (type == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      return DLGC_BUTTON | (type == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (type == BS_GROUPBOX) return 0;
      SetFocus(button);
      if (ButtonState* b = StateOf(button)) b->pressed = true;
      return 0;
    case WM_LBUTTONUP: {
      ButtonState* b = StateOf(button);
      if (b == nullptr || !b->pressed) return 0;
      b->pressed = false;
      if (Inside(button, lParam)) Click(button);
      return 0;
    }
    case WM_KEYDOWN:
      if (static_cast<int32_t>(wParam) == VK_SPACE && type != BS_GROUPBOX)
        if (ButtonState* b = StateOf(button)) b->pressed = true;
      return 0;
    case WM_KEYUP: {
      ButtonState* b = StateOf(button);
      if (static_cast<int32_t>(wParam) != VK_SPACE || b == nullptr || !b->pressed) return 0;
      b->pressed = false;
      Click(button);
      return 0;
    }
    case BM_CLICK:
      if (type != BS_GROUPBOX) Click(button);
      return 0;
    case BM_GETCHECK: {
      ButtonState* b = StateOf(button);
      return b != nullptr ? b->check : 0;
    }
    case BM_SETCHECK: SetCheck(button, static_cast<int32_t>(wParam)); return 0;
    case BM_SETSTYLE: {
      Window* w = Find(button);
      w->style = (w->style & ~BS_TYPEMASK) | (static_cast<uint32_t>(wParam) & BS_TYPEMASK);
      PresentChanged(button, XEV_UI_CHANGED_STATE);
      return 0;
    }
    default: return DefWindowProcA(button, message, wParam, lParam);
  }
}

LRESULT XEV_CALL StaticProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETDLGCODE) return DLGC_STATIC;
  return DefWindowProcA(control, message, wParam, lParam);
}

}  // namespace xev::ui::kit
