// Message delivery: sending, the posted-message queue, timers on the kit's
// clock, and the loop that modal dialogs run. Posted messages come before
// paints, paints before timers, as a person's input expects.
#include <cstring>

#include "platform/ui/kit.h"
#include "xev/xevhost.h"

namespace xev::ui {

using kit::Find;
using kit::Window;

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(window);
  if (w == nullptr || w->proc == nullptr) return 0;
  WNDPROC proc = w->proc;
  return proc(window, message, wParam, lParam);
}

namespace {

bool GrowQueue(kit::State& s) {
  int32_t capacity = s.queueCapacity == 0 ? 64 : s.queueCapacity * 2;
  auto* grown = static_cast<kit::Message*>(HostAlloc(sizeof(kit::Message) * static_cast<size_t>(capacity)));
  if (grown == nullptr) return false;
  for (int32_t i = 0; i < s.queueLength; ++i) grown[i] = s.queue[(s.queueHead + i) % s.queueCapacity];
  HostFree(s.queue);
  s.queue = grown;
  s.queueCapacity = capacity;
  s.queueHead = 0;
  return true;
}

// The queue keeps its block while any window lives, so that a dialog's own
// posts do not fail for memory once it runs; with the last window gone the
// table's release takes it (window_table.cpp).
void ReleaseQueueIfIdle(kit::State& s) {
  if (s.queueLength != 0 || s.liveWindows != 0) return;
  HostFree(s.queue);
  s.queue = nullptr;
  s.queueCapacity = 0;
  s.queueHead = 0;
}

}  // namespace

namespace kit {

// Queues a message for a window, or with a null window for the kit itself
// (input addressed to whatever has the focus when it is handled).
bool Enqueue(const Message& m) {
  State& s = S();
  if (s.queueLength == s.queueCapacity && !GrowQueue(s)) return false;
  s.queue[(s.queueHead + s.queueLength) % s.queueCapacity] = m;
  ++s.queueLength;
  return true;
}

bool ReserveQueue() {
  State& s = S();
  return s.queueCapacity > 0 || GrowQueue(s);
}

void DropMessagesFor(HWND window) {
  State& s = S();
  int32_t kept = 0;
  for (int32_t i = 0; i < s.queueLength; ++i) {
    Message m = s.queue[(s.queueHead + i) % s.queueCapacity];
    if (m.window == window) continue;
    s.queue[(s.queueHead + kept) % s.queueCapacity] = m;
    ++kept;
  }
  s.queueLength = kept;
  ReleaseQueueIfIdle(s);
}

uint32_t Now() { return PresenterHasClock() ? PresenterTicks() : S().virtualClock; }

int32_t NextTimerDelay() {
  State& s = S();
  if (s.timerCount == 0) return -1;
  uint32_t now = Now();
  int32_t best = -1;
  for (int32_t i = 0; i < s.timerCount; ++i) {
    auto delay = static_cast<int32_t>(s.timers[i].due - now);
    if (delay < 0) delay = 0;
    if (best < 0 || delay < best) best = delay;
  }
  return best;
}

void KillTimersOf(HWND window) {
  State& s = S();
  int32_t kept = 0;
  for (int32_t i = 0; i < s.timerCount; ++i)
    if (s.timers[i].window != window) s.timers[kept++] = s.timers[i];
  s.timerCount = kept;
  if (kept == 0) {
    HostFree(s.timers);
    s.timers = nullptr;
    s.timerCapacity = 0;
  }
}

// Queues one WM_TIMER for every timer that has fallen due and has none waiting.
bool QueueDueTimers() {
  State& s = S();
  uint32_t now = Now();
  bool queued = false;
  for (int32_t i = 0; i < s.timerCount; ++i) {
    Timer& t = s.timers[i];
    if (t.queued || static_cast<int32_t>(now - t.due) < 0) continue;
    if (!Enqueue(Message{t.window, WM_TIMER, t.id, 0})) continue;
    t.queued = true;
    t.due = now + t.elapse;
    queued = true;
  }
  return queued;
}

namespace {

bool PopQueued(Message* out) {
  State& s = S();
  if (s.queueLength == 0) return false;
  *out = s.queue[s.queueHead];
  s.queueHead = (s.queueHead + 1) % s.queueCapacity;
  --s.queueLength;
  ReleaseQueueIfIdle(s);
  return true;
}

bool NextPaint(Message* out) {
  State& s = S();
  for (int32_t i = 0; i < s.slotCount; ++i) {
    Window* w = s.slots[i].window;
    if (w == nullptr || !w->needsPaint || w->destroying) continue;
    if (!IsWindowVisible(w->handle)) {
      w->needsPaint = false;
      continue;
    }
    w->needsPaint = false;
    *out = Message{w->handle, WM_PAINT, 0, 0};
    return true;
  }
  return false;
}

HWND TopLevelOf(HWND window) {
  Window* w = Find(window);
  while (w != nullptr && w->parent != nullptr) w = Find(w->parent);
  return w != nullptr ? w->handle : nullptr;
}

bool IsInputMessage(UINT message) {
  return (message >= WM_KEYDOWN && message <= WM_CHAR) ||
         (message >= WM_MOUSEMOVE && message <= WM_RBUTTONDBLCLK);
}

bool IsKeyboardMessage(UINT message) { return message >= WM_KEYDOWN && message <= WM_CHAR; }

// Input reaches a window only while it and its containers are enabled and
// visible, and, while a modal dialog runs, only inside that dialog or a
// window it owns: that is what keeps the owner of a modal dialog inert.
bool AcceptsInput(HWND window) {
  for (Window* w = Find(window); w != nullptr; w = Find(w->parent))
    if (!w->enabled || !w->visible) return false;
  HWND modal = InnermostModal();
  if (modal == nullptr) return true;
  for (HWND top = TopLevelOf(window); top != nullptr;) {
    if (top == modal) return true;
    Window* w = Find(top);
    top = w != nullptr ? w->owner : nullptr;
  }
  return false;
}

HWND DialogOf(HWND window) {
  HWND top = TopLevelOf(window);
  Window* w = Find(top);
  return w != nullptr && w->kind == WindowKind::kDialog ? top : nullptr;
}

}  // namespace

// Internal message of the kit: the Shift and Ctrl state that the next input carries.
constexpr UINT kKeyStateMessage = 0x7F01;

bool NextMessage(Message* out) {
  if (PopQueued(out)) return true;
  if (NextPaint(out)) return true;
  return QueueDueTimers() && PopQueued(out);
}

void Dispatch(const Message& m) {
  State& s = S();
  if (m.message == kKeyStateMessage) {
    s.shiftDown = (m.wParam & 1) != 0;
    s.controlDown = (m.wParam & 2) != 0;
    return;
  }
  if (m.message == WM_TIMER) {
    for (int32_t i = 0; i < s.timerCount; ++i)
      if (s.timers[i].window == m.window && s.timers[i].id == m.wParam) {
        // The interval runs from the message a window handles, so a clock
        // that jumped far ahead still gives one WM_TIMER, not a burst.
        s.timers[i].queued = false;
        s.timers[i].due = Now() + s.timers[i].elapse;
      }
  }
  HWND target = m.window;
  if (target == nullptr && IsKeyboardMessage(m.message)) {
    target = GetFocus();
    if (target == nullptr) target = InnermostModal();
  }
  if (target == nullptr) return;
  if (IsInputMessage(m.message) && !AcceptsInput(target)) return;
  if (IsKeyboardMessage(m.message)) {
    HWND dialog = DialogOf(target);
    if (dialog != nullptr && IsDialogMessageA(dialog, m.message, target, m.wParam, m.lParam)) return;
  }
  SendMessageA(target, m.message, m.wParam, m.lParam);
}

HWND InnermostModal() {
  State& s = S();
  while (s.modalDepth > 0 && Find(s.modalStack[s.modalDepth - 1]) == nullptr) --s.modalDepth;
  return s.modalDepth > 0 ? s.modalStack[s.modalDepth - 1] : nullptr;
}

void PushModal(HWND dialog) {
  State& s = S();
  if (s.modalDepth < kMaxModalDepth) s.modalStack[s.modalDepth++] = dialog;
}

void PopModal(HWND dialog) {
  State& s = S();
  for (int32_t i = s.modalDepth - 1; i >= 0; --i) {
    if (s.modalStack[i] != dialog) continue;
    for (int32_t j = i; j + 1 < s.modalDepth; ++j) s.modalStack[j] = s.modalStack[j + 1];
    --s.modalDepth;
    return;
  }
}

void RunModalLoop(HWND modal) {
  // A presenter that says input came but queues none is asked again; after
  // this many idle rounds in a row it is taken at its word that none will.
  constexpr int32_t kIdleRoundsLimit = 10000;
  int32_t idleRounds = 0;
  bool cancelSent = false;
  for (;;) {
    if (modal != nullptr) {
      Window* d = Find(modal);
      if (d == nullptr || d->dialogEnded) return;
    }
    Message m;
    if (NextMessage(&m)) {
      idleRounds = 0;
      Dispatch(m);
      continue;
    }
    if (modal == nullptr) return;
    bool more = WaitForInput(modal, NextTimerDelay()) && ++idleRounds < kIdleRoundsLimit;
    if (more) continue;
    // No input will come: cancel the dialog as Escape would, and if its
    // procedure ignores that, end it as cancelled so the loop never hangs.
    if (!cancelSent) {
      cancelSent = true;
      idleRounds = 0;
      SendMessageA(modal, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      continue;
    }
    EndDialog(modal, IDCANCEL);
  }
}

bool EnqueueKeyState(bool shift, bool control) {
  return Enqueue(Message{nullptr, kKeyStateMessage, static_cast<WPARAM>((shift ? 1 : 0) | (control ? 2 : 0)), 0});
}

}  // namespace kit

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Find(window) == nullptr) return 0;
  return kit::Enqueue(kit::Message{window, message, wParam, lParam}) ? 1 : 0;
}

uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapseMs, TIMERPROC /*proc*/) {
  if (Find(window) == nullptr || id == 0) return 0;
  kit::State& s = kit::S();
  uint32_t due = kit::Now() + elapseMs;
  for (int32_t i = 0; i < s.timerCount; ++i) {
    kit::Timer& t = s.timers[i];
    if (t.window != window || t.id != id) continue;
    t.elapse = elapseMs;
    t.due = due;
    return id;
  }
  if (s.timerCount == s.timerCapacity) {
    int32_t capacity = s.timerCapacity == 0 ? 4 : s.timerCapacity * 2;
    auto* grown = static_cast<kit::Timer*>(HostRealloc(s.timers, sizeof(kit::Timer) * static_cast<size_t>(capacity)));
    if (grown == nullptr) return 0;
    s.timers = grown;
    s.timerCapacity = capacity;
  }
  s.timers[s.timerCount++] = kit::Timer{window, id, elapseMs, due, false};
  return id;
}

BOOL KillTimer(HWND window, uintptr_t id) {
  kit::State& s = kit::S();
  for (int32_t i = 0; i < s.timerCount; ++i) {
    if (s.timers[i].window != window || s.timers[i].id != id) continue;
    for (int32_t j = i; j + 1 < s.timerCount; ++j) s.timers[j] = s.timers[j + 1];
    --s.timerCount;
    // A WM_TIMER already waiting for it must not arrive after the kill.
    int32_t kept = 0;
    for (int32_t k = 0; k < s.queueLength; ++k) {
      kit::Message m = s.queue[(s.queueHead + k) % s.queueCapacity];
      if (m.window == window && m.message == WM_TIMER && m.wParam == id) continue;
      s.queue[(s.queueHead + kept) % s.queueCapacity] = m;
      ++kept;
    }
    s.queueLength = kept;
    ReleaseQueueIfIdle(s);
    if (s.timerCount == 0) {
      HostFree(s.timers);
      s.timers = nullptr;
      s.timerCapacity = 0;
    }
    return 1;
  }
  return 0;
}

int16_t GetKeyState(int32_t virtualKey) {
  kit::State& s = kit::S();
  bool down = (virtualKey == VK_SHIFT && s.shiftDown) || (virtualKey == VK_CONTROL && s.controlDown);
  return down ? static_cast<int16_t>(0x8000) : 0;
}

}  // namespace xev::ui
