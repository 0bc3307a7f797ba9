// The input driver: what a person's clicks and keys put in the queue. A test
// (through the headless presenter's hook) or a front end calls these; the
// messages are handled in order by the running loop, so a subclassed control
// sees exactly what it would see from a person.
#include <cstring>

#include "platform/ui/kit.h"

namespace xev::ui::kit {
namespace {

constexpr WPARAM kLeftButton = 0x0001;   // MK_LBUTTON
constexpr WPARAM kRightButton = 0x0002;  // MK_RBUTTON
constexpr int32_t kMaxPendingRounds = 1000000;

bool TakesInput(HWND window) {
  for (Window* w = Find(window); w != nullptr; w = Find(w->parent))
    if (!w->enabled || !w->visible) return false;
  return Find(window) != nullptr;
}

bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Enqueue(Message{window, message, wParam, lParam});
}

// The character a key gives besides its key messages, 0 for none.
WPARAM CharacterOfKey(int32_t key, bool control) {
  if (key == VK_RETURN || key == VK_ESCAPE || key == VK_TAB || key == VK_BACK) return static_cast<WPARAM>(key);
  if (control && key >= 'A' && key <= 'Z') return static_cast<WPARAM>(key - 'A' + 1);
  return 0;
}

}  // namespace
}  // namespace xev::ui::kit

using namespace xev::ui;
using namespace xev::ui::kit;

extern "C" {

XEV_API void XEV_CALL XEVUiSetInputHook(XEVUiInputHook hook, void* context) {
  State& s = S();
  s.inputHook = hook;
  s.inputHookContext = context;
}

XEV_API int32_t XEV_CALL XEVUiClickAt(XEVHWND window, int32_t x, int32_t y, int32_t clicks) {
  if (!TakesInput(window) || clicks < 1 || clicks > 2) return 0;
  LPARAM at = MAKELPARAM(x, y);
  bool ok = Post(window, WM_LBUTTONDOWN, kLeftButton, at) && Post(window, WM_LBUTTONUP, 0, at);
  if (ok && clicks == 2) ok = Post(window, WM_LBUTTONDBLCLK, kLeftButton, at) && Post(window, WM_LBUTTONUP, 0, at);
  return ok ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVUiClick(XEVHWND window) {
  RECT r;
  if (!GetClientRect(window, &r)) return 0;
  return XEVUiClickAt(window, r.right / 2, r.bottom / 2, 1);
}

XEV_API int32_t XEV_CALL XEVUiRightDoubleClickAt(XEVHWND window, int32_t x, int32_t y) {
  if (!TakesInput(window)) return 0;
  LPARAM at = MAKELPARAM(x, y);
  return Post(window, WM_RBUTTONDOWN, kRightButton, at) && Post(window, WM_RBUTTONUP, 0, at) &&
                 Post(window, WM_RBUTTONDBLCLK, kRightButton, at) && Post(window, WM_RBUTTONUP, 0, at)
             ? 1
             : 0;
}

XEV_API int32_t XEV_CALL XEVUiDrag(XEVHWND window, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (!TakesInput(window)) return 0;
  return Post(window, WM_LBUTTONDOWN, kLeftButton, MAKELPARAM(x0, y0)) &&
                 Post(window, WM_MOUSEMOVE, kLeftButton, MAKELPARAM(x1, y1)) &&
                 Post(window, WM_LBUTTONUP, 0, MAKELPARAM(x1, y1))
             ? 1
             : 0;
}

XEV_API int32_t XEV_CALL XEVUiClickListEntry(XEVHWND listBox, int32_t index, int32_t clicks) {
  RECT r{};
  if (!TakesInput(listBox)) return 0;
  // A person scrolls an entry into view before clicking it.
  RECT client{};
  GetClientRect(listBox, &client);
  if (SendMessageA(listBox, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)) != LB_ERR &&
      (r.top < 0 || r.bottom > client.bottom))
    SendMessageA(listBox, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  if (SendMessageA(listBox, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                           reinterpret_cast<LPARAM>(&r)) == LB_ERR)
    return 0;
  return XEVUiClickAt(listBox, (r.left + r.right) / 2, (r.top + r.bottom) / 2, clicks);
}

XEV_API int32_t XEV_CALL XEVUiKey(int32_t virtualKey, int32_t shift, int32_t control) {
  WPARAM key = static_cast<WPARAM>(virtualKey);
  WPARAM character = CharacterOfKey(virtualKey, control != 0);
  bool ok = EnqueueKeyState(shift != 0, control != 0) && Post(nullptr, WM_KEYDOWN, key, 1) &&
            (character == 0 || Post(nullptr, WM_CHAR, character, 1)) && Post(nullptr, WM_KEYUP, key, 1) &&
            EnqueueKeyState(false, false);
  return ok ? 1 : 0;
}

XEV_API int32_t XEV_CALL XEVUiType(const char* text) {
  if (text == nullptr) return 0;
  for (const char* p = text; *p != 0; ++p)
    if (!Post(nullptr, WM_CHAR, static_cast<unsigned char>(*p), 1)) return 0;
  return 1;
}

XEV_API void XEV_CALL XEVUiAdvanceClock(uint32_t ms) {
  S().virtualClock += ms;
  QueueDueTimers();
}

XEV_API int32_t XEV_CALL XEVUiRunPending(void) {
  int32_t handled = 0;
  Message m;
  while (handled < kMaxPendingRounds && NextMessage(&m)) {
    Dispatch(m);
    ++handled;
  }
  return handled;
}

XEV_API const char* XEV_CALL XEVUiLastMessageBoxText(void) { return S().lastBoxText; }
XEV_API const char* XEV_CALL XEVUiLastMessageBoxCaption(void) { return S().lastBoxCaption; }
XEV_API int32_t XEV_CALL XEVUiBeepCount(void) { return S().beeps; }

}  // extern "C"
