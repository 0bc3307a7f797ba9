#include "screenshot_checks.h"

#include <QHash>
#include <cstdlib>
#include <cstdlib>

namespace qttest {

bool LooksDrawn(const QImage& image) {
  if (image.isNull() || image.width() < 20 || image.height() < 20) return false;
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int total = image.width() * image.height();
  int largest = 0;
  for (int c : counts) largest = std::max(largest, c);
  return counts.size() >= 4 && largest < total * 99 / 100;
}

int CountNear(const QImage& image, QRgb colour, QRect area) {
  area = area.intersected(image.rect());
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      QRgb p = image.pixel(x, y);
      if (std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour)) +
              std::abs(qBlue(p) - qBlue(colour)) < 24)
        ++n;
    }
  return n;
}

std::string ControlsOutside(XEVHWND dialog) {
  XEVUiWindowInfo d{};
  if (!XEVUiGetWindowInfo(dialog, &d)) return "no dialog";
  int32_t width = d.rect.right - d.rect.left, height = d.rect.bottom - d.rect.top;
  std::string outside;
  for (XEVHWND c = XEVUiGetFirstChild(dialog); c != nullptr; c = XEVUiGetNextSibling(c)) {
    XEVUiWindowInfo info{};
    if (!XEVUiGetWindowInfo(c, &info) || !info.visible) continue;
    if (info.rect.left < -2 || info.rect.top < -2 || info.rect.right > width + 2 || info.rect.bottom > height + 2)
      outside += " id " + std::to_string(info.id);
  }
  return outside;
}

void KeepForDocs(const QImage& image, const char* name) {
  const char* dir = std::getenv("XEV_SCREENSHOT_DIR");
  if (dir == nullptr || *dir == '\0') return;
  image.save(QString::fromLocal8Bit(dir) + "/" + name, "PNG");
}

}  // namespace qttest
