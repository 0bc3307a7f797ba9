#include "presenter.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "input_filter.h"

namespace xevqt {
namespace {

constexpr uint32_t kEverything = 0xFF;

Presenter* Self(void* context) { return static_cast<Presenter*>(context); }

void XEV_CALL OnCreated(void* context, XEVHWND window) { Self(context)->Created(window); }
void XEV_CALL OnChanged(void* context, XEVHWND window, uint32_t what) { Self(context)->Changed(window, what); }
void XEV_CALL OnDestroyed(void* context, XEVHWND window) { Self(context)->Destroyed(window); }
int32_t XEV_CALL OnCharFromPoint(void* context, XEVHWND edit, int32_t x, int32_t y) {
  return Self(context)->CharFromPoint(edit, x, y);
}
int32_t XEV_CALL OnWaitForInput(void* context, XEVHWND modal, int32_t timeoutMs) {
  return Self(context)->WaitForInput(modal, timeoutMs);
}
uint32_t XEV_CALL OnTickCount(void* context) { return Self(context)->TickCount(); }

}  // namespace

Presenter::Presenter(QString screenshotPath)
    : screenshotPath_(std::move(screenshotPath)), filter_(std::make_unique<InputFilter>(*this)) {
  clock_.start();
  const char* kitText = XEVUiGetClipboardText();
  clipboardSeen_ = kitText != nullptr ? kitText : "";
  // What a person copies elsewhere is there for the kit's Paste.
  QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, filter_.get(), [] {
    std::string text = HostCodePageText().FromUnicode(QGuiApplication::clipboard()->text());
    const char* kit = XEVUiGetClipboardText();
    if (kit == nullptr || text != kit) XEVUiSetClipboardText(text.c_str());
  });
}

Presenter::~Presenter() {
  if (registered_) XEVUiSetPresenter(nullptr);
  // Children go with their top-level widget; QPointer notices.
  for (Mirrored& m : windows_)
    if (m.widget != nullptr && m.widget->isWindow()) delete m.widget.data();
}

void Presenter::Register() {
  XEVUiPresenter p{};
  p.context = this;
  p.windowCreated = OnCreated;
  p.windowChanged = OnChanged;
  p.windowDestroyed = OnDestroyed;
  p.charFromPoint = OnCharFromPoint;
  p.waitForInput = OnWaitForInput;
  p.tickCount = OnTickCount;
  XEVUiSetPresenter(&p);
  registered_ = true;
}

QWidget* Presenter::WidgetOf(XEVHWND window) const {
  auto found = windows_.constFind(window);
  return found != windows_.constEnd() ? found->widget.data() : nullptr;
}

XEVHWND Presenter::WindowOf(const QObject* object) const {
  for (; object != nullptr; object = object->parent()) {
    QVariant v = object->property(kWindowProperty);
    if (v.isValid()) return reinterpret_cast<XEVHWND>(v.value<quintptr>());
  }
  return nullptr;
}

void Presenter::InputQueued() {
  inputQueued_ = true;
  if (waiting_ != nullptr) waiting_->quit();
}

void Presenter::Created(XEVHWND window) {
  XEVUiWindowInfo info{};
  if (!XEVUiGetWindowInfo(window, &info)) return;
  QWidget* parent = WidgetOf(info.parent != nullptr ? info.parent : info.owner);
  if (info.parent == nullptr && parent != nullptr) parent = parent->window();
  Mirrored m;
  m.info = info;
  m.info.visible = 0;
  m.widget = MakeWidget(window, info, parent, [this] { InputQueued(); });
  filter_->Watch(m.widget);
  windows_.insert(window, m);
  pending_.emplace_back(window, kEverything);
}

void Presenter::Changed(XEVHWND window, uint32_t what) {
  if (what & XEV_UI_CHANGED_FOCUS) focusChanged_ = true;
  if (!pending_.empty() && pending_.back().first == window) {
    pending_.back().second |= what;
    return;
  }
  pending_.emplace_back(window, what);
}

void Presenter::Destroyed(XEVHWND window) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  QPointer<QWidget> widget = found->widget;
  windows_.erase(found);
  delete widget.data();
}

void Presenter::FlushChanges() {
  // Gathered per window first, so each window is read back once.
  std::vector<std::pair<XEVHWND, uint32_t>> changes;
  changes.swap(pending_);
  QHash<XEVHWND, uint32_t> merged;
  std::vector<XEVHWND> order;
  for (auto& [window, what] : changes) {
    if (!merged.contains(window)) order.push_back(window);
    merged[window] |= what;
  }
  mirroring_ = true;
  for (XEVHWND window : order) {
    auto found = windows_.find(window);
    if (found != windows_.end()) MirrorChanges(window, *found, merged.value(window), Text());
  }
  mirroring_ = false;
  SyncFocus();
}

void Presenter::WidgetPlaced(QWidget* widget) {
  if (mirroring_ || !widget->isVisible()) return;
  XEVHWND window = WindowOf(widget);
  XEVUiWindowInfo info{};
  if (!XEVUiGetWindowInfo(window, &info) || info.parent != nullptr) return;
  // The frame's corner and the client's size: what the mirror gives Qt.
  QRect kit(info.rect.left, info.rect.top, info.rect.right - info.rect.left, info.rect.bottom - info.rect.top);
  if (kit.topLeft() == widget->pos() && kit.size() == widget->size()) return;
  XEVUiPlaceWindow(window, widget->pos().x(), widget->pos().y(), widget->width(), widget->height());
  // The controls moved: show them before the next wait.
  InputQueued();
}

void Presenter::SyncFocus() {
  QWidget* focus = WidgetOf(XEVUiGetFocus());
  // The ring follows every change: the control may have moved, grown or hidden.
  focusMarker_.Show(focus);
  if (!focusChanged_) return;
  focusChanged_ = false;
  if (focus != nullptr) focus->setFocus(Qt::OtherFocusReason);
}

void Presenter::SyncClipboardToDesktop() {
  const char* kit = XEVUiGetClipboardText();
  std::string text = kit != nullptr ? kit : "";
  if (text == clipboardSeen_) return;
  clipboardSeen_ = text;
  QGuiApplication::clipboard()->setText(Text().ToUnicode(text));
}

int32_t Presenter::CharFromPoint(XEVHWND edit, int32_t x, int32_t y) {
  FlushChanges();
  auto found = windows_.find(edit);
  if (found == windows_.end() || found->widget == nullptr) return -1;
  QPoint point(x, y);
  if (auto* text = qobject_cast<QPlainTextEdit*>(found->widget.data())) {
    QPoint inViewport = text->viewport()->mapFrom(text, point);
    return found->display.ByteOffsetOf(text->cursorForPosition(inViewport).position());
  }
  if (auto* line = qobject_cast<QLineEdit*>(found->widget.data())) return found->display.ByteOffsetOf(line->cursorPositionAt(point));
  return -1;
}

QImage Presenter::Grab(XEVHWND window) {
  FlushChanges();
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return {};
  // Let layouts and deferred updates settle before drawing.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return widget->window()->grab().toImage();
}

bool Presenter::TakeScreenshot(XEVHWND modal) {
  screenshotTaken_ = true;
  QImage image = Grab(modal);
  return !image.isNull() && image.save(screenshotPath_, "PNG");
}

int32_t Presenter::WaitForInput(XEVHWND modal, int32_t timeoutMs) {
  FlushChanges();
  SyncClipboardToDesktop();
  if (!screenshotPath_.isEmpty()) {
    if (!screenshotTaken_) TakeScreenshot(modal);
    return 0;
  }
  inputQueued_ = false;
  if (idleHook_) {
    bool more = idleHook_(modal);
    return more ? 1 : 0;
  }
  QEventLoop loop;
  QTimer timer;
  if (timeoutMs >= 0) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
  }
  waiting_ = &loop;
  loop.exec();
  waiting_ = nullptr;
  return 1;
}

}  // namespace xevqt
