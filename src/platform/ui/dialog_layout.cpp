// Resizable dialogs: a dialog opens at its template's size plus its growth and
// can be made larger; every control follows by its anchors, so lists and texts
// grow and the controls beside and below them move along.
#include "platform/ui/kit.h"
#include "resources/dialog_templates.h"

namespace xev::ui::kit {
namespace {

int32_t Share(uint8_t twelfths, int32_t extra) { return extra * twelfths / resources::kShareWhole; }

// Moves one edge from its place for the old extra size to its place for the new.
int32_t Follow(int32_t edge, uint8_t twelfths, int32_t oldExtra, int32_t newExtra) {
  return edge - Share(twelfths, oldExtra) + Share(twelfths, newExtra);
}

void MoveChildren(Window* d, int32_t newExtraX, int32_t newExtraY) {
  int32_t oldX = d->extraWidth, oldY = d->extraHeight;
  d->extraWidth = newExtraX;
  d->extraHeight = newExtraY;
  for (HWND h = d->firstChild; h != nullptr;) {
    Window* c = Find(h);
    if (c == nullptr) break;
    RECT r = c->rect;
    c->rect = RECT{Follow(r.left, c->anchorLeft, oldX, newExtraX), Follow(r.top, c->anchorTop, oldY, newExtraY),
                   Follow(r.right, c->anchorRight, oldX, newExtraX), Follow(r.bottom, c->anchorBottom, oldY, newExtraY)};
    if (c->visible) c->needsPaint = true;
    PresentChanged(h, XEV_UI_CHANGED_RECT);
    h = c->nextSibling;
  }
}

}  // namespace

bool ResizeDialog(HWND dialog, int32_t width, int32_t height) {
  Window* d = Find(dialog);
  if (d == nullptr || d->kind != WindowKind::kDialog || d->minWidth <= 0) return false;
  if (width < d->minWidth) width = d->minWidth;
  if (height < d->minHeight) height = d->minHeight;
  d->rect.right = d->rect.left + width;
  d->rect.bottom = d->rect.top + height;
  if (d->visible) d->needsPaint = true;
  PresentChanged(dialog, XEV_UI_CHANGED_RECT);
  MoveChildren(d, width - d->minWidth, height - d->minHeight);
  return true;
}

}  // namespace xev::ui::kit
