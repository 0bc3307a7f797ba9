// List boxes drawn as the kit lays them out: rows of the kit's item height,
// and for an owner-drawn list what its dialog drew into each entry (text,
// bitmap, inverted selection, focus rectangle).
#pragma once

#include <QImage>
#include <QStyledItemDelegate>

#include "code_page_text.h"
#include "xev/xevui.h"

namespace xevqt {

class KitListDelegate : public QStyledItemDelegate {
 public:
  KitListDelegate(XEVHWND list, bool ownerDrawn, QObject* parent);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  bool PaintDrawnItem(QPainter* painter, const QRect& rect, int32_t row) const;

  XEVHWND list_;
  bool ownerDrawn_;
};

// A compiled-in bitmap of the kit as an image: background transparent, ink
// black, accent teal. A null image for an unknown name.
QImage KitBitmap(const char* name);

}  // namespace xevqt
