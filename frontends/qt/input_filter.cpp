#include "input_filter.h"

#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QWidget>

#include "presenter.h"

namespace xevqt {
namespace {

constexpr uint32_t kMouseMove = 0x0200;
constexpr uint32_t kLeftDown = 0x0201, kLeftUp = 0x0202, kLeftDouble = 0x0203;
constexpr uint32_t kRightDown = 0x0204, kRightUp = 0x0205, kRightDouble = 0x0206;
constexpr uintptr_t kLeftHeld = 0x0001, kRightHeld = 0x0002;  // MK_LBUTTON, MK_RBUTTON
constexpr uint32_t kLbGetItemRect = 0x0198;

intptr_t PackPoint(QPoint p) {
  return static_cast<intptr_t>((static_cast<uint32_t>(p.y() & 0xFFFF) << 16) | static_cast<uint32_t>(p.x() & 0xFFFF));
}

uintptr_t HeldButtons(Qt::MouseButtons buttons) {
  return ((buttons & Qt::LeftButton) ? kLeftHeld : 0) | ((buttons & Qt::RightButton) ? kRightHeld : 0);
}

uint32_t MouseMessage(QEvent::Type type, Qt::MouseButton button) {
  bool left = button == Qt::LeftButton;
  switch (type) {
    case QEvent::MouseButtonPress: return left ? kLeftDown : kRightDown;
    case QEvent::MouseButtonRelease: return left ? kLeftUp : kRightUp;
    case QEvent::MouseButtonDblClick: return left ? kLeftDouble : kRightDouble;
    default: return kMouseMove;
  }
}

int32_t VirtualKeyOf(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return XEV_VK_RETURN;
    case Qt::Key_Escape: return XEV_VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return XEV_VK_TAB;
    case Qt::Key_Backspace: return XEV_VK_BACK;
    case Qt::Key_Delete: return XEV_VK_DELETE;
    case Qt::Key_Left: return XEV_VK_LEFT;
    case Qt::Key_Right: return XEV_VK_RIGHT;
    case Qt::Key_Up: return XEV_VK_UP;
    case Qt::Key_Down: return XEV_VK_DOWN;
    case Qt::Key_Home: return XEV_VK_HOME;
    case Qt::Key_End: return XEV_VK_END;
    default: return 0;
  }
}

bool FocusIsButton() {
  XEVUiWindowInfo info{};
  return XEVUiGetWindowInfo(XEVUiGetFocus(), &info) && info.kind == XEV_UI_BUTTON;
}

// A click in a list box lands on the entry Qt shows under the mouse: the
// point goes to the middle of that entry's place in the kit, scrolled into
// the kit's view first if Qt's rows and the kit's differ.
QPoint ListPoint(XEVHWND list, QListWidget* widget, QPoint viewportPoint, QPoint widgetPoint) {
  int row = widget->indexAt(viewportPoint).row();
  if (row < 0) return widgetPoint;
  XEVUiRect r{};
  XEVUiWindowInfo info{};
  XEVUiGetWindowInfo(list, &info);
  int32_t height = info.rect.bottom - info.rect.top;
  if (XEVUiSendMessage(list, kLbGetItemRect, static_cast<uintptr_t>(row), reinterpret_cast<intptr_t>(&r)) < 0)
    return widgetPoint;
  if (r.top < 0 || r.bottom > height) {
    XEVUiSendMessage(list, XEV_LB_SETTOPINDEX, static_cast<uintptr_t>(row), 0);
    XEVUiSendMessage(list, kLbGetItemRect, static_cast<uintptr_t>(row), reinterpret_cast<intptr_t>(&r));
  }
  return {widgetPoint.x(), (r.top + r.bottom) / 2};
}

}  // namespace

void InputFilter::Watch(QWidget* widget) {
  widget->installEventFilter(this);
  if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->installEventFilter(this);
}

bool InputFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      XEVHWND window = presenter_.WindowOf(watched);
      auto* widget = qobject_cast<QWidget*>(watched);
      return window != nullptr && widget != nullptr ? Mouse(window, widget, static_cast<QMouseEvent*>(event)) : false;
    }
    case QEvent::KeyPress: return Key(static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return true;
    case QEvent::Wheel:
      // Scrolling a list or a text only moves the view; anything else (a
      // combo box would change its selection) ignores the wheel.
      return qobject_cast<QAbstractScrollArea*>(watched) == nullptr &&
             qobject_cast<QAbstractScrollArea*>(watched->parent()) == nullptr;
    case QEvent::Resize:
    case QEvent::Move:
      if (auto* widget = qobject_cast<QWidget*>(watched); widget != nullptr && widget->isWindow())
        presenter_.WidgetPlaced(widget);
      return false;
    case QEvent::Close: {
      // The window's close button is the kit's WM_CLOSE: the dialog decides.
      XEVHWND window = presenter_.WindowOf(watched);
      if (window == nullptr || !static_cast<QWidget*>(watched)->isWindow()) return false;
      event->ignore();
      if (XEVUiPostMessage(window, XEV_WM_CLOSE, 0, 0)) presenter_.InputQueued();
      return true;
    }
    default: return false;
  }
}

bool InputFilter::Mouse(XEVHWND window, QWidget* watched, QMouseEvent* event) {
  QWidget* target = presenter_.WidgetOf(window);
  if (target == nullptr) return true;
  QPoint local = event->position().toPoint();
  QPoint point = watched == target ? local : watched->mapTo(target, local);
  bool move = event->type() == QEvent::MouseMove;
  if (move && !(event->buttons() & (Qt::LeftButton | Qt::RightButton))) return true;
  if (!move && event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return true;
  if (auto* list = qobject_cast<QListWidget*>(target); list != nullptr && !move)
    point = ListPoint(window, list, watched == target ? list->viewport()->mapFrom(target, local) : local, point);
  uint32_t message = MouseMessage(event->type(), event->button());
  uintptr_t held = move ? HeldButtons(event->buttons())
                        : (event->type() == QEvent::MouseButtonRelease ? 0 : HeldButtons(event->button()));
  if (XEVUiPostMessage(window, message, held, PackPoint(point))) presenter_.InputQueued();
  return true;
}

bool InputFilter::Key(QKeyEvent* event) {
  Qt::KeyboardModifiers mods = event->modifiers();
  int32_t shift = (mods & Qt::ShiftModifier) ? 1 : 0;
  int32_t control = (mods & Qt::ControlModifier) ? 1 : 0;
  int key = event->key();
  int32_t queued = 0;
  if (control && key >= Qt::Key_A && key <= Qt::Key_Z) {
    queued = XEVUiKey('A' + (key - Qt::Key_A), shift, 1);
  } else if (int32_t virtualKey = VirtualKeyOf(key); virtualKey != 0) {
    queued = XEVUiKey(virtualKey, shift || key == Qt::Key_Backtab, control);
  } else if (key == Qt::Key_Space && FocusIsButton()) {
    queued = XEVUiKey(XEV_VK_SPACE, shift, control);
  } else if (!control && !event->text().isEmpty() && event->text()[0] >= u' ') {
    queued = XEVUiType(presenter_.Text().FromUnicode(event->text()).c_str());
  }
  if (queued) presenter_.InputQueued();
  return true;
}

}  // namespace xevqt
