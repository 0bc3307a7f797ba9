// The Qt presenter: one widget per kit window, kept in step with the kit's
// state, and Qt's event loop run whenever a modal dialog of the kit waits.
// The kit owns every window's state; nothing here changes it except by
// queuing a person's input.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "code_page_text.h"
#include "focus_ring.h"
#include "widget_mirror.h"
#include "xev/xevui.h"

class QEventLoop;

namespace xevqt {

class InputFilter;

class Presenter {
 public:
  explicit Presenter(QString screenshotPath);
  ~Presenter();
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  // Makes this the kit's presenter; the destructor goes back to headless.
  void Register();

  QWidget* WidgetOf(XEVHWND window) const;
  // The kit window a widget (or its viewport, or any widget inside it) shows.
  XEVHWND WindowOf(const QObject* object) const;
  const CodePageText& Text() const { return HostCodePageText(); }

  // The input filter calls this after it queued input for the kit: the wait
  // ends so that the modal loop handles it.
  void InputQueued();

  // Tests drive a dialog step by step: when set, every wait of a modal loop
  // calls the hook with the dialog instead of waiting for a person; the hook
  // acts through Qt's input events and returns false when it is done (the
  // dialog is then cancelled).
  using IdleHook = std::function<bool(XEVHWND modal)>;
  void SetIdleHook(IdleHook hook) { idleHook_ = std::move(hook); }

  // The top-level widget that shows a kit window, drawn as a person sees it.
  QImage Grab(XEVHWND window);

  // A person (or the window manager) moved or resized a top-level widget:
  // the kit takes the new place unless it is already the kit's own.
  void WidgetPlaced(QWidget* widget);

  // The kit's callbacks.
  void Created(XEVHWND window);
  void Changed(XEVHWND window, uint32_t what);
  void Destroyed(XEVHWND window);
  int32_t CharFromPoint(XEVHWND edit, int32_t x, int32_t y);
  int32_t WaitForInput(XEVHWND modal, int32_t timeoutMs);
  uint32_t TickCount() const { return static_cast<uint32_t>(clock_.elapsed()); }

 private:
  // Changes are gathered and shown together when a person could see them
  // (a dialog filling a list changes it entry by entry).
  void FlushChanges();
  void SyncClipboardToDesktop();
  void SyncFocus();
  bool TakeScreenshot(XEVHWND modal);

  QString screenshotPath_;
  bool screenshotTaken_ = false;
  QHash<XEVHWND, Mirrored> windows_;
  std::vector<std::pair<XEVHWND, uint32_t>> pending_;
  bool focusChanged_ = false;
  FocusMarker focusMarker_;
  bool mirroring_ = false;  // widgets move because the kit said so
  std::unique_ptr<InputFilter> filter_;
  QElapsedTimer clock_;
  QEventLoop* waiting_ = nullptr;
  bool inputQueued_ = false;
  IdleHook idleHook_;
  std::string clipboardSeen_;
  bool registered_ = false;
};

// The presenter XevQtInstall registered, or null.
Presenter* InstalledPresenter();

}  // namespace xevqt
