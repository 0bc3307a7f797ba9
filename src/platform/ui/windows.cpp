// Windows: creation and destruction, the properties every window has, focus,
// and the default window procedure.
#include <cstring>

#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui {

using kit::Find;
using kit::Window;

namespace {

bool IsDescendant(HWND window, HWND ancestor) {
  for (Window* w = Find(window); w != nullptr; w = Find(w->parent))
    if (w->handle == ancestor) return true;
  return false;
}

// A window that can no longer take input (disabled, hidden or going) takes
// the focus with it when the focus is inside it.
void DropFocusWithin(HWND window) {
  kit::State& s = kit::S();
  if (s.focus != nullptr && IsDescendant(s.focus, window)) s.focus = nullptr;
}

void MarkForPaint(Window* w) {
  w->needsPaint = true;
  for (HWND h = w->firstChild; h != nullptr;) {
    Window* child = Find(h);
    if (child == nullptr) break;
    if (child->visible) MarkForPaint(child);
    h = child->nextSibling;
  }
}

void DestroyChildren(HWND parent) {
  for (;;) {
    Window* w = Find(parent);
    if (w == nullptr) return;
    HWND child = nullptr;
    for (HWND h = w->firstChild; h != nullptr;) {
      Window* c = Find(h);
      if (c == nullptr) break;
      if (!c->destroying) {
        child = h;
        break;
      }
      h = c->nextSibling;
    }
    if (child == nullptr) return;
    DestroyWindow(child);
  }
}

void DestroyOwned(HWND owner) {
  constexpr int32_t kBatch = 16;
  HWND owned[kBatch];
  for (int32_t guard = 0; guard < 1024; ++guard) {
    int32_t count = kit::OwnedWindows(owner, owned, kBatch);
    bool destroyedAny = false;
    for (int32_t i = 0; i < count && i < kBatch; ++i) {
      Window* w = Find(owned[i]);
      if (w == nullptr || w->destroying) continue;
      DestroyWindow(owned[i]);
      destroyedAny = true;
    }
    if (!destroyedAny) return;
  }
}

}  // namespace

HWND CreateWindowExA(uint32_t /*exStyle*/, const char* className, const char* text, uint32_t style,
                     int32_t x, int32_t y, int32_t width, int32_t height, HWND parent,
                     intptr_t idOrMenu, void* /*instance*/, void* param) {
  const kit::ClassInfo* info = kit::FindClass(className);
  if (info == nullptr) return nullptr;
  bool child = (style & WS_CHILD) != 0;
  if (child && Find(parent) == nullptr) return nullptr;
  if (!child && parent != nullptr && Find(parent) == nullptr) return nullptr;
  Window* w = kit::NewWindow(info->kind, child ? parent : nullptr, child ? nullptr : parent);
  if (w == nullptr) return nullptr;
  w->className = info->name;
  w->style = style & ~(WS_VISIBLE | WS_DISABLED);
  w->enabled = (style & WS_DISABLED) == 0;
  w->id = child ? static_cast<int32_t>(idOrMenu) : -1;
  w->rect = RECT{x, y, x + width, y + height};
  w->proc = info->proc;
  HWND handle = w->handle;
  if (!kit::ReserveQueue() || !kit::StoreText(w, text)) {
    kit::ReleaseWindow(w);
    return nullptr;
  }
  kit::PresentCreated(handle);
  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1 || Find(handle) == nullptr) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL DestroyWindow(HWND window) {
  Window* w = Find(window);
  if (w == nullptr || w->destroying) return 0;
  w->destroying = true;
  DestroyOwned(window);
  DropFocusWithin(window);
  if ((w = Find(window)) != nullptr && w->visible) {
    w->visible = false;
    kit::PresentChanged(window, XEV_UI_CHANGED_STATE);
  }
  SendMessageA(window, WM_DESTROY, 0, 0);
  DestroyChildren(window);
  SendMessageA(window, WM_NCDESTROY, 0, 0);
  kit::KillTimersOf(window);
  kit::DropMessagesFor(window);
  kit::PresentDestroyed(window);
  if ((w = Find(window)) != nullptr) kit::ReleaseWindow(w);
  return 1;
}

BOOL IsWindow(HWND window) { return Find(window) != nullptr ? 1 : 0; }

intptr_t GetWindowLongA(HWND window, int32_t index) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  if (w->kind == kit::WindowKind::kDialog) {
    if (index == DWL_MSGRESULT) return w->dialogMsgResult;
    if (index == DWL_DLGPROC) return reinterpret_cast<intptr_t>(w->dialogProc);
    if (index == DWL_USER) return w->dialogUser;
  }
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<intptr_t>(w->proc);
    case GWL_HWNDPARENT: return reinterpret_cast<intptr_t>(w->parent != nullptr ? w->parent : w->owner);
    case GWL_STYLE:
      return static_cast<intptr_t>(w->style | (w->visible ? WS_VISIBLE : 0u) | (w->enabled ? 0u : WS_DISABLED));
    case GWL_ID: return w->id;
    case GWL_USERDATA: return w->userData;
    default: return 0;
  }
}

intptr_t SetWindowLongA(HWND window, int32_t index, intptr_t value) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  intptr_t previous = GetWindowLongA(window, index);
  if (w->kind == kit::WindowKind::kDialog) {
    if (index == DWL_MSGRESULT) { w->dialogMsgResult = value; return previous; }
    if (index == DWL_DLGPROC) { w->dialogProc = reinterpret_cast<DLGPROC>(value); return previous; }
    if (index == DWL_USER) { w->dialogUser = value; return previous; }
  }
  switch (index) {
    case GWL_WNDPROC:
      // A window without a procedure could not take another message.
      if (value == 0) return 0;
      w->proc = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWL_STYLE:
      w->style = static_cast<uint32_t>(value) & ~(WS_VISIBLE | WS_DISABLED);
      kit::PresentChanged(window, XEV_UI_CHANGED_STATE);
      return previous;
    case GWL_ID: w->id = static_cast<int32_t>(value); return previous;
    case GWL_USERDATA: w->userData = value; return previous;
    default: return 0;
  }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr || Find(window) == nullptr) return 0;
  return proc(window, message, wParam, lParam);
}

WNDPROC GetClassWindowProc(HWND window) {
  Window* w = Find(window);
  const kit::ClassInfo* info = w != nullptr ? kit::FindClass(w->className) : nullptr;
  return info != nullptr ? info->proc : nullptr;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_SETTEXT: {
      if (!kit::StoreText(w, reinterpret_cast<const char*>(lParam))) return 0;
      kit::PresentChanged(window, XEV_UI_CHANGED_TEXT);
      return 1;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<char*>(lParam);
      auto size = static_cast<int32_t>(wParam);
      if (buffer == nullptr || size <= 0) return 0;
      const char* text = kit::TextOf(w);
      auto length = static_cast<int32_t>(std::strlen(text));
      if (length > size - 1) length = size - 1;
      std::memcpy(buffer, text, static_cast<size_t>(length));
      buffer[length] = 0;
      return length;
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(std::strlen(kit::TextOf(w)));
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_PAINT: w->needsPaint = false; return 0;
    default: return 0;
  }
}

HWND GetDlgItem(HWND dialog, int32_t id) {
  Window* d = Find(dialog);
  if (d == nullptr) return nullptr;
  for (HWND h = d->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) return nullptr;
    if (c->id == id) return h;
    h = c->nextSibling;
  }
  return nullptr;
}

int32_t GetDlgCtrlID(HWND window) {
  Window* w = Find(window);
  return w != nullptr && w->parent != nullptr ? w->id : 0;
}

HWND GetParent(HWND window) {
  Window* w = Find(window);
  if (w == nullptr) return nullptr;
  return w->parent != nullptr ? w->parent : w->owner;
}

HWND GetWindow(HWND window, int32_t relation) {
  Window* w = Find(window);
  if (w == nullptr) return nullptr;
  switch (relation) {
    case GW_OWNER: return w->owner;
    case GW_CHILD: return w->firstChild;
    case GW_HWNDNEXT: return w->nextSibling;
    default: return nullptr;
  }
}

BOOL SetWindowTextA(HWND window, const char* text) {
  if (Find(window) == nullptr) return 0;
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? 1 : 0;
}

int32_t GetWindowTextA(HWND window, char* buffer, int32_t size) {
  if (Find(window) == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<int32_t>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size > 0 ? size : 0),
                                           reinterpret_cast<LPARAM>(buffer)));
}

int32_t GetWindowTextLengthA(HWND window) {
  if (Find(window) == nullptr) return 0;
  return static_cast<int32_t>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemTextA(HWND dialog, int32_t id, const char* text) {
  return SetWindowTextA(GetDlgItem(dialog, id), text);
}

LRESULT SendDlgItemMessageA(HWND dialog, int32_t id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  BOOL wasDisabled = w->enabled ? 0 : 1;
  bool now = enable != 0;
  if (w->enabled == now) return wasDisabled;
  w->enabled = now;
  if (!now) DropFocusWithin(window);
  SendMessageA(window, WM_ENABLE, now ? 1 : 0, 0);
  kit::PresentChanged(window, XEV_UI_CHANGED_STATE);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  Window* w = Find(window);
  return w != nullptr && w->enabled ? 1 : 0;
}

BOOL ShowWindow(HWND window, int32_t command) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  BOOL wasVisible = w->visible ? 1 : 0;
  bool show = command != SW_HIDE;
  if (w->visible == show) return wasVisible;
  w->visible = show;
  if (show) MarkForPaint(w);
  if (!show) DropFocusWithin(window);
  SendMessageA(window, WM_SHOWWINDOW, show ? 1 : 0, 0);
  kit::PresentChanged(window, XEV_UI_CHANGED_STATE);
  return wasVisible;
}

BOOL IsWindowVisible(HWND window) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  for (; w != nullptr; w = Find(w->parent))
    if (!w->visible) return 0;
  return 1;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  Window* w = Find(window);
  if (w == nullptr || rect == nullptr) return 0;
  *rect = w->rect;
  for (Window* p = Find(w->parent); p != nullptr; p = Find(p->parent)) {
    rect->left += p->rect.left;
    rect->right += p->rect.left;
    rect->top += p->rect.top;
    rect->bottom += p->rect.top;
  }
  return 1;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Window* w = Find(window);
  if (w == nullptr || rect == nullptr) return 0;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return 1;
}

BOOL MoveWindow(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, BOOL repaint) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  w->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
  if (repaint && w->visible) MarkForPaint(w);
  SendMessageA(window, WM_SIZE, 0, MAKELPARAM(width, height));
  kit::PresentChanged(window, XEV_UI_CHANGED_RECT);
  return 1;
}

HWND SetFocus(HWND window) {
  kit::State& s = kit::S();
  HWND previous = s.focus;
  if (window != nullptr && Find(window) == nullptr) return nullptr;
  if (window == previous) return previous;
  s.focus = window;
  if (Find(previous) != nullptr) {
    SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    kit::PresentChanged(previous, XEV_UI_CHANGED_FOCUS);
  }
  // The window may have moved the focus on, or gone, while the old one let go.
  if (window != nullptr && s.focus == window && Find(window) != nullptr) {
    SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    kit::PresentChanged(window, XEV_UI_CHANGED_FOCUS);
  }
  return previous;
}

HWND GetFocus() {
  kit::State& s = kit::S();
  if (Find(s.focus) == nullptr) s.focus = nullptr;
  return s.focus;
}

BOOL InvalidateRect(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
  Window* w = Find(window);
  if (w == nullptr) return 0;
  if (w->visible) w->needsPaint = true;
  return 1;
}

int32_t GetSystemMetrics(int32_t index) {
  if (index == SM_CXSCREEN) return XEV_UI_SCREEN_WIDTH;
  if (index == SM_CYSCREEN) return XEV_UI_SCREEN_HEIGHT;
  return 0;
}

BOOL MessageBeep(uint32_t /*type*/) {
  ++kit::S().beeps;
  return 1;
}

BOOL CheckRadioButton(HWND dialog, int32_t first, int32_t last, int32_t check) {
  if (Find(dialog) == nullptr) return 0;
  for (int32_t id = first; id <= last; ++id)
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  return 1;
}

}  // namespace xev::ui

namespace xev::ui::kit {

LRESULT XEV_CALL PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

void Notify(HWND control, int32_t code) {
  Window* w = Find(control);
  if (w == nullptr || w->parent == nullptr) return;
  SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

}  // namespace xev::ui::kit
