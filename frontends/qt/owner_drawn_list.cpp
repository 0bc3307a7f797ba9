#include "owner_drawn_list.h"

#include <QHash>
#include <QPainter>

namespace xevqt {
namespace {

constexpr uint32_t kLbGetItemHeight = 0x01A1;
constexpr int32_t kDefaultItemHeight = XEV_UI_LINE_HEIGHT;

}  // namespace

QImage KitBitmap(const char* name) {
  static QHash<QByteArray, QImage> cache;  // the bitmaps never change
  auto found = cache.constFind(QByteArray(name));
  if (found != cache.constEnd()) return *found;
  int32_t width = 0, height = 0;
  const uint8_t* pixels = nullptr;
  QImage image;
  if (XEVUiGetBitmapPixels(name, &width, &height, &pixels) && width > 0 && height > 0) {
    image = QImage(width, height, QImage::Format_ARGB32);
    const QRgb colours[3] = {qRgba(0, 0, 0, 0), qRgb(0, 0, 0), qRgb(0, 128, 128)};
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        uint8_t p = pixels[y * width + x];
        image.setPixel(x, y, colours[p < 3 ? p : 1]);
      }
  }
  cache.insert(QByteArray(name), image);
  return image;
}

KitListDelegate::KitListDelegate(XEVHWND list, bool ownerDrawn, QObject* parent)
    : QStyledItemDelegate(parent), list_(list), ownerDrawn_(ownerDrawn) {}

QSize KitListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  auto height = static_cast<int32_t>(XEVUiSendMessage(list_, kLbGetItemHeight, 0, 0));
  if (height <= 0) height = kDefaultItemHeight;
  return {QStyledItemDelegate::sizeHint(option, index).width(), height};
}

void KitListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (ownerDrawn_ && PaintDrawnItem(painter, option.rect, index.row())) return;
  QStyleOptionViewItem plain = option;
  // The kit shows no focus rectangle in a plain list; Qt's would suggest a
  // second selection.
  plain.state &= ~QStyle::State_HasFocus;
  QStyledItemDelegate::paint(painter, plain, index);
}

// Replays what the dialog drew into the entry, shifted from the kit's item
// rectangle to the one Qt paints.
bool KitListDelegate::PaintDrawnItem(QPainter* painter, const QRect& rect, int32_t row) const {
  XEVUiDrawnItem item{};
  if (!XEVUiGetDrawnItem(list_, row, &item)) return false;
  QPoint shift(rect.left() - item.itemRect.left, rect.top() - item.itemRect.top);
  painter->save();
  painter->setClipRect(rect);
  painter->fillRect(rect, Qt::white);
  if (item.bitmapName != nullptr) {
    QImage bitmap = KitBitmap(item.bitmapName);
    if (!bitmap.isNull()) painter->drawImage(QPoint(item.bitmapX, item.bitmapY) + shift, bitmap);
  }
  if (item.text != nullptr) {
    painter->setPen(Qt::black);
    QPoint at = QPoint(item.textX, item.textY) + shift;
    painter->drawText(at + QPoint(0, painter->fontMetrics().ascent()), HostCodePageText().ToUnicode(item.text));
  }
  if (item.inverted) {
    painter->setCompositionMode(QPainter::RasterOp_NotDestination);
    painter->fillRect(rect, Qt::black);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  if (item.focusRect) {
    QPen dotted(item.inverted ? Qt::white : Qt::black, 1, Qt::DotLine);
    painter->setPen(dotted);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
  }
  painter->restore();
  return true;
}

}  // namespace xevqt
