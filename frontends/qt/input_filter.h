// Turns Qt's mouse and key events on the mirrored widgets into the kit's
// input and keeps them from the widgets, so that a subclassed control sees
// what a person did and can refuse it.
#pragma once

#include <QObject>

#include "xev/xevui.h"

class QKeyEvent;
class QMouseEvent;
class QWidget;

namespace xevqt {

class Presenter;

class InputFilter : public QObject {
 public:
  explicit InputFilter(Presenter& presenter) : presenter_(presenter) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Watches a widget and, for a scrolling one, its viewport.
  void Watch(QWidget* widget);

 private:
  bool Mouse(XEVHWND window, QWidget* watched, QMouseEvent* event);
  bool Key(QKeyEvent* event);

  Presenter& presenter_;
};

}  // namespace xevqt
