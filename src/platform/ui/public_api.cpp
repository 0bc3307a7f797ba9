// The kit's exports for hosts and front ends (xevui.h): thin, checked doors
// onto the window functions the dialogs use.
#include <cstring>

#include "platform/ui/kit.h"

using namespace xev::ui;
using namespace xev::ui::kit;

extern "C" {

XEV_API intptr_t XEV_CALL XEVUiSendMessage(XEVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return SendMessageA(window, message, wParam, lParam);
}

XEV_API int32_t XEV_CALL XEVUiPostMessage(XEVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageA(window, message, wParam, lParam);
}

XEV_API XEVHWND XEV_CALL XEVUiCreateHostWindow(const char* caption, int32_t x, int32_t y, int32_t width,
                                               int32_t height) {
  return CreateWindowExA(0, "XevHostWindow", caption, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, x, y,
                         width > 0 ? width : 0, height > 0 ? height : 0, nullptr, 0, nullptr, nullptr);
}

XEV_API int32_t XEV_CALL XEVUiDestroyWindow(XEVHWND window) { return DestroyWindow(window); }

XEV_API int32_t XEV_CALL XEVUiIsWindow(XEVHWND window) { return IsWindow(window); }

XEV_API int32_t XEV_CALL XEVUiGetWindowInfo(XEVHWND window, XEVUiWindowInfo* info) {
  Window* w = Find(window);
  if (w == nullptr || info == nullptr) return 0;
  info->kind = static_cast<int32_t>(w->kind);
  info->id = w->parent != nullptr ? w->id : -1;
  info->style = w->style;
  info->enabled = w->enabled ? 1 : 0;
  info->visible = w->visible ? 1 : 0;
  info->rect = XEVUiRect{w->rect.left, w->rect.top, w->rect.right, w->rect.bottom};
  info->parent = w->parent;
  info->owner = w->owner;
  info->className = w->className;
  info->focused = S().focus == window ? 1 : 0;
  return 1;
}

XEV_API int32_t XEV_CALL XEVUiGetWindowText(XEVHWND window, char* buffer, int32_t size) {
  Window* w = Find(window);
  if (w == nullptr || buffer == nullptr || size <= 0) return 0;
  const char* text = TextOf(w);
  auto length = static_cast<int32_t>(std::strlen(text));
  if (length > size - 1) length = size - 1;
  std::memcpy(buffer, text, static_cast<size_t>(length));
  buffer[length] = 0;
  return length;
}

XEV_API XEVHWND XEV_CALL XEVUiGetDlgItem(XEVHWND dialog, int32_t id) { return GetDlgItem(dialog, id); }
XEV_API XEVHWND XEV_CALL XEVUiGetFirstChild(XEVHWND window) { return GetWindow(window, GW_CHILD); }
XEV_API XEVHWND XEV_CALL XEVUiGetNextSibling(XEVHWND window) { return GetWindow(window, GW_HWNDNEXT); }
XEV_API XEVHWND XEV_CALL XEVUiGetFocus(void) { return GetFocus(); }
XEV_API XEVHWND XEV_CALL XEVUiGetActiveModal(void) { return InnermostModal(); }

XEV_API int32_t XEV_CALL XEVUiMessageBox(XEVHWND owner, const char* text, const char* caption, uint32_t type) {
  return MessageBoxA(owner, text, caption, type);
}

XEV_API int32_t XEV_CALL XEVUiGetMinimumSize(XEVHWND window, int32_t* width, int32_t* height) {
  Window* w = Find(window);
  if (w == nullptr || w->minWidth <= 0 || width == nullptr || height == nullptr) return 0;
  *width = w->minWidth;
  *height = w->minHeight;
  return 1;
}

XEV_API int32_t XEV_CALL XEVUiPlaceWindow(XEVHWND window, int32_t x, int32_t y, int32_t width, int32_t height) {
  Window* w = Find(window);
  if (w == nullptr || w->parent != nullptr) return 0;
  int32_t oldWidth = w->rect.right - w->rect.left, oldHeight = w->rect.bottom - w->rect.top;
  w->rect = RECT{x, y, x + oldWidth, y + oldHeight};
  PresentChanged(window, XEV_UI_CHANGED_RECT);
  if (width == oldWidth && height == oldHeight) return 1;
  if (ResizeDialog(window, width, height)) return 1;
  if ((w = Find(window)) != nullptr) w->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
  return 1;
}

XEV_API void XEV_CALL XEVUiSetPresenter(const XEVUiPresenter* presenter) {
  S().presenter = presenter != nullptr ? *presenter : XEVUiPresenter{};
}

XEV_API const char* XEV_CALL XEVUiGetClipboardText(void) { return GetClipboardText(); }

XEV_API int32_t XEV_CALL XEVUiSetClipboardText(const char* text) {
  if (!OpenClipboard(nullptr)) return 0;
  BOOL ok = EmptyClipboard();
  if (ok && text != nullptr) ok = SetClipboardText(text);
  CloseClipboard();
  return ok;
}

}  // extern "C"

namespace xev::ui {

void HostListFilled(HWND list) { kit::PresentChanged(list, XEV_UI_CHANGED_ENTRIES); }

}  // namespace xev::ui
