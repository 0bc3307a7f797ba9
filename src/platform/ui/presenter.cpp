// The presenter seam. A registered presenter is told about every window as it
// changes and measures text for the kit; without one the headless presenter
// stands in: fixed metrics, and every wait for input handed to the test hook.
#include "platform/ui/kit.h"

namespace xev::ui::kit {

void PresentCreated(HWND window) {
  const XEVUiPresenter& p = S().presenter;
  if (p.windowCreated != nullptr) p.windowCreated(p.context, window);
}

void PresentChanged(HWND window, uint32_t what) {
  const XEVUiPresenter& p = S().presenter;
  if (p.windowChanged != nullptr && Find(window) != nullptr) p.windowChanged(p.context, window, what);
}

void PresentDestroyed(HWND window) {
  const XEVUiPresenter& p = S().presenter;
  if (p.windowDestroyed != nullptr) p.windowDestroyed(p.context, window);
}

int32_t PresenterCharFromPoint(HWND edit, int32_t x, int32_t y) {
  const XEVUiPresenter& p = S().presenter;
  if (p.charFromPoint == nullptr) return -1;
  return p.charFromPoint(p.context, edit, x, y);
}

bool WaitForInput(HWND modal, int32_t timeoutMs) {
  State& s = S();
  if (s.presenter.waitForInput != nullptr) return s.presenter.waitForInput(s.presenter.context, modal, timeoutMs) != 0;
  if (s.inputHook == nullptr) return false;
  return s.inputHook(s.inputHookContext, modal) != 0;
}

bool PresenterHasClock() { return S().presenter.tickCount != nullptr; }

uint32_t PresenterTicks() {
  const XEVUiPresenter& p = S().presenter;
  return p.tickCount != nullptr ? p.tickCount(p.context) : 0;
}

}  // namespace xev::ui::kit
