// The keyboard focus made visible: a ring in the highlight colour around the
// control that has the kit's focus, whatever its kind. The widgets take no
// focus of their own, so Qt's styles would show none.
#pragma once

#include <QPointer>
#include <QWidget>

namespace xevqt {

class FocusRing : public QWidget {
 public:
  explicit FocusRing(QWidget* dialog);
  // Rings target (a control of this ring's dialog), or hides for null.
  void Follow(QWidget* target);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPointer<QWidget> target_;
};

// Keeps one ring on the control with the focus, in whichever dialog it is.
class FocusMarker {
 public:
  ~FocusMarker();
  // control: the widget of the kit's focus, or null.
  void Show(QWidget* control);

 private:
  QPointer<FocusRing> ring_;
};

}  // namespace xevqt
