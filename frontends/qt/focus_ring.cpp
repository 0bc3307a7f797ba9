#include "focus_ring.h"

#include <QPainter>

namespace xevqt {
namespace {

constexpr int kWidth = 2;

}  // namespace

FocusRing::FocusRing(QWidget* dialog) : QWidget(dialog) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
}

void FocusRing::Follow(QWidget* target) {
  target_ = target;
  if (target == nullptr || !target->isVisible()) {
    hide();
    return;
  }
  setGeometry(target->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
  raise();
  show();
  update();
}

void FocusRing::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QPen pen(palette().color(QPalette::Active, QPalette::Highlight), kWidth);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

FocusMarker::~FocusMarker() { delete ring_.data(); }

void FocusMarker::Show(QWidget* control) {
  QWidget* dialog = control != nullptr && !control->isWindow() ? control->parentWidget() : nullptr;
  if (ring_ != nullptr && ring_->parentWidget() != dialog) {
    delete ring_.data();
    ring_ = nullptr;
  }
  if (dialog == nullptr) return;
  if (ring_ == nullptr) ring_ = new FocusRing(dialog);
  ring_->Follow(control);
}

}  // namespace xevqt
