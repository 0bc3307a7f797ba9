// What the kit's own files share: the window record and the table that owns
// every record, the control classes, the message queue and the presenter.
// Nothing outside src/platform/ui includes this header.
#pragma once

#include <cstdint>

#include "platform/ui/ui.h"

namespace xev::resources {
struct DialogTemplate;
}

namespace xev::ui::kit {

enum class WindowKind : int32_t {
  kWindow = XEV_UI_WINDOW,
  kDialog = XEV_UI_DIALOG,
  kEdit = XEV_UI_EDIT,
  kListBox = XEV_UI_LISTBOX,
  kComboBox = XEV_UI_COMBOBOX,
  kButton = XEV_UI_BUTTON,
  kStatic = XEV_UI_STATIC,
};

// A window record. Records are HostAlloc blocks owned by the window table and
// reached only through Find(handle), so a handle that was destroyed or never
// made is simply not found. A record may vanish during any message it sends:
// callers look it up again after every call that can run window procedures.
struct Window {
  HWND handle = nullptr;
  HWND parent = nullptr;      // the container of a child window
  HWND owner = nullptr;       // the owner of a top-level window
  HWND firstChild = nullptr;  // children in creation (= tab) order
  HWND lastChild = nullptr;
  HWND nextSibling = nullptr;
  int32_t id = -1;
  WindowKind kind = WindowKind::kWindow;
  const char* className = nullptr;  // the registered name, a static string
  char* text = nullptr;             // HostAlloc, zero-terminated; null means ""
  uint32_t style = 0;
  bool enabled = true;
  bool visible = false;
  bool destroying = false;
  bool needsPaint = false;
  RECT rect{};  // pixels: a child's in its parent's client area, else the screen's
  WNDPROC proc = nullptr;
  intptr_t userData = 0;
  // Dialogs.
  DLGPROC dialogProc = nullptr;
  intptr_t dialogMsgResult = 0;
  intptr_t dialogUser = 0;
  bool dialogEnded = false;
  intptr_t dialogResult = 0;
  HWND focusBeforeDeactivate = nullptr;
  // A resizable dialog: its smallest size (the template's) and how many pixels
  // it is now beyond it, which its children's anchors share out.
  int32_t minWidth = 0, minHeight = 0;
  int32_t extraWidth = 0, extraHeight = 0;
  // A control: the twelfths of its dialog's extra size that each edge follows.
  uint8_t anchorLeft = 0, anchorRight = 0, anchorTop = 0, anchorBottom = 0;
  // Control state, owned by the control class (HostAlloc), freed at destruction.
  void* control = nullptr;
};

// ---- The kit's module-wide state, all in one place ------------------------------------
struct Message {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
struct Slot {
  Window* window;
  uint32_t generation;
};
struct Timer {
  HWND window;
  uintptr_t id;
  uint32_t elapse;
  uint32_t due;
  bool queued;  // a WM_TIMER for it waits in the queue (Windows coalesces them)
};
constexpr int32_t kMaxModalDepth = 32;
struct State {
  Slot* slots = nullptr;  // HostAlloc; index = handle's slot - 1
  int32_t slotCount = 0;
  int32_t liveWindows = 0;
  Message* queue = nullptr;  // HostAlloc ring
  int32_t queueCapacity = 0;
  int32_t queueHead = 0;
  int32_t queueLength = 0;
  Timer* timers = nullptr;  // HostAlloc
  int32_t timerCount = 0;
  int32_t timerCapacity = 0;
  uint32_t virtualClock = 0;
  HWND modalStack[kMaxModalDepth] = {};
  int32_t modalDepth = 0;
  HWND focus = nullptr;
  bool shiftDown = false;
  bool controlDown = false;
  char* clipboard = nullptr;  // HostAlloc
  bool clipboardOpen = false;
  XEVUiPresenter presenter{};
  XEVUiInputHook inputHook = nullptr;
  void* inputHookContext = nullptr;
  char lastBoxText[512] = {};
  char lastBoxCaption[256] = {};
  int32_t beeps = 0;
};
State& S();

// ---- The window table ------------------------------------------------------------
Window* Find(HWND handle);
// A new record with a fresh handle, linked under parent (children) or owned
// by owner; nullptr when memory is short. The caller fills it in.
Window* NewWindow(WindowKind kind, HWND parent, HWND owner);
// Sets a window's text from bytes (a copy); false when memory is short.
// Frees a record after its window has had WM_NCDESTROY; unlinks it from its parent.
void ReleaseWindow(Window* w);
bool StoreText(Window* w, const char* text);
const char* TextOf(const Window* w);  // never null
// Every live top-level window owned by owner, in creation order, into out
// (at most capacity); returns how many there are.
int32_t OwnedWindows(HWND owner, HWND* out, int32_t capacity);
// Live windows, for tests that check nothing is left behind.
int32_t LiveWindowCount();

// ---- Control classes ---------------------------------------------------------------
struct ClassInfo {
  const char* name;
  WindowKind kind;
  WNDPROC proc;
};
// The class by name (case-insensitive); nullptr when unknown.
const ClassInfo* FindClass(const char* name);

LRESULT XEV_CALL EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL DialogWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT XEV_CALL PlainWindowProc(HWND, UINT, WPARAM, LPARAM);

// Tells the parent of a control about a notification (WM_COMMAND).
void Notify(HWND control, int32_t code);

// ---- Queue, loops and clock --------------------------------------------------------
// Takes the next message: queued ones first, then paints, then due timers.
// false when there is nothing to do right now.
bool NextMessage(Message* out);
bool Enqueue(const Message& m);
// Makes sure the queue has its block: every window takes it on creation, so
// that no post made while a window lives has to allocate.
bool ReserveQueue();
// Queues the Shift and Ctrl state that the input queued after it carries.
bool EnqueueKeyState(bool shift, bool control);
bool QueueDueTimers();
void Dispatch(const Message& m);
// Runs the loop until the dialog ends (modal) or the queue is empty (modal == null).
void RunModalLoop(HWND modal);
void DropMessagesFor(HWND window);
void KillTimersOf(HWND window);
uint32_t Now();
// ms until the next timer is due, -1 when none runs.
int32_t NextTimerDelay();

// The stack of running modal dialogs (innermost last).
HWND InnermostModal();
void PushModal(HWND dialog);
void PopModal(HWND dialog);

// ---- Dialogs -------------------------------------------------------------------------
// Creates the dialog and its controls and sends WM_INITDIALOG; nullptr when
// the template is unknown or memory is short (nothing is left behind).
HWND CreateDialogFromTemplate(const resources::DialogTemplate* t, HWND owner, DLGPROC proc, LPARAM param);
// Gives a resizable dialog its size (never below its template's) and moves
// each control by its anchors; the dialog procedure hears nothing of it.
// false for a window that is not a resizable dialog.
bool ResizeDialog(HWND dialog, int32_t width, int32_t height);
// Runs a created dialog modally and destroys it; returns what it ended with.
intptr_t RunDialog(HWND dialog, HWND owner);

// ---- Presenter -----------------------------------------------------------------------
void PresentCreated(HWND window);
void PresentChanged(HWND window, uint32_t what);
void PresentDestroyed(HWND window);
// Byte offset nearest to a client point of an edit; -1 to measure with fixed metrics.
int32_t PresenterCharFromPoint(HWND edit, int32_t x, int32_t y);
// false when no input will ever come.
bool WaitForInput(HWND modal, int32_t timeoutMs);
bool PresenterHasClock();
uint32_t PresenterTicks();

// ---- Dialog units --------------------------------------------------------------------
constexpr int32_t kCharWidth = XEV_UI_CHAR_WIDTH;
constexpr int32_t kLineHeight = XEV_UI_LINE_HEIGHT;
constexpr int32_t DialogUnitsToX(int32_t du) { return du * kCharWidth / 4; }
constexpr int32_t DialogUnitsToY(int32_t du) { return du * kLineHeight / 8; }

}  // namespace xev::ui::kit
